#include "termination.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

void end_program() {
  // write and _exit are safe in a signal handler; stdio is not. Every reply is flushed as soon
  // as it is written, so nothing is left in the stdio buffer that the farewell could overtake.
  static const char kFarewell[] = "\nThank you...\n";
  const char* rest = kFarewell;
  std::size_t left = sizeof kFarewell - 1;
  while (left > 0) {
    const ssize_t written = write(STDOUT_FILENO, rest, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    rest += written;
    left -= static_cast<std::size_t>(written);
  }
  _exit(0);
}

void handle_termination_signal(int) { end_program(); }

void install_termination_handler() {
  std::signal(SIGTERM, handle_termination_signal);
  std::signal(SIGINT, handle_termination_signal);
  std::signal(SIGHUP, handle_termination_signal);
}
