// How the program ends and stops: a farewell line and exit status 0 on a termination signal or
// at the end of input, wherever that lands; status 1 when standard output fails for good; other
// signals as their default actions would, and stops and continuations as a job's. Throughout,
// the terminal is left as the program found it, and touched only while the program's process
// group owns it.
#ifndef SPELL_CHECKER_FRONTEND_TERMINATION_H_
#define SPELL_CHECKER_FRONTEND_TERMINATION_H_

#include <string>

// Remembers the terminal's settings; installs handle_termination_signal for SIGTERM, SIGINT and
// SIGHUP, and unblocks them if the program was started with them blocked; catches the stop
// signals, continuing, and the other signals whose default action ends the process and that
// the program did not inherit ignored or caught; and gives the terminal back at any exit. Call
// it first.
void install_termination_handler();

// Tells the handlers what the line editor writes to the terminal when it starts reading a line:
// whether it turns bracketed paste on, and whether it echoes the interrupt key as "^C".
void note_line_editor_modes(bool bracketed_paste, bool echo_control_characters);

// Tells the handlers that the line editor is about to take the terminal into its own settings
// (true), or has just given it back (false).
void note_line_editor_terminal(bool has_terminal);

// Writes a newline, "Thank you..." and a newline to standard output and ends the process with
// status 0, waiting at most two seconds for standard output to take it. Async-signal-safe.
[[noreturn]] void end_program();

// Ends the program on SIGTERM, SIGINT or SIGHUP, as end_program does.
void handle_termination_signal(int signal_number);

// Writes "spell_checker: " and `message` to standard error and ends the process with status 1.
[[noreturn]] void end_program_on_error(const std::string& message);

#endif  // SPELL_CHECKER_FRONTEND_TERMINATION_H_
