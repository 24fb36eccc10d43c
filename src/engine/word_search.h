// Searches a block of the word list for the words that need a closer look.
#ifndef SPELL_CHECKER_ENGINE_WORD_SEARCH_H_
#define SPELL_CHECKER_ENGINE_WORD_SEARCH_H_

#include <cstddef>

// Which first bytes make a word worth a closer look. Non-letters always do; of the letters, only
// those in `letters` do, unless `all_letters` is set.
struct StartFilter {
  bool interesting[256] = {};
  char letters[4] = {};
  std::size_t letter_count = 0;
  bool all_letters = false;
};

// Builds a filter from the table of interesting first bytes, in which every non-letter but the
// separators must be marked.
StartFilter make_start_filter(const bool (&interesting)[256]);

// The searches read up to this many bytes past `end`, which must be separators, and the byte
// before `from`, which tells whether a word starts at `from`.
constexpr std::size_t kSearchPadding = 16;

// The first position in [from, end) where a word with an interesting first byte starts, or end.
std::size_t find_interesting_start(const char* data, std::size_t from, std::size_t end,
                                   const StartFilter& filter);

// The first separator in [from, end), or end.
std::size_t find_separator(const char* data, std::size_t from, std::size_t end);

// Whether this build searches 16 bytes at a time with SSE2.
bool vector_search();

#endif  // SPELL_CHECKER_ENGINE_WORD_SEARCH_H_
