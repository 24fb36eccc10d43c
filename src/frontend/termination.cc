// The signal handlers live here: only async-signal-safe calls belong in this file, but in
// install_termination_handler and end_program_on_error's making of its message.
#include "termination.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "output.h"
#include "terminal.h"

namespace {

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

// Once the program ends, nothing may cut its last words short: every signal that can be held is.
void hold_every_signal() {
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, nullptr);
}

// Hands the terminal back for good, and writes at once what the line editor would have.
void hand_back_for_good(int signal_number) {
  TerminalText text;
  hand_terminal_back_for_good(signal_number, text);
  text.write_out();
}

[[noreturn]] void finish(int signal_number) {
  hold_every_signal();
  TerminalText farewell;
  hand_terminal_back_for_good(signal_number, farewell);
  farewell.add("\nThank you...\n");
  farewell.write_out();
  _exit(0);
}

void end_by_default(int signal_number) {
  const int saved_errno = errno;
  hand_back_for_good(signal_number);
  // Held while this handler runs, the signal is taken again, by default, as it returns.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  errno = saved_errno;
}

// Catches `signal_number` with `handler`, which runs with `held` held. Without SA_RESTART: a
// read of the terminal that a stop or a continuation cut short returns, so that the line
// editor's hook runs and shows the line again at once (line_editor.cc), rather than at the next
// key. Every read and write of the program's own is tried again after EINTR.
void catch_with(int signal_number, void (*handler)(int), const sigset_t& held) {
  struct sigaction catching = {};
  catching.sa_handler = handler;
  catching.sa_mask = held;
  sigaction(signal_number, &catching, nullptr);
}

void stop(int signal_number);

void catch_stop(int signal_number) { catch_with(signal_number, stop, stops_and_continuing()); }

// The suspend key, SIGTTIN and SIGTTOU: while the program is stopped, whoever has the terminal
// has it as the program found it; when the program is continued in the foreground, the line
// editor gets its settings back (terminal.h).
void stop(int signal_number) {
  const int saved_errno = errno;
  note_stop();
  TerminalText text;
  hand_terminal_back(signal_number, text);
  text.write_out();
  // A continuation held while this runs came after the stop (a stop signal takes any continuation
  // pending before it away): the shell has brought the job back already, and stopping now would
  // leave it stopped for good.
  sigset_t pending;
  if (sigpending(&pending) != 0 || !sigismember(&pending, SIGCONT)) {
    // Stops as the signal's default action would: here, until continued.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, signal_number);
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    catch_stop(signal_number);
  }
  take_terminal_back();
  errno = saved_errno;
}

void continued(int) {
  const int saved_errno = errno;
  take_terminal_back();
  errno = saved_errno;
}

// Any exit, the line editor's own on running out of memory among them, leaves the terminal as
// the program found it, and waits for standard output no longer than a farewell would.
void give_terminal_back_at_exit() {
  const sigset_t stops = stops_and_continuing();
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  limit_standard_output_waits(kLastWordsMilliseconds);
  hand_back_for_good(0);
}

// Catches `signal_number` with `handler`, unless the program inherited it ignored or caught (by
// a sanitizer, say), which it leaves so.
void catch_if_default(int signal_number, void (*handler)(int)) {
  struct sigaction inherited = {};
  if (sigaction(signal_number, nullptr, &inherited) != 0 || inherited.sa_handler != SIG_DFL) return;
  catch_with(signal_number, handler, stops_and_continuing());
}

}  // namespace

void install_termination_handler() {
  remember_terminal();

  sigset_t every_signal;
  sigfillset(&every_signal);
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
    catch_with(signal_number, handle_termination_signal, every_signal);

  // A shell without job control has the program ignore the stop signals; they stay ignored.
  for (int signal_number : kStopSignals) {
    struct sigaction inherited = {};
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN)
      catch_stop(signal_number);
  }
  catch_with(SIGCONT, continued, stops_and_continuing());

  for (int signal_number : kOtherEndings) catch_if_default(signal_number, end_by_default);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    catch_if_default(signal_number, end_by_default);
#endif
  atexit(give_terminal_back_at_exit);

  // A parent may have blocked them: a job would then change the terminal's settings from the
  // background, unstopped, and no signal could end the program.
  sigset_t wanted = stops_and_continuing();
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&wanted, signal_number);
  sigprocmask(SIG_UNBLOCK, &wanted, nullptr);
}

void end_program() { finish(0); }

void handle_termination_signal(int signal_number) { finish(signal_number); }

void end_program_on_error(const std::string& message) {
  hold_every_signal();
  hand_back_for_good(0);
  report_error(message.c_str(), kLastWordsMilliseconds);
  _exit(1);
}

void end_program_on_output_failure(int error) {
  if (standard_output_hung_up(error)) end_program();  // the person has gone, as on SIGHUP
  end_program_on_error(std::string("cannot write to standard output: ") + std::strerror(error));
}
