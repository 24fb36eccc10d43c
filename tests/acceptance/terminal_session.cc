#include "terminal_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadline_after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double seconds_left(Clock::time_point deadline) {
  return std::chrono::duration<double>(deadline - Clock::now()).count();
}

[[noreturn]] void exec_in(const std::string& program, const std::string& directory,
                          const Environment& environment) {
  if (chdir(directory.c_str()) != 0) _exit(126);
  setenv("TERM", "dumb", 1);
  for (const std::string& setting : environment) putenv(strdup(setting.c_str()));
  execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
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

}  // namespace

TerminalSession start_on_terminal(const std::string& program, const std::string& directory,
                                  const Environment& environment,
                                  bool without_controlling_terminal) {
  TerminalSession session;
  winsize size = {};
  size.ws_row = 24;
  size.ws_col = 80;
  if (!without_controlling_terminal) {
    session.pid = forkpty(&session.terminal, nullptr, nullptr, &size);
    if (session.pid == 0) exec_in(program, directory, environment);
  } else {
    int other_side = -1;
    if (openpty(&session.terminal, &other_side, nullptr, nullptr, &size) != 0) return session;
    session.pid = fork();
    if (session.pid == 0) {
      setsid();  // a session with no controlling terminal: a hang-up sends it no signal
      dup2(other_side, STDIN_FILENO);
      dup2(other_side, STDOUT_FILENO);
      dup2(other_side, STDERR_FILENO);
      close(other_side);
      close(session.terminal);
      exec_in(program, directory, environment);
    }
    close(other_side);
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
    close(session.terminal);
    session.terminal = -1;
  }
  return wait_status(session.pid, deadline);
}

PipedRun run_piped(const std::string& program, const std::string& directory,
                   const std::string& input, double seconds) {
  PipedRun run;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return run;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    setsid();  // no controlling terminal, as under cron or in a pipeline started by a script
    exec_in(program, directory, {});
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    ADD_FAILURE() << "the program did not take all its input";
  close(in[1]);
  const Clock::time_point deadline = deadline_after(seconds);
  bool out_open = true, err_open = true;
  while ((out_open || err_open) && seconds_left(deadline) > 0) {
    if (out_open) out_open = read_some(out[0], run.out, 0.01, false);
    if (err_open) err_open = read_some(err[0], run.err, 0.01, false);
  }
  close(out[0]);
  close(err[0]);
  run.status = wait_status(pid, deadline);
  return run;
}

std::string make_test_directory() {
  std::string name = testing::TempDir() + "spell_checker_test_XXXXXX";
  if (mkdtemp(&name[0]) == nullptr) ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
  return name;
}
