// How the program ends: a farewell line and exit status 0 on a signal or at the end of input,
// wherever that lands, with the terminal as the program found it; status 1 when standard output
// fails for good.
#ifndef SPELL_CHECKER_FRONTEND_TERMINATION_H_
#define SPELL_CHECKER_FRONTEND_TERMINATION_H_

#include <string>

// Remembers the terminal's settings, installs handle_termination_signal for SIGTERM, SIGINT and
// SIGHUP, and unblocks them if the program was started with them blocked. Call it first.
void install_termination_handler();

// Tells the handler what the line editor writes to the terminal when it starts reading a line:
// whether it turns bracketed paste on, and whether it echoes the interrupt key as "^C".
void note_line_editor_modes(bool bracketed_paste, bool echo_control_characters);

// Writes a newline, "Thank you..." and a newline to standard output and ends the process with
// status 0, waiting at most two seconds for standard output to take it. Async-signal-safe.
[[noreturn]] void end_program();

// Ends the program on SIGTERM, SIGINT or SIGHUP, as end_program does.
void handle_termination_signal(int signal_number);

// Writes "spell_checker: " and `message` to standard error and ends the process with status 1.
[[noreturn]] void end_program_on_error(const std::string& message);

#endif  // SPELL_CHECKER_FRONTEND_TERMINATION_H_
