// Only async-signal-safe calls belong in the functions that signal handlers call: write_fully,
// write_within, limit_standard_output_waits and report_error.
#include "output.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr long kNoDeadline = -1;

long milliseconds_now() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000;
}

long deadline_after(int milliseconds) {
  return milliseconds < 0 ? kNoDeadline : milliseconds_now() + milliseconds;
}

// write_fully, and write_within when `deadline` (milliseconds_now's clock) is not kNoDeadline.
int write_until(int fd, const char* data, std::size_t size, long deadline) {
  while (size > 0) {
    if (deadline != kNoDeadline) {
      const long left = deadline - milliseconds_now();
      if (left <= 0) return ETIMEDOUT;
      pollfd ready = {fd, POLLOUT, 0};
      const int got = poll(&ready, 1, static_cast<int>(left));
      if (got == 0) return ETIMEDOUT;
      if (got < 0 && errno == EINTR) continue;
    }
    const ssize_t written = write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking descriptor that is full: wait until it takes more, as a blocking one would.
      if (deadline != kNoDeadline) continue;
      pollfd ready = {fd, POLLOUT, 0};
      poll(&ready, 1, -1);
    } else {
      return written < 0 ? errno : EIO;
    }
  }
  return 0;
}

bool output_was_terminal = false;
int first_error = 0;
volatile std::sig_atomic_t wait_limit = -1;  // milliseconds, or -1 for none

// Hands `size` bytes to standard output; returns how many it took, all of them unless it failed.
std::size_t write_standard_output(const char* data, std::size_t size) {
  if (first_error != 0) return 0;
  first_error = write_until(STDOUT_FILENO, data, size, deadline_after(wait_limit));
  return first_error == 0 ? size : 0;
}

// The C library's ways to build a stream on a function of the program's, where it has one.
#if defined(SPELL_CHECKER_HAVE_FOPENCOOKIE)
ssize_t cookie_write(void*, const char* data, std::size_t size) {
  return static_cast<ssize_t>(write_standard_output(data, size));  // 0 is a failure
}

FILE* robust_stream() {
  cookie_io_functions_t functions = {};
  functions.write = cookie_write;
  return fopencookie(nullptr, "w", functions);
}
#elif defined(SPELL_CHECKER_HAVE_FUNOPEN)
int funopen_write(void*, const char* data, int size) {
  const std::size_t taken = write_standard_output(data, static_cast<std::size_t>(size));
  return size > 0 && taken == 0 ? -1 : size;
}

FILE* robust_stream() { return funopen(nullptr, nullptr, funopen_write, nullptr, nullptr); }
#else
FILE* robust_stream() { return nullptr; }
#endif

}  // namespace

int write_fully(int fd, const char* data, std::size_t size) {
  return write_until(fd, data, size, kNoDeadline);
}

int write_within(int fd, const char* data, std::size_t size, int milliseconds) {
  return write_until(fd, data, size, deadline_after(milliseconds));
}

void make_standard_output_robust() {
  output_was_terminal = isatty(STDOUT_FILENO);
  FILE* robust = robust_stream();
  if (robust == nullptr) return;  // the plain stream still works, only less patiently
  std::setvbuf(robust, nullptr, output_was_terminal ? _IOLBF : _IOFBF, BUFSIZ);
  stdout = robust;
}

int flush_standard_output() {
  // The plain stream, where there is no other, tells its failure through errno.
  if (std::fflush(stdout) != 0 && first_error == 0) first_error = errno != 0 ? errno : EIO;
  return first_error;
}

// A terminal that has hung up fails every write with EIO and is no longer a terminal.
bool standard_output_hung_up(int error) {
  return error == EIO && output_was_terminal && !isatty(STDOUT_FILENO);
}

void limit_standard_output_waits(int milliseconds) { wait_limit = milliseconds; }

void report_error(const char* message, int milliseconds) {
  static const char kName[] = "spell_checker: ";
  const long deadline = deadline_after(milliseconds);
  if (write_until(STDERR_FILENO, kName, sizeof kName - 1, deadline) == 0 &&
      write_until(STDERR_FILENO, message, std::strlen(message), deadline) == 0)
    write_until(STDERR_FILENO, "\n", 1, deadline);
}
