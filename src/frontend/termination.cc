#include "termination.h"

#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "output.h"

namespace {

// How long the farewell, or any text written on a signal, waits for an output that takes none.
constexpr int kWriteMilliseconds = 2000;

termios terminal_at_start;
termios editor_settings;  // the line editor's, while the terminal is lent out for a stop
volatile sig_atomic_t input_is_terminal = 0;
volatile sig_atomic_t editor_has_terminal = 0;
volatile sig_atomic_t terminal_lent = 0;  // given back for a stop, to be taken back on continuing
volatile sig_atomic_t bracketed_paste = 0;
volatile sig_atomic_t echo_control_characters = 0;

const char kPasteOff[] = "\x1b[?2004l";
const char kPasteOn[] = "\x1b[?2004h";

// The signals whose default action ends the process, besides the three that end the program
// with its farewell: each gives the terminal back, then takes its default action. The real-time
// signals, which are no constants, join them at installation.
constexpr int kOtherEndings[] = {
    SIGQUIT,   SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU,
    SIGXFSZ,   SIGSYS,  SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,    SIGILL,  SIGSEGV,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

sigset_t set_of(std::initializer_list<int> signal_numbers) {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : signal_numbers) sigaddset(&set, signal_number);
  return set;
}

// Whether the program's process group owns the terminal: only then does the program change the
// terminal's settings or write control sequences to it.
bool in_foreground() { return input_is_terminal && tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// Up to 64 bytes of text for the terminal, put together without memory from the heap.
struct Text {
  char bytes[64];
  std::size_t length = 0;

  void add(const char* text) {
    const std::size_t size = std::strlen(text);
    std::memcpy(bytes + length, text, size);
    length += size;
  }
  // What the line editor shows for a signal typed at it, when the terminal echoes control keys:
  // "^C" for the interrupt key, "^Z" for the suspend key, "^\" for the quit key.
  void add_signal_key(int signal_number) {
    if (!echo_control_characters || (terminal_at_start.c_lflag & ECHOCTL) == 0) return;
    int index = -1;
    if (signal_number == SIGINT) index = VINTR;
    if (signal_number == SIGTSTP) index = VSUSP;
    if (signal_number == SIGQUIT) index = VQUIT;
    if (index < 0 || terminal_at_start.c_cc[index] == _POSIX_VDISABLE) return;
    const cc_t key = terminal_at_start.c_cc[index];
    const bool control = key < 0x20 || key == 0x7f;
    const char shown[] = {control ? '^' : static_cast<char>(key),
                          control ? static_cast<char>(key ^ 0x40) : '\0', '\0'};
    add(shown);
  }
  void write_out() const { write_within(STDOUT_FILENO, bytes, length, kWriteMilliseconds); }
};

// Gives the terminal back as the program found it, if the line editor has it in its own settings
// and the program is in the foreground; `text` gets what the line editor would have written had
// it handled `signal_number` itself: the key shown, and bracketed paste turned off. Returns
// whether it gave the terminal back.
bool give_terminal_back(int signal_number, Text& text) {
  if (!editor_has_terminal || !in_foreground()) return false;
  tcsetattr(STDIN_FILENO, TCSANOW, &terminal_at_start);
  text.add_signal_key(signal_number);
  if (bracketed_paste) text.add(kPasteOff);
  return true;
}

// The same, writing what the line editor would have written at once.
bool hand_terminal_back(int signal_number) {
  Text text;
  const bool given = give_terminal_back(signal_number, text);
  text.write_out();
  return given;
}

// Once the program ends, nothing may cut its last words short: every signal that can be held is.
void hold_every_signal() {
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, nullptr);
}

[[noreturn]] void finish(int signal_number) {
  hold_every_signal();
  Text farewell;
  give_terminal_back(signal_number, farewell);
  farewell.add("\nThank you...\n");
  farewell.write_out();
  _exit(0);
}

void end_by_default(int signal_number) {
  const int saved_errno = errno;
  hand_terminal_back(signal_number);
  // Held while this handler runs, the signal is taken again, by default, as it returns.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  errno = saved_errno;
}

// The line editor's settings again, if the terminal was lent out and is the program's again.
void take_terminal_back() {
  if (!terminal_lent || !in_foreground()) return;
  terminal_lent = 0;
  if (!editor_has_terminal) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &editor_settings);
  if (bracketed_paste)
    write_within(STDOUT_FILENO, kPasteOn, std::strlen(kPasteOn), kWriteMilliseconds);
}

void stop(int signal_number);

void catch_stop(int signal_number) {
  struct sigaction stopping = {};
  stopping.sa_handler = stop;
  stopping.sa_mask = set_of({SIGCONT, SIGTTOU});
  stopping.sa_flags = SA_RESTART;
  sigaction(signal_number, &stopping, nullptr);
}

// The suspend key, SIGTTIN and SIGTTOU: while the program is stopped, whoever has the terminal
// has it as the program found it; when the program is continued in the foreground, the line
// editor gets its settings back. Continued in the background, it leaves the terminal alone: its
// next read of the terminal stops it again, and `continued` or this handler, once it is brought
// back, takes the terminal back.
void stop(int signal_number) {
  const int saved_errno = errno;
  if (!terminal_lent && editor_has_terminal && in_foreground() &&
      tcgetattr(STDIN_FILENO, &editor_settings) == 0) {
    terminal_lent = hand_terminal_back(signal_number);
  }
  // Stops as the signal's default action would: here, until continued.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  const sigset_t held = set_of({signal_number});
  sigprocmask(SIG_UNBLOCK, &held, nullptr);
  sigprocmask(SIG_BLOCK, &held, nullptr);
  catch_stop(signal_number);
  take_terminal_back();
  errno = saved_errno;
}

void continued(int) {
  const int saved_errno = errno;
  take_terminal_back();
  errno = saved_errno;
}

// Any exit, the line editor's own on running out of memory among them, leaves the terminal as
// the program found it.
void give_terminal_back_at_exit() { hand_terminal_back(0); }

// Catches `signal_number` with `handler`, unless the program inherited it ignored or caught (by
// a sanitizer, say), which it leaves so.
void catch_if_default(int signal_number, void (*handler)(int)) {
  struct sigaction inherited = {};
  if (sigaction(signal_number, nullptr, &inherited) != 0 || inherited.sa_handler != SIG_DFL) return;
  struct sigaction catching = {};
  catching.sa_handler = handler;
  sigaction(signal_number, &catching, nullptr);
}

}  // namespace

void install_termination_handler() {
  if (tcgetattr(STDIN_FILENO, &terminal_at_start) == 0) input_is_terminal = 1;

  struct sigaction ending = {};
  ending.sa_handler = handle_termination_signal;
  sigfillset(&ending.sa_mask);
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &ending, nullptr);

  // A shell without job control has the program ignore the stop signals; they stay ignored.
  for (int signal_number : {SIGTSTP, SIGTTIN, SIGTTOU}) {
    struct sigaction inherited = {};
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN)
      catch_stop(signal_number);
  }
  struct sigaction continuing = {};
  continuing.sa_handler = continued;
  continuing.sa_mask = set_of({SIGTSTP, SIGTTIN, SIGTTOU});
  continuing.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &continuing, nullptr);

  for (int signal_number : kOtherEndings) catch_if_default(signal_number, end_by_default);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    catch_if_default(signal_number, end_by_default);
#endif
  atexit(give_terminal_back_at_exit);

  const sigset_t wanted = set_of({SIGTERM, SIGINT, SIGHUP});
  sigprocmask(SIG_UNBLOCK, &wanted, nullptr);
}

void note_line_editor_modes(bool bracketed_paste_on, bool echo_control_characters_on) {
  bracketed_paste = bracketed_paste_on;
  echo_control_characters = echo_control_characters_on;
}

void note_line_editor_terminal(bool has_terminal) {
  editor_has_terminal = has_terminal;
  if (!has_terminal) terminal_lent = 0;
}

void end_program() { finish(0); }

void handle_termination_signal(int signal_number) { finish(signal_number); }

void end_program_on_error(const std::string& message) {
  hold_every_signal();
  hand_terminal_back(0);
  report_error(message.c_str());
  _exit(1);
}
