#include "output.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "termination.h"

namespace {

long milliseconds_now() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000;
}

// write_fully, and write_within when `deadline` (milliseconds_now's clock) is not negative.
int write_until(int fd, const char* data, std::size_t size, long deadline) {
  while (size > 0) {
    if (deadline >= 0) {
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
      if (deadline >= 0) continue;
      pollfd ready = {fd, POLLOUT, 0};
      poll(&ready, 1, -1);
    } else {
      return written < 0 ? errno : EIO;
    }
  }
  return 0;
}

}  // namespace

int write_fully(int fd, const char* data, std::size_t size) {
  return write_until(fd, data, size, -1);
}

int write_within(int fd, const char* data, std::size_t size, int milliseconds) {
  return write_until(fd, data, size, milliseconds_now() + milliseconds);
}

namespace {

bool output_was_terminal = false;

ssize_t write_standard_output(void*, const char* data, std::size_t size) {
  const int error = write_fully(STDOUT_FILENO, data, size);
  if (error == 0) return static_cast<ssize_t>(size);
  // A terminal that has hung up fails every write with EIO and is no longer a terminal: the
  // person has gone, as on SIGHUP.
  if (error == EIO && output_was_terminal && !isatty(STDOUT_FILENO)) end_program();
  end_program_on_error(std::string("cannot write to standard output: ") + std::strerror(error));
}

}  // namespace

void make_standard_output_robust() {
  output_was_terminal = isatty(STDOUT_FILENO);
  cookie_io_functions_t functions = {};
  functions.write = write_standard_output;
  FILE* robust = fopencookie(nullptr, "w", functions);
  if (robust == nullptr) return;  // the plain stream still works, only less patiently
  std::setvbuf(robust, nullptr, output_was_terminal ? _IOLBF : _IOFBF, BUFSIZ);
  stdout = robust;
}

void report_error(const char* message) {
  static const char kName[] = "spell_checker: ";
  write_fully(STDERR_FILENO, kName, sizeof kName - 1);
  write_fully(STDERR_FILENO, message, std::strlen(message));
  write_fully(STDERR_FILENO, "\n", 1);
}
