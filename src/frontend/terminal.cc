// Signal handlers run most of this file: only async-signal-safe calls belong here, but in the
// three functions that say otherwise.
//
// What the program tells apart, and how:
// - Who holds the terminal (`holder`), as the line editor's hooks and the endings say: the
//   program (the editor is not reading), the editor (from just before its switch into its
//   settings to just before its switch back: they are, or may be, in force), the editor leaving
//   (during its switch back: they may still be in force, but are not to be put back), or nobody
//   (the program is ending and has handed the terminal back for good).
// - Whether the program may change the terminal's settings: its process group owns the terminal
//   (tcgetpgrp), or the terminal is not its controlling terminal (tcgetpgrp fails with ENOTTY),
//   where no job control applies. From the background it changes them only to undo its own.
// - Whether the editor's settings are in force, whoever owns the terminal now: they carry a mark,
//   a value of VEOL2 that the settings found at start do not have; only canonical input reads it,
//   which the editor's settings have off. The terminal's settings, as tcgetattr reads them, show
//   the mark or not. So a stop handler that runs after a shell took the terminal from the job (a
//   wrapper in the job stopped first) knows whether the shell left the editor's settings behind.
// - Whether the program stopped while the editor read (`stopped`): after such a stop, another
//   program had the terminal, so the editor's settings and modes are put back and the line shown
//   again, whatever the terminal looks like.
#include "terminal.h"

#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "output.h"

namespace {

#ifdef VEOL2
constexpr int kMarkIndex = VEOL2;
#else
constexpr int kMarkIndex = VEOL;
#endif

enum Holder : int { kProgram, kEditor, kEditorLeaving, kNobody };

termios at_start;
termios editor;  // the line editor's settings, with the mark
volatile sig_atomic_t is_terminal = 0;
volatile sig_atomic_t holder = kProgram;
volatile sig_atomic_t editor_saved = 0;
volatile sig_atomic_t stopped = 0;
volatile sig_atomic_t continues = 0;  // how many times the program was continued
volatile sig_atomic_t line_needs_showing = 0;
volatile sig_atomic_t echo_control_characters = 0;
// The editor's modes, as their control strings: two copies, of which handlers read the one
// `modes_in_use` names while the other is written.
struct EditorModes {
  char on[kModeTextSize] = "";
  char off[kModeTextSize] = "";
};
EditorModes editor_modes[2];
volatile sig_atomic_t modes_in_use = 0;
sigset_t before_entering;  // the signal mask that editor_entering_terminal changed

// Whether another process group owns the terminal: the program's is in the background.
bool in_background() {
  if (!is_terminal) return false;
  const pid_t owner = tcgetpgrp(STDIN_FILENO);
  return owner >= 0 && owner != getpgrp();
}

// Whether the program may change the terminal's settings, as the owner of a terminal with job
// control, or as a user of one without (ENOTTY). A terminal that has hung up fails with EIO.
bool in_foreground() {
  if (!is_terminal) return false;
  const pid_t owner = tcgetpgrp(STDIN_FILENO);
  return owner == getpgrp() || (owner < 0 && errno == ENOTTY);
}

bool have_editor_mark(const termios& settings) {
  return editor_saved && settings.c_cc[kMarkIndex] == editor.c_cc[kMarkIndex] &&
         (settings.c_lflag & ICANON) == 0;
}

bool editor_settings_in_force() {
  termios now;
  return tcgetattr(STDIN_FILENO, &now) == 0 && have_editor_mark(now);
}

// What the line editor shows for a signal typed at it, when the terminal echoes control keys:
// "^C" for the interrupt key, "^Z" for the suspend key, "^\" for the quit key.
void add_signal_key(int signal_number, TerminalText& text) {
  if (!echo_control_characters || (at_start.c_lflag & ECHOCTL) == 0) return;
  int index = -1;
  if (signal_number == SIGINT) index = VINTR;
  if (signal_number == SIGTSTP) index = VSUSP;
  if (signal_number == SIGQUIT) index = VQUIT;
  if (index < 0 || at_start.c_cc[index] == _POSIX_VDISABLE) return;
  const cc_t key = at_start.c_cc[index];
  const bool control = key < 0x20 || key == 0x7f;
  const char shown[] = {control ? '^' : static_cast<char>(key),
                        control ? static_cast<char>(key ^ 0x40) : '\0', '\0'};
  text.add(shown);
}

// Where the program can only look again and again, it looks ten times a second.
void wait_a_moment() {
  const timespec moment = {0, 100 * 1000 * 1000};
  nanosleep(&moment, nullptr);
}

// Stops the job as the terminal does when a job in the background changes its settings, unless
// the program inherited the stop signals ignored; then waits a moment. Returns false where the
// stop did not come: the process group is orphaned, and so can never be brought forward.
bool wait_to_be_brought_forward() {
  struct sigaction disposition = {};
  if (sigaction(SIGTTOU, nullptr, &disposition) == 0 && disposition.sa_handler != SIG_IGN) {
    const sig_atomic_t before = continues;
    raise(SIGTTOU);
    return continues != before || !in_background();
  }
  wait_a_moment();  // a continuation, as with fg, cuts it short
  return true;
}

// Where the program stands as it goes on: in the foreground while the editor reads, after a stop
// or with the editor's settings gone, the editor gets its settings and modes back and its line is
// to be shown again.
void put_editor_settings_back() {
  if (holder != kEditor || !editor_saved || !in_foreground()) return;
  if (!stopped && editor_settings_in_force()) return;  // a continuation without a stop
  stopped = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &editor);
  const char* const on = editor_modes[modes_in_use].on;
  write_within(STDOUT_FILENO, on, std::strlen(on), kLastWordsMilliseconds);
  line_needs_showing = 1;
}

}  // namespace

sigset_t stops_and_continuing() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kStopSignals) sigaddset(&set, signal_number);
  sigaddset(&set, SIGCONT);
  return set;
}

void TerminalText::add(const char* text) {
  const std::size_t size = std::strlen(text);
  if (size > sizeof bytes - length) return;
  std::memcpy(bytes + length, text, size);
  length += size;
}

void TerminalText::write_out() const {
  write_within(STDOUT_FILENO, bytes, length, kLastWordsMilliseconds);
}

void remember_terminal() {
  if (tcgetattr(STDIN_FILENO, &at_start) == 0) is_terminal = 1;
}

void note_editor_modes(const char* on, const char* off, bool echo_control_characters_on) {
  EditorModes& next = editor_modes[1 - modes_in_use];
  std::strncpy(next.on, on, kModeTextSize - 1);
  std::strncpy(next.off, off, kModeTextSize - 1);
  modes_in_use = 1 - modes_in_use;
  echo_control_characters = echo_control_characters_on;
}

bool terminal_without_job_control() {
  return is_terminal && tcgetpgrp(STDIN_FILENO) < 0 && errno == ENOTTY;
}

// Not for signal handlers: it waits, and changes the signal mask.
bool editor_entering_terminal() {
  if (!is_terminal) return true;
  const sigset_t stops = stops_and_continuing();
  sigprocmask(SIG_BLOCK, &stops, &before_entering);
  while (in_background()) {
    sigprocmask(SIG_SETMASK, &before_entering, nullptr);
    const bool may_come_forward = wait_to_be_brought_forward();
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    if (!may_come_forward) {
      sigprocmask(SIG_SETMASK, &before_entering, nullptr);
      return false;
    }
  }
  editor_saved = 0;
  stopped = 0;
  line_needs_showing = 0;
  holder = kEditor;
  return true;
}

// Not for signal handlers: it changes the signal mask.
void editor_entered_terminal() {
  if (!is_terminal) return;
  termios settings;
  if (tcgetattr(STDIN_FILENO, &settings) == 0 && (settings.c_lflag & ICANON) == 0) {
    // Any value other than the one found at start will do; the editor's own is that one.
    settings.c_cc[kMarkIndex] = static_cast<cc_t>(at_start.c_cc[kMarkIndex] == 1 ? 2 : 1);
    // Without job control, the keys that send signals would send them to the terminal's
    // foreground, not to the program: they come to the editor as keys (line_editor.cc).
    if (terminal_without_job_control()) settings.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &settings) == 0) {
      editor = settings;
      editor_saved = 1;
    }
  }
  sigprocmask(SIG_SETMASK, &before_entering, nullptr);
}

void editor_leaving_terminal() {
  if (holder == kEditor) holder = kEditorLeaving;
}

void editor_left_terminal() {
  if (holder == kEditorLeaving) holder = kProgram;
}

bool editor_reads_in_background() { return in_background(); }

// Not for signal handlers: it waits, and changes the signal mask.
void wait_while_editor_reads_in_background() {
  bool waited = false;
  while (editor_reads_in_background()) {
    waited = true;
    wait_a_moment();  // a signal cuts it short
  }
  // A stop still outstanding: the continuation came in the background, and the shell's fg of
  // the running job came after it had looked, however soon after.
  if (!waited && !stopped) return;
  const sigset_t stops = stops_and_continuing();
  sigset_t before;
  sigprocmask(SIG_BLOCK, &stops, &before);
  put_editor_settings_back();
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

bool editor_line_needs_showing() {
  if (!line_needs_showing) return false;
  line_needs_showing = 0;
  return true;
}

void hand_terminal_back(int signal_number, TerminalText& text) {
  termios now;
  if (!is_terminal || holder == kNobody || tcgetattr(STDIN_FILENO, &now) != 0) return;
  const bool editor_may_hold = holder == kEditor || holder == kEditorLeaving;
  const bool foreground = in_foreground();
  if (!(editor_may_hold && foreground) && !have_editor_mark(now)) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &at_start);
  // Where the terminal still echoed, it has shown the key itself.
  if (foreground && (now.c_lflag & ECHO) == 0) add_signal_key(signal_number, text);
  text.add(editor_modes[modes_in_use].off);
}

void hand_terminal_back_for_good(int signal_number, TerminalText& text) {
  hand_terminal_back(signal_number, text);
  holder = kNobody;
}

void note_stop() {
  if (holder == kEditor) stopped = 1;
}

void take_terminal_back() {
  continues = continues + 1;
  put_editor_settings_back();
}
