#include "line_editor.h"

#include <readline/readline.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "piped_input.h"
#include "terminal.h"

namespace {

bool line_editor_variable_is_on(const char* name) {
  const char* value = rl_variable_value(name);
  return value != nullptr && std::strcmp(value, "on") == 0;
}

// A mode the editor turns on as it starts reading a line, if `variable` is on, and off as it
// stops: by the escape sequences it writes itself for bracketed paste, by the terminal's own
// control strings (as the editor looked them up) for the others.
struct EditorMode {
  const char* variable;
  const char* on;  // the sequence, or the name of the terminal's capability
  const char* off;
  bool capability;
};
constexpr EditorMode kEditorModes[] = {
    {"enable-meta-key", "mm", "mo", true},
    {"enable-keypad", "ks", "ke", true},
    {"enable-bracketed-paste", "\x1b[?2004h", "\x1b[?2004l", false},
};

// The user's inputrc can change these while a line is read; what counts is their value when the
// next line starts. The modes go off in the order opposite to the one they came on in.
void note_line_editor_settings() {
  std::string on, off;
  for (const EditorMode& mode : kEditorModes) {
    if (!line_editor_variable_is_on(mode.variable)) continue;
    const char* mode_on = mode.capability ? rl_get_termcap(mode.on) : mode.on;
    const char* mode_off = mode.capability ? rl_get_termcap(mode.off) : mode.off;
    if (mode_on == nullptr || mode_off == nullptr ||
        on.size() + std::strlen(mode_on) >= kModeTextSize ||
        off.size() + std::strlen(mode_off) >= kModeTextSize)
      continue;
    on += mode_on;
    off.insert(0, mode_off);
  }
  note_editor_modes(on.c_str(), off.c_str(), line_editor_variable_is_on("echo-control-characters"));
}

// Where the terminal is not the program's controlling terminal, the editor's settings leave the
// keys that send signals to the terminal's own foreground, which is not the program, as plain
// keys (terminal.cc); so the editor takes them. The interrupt key ends the program as SIGINT
// does, the quit key as SIGQUIT does; the suspend key does nothing, for no shell could bring a
// stopped program back.
int interrupt_key(int, int) { return raise(SIGINT); }
int quit_key(int, int) { return raise(SIGQUIT); }
int suspend_key(int, int) { return rl_ding(); }

void bind_signal_keys() {
  termios settings;
  if (tcgetattr(STDIN_FILENO, &settings) != 0) return;
  const struct {
    int index;
    rl_command_func_t* function;
  } keys[] = {{VINTR, interrupt_key}, {VQUIT, quit_key}, {VSUSP, suspend_key}};
  for (const Keymap keymap : {emacs_standard_keymap, vi_insertion_keymap, vi_movement_keymap})
    for (const auto& key : keys)
      if (settings.c_cc[key.index] != _POSIX_VDISABLE)
        rl_bind_key_in_map(settings.c_cc[key.index], key.function, keymap);
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
// Readline calls the first hook when a signal cuts a wait of its own short; the key reading
// below looks before each read and after each read that a signal cut short. Neither runs inside
// a signal handler.
void show_line_again_if_needed() {
  if (editor_line_needs_showing()) rl_forced_update_display();
}

int after_signal() {
  show_line_again_if_needed();
  return 0;
}

// A key from the terminal. The program waits for it itself, with the stop signals and
// continuing held from its look at the foreground to the wait, which lets them through and
// which they cut short: so it never waits in the background (terminal.h), where a wait would
// not see the shell's fg of a running job. After a wait that a signal cut short, the line is
// shown again if the program was brought back.
int read_key(FILE*) {
  const sigset_t stops = stops_and_continuing();
  for (;;) {
    wait_while_editor_reads_in_background();
    show_line_again_if_needed();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    if (editor_reads_in_background()) {
      sigprocmask(SIG_SETMASK, &before, nullptr);
      continue;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    const int ready = pselect(STDIN_FILENO + 1, &readable, nullptr, nullptr, nullptr, &before);
    // The read goes with the signals let through again: the terminal empties its input on the
    // suspend key, so a key waiting a moment ago may be gone, and a read that waits must let
    // the stop through. (A stop and bg just before it make it a read in the background, which
    // stops the program again, as any job's.)
    sigprocmask(SIG_SETMASK, &before, nullptr);
    unsigned char key = 0;
    const ssize_t got = ready > 0 ? read(STDIN_FILENO, &key, 1) : -1;
    const int error = errno;
    if (got == 1) return key;
    if (got == 0) return EOF;
    if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) continue;
    return RL_ISSTATE(RL_STATE_READCMD) ? READERR : EOF;
  }
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
  if (terminal_without_job_control()) bind_signal_keys();
  // The modes the editor turns on are for a terminal. Written into a pipe, they would reach a
  // terminal only through whatever reads the pipe, which may be gone when the program ends and
  // writes them off: so where standard output is no terminal, none is turned on.
  if (!isatty(STDOUT_FILENO)) {
    for (const EditorMode& mode : kEditorModes) rl_variable_bind(mode.variable, "off");
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
