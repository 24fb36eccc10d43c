// spell_checker: reads one word per line and says whether the word list holds it, or which
// words of the list sound like it.
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "output.h"
#include "spell_checker.h"
#include "termination.h"

namespace {

// readline gives no line both for Ctrl-D at a terminal, which only prompts again, and for input
// that will never give another line: a pipe or file at its end, or a terminal that has gone away
// (a hung-up terminal fails every read with EIO and is no longer a terminal to isatty).
bool input_has_ended(int read_errno) { return !isatty(STDIN_FILENO) || read_errno == EIO; }

bool line_editor_variable_is_on(const char* name) {
  const char* value = rl_variable_value(name);
  return value != nullptr && std::strcmp(value, "on") == 0;
}

// The line editor's own ways into and out of its terminal settings, through which the
// termination handler knows, rather than guesses, whether the terminal is in the editor's
// settings: it is told just before the editor switches and just after it switches back.
void prep_terminal(int meta) {
  note_line_editor_terminal(true);
  rl_prep_terminal(meta);
}

void deprep_terminal() {
  rl_deprep_terminal();
  note_line_editor_terminal(false);
}

// The user's inputrc can change these while a line is read; what counts is their value when the
// next line starts.
void note_line_editor_settings() {
  note_line_editor_modes(line_editor_variable_is_on("enable-bracketed-paste"),
                         line_editor_variable_is_on("echo-control-characters"));
}

// Writes `prefix`, `text` and a newline, and flushes them. Standard output is robust: a failure
// to write ends the program.
void print_line(const char* prefix, const std::string& text) {
  std::fputs(prefix, stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
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
  // The line editor's own signal handling only notes a signal and acts on it at its next check:
  // a signal that lands just before it waits for a key waits for that key, and one that lands
  // as it switches the terminal's modes leaves them switched. The termination handler acts at
  // once wherever a signal lands, and puts the terminal back itself.
  rl_catch_signals = 0;
  rl_prep_term_function = prep_terminal;
  rl_deprep_term_function = deprep_terminal;
  rl_initialize();
  note_line_editor_settings();
  std::fputs("Please type Ctrl-C to exit this program...\n\n", stdout);
  std::fflush(stdout);

  std::string previous_line;
  for (;;) {
    errno = 0;
    char* raw_line = readline("word> ");
    if (raw_line == nullptr) {
      if (input_has_ended(errno)) end_program();
      continue;
    }
    note_line_editor_settings();
    try {
      const std::string line(raw_line);
      std::free(raw_line);
      raw_line = nullptr;
      if (line != previous_line) add_history(line.c_str());
      previous_line = line;
      // The typed word, like every word of the list, must fit a WorkBuffer with room to spare.
      if (line.size() >= kWorkBufferSize - 1) continue;
      print_reply(line, lookup_word(line));
    } catch (const std::bad_alloc&) {
      std::free(raw_line);
      report_error("cannot hold the line typed: Cannot allocate memory");
    }
  }
}
