// Writing that survives what standard output can do: short writes, interruptions, a non-blocking
// descriptor that is full for a while, and real failures, which end the program.
#ifndef SPELL_CHECKER_FRONTEND_OUTPUT_H_
#define SPELL_CHECKER_FRONTEND_OUTPUT_H_

#include <cstddef>

// Writes all `size` bytes to `fd`: retries after a signal (EINTR), and waits until the descriptor
// takes more when it is non-blocking and full (EAGAIN). Returns 0, or the errno of the failure.
// Async-signal-safe.
int write_fully(int fd, const char* data, std::size_t size);

// The same, but gives up (ETIMEDOUT) once `milliseconds` have passed: every write waits until
// the descriptor takes more, so no write blocks for long. Async-signal-safe.
int write_within(int fd, const char* data, std::size_t size, int milliseconds);

// Makes the C library's stdout, which the line editor writes through too, hand every byte to
// write_fully. A real failure to write ends the program with status 1 and a line on standard
// error; a terminal that has gone away ends it as a hang-up does.
void make_standard_output_robust();

// Writes "spell_checker: ", `message` and a newline to standard error; a failure there has
// nowhere to be reported. Needs no memory.
void report_error(const char* message);

#endif  // SPELL_CHECKER_FRONTEND_OUTPUT_H_
