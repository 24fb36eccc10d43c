// Runs a program as a person at a terminal would: on a pseudo-terminal, typing keys and reading
// what the screen shows; or with its standard input from a pipe, as a script would.
#ifndef SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_
#define SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_

#include <sys/types.h>

#include <string>
#include <vector>

// What a program's environment gains for one run, as NAME=VALUE.
using Environment = std::vector<std::string>;

struct TerminalSession {
  pid_t pid = -1;
  int terminal = -1;   // our side of the pseudo-terminal
  std::string screen;  // all the program has shown, carriage returns left out
};

// Starts `program` in `directory` on a new pseudo-terminal. It is the terminal's session
// leader, so Ctrl-C typed on it sends SIGINT, unless `without_controlling_terminal` is set.
TerminalSession start_on_terminal(const std::string& program, const std::string& directory,
                                  const Environment& environment = {},
                                  bool without_controlling_terminal = false);

// Sends keys as if typed.
void type_keys(TerminalSession& session, const std::string& keys);

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

struct PipedRun {
  std::string out;
  std::string err;
  int status = -1;  // as wait_for_exit
};

// Runs `program` in `directory` with `input` on a pipe as its standard input.
PipedRun run_piped(const std::string& program, const std::string& directory,
                   const std::string& input, double seconds = 20);

// Makes a fresh directory for one test.
std::string make_test_directory();

#endif  // SPELL_CHECKER_TESTS_TERMINAL_SESSION_H_
