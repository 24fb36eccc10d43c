#include "terminal_session.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
// openpty and login_tty: in glibc's pty.h and utmp.h, in FreeBSD's libutil.h, elsewhere util.h.
#if __has_include(<pty.h>)
#include <pty.h>
#include <utmp.h>
#elif __has_include(<libutil.h>)
#include <libutil.h>
#else
#include <util.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

// The program under test is run through this and its arguments, when it is built for a CPU that
// this machine only emulates; written by the build.
extern const char* const kEmulator[];

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadline_after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double seconds_left(Clock::time_point deadline) {
  return std::chrono::duration<double>(deadline - Clock::now()).count();
}

std::vector<std::string> emulator_words() {
  std::vector<std::string> words;
  for (const char* const* part = kEmulator; *part != nullptr; ++part) words.push_back(*part);
  return words;
}

// The words that run `program` with `environment`, and only it, whatever runs it: env sets the
// variables, then the emulator, where there is one, takes what is preloaded (-E), for it is a
// program for this machine.
std::vector<std::string> program_words(const std::string& program, const Environment& environment) {
  std::vector<std::string> words, emulated = emulator_words();
  if (!environment.empty()) words.push_back("env");
  for (const std::string& setting : environment) {
    if (!emulated.empty() && setting.rfind("LD_PRELOAD=", 0) == 0) {
      emulated.push_back("-E");
      emulated.push_back(setting);
    } else {
      words.push_back(setting);
    }
  }
  words.insert(words.end(), emulated.begin(), emulated.end());
  words.push_back(program);
  return words;
}

[[noreturn]] void exec_in(const std::string& program, const std::string& directory,
                          const Environment& environment, Wrapper wrapper = Wrapper::kNone) {
  if (chdir(directory.c_str()) != 0) _exit(126);
  const rlimit no_core = {0, 0};  // a signal that dumps core leaves none behind
  setrlimit(RLIMIT_CORE, &no_core);
  setenv("TERM", "dumb", 1);
  std::vector<std::string> words;
  if (wrapper == Wrapper::kShell) words = {"/bin/sh", "-c", "\"$@\"; exit $?", "sh"};
  if (wrapper == Wrapper::kRunAsJob) {
    words = emulator_words();
    words.push_back(RUN_AS_JOB);
  }
  for (const std::string& word : program_words(program, environment)) words.push_back(word);
  std::vector<char*> command;
  for (const std::string& word : words) command.push_back(strdup(word.c_str()));
  command.push_back(nullptr);
  execvp(command[0], command.data());
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

// A status from waitpid as a shell gives it: the exit status, or 128 + the signal that ended it.
int shell_status(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  return shell_status(status);
}

// A job-control shell at its smallest, run as the terminal's session leader: it runs the
// program as a job, in the foreground unless `background`, and then does what `commands` say,
// answering each on `events`; once `commands` is closed, it ends with the job's status.
struct ShellCommand {
  JobCommand what;
  int number;
};

JobEvent job_event(char what, int status = -1) {
  JobEvent event;
  event.what = what;
  event.status = status;
  tcgetattr(STDIN_FILENO, &event.settings);
  event.shell_has_terminal = tcgetpgrp(STDIN_FILENO) == getpgrp();
  return event;
}

// The job stopped or ended within `milliseconds`; a stopped job leaves the terminal to the shell,
// which puts `shell_settings` back, if given.
JobEvent wait_for_job(pid_t job, int milliseconds, const termios* shell_settings) {
  const Clock::time_point deadline = deadline_after(milliseconds / 1000.0);
  for (;;) {
    int status = 0;
    if (waitpid(job, &status, WNOHANG | WUNTRACED) == job) {
      if (WIFSTOPPED(status)) {
        tcsetpgrp(STDIN_FILENO, getpgrp());
        if (shell_settings != nullptr) tcsetattr(STDIN_FILENO, TCSANOW, shell_settings);
        return job_event('s', WSTOPSIG(status));
      }
      return job_event('x', shell_status(status));
    }
    if (seconds_left(deadline) <= 0) return job_event('t');
    usleep(2000);
  }
}

[[noreturn]] void run_job_shell(const std::string& program, const std::string& directory,
                                const Environment& environment, int commands, int events,
                                bool background, const JobShape& shape) {
  signal(SIGTTOU, SIG_IGN);  // so that the shell may hand the terminal on
  termios own_settings;
  tcgetattr(STDIN_FILENO, &own_settings);
  const termios* const restored = shape.shell_restores_settings ? &own_settings : nullptr;
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    if (!background) tcsetpgrp(STDIN_FILENO, getpid());
    signal(SIGTTOU, SIG_DFL);
    close(commands);
    close(events);
    if (shape.prepare != nullptr) shape.prepare();
    exec_in(program, directory, environment, shape.wrapper);
  }
  setpgid(job, job);
  if (!background) tcsetpgrp(STDIN_FILENO, job);
  ShellCommand command;
  while (read(commands, &command, sizeof command) == sizeof command) {
    JobEvent event = job_event('a');
    switch (command.what) {
      case JobCommand::kForeground:
        tcsetpgrp(STDIN_FILENO, job);
        kill(-job, SIGCONT);
        break;
      case JobCommand::kGiveTerminal:
        tcsetpgrp(STDIN_FILENO, job);
        break;
      case JobCommand::kBackground:
        tcsetpgrp(STDIN_FILENO, getpgrp());
        kill(-job, SIGCONT);
        break;
      case JobCommand::kRawTerminal: {
        tcsetpgrp(STDIN_FILENO, getpgrp());
        termios raw;
        tcgetattr(STDIN_FILENO, &raw);
        raw.c_lflag &= ~(ICANON | ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        event = job_event('a');
        break;
      }
      case JobCommand::kReadInput:
        tcflush(STDIN_FILENO, TCIFLUSH);
        break;
      case JobCommand::kSignal:
        kill(-job, command.number);
        break;
      case JobCommand::kSignalLeader:
        kill(job, command.number);
        break;
      case JobCommand::kWait:
        event = wait_for_job(job, command.number, restored);
        break;
    }
    if (write(events, &event, sizeof event) != sizeof event) _exit(124);
  }
  // The test has done with the job, which must end by itself.
  const JobEvent end = wait_for_job(job, 20000, restored);
  _exit(end.what == 'x' ? end.status : 125);
}

// Opens a pseudo-terminal of 24 lines of 80 columns: our side in `session`, the other in
// `other_side`.
bool open_terminal(TerminalSession& session, int& other_side) {
  winsize size = {};
  size.ws_row = 24;
  size.ws_col = 80;
  if (openpty(&session.terminal, &other_side, nullptr, nullptr, &size) == 0) return true;
  ADD_FAILURE() << "openpty: " << std::strerror(errno);
  return false;
}

}  // namespace

std::string shell_words(const std::string& program, const Environment& environment) {
  std::string line;
  for (const std::string& word : program_words(program, environment))
    line += (line.empty() ? "'" : " '") + word + "'";
  return line;
}

TerminalSession start_shell_on_terminal(const std::vector<std::string>& shell,
                                        const std::string& directory,
                                        const Environment& environment) {
  TerminalSession session;
  int other_side = -1;
  if (!open_terminal(session, other_side)) return session;
  tcgetattr(session.terminal, &session.settings_at_start);
  session.pid = fork();
  if (session.pid == 0) {
    close(session.terminal);
    login_tty(other_side);
    if (chdir(directory.c_str()) != 0) _exit(126);
    for (const std::string& setting : environment) putenv(strdup(setting.c_str()));
    std::vector<char*> command;
    for (const std::string& word : shell) command.push_back(strdup(word.c_str()));
    command.push_back(nullptr);
    execv(command[0], command.data());
    _exit(127);
  }
  close(other_side);
  return session;
}

TerminalSession start_on_terminal(const std::string& program, const std::string& directory,
                                  const Environment& environment, Role role,
                                  void (*prepare_terminal)(termios&), const JobShape& shape) {
  TerminalSession session;
  int other_side = -1;
  int commands[2] = {-1, -1}, events[2] = {-1, -1};
  const bool job = role == Role::kForegroundJob || role == Role::kBackgroundJob;
  if (!open_terminal(session, other_side)) return session;
  if (job && (pipe(commands) != 0 || pipe(events) != 0)) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return session;
  }
  if (prepare_terminal != nullptr) {
    termios settings;
    tcgetattr(other_side, &settings);
    prepare_terminal(settings);
    tcsetattr(other_side, TCSANOW, &settings);
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
    if (job) {
      close(commands[1]);
      close(events[0]);
      run_job_shell(program, directory, environment, commands[0], events[1],
                    role == Role::kBackgroundJob, shape);
    }
    if (shape.prepare != nullptr) shape.prepare();
    exec_in(program, directory, environment, shape.wrapper);
  }
  close(other_side);
  if (job) {
    close(commands[0]);
    close(events[1]);
    session.job_commands = commands[1];
    session.job_events = events[0];
  }
  EXPECT_GT(session.pid, 0) << "cannot start " << program;
  return session;
}

JobEvent job_command(TerminalSession& session, JobCommand command, int number) {
  const ShellCommand sent = {command, number};
  JobEvent event;
  if (write(session.job_commands, &sent, sizeof sent) != sizeof sent ||
      read(session.job_events, &event, sizeof event) != sizeof event)
    ADD_FAILURE() << "the job-control shell does not answer";
  return event;
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
  // A job-control shell, told that the test has done, waits for its job to end, then ends.
  for (int* fd : {&session.job_commands, &session.job_events}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (session.terminal >= 0) {
    while (seconds_left(deadline) > 0 &&
           read_some(session.terminal, session.screen, seconds_left(deadline), true)) {
    }
    // Our side still shows the settings the program left on its side.
    tcgetattr(session.terminal, &session.settings_at_end);
    close(session.terminal);
    session.terminal = -1;
  }
  return wait_status(session.pid, deadline);
}

int wait_for_process(pid_t pid, double seconds) {
  return wait_status(pid, deadline_after(seconds));
}

PipedSession start_piped(const std::string& program, const std::string& directory,
                         const Environment& environment, void (*prepare)(), int input) {
  PipedSession session;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return session;
  }
  session.pid = fork();
  if (session.pid == 0) {
    dup2(input >= 0 ? input : in[0], STDIN_FILENO);
    if (input >= 0) close(input);
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
  if (input >= 0) {
    close(in[1]);
    session.in = -1;
  }
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

int pipe_holding(const std::string& input) {
  int waiting[2];
  if (pipe(waiting) != 0) ADD_FAILURE() << "pipe: " << std::strerror(errno);
  if (input.size() > 65536 ||
      write(waiting[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    ADD_FAILURE() << "the pipe does not hold all the input";
  close(waiting[1]);
  return waiting[0];
}

PipedRun run_with_input_waiting(const std::string& program, const std::string& directory,
                                const std::string& input, const Environment& environment,
                                bool in_file, double seconds) {
  int fd = -1;
  if (in_file) {
    const std::string path = directory + "/input";
    std::ofstream(path, std::ios::binary) << input;
    fd = open(path.c_str(), O_RDONLY);
  } else {
    fd = pipe_holding(input);
  }
  PipedSession session = start_piped(program, directory, environment, nullptr, fd);
  close(fd);
  return finish_piped(session, "", seconds);
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
