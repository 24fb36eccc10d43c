#include "output.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <string>

namespace {

// The descriptor whose writes follow `script`: each call takes the next step, a negative errno to
// fail with or the most bytes it may take; calls beyond the script take all they are given.
int scripted_fd = -1;
std::deque<int> script;

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static auto* const real = reinterpret_cast<decltype(write)*>(dlsym(RTLD_NEXT, "write"));
  if (fd != scripted_fd || script.empty()) return real(fd, data, size);
  const int step = script.front();
  script.pop_front();
  if (step < 0) {
    errno = -step;
    return -1;
  }
  return real(fd, data, std::min(size, static_cast<size_t>(step)));
}

namespace {

struct WriteCase {
  const char* what;
  std::deque<int> script;
  int error;            // what write_fully returns
  std::string arrived;  // what the reader gets
};

TEST(WriteFully, RetriesWhatIsTemporaryAndReportsWhatIsNot) {
  const std::string text = "correct spelling: cat\n";
  const WriteCase cases[] = {
      {"at once", {}, 0, text},
      {"short writes", {3, 1, 7}, 0, text},
      {"interrupted", {-EINTR, 5, -EINTR}, 0, text},
      {"full for a while", {-EAGAIN, 2, -EWOULDBLOCK, -EAGAIN}, 0, text},
      {"no space left", {4, -ENOSPC}, ENOSPC, text.substr(0, 4)},
      {"reader gone", {-EPIPE}, EPIPE, ""},
      {"input/output error after an interruption", {-EINTR, -EIO}, EIO, ""},
  };
  for (const WriteCase& c : cases) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    scripted_fd = ends[1];
    script = c.script;
    EXPECT_EQ(write_fully(ends[1], text.data(), text.size()), c.error) << c.what;
    scripted_fd = -1;
    close(ends[1]);
    std::string arrived(100, '\0');
    const ssize_t got = read(ends[0], &arrived[0], arrived.size());
    arrived.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    EXPECT_EQ(arrived, c.arrived) << c.what;
    close(ends[0]);
  }
}

TEST(WriteWithin, GivesUpOnADescriptorThatTakesNothing) {
  for (const bool blocking : {true, false}) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    const std::string block(4096, 'x');
    while (write(ends[1], block.data(), block.size()) > 0) {
    }
    if (blocking) fcntl(ends[1], F_SETFL, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(write_within(ends[1], "farewell\n", 9, 100), ETIMEDOUT) << blocking;
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.09) << blocking;
    EXPECT_LT(waited, 5.0) << blocking;
    // Once read, it takes the text at once.
    char sink[4096];
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    while (read(ends[0], sink, sizeof sink) > 0) {
    }
    EXPECT_EQ(write_within(ends[1], "farewell\n", 9, 100), 0) << blocking;
    close(ends[0]);
    close(ends[1]);
  }
}

}  // namespace
