// The lines already waiting in piped input, answered from one read of the word list: they came
// before the read began, so their replies are as fresh as if each had its own.
#ifndef SPELL_CHECKER_FRONTEND_WAITING_LINES_H_
#define SPELL_CHECKER_FRONTEND_WAITING_LINES_H_

#include <cstddef>
#include <string>
#include <vector>

#include "spell_checker.h"

// At most this many lines are taken ahead at once.
constexpr std::size_t kMaxWaitingLines = 16384;

struct WaitingLines {
  std::vector<std::string> lines;  // taken ahead, in the order they come
  WordsLookup lookup;              // of the first lookup.answered of them
  std::size_t next = 0;            // the next one the line editor is to return
};

// Unless lines taken ahead are still to come, takes ahead the whole lines waiting in piped input
// that the line editor will return as they are, up to the first that it may not, and looks them
// up.
void look_up_waiting_lines(WaitingLines& waiting);

// If `line`, which the line editor returned, is the next line taken ahead, gives its result and
// returns true; else forgets the lines taken ahead, which no longer match what the editor
// returns, and returns false.
bool take_waiting_result(WaitingLines& waiting, const std::string& line, LookupResult& result);

// Forgets the lines taken ahead.
void forget_waiting_lines(WaitingLines& waiting);

#endif  // SPELL_CHECKER_FRONTEND_WAITING_LINES_H_
