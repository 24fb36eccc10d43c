#include "line_editor.h"

#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "piped_input.h"
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

int read_piped_key(FILE*) {
  const int c = next_piped_byte();
  return c == -2 ? READERR : c == -1 ? EOF : c;
}

// The editor asks before it reads ahead, at times for a while (the time it gives an escape
// sequence to go on), which it tells only through its input timeout.
int piped_key_waiting() {
  const int microseconds = rl_set_keyboard_input_timeout(0);
  rl_set_keyboard_input_timeout(microseconds);
  return piped_byte_waiting(microseconds <= 0 ? 0 : (microseconds + 999) / 1000) ? 1 : 0;
}

bool bound_to(Keymap keymap, int byte, rl_command_func_t* function) {
  return keymap[byte].type == ISFUNC && keymap[byte].function == function;
}

}  // namespace

InsertedBytes bytes_inserted_as_they_are() {
  // Each line starts in the editing mode's own keymap (vi mode's in insertion).
  const Keymap keymap = rl_editing_mode == 0 ? vi_insertion_keymap : emacs_standard_keymap;
  const bool newline_ends_line = bound_to(keymap, '\n', rl_newline);
  // A byte from 0x80 on that the editor converts is read as Meta and another key, but for the
  // bytes that it inserts together with the one before, as it does with bytes already waiting.
  const bool converts_meta = line_editor_variable_is_on("convert-meta");
  InsertedBytes inserted;
  for (int byte = 0; byte < 256; ++byte) {
    inserted.later[byte] =
        newline_ends_line && byte >= 0x20 && byte != 0x7f && bound_to(keymap, byte, rl_insert);
    inserted.first[byte] = inserted.later[byte] && (byte < 0x80 || !converts_meta);
  }
  return inserted;
}

void start_line_editor(bool piped) {
  // The line editor's own signal handling only notes a signal and acts on it at its next check:
  // a signal that lands just before it waits for a key waits for that key, and one that lands
  // as it switches the terminal's modes leaves them switched. The termination handler acts at
  // once wherever a signal lands, and puts the terminal back itself.
  rl_catch_signals = 0;
  rl_prep_term_function = prep_terminal;
  rl_deprep_term_function = deprep_terminal;
  rl_signal_event_hook = after_signal;
  rl_getc_function = read_key;
  if (piped) {
    rl_getc_function = read_piped_key;
    rl_input_available_hook = piped_key_waiting;
  }
  rl_initialize();
  // The modes the editor turns on are for a terminal. Written into a pipe, they would reach a
  // terminal only through whatever reads the pipe, which may be gone when the program ends and
  // writes them off: so where standard output is no terminal, none is turned on.
  if (!isatty(STDOUT_FILENO)) {
    for (const char* mode : {"enable-bracketed-paste", "enable-keypad", "enable-meta-key"})
      rl_variable_bind(mode, "off");
  }
  note_line_editor_settings();
}

char* read_line(const char* prompt, int& read_errno) {
  errno = 0;
  char* line = readline(prompt);
  read_errno = errno;
  if (line != nullptr) note_line_editor_settings();
  return line;
}
