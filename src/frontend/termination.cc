#include "termination.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "output.h"

namespace {

// How long the farewell waits for a standard output that nobody reads.
constexpr unsigned kFarewellSeconds = 2;

termios terminal_at_start;
volatile sig_atomic_t input_is_terminal = 0;
volatile sig_atomic_t bracketed_paste = 0;
volatile sig_atomic_t echo_control_characters = 0;
volatile sig_atomic_t exit_status = 0;

sigset_t set_of(std::initializer_list<int> signal_numbers) {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : signal_numbers) sigaddset(&set, signal_number);
  return set;
}

// Held off while the program ends: a second termination signal would start a second farewell,
// SIGPIPE would kill the program when the reader has gone, and SIGTTOU would stop it as it puts
// the terminal back from the background.
sigset_t signals_held_at_the_end() { return set_of({SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGTTOU}); }

void leave_now(int) { _exit(exit_status); }

// Holds off further signals and bounds every wait that follows: the process ends with `status`
// after kFarewellSeconds whatever it is waiting for.
void start_ending(int status) {
  const sigset_t held = signals_held_at_the_end();
  sigprocmask(SIG_BLOCK, &held, nullptr);
  exit_status = status;
  const sigset_t alarm_signal = set_of({SIGALRM});
  sigprocmask(SIG_UNBLOCK, &alarm_signal, nullptr);
  alarm(kFarewellSeconds);
}

// Puts the terminal back as the program found it. The line editor turns echo and canonical input
// off while it reads a line, and a signal may come at any moment of that, even as it switches.
// Returns whether the line editor had the terminal, and then its settings in `editing`.
bool restore_terminal(termios& editing) {
  if (!input_is_terminal) return false;
  const bool was_editing = tcgetattr(STDIN_FILENO, &editing) == 0 &&
                           (editing.c_lflag & ICANON) == 0 &&
                           (terminal_at_start.c_lflag & ICANON) != 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &terminal_at_start);
  return was_editing;
}

// Up to 32 bytes of text for the terminal, put together without memory from the heap.
struct Text {
  char bytes[32];
  std::size_t length = 0;

  void add(const char* text) {
    const std::size_t size = std::strlen(text);
    std::memcpy(bytes + length, text, size);
    length += size;
  }
  // What the line editor shows for a signal typed at it, when the terminal echoes control keys:
  // "^C" for the interrupt key, "^Z" for the suspend key.
  void add_signal_key(int signal_number) {
    if (!echo_control_characters || (terminal_at_start.c_lflag & ECHOCTL) == 0) return;
    const cc_t key = terminal_at_start.c_cc[signal_number == SIGINT ? VINTR : VSUSP];
    if (key == _POSIX_VDISABLE) return;
    const bool control = key < 0x20 || key == 0x7f;
    const char shown[] = {control ? '^' : static_cast<char>(key),
                          control ? static_cast<char>(key ^ 0x40) : '\0', '\0'};
    add(shown);
  }
  void write_out() const { write_fully(STDOUT_FILENO, bytes, length); }
};

[[noreturn]] void finish(int signal_number) {
  start_ending(0);
  Text farewell;
  termios editing;
  if (restore_terminal(editing)) {
    // What the line editor would have shown had it handled the signal.
    if (signal_number == SIGINT) farewell.add_signal_key(SIGINT);
    if (bracketed_paste) farewell.add("\x1b[?2004l");
  }
  farewell.add("\nThank you...\n");
  farewell.write_out();
  _exit(0);
}

void suspend(int signal_number);

void catch_suspend() {
  struct sigaction suspending = {};
  suspending.sa_handler = suspend;
  suspending.sa_mask = set_of({SIGTTOU});  // so that the terminal can be set from the background
  sigaction(SIGTSTP, &suspending, nullptr);
}

// The suspend key (Ctrl-Z): while the program is stopped, the shell gets the terminal as the
// program found it; when the program is continued, the line editor gets its settings back.
void suspend(int) {
  const int saved_errno = errno;
  termios editing;
  const bool was_editing = restore_terminal(editing);
  if (was_editing) {
    Text leaving;
    leaving.add_signal_key(SIGTSTP);
    if (bracketed_paste) leaving.add("\x1b[?2004l");
    leaving.write_out();
  }
  signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  const sigset_t stop = set_of({SIGTSTP});
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the program stops here until it is continued
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  catch_suspend();
  if (was_editing) {
    tcsetattr(STDIN_FILENO, TCSANOW, &editing);
    if (bracketed_paste) write_fully(STDOUT_FILENO, "\x1b[?2004h", 8);
  }
  errno = saved_errno;
}

}  // namespace

void install_termination_handler() {
  if (tcgetattr(STDIN_FILENO, &terminal_at_start) == 0) input_is_terminal = 1;

  struct sigaction ending = {};
  ending.sa_handler = handle_termination_signal;
  ending.sa_mask = signals_held_at_the_end();
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &ending, nullptr);

  struct sigaction alarm_clock = {};
  alarm_clock.sa_handler = leave_now;
  sigfillset(&alarm_clock.sa_mask);
  sigaction(SIGALRM, &alarm_clock, nullptr);

  // A shell without job control has the program ignore the suspend key; leave it so.
  struct sigaction inherited = {};
  if (sigaction(SIGTSTP, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN)
    catch_suspend();

  const sigset_t wanted = set_of({SIGTERM, SIGINT, SIGHUP, SIGALRM});
  sigprocmask(SIG_UNBLOCK, &wanted, nullptr);
}

void note_line_editor_modes(bool bracketed_paste_on, bool echo_control_characters_on) {
  bracketed_paste = bracketed_paste_on;
  echo_control_characters = echo_control_characters_on;
}

void end_program() { finish(0); }

void handle_termination_signal(int signal_number) { finish(signal_number); }

void end_program_on_error(const std::string& message) {
  start_ending(1);
  termios editing;
  restore_terminal(editing);
  report_error(message.c_str());
  _exit(1);
}
