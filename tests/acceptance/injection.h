// The signal injector (signal_injector.cc) as the tests use it: its environment for one run of
// the program, the mark it leaves as it raises its signal, and its log of the signals that
// reached the program.
#ifndef SPELL_CHECKER_TESTS_INJECTION_H_
#define SPELL_CHECKER_TESTS_INJECTION_H_

#include <unistd.h>

#include <string>

#include "terminal_session.h"

// The program, run in `directory`, with the injector and what it is to do (the injector is loaded
// ahead of ASan), on a terminal that turns bracketed paste on and echoes control keys.
Environment injected(const std::string& directory, Environment more = {});

// Where the injector, run in `directory`, leaves its mark as it raises the signal.
std::string raised_mark(const std::string& directory);

// The injector raised its signal: else the case never came to the moment it is about, and
// tested nothing.
void expect_raised(const std::string& directory, const std::string& what);

// Whether `holds()` comes true within ten seconds.
template <typename Condition>
bool eventually(Condition holds) {
  for (int i = 0; i < 1000; ++i) {
    if (holds()) return true;
    usleep(10000);
  }
  return false;
}

// Whether the log of `directory` shows, within ten seconds, that `signal_number` reached a
// handler of the program while its process group stood as one of `stances` says, or, with the
// stance 's', that the program raised that stop signal to stop (see signal_injector.cc).
bool signal_handled(const std::string& directory, int signal_number,
                    const std::string& stances = "fbn");

// The injector's log of `directory` as it stands, for a failure to show.
std::string logged_signals(const std::string& directory);

#endif  // SPELL_CHECKER_TESTS_INJECTION_H_
