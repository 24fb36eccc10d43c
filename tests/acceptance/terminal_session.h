// Runs a program as a person at a terminal would: on a pseudo-terminal, typing keys and reading
// what the screen shows; or with its standard input from a pipe, as a script would.
#ifndef SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_
#define SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

// What a program's environment gains for one run, as NAME=VALUE.
using Environment = std::vector<std::string>;

struct TerminalSession {
  pid_t pid = -1;
  int terminal = -1;               // our side of the pseudo-terminal
  std::string screen;              // all the program has shown, carriage returns left out
  termios settings_at_start = {};  // the terminal's settings as the program found them
  termios settings_at_end = {};    // and as it left them, once wait_for_exit has seen it end
  int job_commands = -1;           // as a job: commands to the job-control shell, see job_command
  int job_events = -1;             // and its answers
};

// How the program holds the terminal.
enum class Role {
  kSessionLeader,          // the terminal is its controlling terminal: Ctrl-C sends it SIGINT
  kNoControllingTerminal,  // a hang-up sends it no signal
  kForegroundJob,          // the foreground job of a small job-control shell that leads the session
  kBackgroundJob,          // a job of that shell started in the background, as with "&"
};

// What else runs in the program's job, and what the job-control shell does at a stop.
enum class Wrapper {
  kNone,
  kShell,     // a shell that runs the program, then exits with its status: sh -c '"$@"; exit $?'
  kRunAsJob,  // run_as_job, which runs it as a job of its own, as make run does
};
struct JobShape {
  Wrapper wrapper = Wrapper::kNone;
  // At a stop the shell puts back the settings the terminal had when it started the job, as bash
  // and zsh do; else it leaves them as the job left them, as dash does.
  bool shell_restores_settings = false;
  // Runs just before the program (or its wrapper) starts, to change what it inherits.
  void (*prepare)() = nullptr;
};

// Starts `program` in `directory` on a new pseudo-terminal whose settings are first changed by
// `prepare_terminal`, if given. As a job, `pid` is the shell's, which ends with the job's status
// once the test has waited for it (wait_for_exit).
TerminalSession start_on_terminal(const std::string& program, const std::string& directory,
                                  const Environment& environment = {},
                                  Role role = Role::kSessionLeader,
                                  void (*prepare_terminal)(termios&) = nullptr,
                                  const JobShape& shape = {});

// Starts the interactive shell `shell` (its path, then its arguments) in `directory` on a new
// pseudo-terminal that it leads, as a terminal window does.
TerminalSession start_shell_on_terminal(const std::vector<std::string>& shell,
                                        const std::string& directory,
                                        const Environment& environment);

// The command that runs `program` here with `environment`, as words quoted for a shell: the
// emulator first, if the program is built for a CPU that this machine only emulates.
std::string shell_words(const std::string& program, const Environment& environment = {});

// Sends keys as if typed.
void type_keys(TerminalSession& session, const std::string& keys);

// What the job-control shell does for a job (see job_command), and what it answers.
enum class JobCommand : char {
  kForeground = 'f',    // gives the job the terminal and continues it, as fg
  kGiveTerminal = 'g',  // gives the job the terminal only, as fg does a job that runs
  kBackground = 'b',    // takes the terminal and continues the job in the background, as bg
  kRawTerminal = 'r',   // takes the terminal and puts it raw, as another program would
  kReadInput = 'i',     // reads what was typed, as a shell reading its command line would
  kSignal = 'k',        // sends the job's process group `number`
  kSignalLeader = 'l',  // sends `number` to the job's first process alone (the wrapper, if any)
  kWait = 'w',          // waits `number` milliseconds at most for the job to stop or end
};
struct JobEvent {
  char what = 't';                  // 's' stopped, 'x' ended, 't' neither in time, 'a' done
  int status = -1;                  // when ended: as wait_for_exit; when stopped: the signal
  termios settings = {};            // the terminal's settings when the shell answered
  bool shell_has_terminal = false;  // whether the shell owned the terminal then
};
// Has the job-control shell do `command` and returns its answer. When the job stops, the shell
// takes the terminal, but leaves its settings as the job left them.
JobEvent job_command(TerminalSession& session, JobCommand command, int number = 0);

// Reads the screen until it holds `text` at or after `from`, for at most `seconds`. Returns the
// position just past it, or std::string::npos on a time-out or the end of the program's output.
std::size_t wait_for(TerminalSession& session, const std::string& text, std::size_t from = 0,
                     double seconds = 10);

// Closes our side of the terminal, as when a terminal window is closed.
void hang_up(TerminalSession& session);

// Reads the rest of the output and waits for the program to end, for at most `seconds`. Returns
// its exit status, 128 + the signal that killed it, or -1 when it is still running (it is then
// killed).
int wait_for_exit(TerminalSession& session, double seconds = 10);

// Waits for the process `pid` to end, for at most `seconds`; returns as wait_for_exit.
int wait_for_process(pid_t pid, double seconds);

// A program whose standard input, output and error are pipes; ours are the other ends.
struct PipedSession {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
  int err = -1;
};

// Starts `program` in `directory` on pipes, without a controlling terminal. `prepare` runs in
// the new process just before the program starts, to change what the program inherits. Its
// standard input is `input` where that is given (and `in` is then -1).
PipedSession start_piped(const std::string& program, const std::string& directory,
                         const Environment& environment = {}, void (*prepare)() = nullptr,
                         int input = -1);

// Reads `fd` until what it gave holds `text`, for at most `seconds`; false if it never did.
bool read_until(int fd, std::string& into, const std::string& text, double seconds = 10);

struct PipedRun {
  std::string out;
  std::string err;
  int status = -1;  // as wait_for_exit
};

// Writes `input` to the program and closes its standard input, unless that is closed already,
// then reads all it writes and waits for it to end, for at most `seconds`.
PipedRun finish_piped(PipedSession& session, const std::string& input, double seconds = 20);

// Runs `program` in `directory` with `input` on a pipe as its standard input.
PipedRun run_piped(const std::string& program, const std::string& directory,
                   const std::string& input, double seconds = 20);

// The reading end of a pipe that holds `input` (64 KiB at most) and whose writing end is closed.
int pipe_holding(const std::string& input);

// Runs `program` in `directory` with all of `input` waiting when it starts: in a pipe, written
// and closed before the program starts (so at most the 64 KiB a pipe holds), or in a file of
// the test directory where `in_file`.
PipedRun run_with_input_waiting(const std::string& program, const std::string& directory,
                                const std::string& input, const Environment& environment = {},
                                bool in_file = false, double seconds = 20);

// Makes a fresh directory for one test; it is removed, with all it holds, when the tests end.
std::string make_test_directory();

// Makes a fresh directory holding `list` as spell_checker/words.txt.
std::string directory_with_list(const std::string& list);

#endif  // SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_
