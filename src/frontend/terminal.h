// The terminal the program reads from: the settings it found there, the line editor's settings,
// and which of them should be in force. The line editor's hooks call it as the editor switches
// into and out of its settings; the signal handlers call it to hand the terminal back on a stop
// or an ending, and to take it back on continuing.
#ifndef SPELL_CHECKER_FRONTEND_TERMINAL_H_
#define SPELL_CHECKER_FRONTEND_TERMINAL_H_

#include <signal.h>

#include <cstddef>

// Remembers the terminal's settings, if standard input is a terminal. Call it first.
void remember_terminal();

// What the line editor writes to the terminal when it starts reading a line, to turn its modes
// on (bracketed paste, keypad, meta key), and when it stops, to turn them off, as the terminal's
// own control strings; and whether it echoes the interrupt key as "^C". Up to kModeTextSize - 1
// bytes each, else cut short at a whole string.
constexpr std::size_t kModeTextSize = 64;
void note_editor_modes(const char* on, const char* off, bool echo_control_characters);

// Whether standard input is a terminal that is not the program's controlling terminal (started
// with setsid): it has no job control, and no key sends the program a signal.
bool terminal_without_job_control();

// Around the line editor's switch into its settings. The first waits until the program may change
// the terminal's settings: its process group owns the terminal (a job started in the background
// stops, as at any touch of the terminal, or waits to be brought forward), or it is not the
// program's controlling terminal. It returns false, and the editor must not switch, where that
// can never be: the process group is orphaned in the background. Else it holds the stop signals
// until the second, which saves the editor's settings, marked as the program's own.
bool editor_entering_terminal();
void editor_entered_terminal();

// Around the line editor's switch back.
void editor_leaving_terminal();
void editor_left_terminal();

// Whether the program was brought back to the foreground while the editor was reading, since
// this was last asked: the editor should show its line again. Not for signal handlers.
bool editor_line_needs_showing();

// While the editor reads with the program in the background (continued there, as by bg), waits
// until the program is in the foreground, and there takes the terminal back as on continuing: a
// shell brings a running job forward without a signal. It does not read meanwhile: what is typed
// is the shell's, and a read would stop the program just as the shell's fg brings it forward.
// Looks ten times a second. Not for signal handlers.
void wait_while_editor_reads_in_background();

// Whether the editor, which is reading, does so with the program in the background.
bool editor_reads_in_background();

// Up to 128 bytes of text for the terminal, put together without memory from the heap.
struct TerminalText {
  char bytes[128];
  std::size_t length = 0;

  void add(const char* text);
  // Writes the text to standard output, waiting a little at most.
  void write_out() const;
};

// The signals that stop the program, and the set of them with continuing: none of these may come
// between the steps of a hand-back or a take-back, so the handlers that run these hold them.
constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
sigset_t stops_and_continuing();

// The rest is for signal handlers, and async-signal-safe; each expects the stop signals to be
// held while it runs.

// Puts the settings found at start back, if the editor's are or may be in force and it is the
// program's to do: in the foreground, while the editor reads, or wherever its process group
// stands, when the terminal still has the editor's marked settings (a wrapper in the program's
// job stopped first, and the shell took the terminal as it was). `text` gets what the editor
// would have written had it handled `signal_number` itself: the key shown, and its modes turned
// off.
void hand_terminal_back(int signal_number, TerminalText& text);

// The same, for good: the program is ending, and takes the terminal back no more.
void hand_terminal_back_for_good(int signal_number, TerminalText& text);

// Notes that the program is about to stop while the editor reads.
void note_stop();

// On continuing: if the program's process group owns the terminal and the editor is reading, puts
// the editor's settings back after a stop, or wherever they are no longer in force, turns its
// modes on again, and has the editor's line shown again.
void take_terminal_back();

#endif  // SPELL_CHECKER_FRONTEND_TERMINAL_H_
