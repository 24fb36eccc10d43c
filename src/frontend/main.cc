// spell_checker: reads one word per line and says whether the word list holds it, or which
// words of the list sound like it.
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "spell_checker.h"
#include "termination.h"

namespace {

// readline gives no line both for Ctrl-D at a terminal, which only prompts again, and for input
// that will never give another line: a pipe or file at its end, or a terminal that has gone away
// (a hung-up terminal fails every read with EIO and is no longer a terminal to isatty).
bool input_has_ended(int read_errno) { return !isatty(STDIN_FILENO) || read_errno == EIO; }

void print_reply(const std::string& line, const LookupResult& result) {
  if (!result.error.empty()) std::cerr << "spell_checker: " << result.error << std::endl;
  if (result.found) {
    std::cout << "correct spelling: " << line << std::endl;
    return;
  }
  for (const std::string& candidate : result.candidates) std::cout << candidate << std::endl;
}

}  // namespace

int main() {
  install_termination_handler();
  std::cout << "Please type Ctrl-C to exit this program...\n" << std::endl;

  std::string previous_line;
  for (;;) {
    errno = 0;
    char* raw_line = readline("word> ");
    if (raw_line == nullptr) {
      if (input_has_ended(errno)) end_program();
      continue;
    }
    const std::string line(raw_line);
    std::free(raw_line);

    if (line != previous_line) add_history(line.c_str());
    previous_line = line;

    // The typed word, like every word of the list, must fit a WorkBuffer with room to spare.
    if (line.size() >= kWorkBufferSize - 1) continue;
    print_reply(line, lookup_word(line));
  }
}
