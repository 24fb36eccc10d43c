#include "output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "termination.h"

int write_fully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking descriptor that is full: wait until it takes more, as a blocking one would.
      pollfd ready = {fd, POLLOUT, 0};
      poll(&ready, 1, -1);
    } else {
      return written < 0 ? errno : EIO;
    }
  }
  return 0;
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
