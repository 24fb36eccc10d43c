// How the program ends: a farewell line and exit status 0, on a signal or at the end of input.
#ifndef SPELL_CHECKER_FRONTEND_TERMINATION_H_
#define SPELL_CHECKER_FRONTEND_TERMINATION_H_

// Writes a newline, "Thank you..." and a newline to standard output and ends the process with
// status 0. Async-signal-safe.
[[noreturn]] void end_program();

// Ends the program on SIGTERM, SIGINT or SIGHUP.
void handle_termination_signal(int signal_number);

// Installs handle_termination_signal for SIGTERM, SIGINT and SIGHUP.
void install_termination_handler();

#endif  // SPELL_CHECKER_FRONTEND_TERMINATION_H_
