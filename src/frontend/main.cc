// spell_checker: reads one word per line and says whether the word list holds it, or which
// words of the list sound like it.
#include <readline/history.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "line_editor.h"
#include "output.h"
#include "piped_input.h"
#include "spell_checker.h"
#include "termination.h"
#include "waiting_lines.h"

namespace {

// readline gives no line for the end-of-file key at the start of a line, which only prompts
// again, and for input that will never give another line: a pipe or file read to its end, or a
// terminal that has gone away (a hung-up terminal fails every read with EIO and is no longer a
// terminal to isatty).
bool input_has_ended(bool piped, int read_errno) {
  if (piped) return piped_input_has_ended();
  return !isatty(STDIN_FILENO) || read_errno == EIO;
}

// Ends the program if standard output has failed for good: the replies are lost.
void check_standard_output() {
  if (const int error = flush_standard_output()) end_program_on_output_failure(error);
}

// Writes `prefix`, `text` and a newline, and flushes them.
void print_line(const char* prefix, const std::string& text) {
  std::fputs(prefix, stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  check_standard_output();
}

void print_reply(const std::string& line, const LookupResult& result) {
  if (!result.error.empty()) report_error(result.error.c_str());
  if (result.found) {
    print_line("correct spelling: ", line);
    return;
  }
  for (const std::string& candidate : result.candidates) print_line("", candidate);
}

}  // namespace

int main() {
  install_termination_handler();
  make_standard_output_robust();
  const bool piped = !isatty(STDIN_FILENO);
  start_line_editor(piped);
  std::fputs("Please type Ctrl-C to exit this program...\n\n", stdout);
  check_standard_output();

  std::string previous_line;
  WaitingLines waiting;
  for (;;) {
    char* raw_line = nullptr;
    try {
      if (piped) look_up_waiting_lines(waiting);
      int read_errno = 0;
      raw_line = read_line("word> ", read_errno);
      check_standard_output();  // the prompt, and what the line editor showed
      if (raw_line == nullptr) {
        if (input_has_ended(piped, read_errno)) end_program();
        forget_waiting_lines(waiting);
        continue;
      }
      const std::string line(raw_line);
      std::free(raw_line);
      raw_line = nullptr;
      if (line != previous_line) add_history(line.c_str());
      previous_line = line;
      // The typed word, like every word of the list, must fit a WorkBuffer with room to spare.
      if (line.size() >= kWorkBufferSize - 1) continue;
      LookupResult result;
      if (!take_waiting_result(waiting, line, result)) result = lookup_word(line);
      print_reply(line, result);
    } catch (const std::bad_alloc&) {
      std::free(raw_line);
      forget_waiting_lines(waiting);
      report_error("cannot hold the line typed: Cannot allocate memory");
    }
  }
}
