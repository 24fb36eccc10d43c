// GNU Readline as the program uses it: its own signal catching off, its switches into and out of
// its terminal settings told to the terminal module, and its line shown again when the program
// is brought back to the foreground.
#ifndef SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_
#define SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_

// Sets the line editor up; call it once, after install_termination_handler. Where standard input
// is not a terminal, the editor reads it through piped_input.h.
void start_line_editor(bool piped);

// The bytes that the editor puts into a line as they are, as the line's first byte and after it
// (inserted with the bytes before, as bytes already waiting are); all false unless a newline ends
// the line unchanged. Such bytes, in whole characters of the locale, then a newline, are a line
// that the editor returns as it is.
struct InsertedBytes {
  bool first[256];
  bool later[256];
};
InsertedBytes bytes_inserted_as_they_are();

// Reads one line at `prompt`, as readline does: a string from the heap for the caller to free, or
// null; then `read_errno` holds the errno of the read that ended the input, or 0.
char* read_line(const char* prompt, int& read_errno);

#endif  // SPELL_CHECKER_FRONTEND_LINE_EDITOR_H_
