// Writing that survives what standard output can do: short writes, interruptions, a non-blocking
// descriptor that is full for a while. A real failure is told to the caller; nothing here ends
// the program.
#ifndef SPELL_CHECKER_FRONTEND_OUTPUT_H_
#define SPELL_CHECKER_FRONTEND_OUTPUT_H_

#include <cstddef>

// How long text written on a signal or on the way out waits for an output that takes none.
constexpr int kLastWordsMilliseconds = 2000;

// Writes all `size` bytes to `fd`: retries after a signal (EINTR), and waits until the descriptor
// takes more when it is non-blocking and full (EAGAIN). Returns 0, or the errno of the failure.
// Async-signal-safe.
int write_fully(int fd, const char* data, std::size_t size);

// The same, but gives up (ETIMEDOUT) once `milliseconds` have passed: every write waits until
// the descriptor takes more, so no write blocks for long. Async-signal-safe.
int write_within(int fd, const char* data, std::size_t size, int milliseconds);

// Makes the C library's stdout, which the line editor writes through too, hand every byte to
// write_fully, where the C library lets a stream be built on a function of the program's.
void make_standard_output_robust();

// Flushes stdout. Returns the errno of its first real failure, now or before, or 0.
int flush_standard_output();

// Whether `error`, from writing standard output, says that the terminal it was has gone away.
bool standard_output_hung_up(int error);

// From now on every write to standard output gives up after `milliseconds`: the program is on
// its way out. Async-signal-safe.
void limit_standard_output_waits(int milliseconds);

// Writes "spell_checker: ", `message` and a newline to standard error, waiting at most
// `milliseconds` if that is not negative; a failure there has nowhere to be reported. Needs no
// memory. Async-signal-safe.
void report_error(const char* message, int milliseconds = -1);

#endif  // SPELL_CHECKER_FRONTEND_OUTPUT_H_
