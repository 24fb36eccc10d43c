#include "terminal_session.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadline_after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double seconds_left(Clock::time_point deadline) {
  return std::chrono::duration<double>(deadline - Clock::now()).count();
}

// The program under test is run through this, when it is built for a CPU that this machine
// only emulates.
#ifdef SPELL_CHECKER_EMULATOR
const char kEmulator[] = SPELL_CHECKER_EMULATOR;
#else
const char kEmulator[] = "";
#endif

[[noreturn]] void exec_in(const std::string& program, const std::string& directory,
                          const Environment& environment) {
  if (chdir(directory.c_str()) != 0) _exit(126);
  setenv("TERM", "dumb", 1);
  std::vector<const char*> command;
  if (*kEmulator != '\0') command.push_back(kEmulator);
  for (const std::string& setting : environment) {
    // The emulator is a program for this machine: what is preloaded goes to the emulated one.
    if (*kEmulator != '\0' && setting.rfind("LD_PRELOAD=", 0) == 0) {
      command.push_back("-E");
      command.push_back(strdup(setting.c_str()));
    } else {
      putenv(strdup(setting.c_str()));
    }
  }
  command.push_back(program.c_str());
  command.push_back(nullptr);
  execvp(command[0], const_cast<char* const*>(command.data()));
  _exit(127);
}

// Reads what is there within `seconds`; false at the end of the output.
bool read_some(int fd, std::string& into, double seconds, bool drop_carriage_returns) {
  pollfd ready = {fd, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(seconds * 1000)) <= 0) return seconds > 0;
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got <= 0) return false;
  for (ssize_t i = 0; i < got; ++i)
    if (!drop_carriage_returns || buffer[i] != '\r') into += buffer[i];
  return true;
}

int wait_status(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (seconds_left(deadline) <= 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(5000);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

// A job-control shell at its smallest, run as the terminal's session leader: it runs the
// program as its foreground job; when the job stops it takes the terminal back, sends the
// terminal's settings on `stops` and waits for a byte on `go_on` before it continues the job.
[[noreturn]] void run_job_shell(const std::string& program, const std::string& directory,
                                const Environment& environment, int stops, int go_on) {
  signal(SIGTTOU, SIG_IGN);  // so that the shell may hand the terminal on
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    tcsetpgrp(STDIN_FILENO, getpid());
    signal(SIGTTOU, SIG_DFL);
    close(stops);
    close(go_on);
    exec_in(program, directory, environment);
  }
  setpgid(job, job);
  tcsetpgrp(STDIN_FILENO, job);
  for (;;) {
    int status = 0;
    if (waitpid(job, &status, WUNTRACED) != job) _exit(125);
    if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) _exit(128 + WTERMSIG(status));
    tcsetpgrp(STDIN_FILENO, getpgrp());
    termios settings;
    tcgetattr(STDIN_FILENO, &settings);
    char go = 0;
    if (write(stops, &settings, sizeof settings) != sizeof settings || read(go_on, &go, 1) != 1)
      _exit(124);
    tcsetpgrp(STDIN_FILENO, job);
    kill(-job, SIGCONT);
  }
}

}  // namespace

TerminalSession start_on_terminal(const std::string& program, const std::string& directory,
                                  const Environment& environment, Role role) {
  TerminalSession session;
  winsize size = {};
  size.ws_row = 24;
  size.ws_col = 80;
  int other_side = -1;
  int stops[2] = {-1, -1}, go_on[2] = {-1, -1};
  if (openpty(&session.terminal, &other_side, nullptr, nullptr, &size) != 0 ||
      (role == Role::kForegroundJob && (pipe(stops) != 0 || pipe(go_on) != 0))) {
    ADD_FAILURE() << "openpty or pipe: " << std::strerror(errno);
    return session;
  }
  tcgetattr(session.terminal, &session.settings_at_start);
  session.pid = fork();
  if (session.pid == 0) {
    close(session.terminal);
    if (role == Role::kNoControllingTerminal) {
      setsid();
      for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(other_side, fd);
      close(other_side);
    } else {
      login_tty(other_side);  // a new session with the terminal as its controlling terminal
    }
    if (role == Role::kForegroundJob) {
      close(stops[0]);
      close(go_on[1]);
      run_job_shell(program, directory, environment, stops[1], go_on[0]);
    }
    exec_in(program, directory, environment);
  }
  close(other_side);
  if (role == Role::kForegroundJob) {
    close(stops[1]);
    close(go_on[0]);
    session.job_stops = stops[0];
    session.job_continue = go_on[1];
  }
  EXPECT_GT(session.pid, 0) << "cannot start " << program;
  return session;
}

void type_keys(TerminalSession& session, const std::string& keys) {
  ASSERT_EQ(write(session.terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

std::size_t wait_for(TerminalSession& session, const std::string& text, std::size_t from,
                     double seconds) {
  const Clock::time_point deadline = deadline_after(seconds);
  for (;;) {
    const std::size_t at = session.screen.find(text, from);
    if (at != std::string::npos) return at + text.size();
    const double left = seconds_left(deadline);
    if (left <= 0 || !read_some(session.terminal, session.screen, left, true))
      return std::string::npos;
  }
}

void hang_up(TerminalSession& session) {
  close(session.terminal);
  session.terminal = -1;
}

int wait_for_exit(TerminalSession& session, double seconds) {
  const Clock::time_point deadline = deadline_after(seconds);
  if (session.terminal >= 0) {
    while (seconds_left(deadline) > 0 &&
           read_some(session.terminal, session.screen, seconds_left(deadline), true)) {
    }
    // Our side still shows the settings the program left on its side.
    tcgetattr(session.terminal, &session.settings_at_end);
    close(session.terminal);
    session.terminal = -1;
  }
  for (int* fd : {&session.job_stops, &session.job_continue}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  return wait_status(session.pid, deadline);
}

int wait_for_process(pid_t pid, double seconds) {
  return wait_status(pid, deadline_after(seconds));
}

PipedSession start_piped(const std::string& program, const std::string& directory,
                         const Environment& environment, void (*prepare)()) {
  PipedSession session;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return session;
  }
  session.pid = fork();
  if (session.pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    setsid();  // no controlling terminal, as under cron or in a pipeline started by a script
    if (prepare != nullptr) prepare();
    exec_in(program, directory, environment);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  session.in = in[1];
  session.out = out[0];
  session.err = err[0];
  return session;
}

bool read_until(int fd, std::string& into, const std::string& text, double seconds) {
  const Clock::time_point deadline = deadline_after(seconds);
  while (into.find(text) == std::string::npos) {
    const double left = seconds_left(deadline);
    if (left <= 0 || !read_some(fd, into, left, false)) return false;
  }
  return true;
}

PipedRun finish_piped(PipedSession& session, const std::string& input, double seconds) {
  PipedRun run;
  if (session.in >= 0) {
    if (write(session.in, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
      ADD_FAILURE() << "the program did not take all its input";
    close(session.in);
    session.in = -1;
  }
  const Clock::time_point deadline = deadline_after(seconds);
  bool out_open = true, err_open = true;
  while ((out_open || err_open) && seconds_left(deadline) > 0) {
    if (out_open) out_open = read_some(session.out, run.out, 0.01, false);
    if (err_open) err_open = read_some(session.err, run.err, 0.01, false);
  }
  close(session.out);
  close(session.err);
  run.status = wait_status(session.pid, deadline);
  return run;
}

PipedRun run_piped(const std::string& program, const std::string& directory,
                   const std::string& input, double seconds) {
  PipedSession session = start_piped(program, directory);
  return finish_piped(session, input, seconds);
}

namespace {

int remove_entry(const char* path, const struct stat*, int, FTW*) { return remove(path); }

// The directories made for tests, removed with all they hold when the test program ends.
struct TestDirectories {
  std::vector<std::string> made;
  ~TestDirectories() {
    for (const std::string& directory : made)
      nftw(directory.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }
};

TestDirectories test_directories;

}  // namespace

std::string make_test_directory() {
  std::string name = testing::TempDir() + "spell_checker_test_XXXXXX";
  if (mkdtemp(&name[0]) == nullptr) ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
  test_directories.made.push_back(name);
  return name;
}

std::string directory_with_list(const std::string& list) {
  const std::string directory = make_test_directory();
  mkdir((directory + "/spell_checker").c_str(), 0755);
  std::ofstream(directory + "/spell_checker/words.txt", std::ios::binary) << list;
  return directory;
}
