#include "injection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// LD_PRELOAD splits its value at spaces and colons, so the injector is preloaded through a link
// in a test directory of its own, whatever the name of the build directory holds.
std::string preload_signal_injector() {
  static const std::string link = make_test_directory() + "/libsignal_injector.so";
  static const int linked = symlink(SIGNAL_INJECTOR, link.c_str());
  EXPECT_EQ(linked, 0) << "symlink " << link << ": " << std::strerror(errno);
  return "LD_PRELOAD=" + link;
}

// Where the injector logs the signals that reach the program's handlers.
std::string signal_log(const std::string& directory) { return directory + "/signals"; }

}  // namespace

Environment injected(const std::string& directory, Environment more) {
  Environment environment = {"TERM=xterm",
                             "INPUTRC=/dev/null",
                             preload_signal_injector(),
                             "SPELL_CHECKER_RAISED=" + raised_mark(directory),
                             "SPELL_CHECKER_SIGNAL_LOG=" + signal_log(directory),
                             "ASAN_OPTIONS=verify_asan_link_order=0"};
  environment.insert(environment.end(), more.begin(), more.end());
  return environment;
}

std::string raised_mark(const std::string& directory) { return directory + "/raised"; }

void expect_raised(const std::string& directory, const std::string& what) {
  EXPECT_EQ(access(raised_mark(directory).c_str(), F_OK), 0) << what << ": the signal never came";
}

bool signal_handled(const std::string& directory, int signal_number, const std::string& stances) {
  return eventually([&] {
    std::ifstream log(signal_log(directory));
    int number = 0;
    char stance = '\0';
    while (log >> number >> stance)
      if (number == signal_number && stances.find(stance) != std::string::npos) return true;
    return false;
  });
}

std::string logged_signals(const std::string& directory) {
  std::ifstream log(signal_log(directory));
  return std::string(std::istreambuf_iterator<char>(log), {});
}
