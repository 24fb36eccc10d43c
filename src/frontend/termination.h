// How the program ends and stops: a farewell line and exit status 0 on a termination signal or
// at the end of input, wherever that lands; status 1 when standard output fails for good; other
// signals as their default actions would, and stops and continuations as a job's. Throughout,
// the terminal is left as the program found it (terminal.h).
#ifndef SPELL_CHECKER_FRONTEND_TERMINATION_H_
#define SPELL_CHECKER_FRONTEND_TERMINATION_H_

#include <string>

// Remembers the terminal's settings; installs handle_termination_signal for SIGTERM, SIGINT and
// SIGHUP; catches the stop signals, continuing, and the other signals whose default action ends
// the process and that the program did not inherit ignored or caught; unblocks all these if the
// program was started with them blocked; and gives the terminal back at any exit. Call it first.
void install_termination_handler();

// Writes a newline, "Thank you..." and a newline to standard output and ends the process with
// status 0, waiting at most two seconds for standard output to take it. Async-signal-safe.
[[noreturn]] void end_program();

// Ends the program on SIGTERM, SIGINT or SIGHUP, as end_program does.
void handle_termination_signal(int signal_number);

// Writes "spell_checker: " and `message` to standard error and ends the process with status 1,
// waiting at most two seconds for standard error to take it.
[[noreturn]] void end_program_on_error(const std::string& message);

// Ends the program for the failure `error` to write standard output: as a hang-up does where
// the terminal has gone away, else as end_program_on_error.
[[noreturn]] void end_program_on_output_failure(int error);

#endif  // SPELL_CHECKER_FRONTEND_TERMINATION_H_
