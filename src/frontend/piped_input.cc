#include "piped_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Room for many lines at once: a pipe hands over 64 KiB at most per read.
constexpr std::size_t kInputBufferSize = std::size_t{1} << 20;

struct PipedInput {
  std::vector<char> bytes = std::vector<char>(kInputBufferSize);
  std::size_t begin = 0, end = 0;  // the bytes read and not yet taken
  int ending = 0;                  // once input has ended: -1, or -2 and `error`
  int error = 0;
  bool end_taken = false;  // the end has been handed on
};

PipedInput& input() {
  static PipedInput piped;
  return piped;
}

bool readable_within(int milliseconds) {
  pollfd in = {STDIN_FILENO, POLLIN, 0};
  int ready;
  do ready = poll(&in, 1, milliseconds);
  while (ready < 0 && errno == EINTR);
  // An error or a hang-up is for the read to tell.
  return ready != 0;
}

// Reads once into the free room after the bytes not yet taken, moving them to the front first.
// Returns false at the end of input or on a failure, which `ending` then tells, or when a
// descriptor that does not block has nothing yet.
bool read_more() {
  PipedInput& in = input();
  if (in.begin > 0) {
    std::memmove(in.bytes.data(), in.bytes.data() + in.begin, in.end - in.begin);
    in.end -= in.begin;
    in.begin = 0;
  }
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, in.bytes.data() + in.end, in.bytes.size() - in.end);
    if (got > 0) {
      in.end += static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    in.ending = got == 0 ? -1 : -2;
    in.error = got == 0 ? 0 : errno;
    return false;
  }
}

}  // namespace

int next_piped_byte() {
  PipedInput& in = input();
  while (in.begin == in.end) {
    if (in.ending != 0) {
      in.end_taken = true;
      errno = in.error;
      return in.ending;
    }
    // Standard input may have been left not blocking by whoever shares it: wait as a read would.
    if (!read_more() && in.ending == 0) readable_within(-1);
  }
  return static_cast<unsigned char>(in.bytes[in.begin++]);
}

bool piped_byte_waiting(int milliseconds) {
  const PipedInput& in = input();
  return in.begin < in.end || in.ending != 0 || readable_within(milliseconds);
}

std::string_view waiting_piped_bytes() {
  PipedInput& in = input();
  while (in.ending == 0 && in.end - in.begin < in.bytes.size() && readable_within(0) &&
         read_more()) {
  }
  return std::string_view(in.bytes.data() + in.begin, in.end - in.begin);
}

bool piped_input_has_ended() { return input().end_taken; }
