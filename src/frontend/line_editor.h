// GNU Readline as the program uses it: its own signal catching off, its switches into and out of
// its terminal settings told to the terminal module, and its line shown again when the program
// is brought back to the foreground.
#ifndef SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_
#define SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_

// Sets the line editor up; call it once, after install_termination_handler.
void start_line_editor();

// Reads one line at `prompt`, as readline does: a string from the heap for the caller to free, or
// null; then `read_errno` holds the errno of the read that ended the input, or 0.
char* read_line(const char* prompt, int& read_errno);

#endif  // SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_
