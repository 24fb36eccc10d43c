// run_as_job PROGRAM [ARGUMENT...]: runs PROGRAM as a job of its own on the terminal, as a shell
// would, so that the keys that signal the terminal's job (Ctrl-C, Ctrl-Z, Ctrl-\) reach PROGRAM
// alone and not what started run_as_job: under make run, make would otherwise die of the same
// Ctrl-C that ends the program, and report it.
//
// It follows PROGRAM's stops and continuations as a shell's job would: when PROGRAM stops, it
// takes the terminal back and stops its own job with the same signal, so that the shell that
// started that job sees it stop; when its job is continued in the foreground it gives PROGRAM the
// terminal again, and either way continues it. The termination signals sent to it go on to
// PROGRAM. It ends as PROGRAM ended: with its status, or by its signal. Where there is no terminal
// to share (standard input is none, is not the controlling terminal, or belongs to another job),
// it runs PROGRAM in its own place.
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

pid_t program = -1;

void pass_on(int signal_number) { kill(-program, signal_number); }

// Hands the terminal to `group`, from the foreground or, when `group` had lent it, the background.
void give_terminal(pid_t group) {
  sigset_t quiet, before;
  sigemptyset(&quiet);
  sigaddset(&quiet, SIGTTOU);
  sigprocmask(SIG_BLOCK, &quiet, &before);
  tcsetpgrp(STDIN_FILENO, group);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

[[noreturn]] void run(char** command) {
  execvp(command[0], command);
  std::fprintf(stderr, "run_as_job: cannot run %s: %s\n", command[0], std::strerror(errno));
  _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_as_job PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const pid_t own = getpgrp();
  if (tcgetpgrp(STDIN_FILENO) != own) run(argv + 1);

  program = fork();
  if (program < 0) run(argv + 1);
  if (program == 0) {
    setpgid(0, 0);
    give_terminal(getpgrp());
    run(argv + 1);
  }
  // Both sides set the group and the terminal, for whichever runs first.
  setpgid(program, program);
  give_terminal(program);
  struct sigaction passing = {};
  passing.sa_handler = pass_on;
  passing.sa_flags = SA_RESTART;
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT})
    sigaction(signal_number, &passing, nullptr);

  for (;;) {
    int status = 0;
    if (waitpid(program, &status, WUNTRACED) < 0) {
      if (errno == EINTR) continue;
      return 127;
    }
    if (tcgetpgrp(STDIN_FILENO) == program) give_terminal(own);
    if (WIFSTOPPED(status)) {
      kill(0, WSTOPSIG(status));  // stops this job, run_as_job with it, until it is continued
      if (tcgetpgrp(STDIN_FILENO) == own) give_terminal(program);
      kill(-program, SIGCONT);
      continue;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    const int signal_number = WTERMSIG(status);
    signal(signal_number, SIG_DFL);
    kill(getpid(), signal_number);
    return 128 + signal_number;
  }
}
