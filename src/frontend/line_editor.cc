#include "line_editor.h"

#include <readline/readline.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "terminal.h"

namespace {

bool line_editor_variable_is_on(const char* name) {
  const char* value = rl_variable_value(name);
  return value != nullptr && std::strcmp(value, "on") == 0;
}

// The user's inputrc can change these while a line is read; what counts is their value when the
// next line starts.
void note_line_editor_settings() {
  note_editor_modes(line_editor_variable_is_on("enable-bracketed-paste"),
                    line_editor_variable_is_on("echo-control-characters"));
}

// The editor's own ways into and out of its terminal settings: through them the terminal module
// knows, rather than guesses, whether the terminal is in the editor's settings.
void prep_terminal(int meta) {
  if (!editor_entering_terminal()) return;
  rl_prep_terminal(meta);
  editor_entered_terminal();
}

void deprep_terminal() {
  editor_leaving_terminal();
  rl_deprep_terminal();
  editor_left_terminal();
}

// After the program is brought back to the foreground the screen shows what the shell wrote:
// the prompt and the text typed so far are shown again, as a full-screen program redraws itself.
// Readline calls the first hook when a signal cuts its wait for a key short, the second before
// each key it reads; neither runs inside a signal handler.
void show_line_again_if_needed() {
  if (editor_line_needs_showing()) rl_forced_update_display();
}

int after_signal() {
  show_line_again_if_needed();
  return 0;
}

int read_key(FILE* input) {
  show_line_again_if_needed();
  return rl_getc(input);
}

}  // namespace

void start_line_editor() {
  // The line editor's own signal handling only notes a signal and acts on it at its next check:
  // a signal that lands just before it waits for a key waits for that key, and one that lands
  // as it switches the terminal's modes leaves them switched. The termination handler acts at
  // once wherever a signal lands, and puts the terminal back itself.
  rl_catch_signals = 0;
  rl_prep_term_function = prep_terminal;
  rl_deprep_term_function = deprep_terminal;
  rl_signal_event_hook = after_signal;
  rl_getc_function = read_key;
  rl_initialize();
  note_line_editor_settings();
}

char* read_line(const char* prompt, int& read_errno) {
  errno = 0;
  char* line = readline(prompt);
  read_errno = errno;
  if (line != nullptr) note_line_editor_settings();
  return line;
}
