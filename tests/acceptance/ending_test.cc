// How the program ends and writes when signals land at awkward moments and standard output
// misbehaves: one farewell, status 0, the terminal as it was, no reply lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "injection.h"
#include "sanitizer.h"
#include "terminal_session.h"

namespace {

const std::string kProgram = SPELL_CHECKER_UNDER_TEST;
const std::string kFarewell = "\nThank you...\n";

// The modes that the line editor turns on under TERM=xterm, as it switches them on and off.
struct TerminalMode {
  const char* name;
  const char* on;
  const char* off;
};
const TerminalMode kModes[] = {{"bracketed paste", "\x1b[?2004h", "\x1b[?2004l"},
                               {"keypad", "\x1b[?1h\x1b=", "\x1b[?1l\x1b>"},
                               {"meta key", "\x1b[?1034h", "\x1b[?1034l"}};

// Whether the screen shows every mode switched on switched off again later.
void expect_modes_off(const TerminalSession& session, const std::string& what) {
  for (const TerminalMode& mode : kModes) {
    const std::size_t on = session.screen.rfind(mode.on);
    const std::size_t off = session.screen.rfind(mode.off);
    EXPECT_TRUE(on == std::string::npos || (off != std::string::npos && off > on))
        << what << ": " << mode.name << " left on";
  }
}

// The program ended as it must, with `status`: the farewell once and last unless it ended by a
// signal's default action, and the terminal's settings and modes as they were before it started.
void expect_ended_well(TerminalSession& session, const std::string& what, int status = 0) {
  EXPECT_EQ(wait_for_exit(session), status) << what;
  if (status == 0) {
    EXPECT_EQ(session.screen.find(kFarewell) + kFarewell.size(), session.screen.size())
        << what << ", screen:\n"
        << session.screen;
  }
  const termios& before = session.settings_at_start;
  const termios& after = session.settings_at_end;
  EXPECT_EQ(after.c_lflag, before.c_lflag) << what << ": echo and canonical input";
  EXPECT_EQ(after.c_iflag, before.c_iflag) << what;
  EXPECT_EQ(after.c_oflag, before.c_oflag) << what;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(after.c_cc), NCCS),
            std::string(reinterpret_cast<const char*>(before.c_cc), NCCS))
      << what << ": special characters";
  expect_modes_off(session, what);
}

// A moment in the program's work, and the signal that lands there.
struct Window {
  const char* what;
  const char* raise_at;  // see signal_injector.cc; empty for none
  int signal_number;
  const char* keys;  // typed at the first prompt
};

TEST(Ending, SignalsInEveryWindowOnATerminal) {
  const Window windows[] = {
      {"Ctrl-C at the prompt", "", 0, "\x03"},
      {"SIGTERM just before the wait for a key", "wait", SIGTERM, ""},
      {"SIGTERM just before the wait, after a reply", "reply,wait", SIGTERM, "cat\r"},
      {"SIGHUP as the terminal goes raw for the next line", "reply,raw", SIGHUP, "cat\r"},
      {"SIGINT as the reply is written", "reply", SIGINT, "cat\r"},
      {"SIGTERM just after the farewell of a Ctrl-C", "farewell", SIGTERM, "\x03"},
  };
  for (const Window& w : windows) {
    const std::string directory = directory_with_list("cat\ncot\n");
    const Environment environment =
        injected(directory, {std::string("SPELL_CHECKER_RAISE_AT=") + w.raise_at,
                             "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(w.signal_number)});
    TerminalSession session = start_on_terminal(kProgram, directory, environment);
    if (*w.keys != '\0') {
      ASSERT_NE(wait_for(session, "word> "), std::string::npos) << w.what << session.screen;
      type_keys(session, w.keys);
    }
    expect_ended_well(session, w.what);
    if (*w.raise_at != '\0') expect_raised(directory, w.what);
  }
}

TEST(Ending, SignalsEndWithFarewellOnAPlainTerminal) {
  const Window endings[] = {
      {"Ctrl-C", "", 0, "\x03"},  {"Ctrl-C with a half-typed word", "", 0, "ca\x03"},
      {"SIGINT", "", SIGINT, ""}, {"SIGTERM", "", SIGTERM, ""},
      {"SIGHUP", "", SIGHUP, ""},
  };
  for (const Window& e : endings) {
    TerminalSession session = start_on_terminal(kProgram, directory_with_list("cat\n"));
    ASSERT_NE(wait_for(session, "word> "), std::string::npos) << e.what;
    if (e.signal_number != 0)
      kill(session.pid, e.signal_number);
    else
      type_keys(session, e.keys);
    expect_ended_well(session, e.what);
  }
}

// A terminal that is not the program's controlling terminal (a launcher that starts a session
// with setsid) has no job control: no key sends a signal, and every ending hands it back as the
// foreground's would be.
TEST(Ending, WithoutAControllingTerminal) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    const std::string directory = directory_with_list("cat\n");
    TerminalSession session =
        start_on_terminal(kProgram, directory, injected(directory), Role::kNoControllingTerminal);
    ASSERT_NE(wait_for(session, "word> "), std::string::npos) << signal_number;
    type_keys(session, "ca");
    ASSERT_NE(wait_for(session, "ca"), std::string::npos) << signal_number;
    kill(session.pid, signal_number);
    EXPECT_TRUE(signal_handled(directory, signal_number, "n")) << signal_number;
    expect_ended_well(session, "signal " + std::to_string(signal_number));
  }
}

// A crash inside the line editor (this version of it can be made to crash by a run of history
// keys: README) ends the program by the crash signal's default action, with the terminal as it
// was found and the editor's modes off.
TEST(Ending, CrashInTheLineEditorLeavesTheTerminalAsFound) {
  const Window crashes[] = {
      {"SIGSEGV as the editor switches the terminal raw", "raw", SIGSEGV, ""},
      {"SIGABRT as the editor reads a key, a line later", "reply,wait", SIGABRT, "cat\r"},
  };
  for (const Window& c : crashes) {
    const std::string directory = directory_with_list("cat\n");
    // Under AddressSanitizer the crash must still reach the program's handler, not the
    // sanitizer's report.
    const Environment environment =
        injected(directory, {std::string("SPELL_CHECKER_RAISE_AT=") + c.raise_at,
                             "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(c.signal_number),
                             "ASAN_OPTIONS=verify_asan_link_order=0:handle_segv=0:handle_abort=0"});
    TerminalSession session = start_on_terminal(kProgram, directory, environment);
    if (*c.keys != '\0') {
      ASSERT_NE(wait_for(session, "word> "), std::string::npos) << c.what << session.screen;
      type_keys(session, c.keys);
    }
    expect_ended_well(session, c.what, 128 + c.signal_number);
    expect_raised(directory, c.what);
  }
}

// Without job control the terminal's keys send the program no signal; it takes them as keys: the
// interrupt key ends it as SIGINT would, the quit key as SIGQUIT, and the suspend key is refused.
TEST(Ending, SignalKeysWithoutAControllingTerminal) {
  const struct {
    const char* what;
    const char* keys;
    int status;
  } cases[] = {
      {"Ctrl-C", "ca\x03", 0},
      {"Ctrl-Z, which does nothing, then Ctrl-C",
       "\x1a"
       "ca\x03",
       0},
      {"Ctrl-\\", "\x1c", 128 + SIGQUIT},
  };
  for (const auto& c : cases) {
    const std::string directory = directory_with_list("cat\n");
    TerminalSession session =
        start_on_terminal(kProgram, directory, injected(directory), Role::kNoControllingTerminal);
    ASSERT_NE(wait_for(session, "word> "), std::string::npos) << c.what;
    type_keys(session, c.keys);
    expect_ended_well(session, c.what, c.status);
    if (c.status == 0) {
      EXPECT_NE(session.screen.find("ca^C"), std::string::npos) << c.what;
    }
  }
}

// Every mode the line editor turns on, as the user's settings ask, is off again after every
// ending, whatever the mode and however it ends.
TEST(Ending, ModesTheEditorTurnedOnAreOffAfterEveryEnding) {
  const struct {
    const char* what;
    const char* inputrc;
    std::vector<std::string> on;  // what the editor must show it turned on: the premise
  } settings[] = {
      {"keypad", "set enable-keypad on\n", {"\x1b[?1h\x1b=", "\x1b[?2004h"}},
      {"keypad, no bracketed paste",
       "set enable-keypad on\nset enable-bracketed-paste off\n",
       {"\x1b[?1h\x1b="}},
      {"bracketed paste", "set enable-bracketed-paste on\n", {"\x1b[?2004h"}},
  };
  const Window endings[] = {
      {"Ctrl-C", "", 0, "\x03"},
      {"SIGTERM", "", SIGTERM, ""},
      {"SIGHUP", "", SIGHUP, ""},
      {"SIGTERM as the terminal goes raw for the next line", "reply,raw", SIGTERM, "cat\r"},
  };
  for (const auto& setting : settings) {
    for (const Window& ending : endings) {
      const std::string what = std::string(setting.what) + ", " + ending.what;
      const std::string directory = directory_with_list("cat\n");
      std::ofstream(directory + "/inputrc") << setting.inputrc;
      Environment environment =
          injected(directory, {std::string("SPELL_CHECKER_RAISE_AT=") + ending.raise_at,
                               "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(ending.signal_number),
                               "INPUTRC=" + directory + "/inputrc"});
      TerminalSession session = start_on_terminal(kProgram, directory, environment);
      ASSERT_NE(wait_for(session, "word> "), std::string::npos) << what << session.screen;
      for (const std::string& on : setting.on)
        ASSERT_NE(session.screen.find(on), std::string::npos) << what << ": the premise";
      if (*ending.keys != '\0') type_keys(session, ending.keys);
      if (*ending.raise_at == '\0' && ending.signal_number != 0)
        kill(session.pid, ending.signal_number);
      expect_ended_well(session, what);
    }
  }
}

// One step of a job's life on the terminal, as a person and the job-control shell take it.
enum class Do {
  kType,        // type `text`
  kPrompt,      // wait until the prompt shows
  kCommand,     // have the shell do `command` with `number`
  kStopped,     // the job stops on signal `number`, leaving the terminal as found
  kJobStopped,  // the job stops on signal `number`, the terminal as its first process left it
  kRuns,        // the job neither stops nor ends for `number` milliseconds
  kHandled,     // signal `number` reached a handler of the program, which stood as `text` says
                // (see signal_injector.cc), or anywhere if `text` is empty
  kAsFound,     // the terminal comes to have the settings found at start
  kShellRaw,    // the terminal keeps the raw settings the shell gave it
  kRaised,      // the injector raises its signal
  kEditing,     // the line editor has its settings again
  kFromHere,    // what the screen shows from now on is looked for from here
  kShown,       // wait until the screen shows `text`
  kMark,        // from here on, the program writes no control sequence to the terminal...
  kQuiet,       // ...to here, or else to its end
};
struct Step {
  Do what;
  std::string text = "";
  JobCommand command = JobCommand::kWait;
  int number = 0;
};
Step type(std::string keys) { return {Do::kType, std::move(keys)}; }
Step command(JobCommand what, int number = 0) { return {Do::kCommand, "", what, number}; }
Step stopped(int signal_number) { return {Do::kStopped, "", JobCommand::kWait, signal_number}; }
Step job_stopped(int signal_number) {
  return {Do::kJobStopped, "", JobCommand::kWait, signal_number};
}
Step runs(int milliseconds) { return {Do::kRuns, "", JobCommand::kWait, milliseconds}; }
Step handled(int signal_number, std::string stance = "") {
  return {Do::kHandled, std::move(stance), JobCommand::kWait, signal_number};
}
Step shown(std::string text) { return {Do::kShown, std::move(text)}; }
const Step kPrompt = {Do::kPrompt};
const Step kAsFound = {Do::kAsFound};
const Step kShellRaw = {Do::kShellRaw};
const Step kRaised = {Do::kRaised};
const Step kEditing = {Do::kEditing};
const Step kFromHere = {Do::kFromHere};
const Step kMark = {Do::kMark};
const Step kQuiet = {Do::kQuiet};

void canonical_off(termios& settings) { settings.c_lflag &= ~ICANON; }

// Waits until the terminal's echo and canonical input are as `lflag` has them.
bool terminal_comes_to(TerminalSession& session, tcflag_t lflag) {
  return eventually([&] {
    termios now;
    return tcgetattr(session.terminal, &now) == 0 &&
           (now.c_lflag & (ICANON | ECHO)) == (lflag & (ICANON | ECHO));
  });
}

// Waits until the terminal's settings are the line editor's: canonical input off, though the
// terminal's own settings at start may have had it off already.
bool line_editor_has_terminal(TerminalSession& session) { return terminal_comes_to(session, 0); }

// The program wrote no control sequence, nor "^C", to the terminal since `mark` on the screen.
void expect_quiet_since(TerminalSession& session, std::size_t mark, const char* what) {
  wait_for(session, "\n", session.screen.size(), 0.2);  // what is on its way arrives
  const std::string since = session.screen.substr(mark);
  EXPECT_EQ(since.find('\x1b'), std::string::npos) << what << ": " << since;
  EXPECT_EQ(since.find("^C"), std::string::npos) << what << ": " << since;
}

struct JobCase {
  const char* what;
  Role role;
  void (*start_terminal)(termios&);  // the terminal's settings at start, the pty's if null
  Environment environment;
  std::vector<Step> steps;
  int status;     // the job's: 0, 2 or 128 + the signal that ended it
  bool farewell;  // the farewell comes out whole, last
  bool raw;       // the shell holds the terminal raw at the end, else it is as found
  JobShape shape = {};
};

// Takes the job through the case's steps, then checks how it ended. A failed assertion ends the
// case, not the test.
void run_job_case(const JobCase& c) {
  const std::string directory = directory_with_list("cat\n");
  TerminalSession session = start_on_terminal(
      kProgram, directory, injected(directory, c.environment), c.role, c.start_terminal, c.shape);
  const tcflag_t raw_lflag = session.settings_at_start.c_lflag & ~(ICANON | ECHO);
  std::size_t from = 0, mark = std::string::npos;
  for (const Step& step : c.steps) {
    switch (step.what) {
      case Do::kType:
        // A long paste may meet a program that has already gone.
        (void)!write(session.terminal, step.text.data(), step.text.size());
        break;
      case Do::kPrompt:
        from = wait_for(session, "word> ", from);
        ASSERT_NE(from, std::string::npos) << c.what << ", screen:\n" << session.screen;
        break;
      case Do::kShown:
        from = wait_for(session, step.text, from);
        ASSERT_NE(from, std::string::npos) << c.what << ", screen:\n" << session.screen;
        break;
      case Do::kCommand:
        job_command(session, step.command, step.number);
        break;
      case Do::kStopped: {
        const JobEvent event = job_command(session, JobCommand::kWait, 10000);
        ASSERT_EQ(event.what, 's') << c.what << ": the job did not stop, screen:\n"
                                   << session.screen;
        EXPECT_EQ(event.status, step.number) << c.what;
        EXPECT_EQ(event.settings.c_lflag, session.settings_at_start.c_lflag)
            << c.what << ": the terminal while stopped";
        break;
      }
      case Do::kJobStopped: {
        const JobEvent event = job_command(session, JobCommand::kWait, 10000);
        ASSERT_EQ(event.what, 's') << c.what << ": the job did not stop";
        EXPECT_EQ(event.status, step.number) << c.what;
        break;
      }
      case Do::kRuns: {
        const JobEvent event = job_command(session, JobCommand::kWait, step.number);
        ASSERT_EQ(event.what, 't')
            << c.what << ": the job stopped or ended (" << event.status << "), screen:\n"
            << session.screen;
        break;
      }
      case Do::kHandled:
        ASSERT_TRUE(signal_handled(directory, step.number, step.text.empty() ? "fbn" : step.text))
            << c.what << ": signal " << step.number << " never reached the program there";
        break;
      case Do::kAsFound:
        EXPECT_TRUE(terminal_comes_to(session, session.settings_at_start.c_lflag))
            << c.what << ": the terminal is not as found";
        break;
      case Do::kShellRaw:
        EXPECT_TRUE(terminal_comes_to(session, raw_lflag)) << c.what << ": the shell's settings";
        break;
      case Do::kRaised:
        ASSERT_TRUE(eventually([&] { return access(raised_mark(directory).c_str(), F_OK) == 0; }))
            << c.what << ": the program never came to the moment";
        break;
      case Do::kEditing:
        EXPECT_TRUE(line_editor_has_terminal(session)) << c.what;
        break;
      case Do::kFromHere:
        wait_for(session, "\n", session.screen.size(), 0.2);  // what is on its way arrives
        from = session.screen.size();
        break;
      case Do::kMark:
        wait_for(session, "\n", session.screen.size(), 0.2);  // what is on its way arrives
        mark = session.screen.size();
        break;
      case Do::kQuiet:
        expect_quiet_since(session, mark, c.what);
        mark = std::string::npos;
        break;
    }
  }
  EXPECT_EQ(wait_for_exit(session), c.status) << c.what << ", screen:\n" << session.screen;
  for (const std::string& setting : c.environment) {
    if (setting.rfind("SPELL_CHECKER_RAISE_AT=", 0) == 0) expect_raised(directory, c.what);
  }
  const std::size_t farewell = session.screen.find(kFarewell);
  if (c.farewell) {
    EXPECT_EQ(farewell + kFarewell.size(), session.screen.size()) << c.what << ", screen:\n"
                                                                  << session.screen;
  } else {
    EXPECT_EQ(farewell, std::string::npos) << c.what;
  }
  termios expected = session.settings_at_start;
  if (c.raw) expected.c_lflag &= ~(ICANON | ECHO);
  EXPECT_EQ(session.settings_at_end.c_lflag, expected.c_lflag) << c.what << ": settings at end";
  EXPECT_EQ(session.settings_at_end.c_iflag, expected.c_iflag) << c.what;
  if (mark != std::string::npos) {
    expect_quiet_since(session, mark, c.what);
  } else {
    const std::size_t paste_on = session.screen.rfind("\x1b[?2004h");
    EXPECT_TRUE(paste_on == std::string::npos ||
                session.screen.find("\x1b[?2004l", paste_on) != std::string::npos)
        << c.what << ": bracketed paste left on";
  }
}

TEST(Ending, JobControlAndStraySignals) {
  const int alarm_status = 128 + SIGALRM, quit_status = 128 + SIGQUIT;
  // Continued in the background, the program waits for the foreground; a key typed for the
  // shell, which has the terminal raw for its own line editor, is left to the shell, which takes
  // it (the command "fg", which brings a running job forward without a signal). Brought back,
  // with nothing typed for it yet, the program must show its line without a key, in its own
  // settings.
  const std::vector<Step> typed_in_the_background = {kPrompt,
                                                     type("ca"),
                                                     shown("ca"),
                                                     type("\x1a"),
                                                     stopped(SIGTSTP),
                                                     command(JobCommand::kBackground),
                                                     command(JobCommand::kRawTerminal),
                                                     type("f"),
                                                     runs(300),
                                                     command(JobCommand::kReadInput),
                                                     kFromHere,
                                                     command(JobCommand::kGiveTerminal),
                                                     shown("word> ca"),
                                                     kEditing,
                                                     type("t\r"),
                                                     shown("correct spelling: cat\n"),
                                                     kPrompt,
                                                     type("\x03")};
  const JobCase cases[] = {
      {"Ctrl-Z, bg: a line typed meanwhile waits, unread; fg gives the editor back its settings",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, type("\x1a"), stopped(SIGTSTP), command(JobCommand::kBackground), kMark,
        type("cat\n"), runs(300), kQuiet, command(JobCommand::kForeground), kEditing,
        shown("correct spelling: cat\n"), type("\x03")},
       0,
       true,
       false},
      {"Ctrl-Z, bg, a key typed for the shell, fg of the running job: the line is shown at once "
       "(shell's settings put back)",
       Role::kForegroundJob,
       nullptr,
       {},
       typed_in_the_background,
       0,
       true,
       false,
       {Wrapper::kNone, true}},
      {"Ctrl-Z, bg, a key typed for the shell, fg of the running job: the line is shown at once "
       "(job's settings left)",
       Role::kForegroundJob,
       nullptr,
       {},
       typed_in_the_background,
       0,
       true,
       false,
       {Wrapper::kNone, false}},
      {"Ctrl-Z, bg, and fg of the running job just after the continuation looked: the line is "
       "shown at once",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=continued", "SPELL_CHECKER_RAISE_SIGNAL=terminal"},
       {kPrompt, type("ca"), shown("ca"), type("\x1a"), stopped(SIGTSTP), kFromHere,
        command(JobCommand::kBackground), kRaised, shown("word> ca"), kEditing, type("t\r"),
        shown("correct spelling: cat\n"), kPrompt, type("\x03")},
       0,
       true,
       false,
       {Wrapper::kNone, true}},
      {"SIGTERM to a stopped job while the shell holds the terminal raw",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, type("\x1a"), stopped(SIGTSTP), command(JobCommand::kRawTerminal), kMark,
        command(JobCommand::kSignal, SIGTERM), command(JobCommand::kSignal, SIGCONT)},
       0,
       true,
       true},
      {"SIGHUP to a job continued in the background, the terminal raw",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, type("\x1a"), stopped(SIGTSTP), command(JobCommand::kBackground),
        command(JobCommand::kRawTerminal), kMark, command(JobCommand::kSignal, SIGHUP)},
       0,
       true,
       true},
      {"SIGINT to a job started with &, the terminal raw",
       Role::kBackgroundJob,
       nullptr,
       {},
       {stopped(SIGTTOU), command(JobCommand::kRawTerminal), kMark,
        command(JobCommand::kSignal, SIGINT), command(JobCommand::kSignal, SIGCONT)},
       0,
       true,
       true},
      {"SIGALRM from outside",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, command(JobCommand::kSignal, SIGALRM)},
       alarm_status,
       false,
       false},
      {"an alarm inherited across exec",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_ALARM=2"},
       {kPrompt},
       alarm_status,
       false,
       false},
      {"Ctrl-\\",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, type("\x1c")},
       quit_status,
       false,
       false},
      {"SIGTTIN to the foreground job",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, command(JobCommand::kSignal, SIGTTIN), stopped(SIGTTIN),
        command(JobCommand::kForeground), kEditing, type("\x03")},
       0,
       true,
       false},
      {"SIGTTOU to the foreground job",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, command(JobCommand::kSignal, SIGTTOU), stopped(SIGTTOU),
        command(JobCommand::kForeground), kEditing, type("\x03")},
       0,
       true,
       false},
      {"Ctrl-Z while the farewell is written",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=ending", "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGTSTP)},
       {kPrompt, type("\x03")},
       0,
       true,
       false},
      {"Ctrl-C on a terminal started without canonical input",
       Role::kForegroundJob,
       canonical_off,
       {},
       {kPrompt, type("\x03"), shown("^C")},
       0,
       true,
       false},
  };
  for (const JobCase& c : cases) run_job_case(c);
}

TEST(Ending, LineEditorOutOfMemory) {
  if (kUnderAddressSanitizer)
    GTEST_SKIP() << "AddressSanitizer's allocator keeps the injector from failing realloc";
  const std::vector<Step> steps = {kPrompt, type(std::string(6000, 'a')),
                                   shown("out of virtual memory")};
  run_job_case({"the line editor out of memory on a long paste",
                Role::kForegroundJob,
                nullptr,
                {"SPELL_CHECKER_REALLOC_LIMIT=4096"},
                steps,
                2,
                false,
                false});
  // The exit has handed the terminal back: the stop is held, and fg would not take it again.
  run_job_case({"Ctrl-Z just after the editor's out-of-memory exit handed the terminal back",
                Role::kForegroundJob,
                nullptr,
                {"SPELL_CHECKER_REALLOC_LIMIT=4096", "SPELL_CHECKER_RAISE_AT=cooked",
                 "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGTSTP)},
                steps,
                2,
                false,
                false});
}

void block_ttou() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTTOU);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void ignore_ttou() { signal(SIGTTOU, SIG_IGN); }

// A wrapper in the job (make, sh -c, timeout --foreground) stops by default at once, and the shell
// takes the terminal, before or after the program's own stop handler has run; the shell puts its
// own settings back, as bash and zsh do, or leaves the job's, as dash does. However the job is
// made up, while it is stopped the terminal is as the program found it, and after fg the line
// editor has its settings and shows its prompt and half-typed line again.
TEST(Ending, HoweverItIsStarted) {
  const JobShape wrapped_dash = {Wrapper::kShell, false}, wrapped_bash = {Wrapper::kShell, true};
  // The wrapper, a shell, dies of the Ctrl-C that ends the program: the job's status says so.
  const int interrupted = 128 + SIGINT;
  // The wrapper stops first, on purpose; then the program's handler runs in the background.
  const std::vector<Step> wrapper_first = {kPrompt,
                                           type("ca"),
                                           shown("ca"),
                                           command(JobCommand::kSignalLeader, SIGTSTP),
                                           job_stopped(SIGTSTP),
                                           command(JobCommand::kSignal, SIGTSTP),
                                           handled(SIGTSTP, "b"),
                                           kAsFound};
  // Both stop on the key, in whichever order they come to it.
  const std::vector<Step> both_on_the_key = {kPrompt,      type("ca"),           shown("ca"),
                                             type("\x1a"), job_stopped(SIGTSTP), handled(SIGTSTP),
                                             kAsFound};
  const std::vector<Step> brought_back = {
      kFromHere,   command(JobCommand::kForeground), kEditing, shown("word> ca"),
      type("t\r"), shown("correct spelling: cat\n"), kPrompt,  type("\x03")};
  const auto then = [](std::vector<Step> first, const std::vector<Step>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
  };
  const JobCase cases[] = {
      {"Ctrl-Z under a wrapper that stops first; the shell leaves the job's settings",
       Role::kForegroundJob,
       nullptr,
       {},
       then(wrapper_first, brought_back),
       interrupted,
       true,
       false,
       wrapped_dash},
      {"Ctrl-Z under a wrapper that stops first; the shell puts its own settings back",
       Role::kForegroundJob,
       nullptr,
       {},
       then(wrapper_first, brought_back),
       interrupted,
       true,
       false,
       wrapped_bash},
      {"Ctrl-Z under a wrapper; the shell leaves the job's settings",
       Role::kForegroundJob,
       nullptr,
       {},
       then(both_on_the_key, brought_back),
       interrupted,
       true,
       false,
       wrapped_dash},
      {"Ctrl-Z under a wrapper; the shell puts its own settings back",
       Role::kForegroundJob,
       nullptr,
       {},
       then(both_on_the_key, brought_back),
       interrupted,
       true,
       false,
       wrapped_bash},
      {"make run: Ctrl-Z, fg and Ctrl-C, the program a job of its own",
       Role::kForegroundJob,
       nullptr,
       {},
       then({kPrompt, type("ca"), shown("ca"), type("\x1a"), stopped(SIGTSTP)}, brought_back),
       0,
       true,
       false,
       {Wrapper::kRunAsJob, true}},
      {"SIGTTIN inside the Ctrl-Z hand-back",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=cooked", "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGTTIN)},
       then({kPrompt, type("ca"), shown("ca"), type("\x1a"), stopped(SIGTSTP)}, brought_back),
       0,
       true,
       false},
      {"fg before the Ctrl-Z handler stops the program: it does not stop",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=cooked", "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGCONT)},
       {kPrompt, type("ca"), shown("ca"), type("\x1a"), handled(SIGTSTP, "f"), runs(500), kEditing,
        type("t\r"), shown("correct spelling: cat\n"), kPrompt, type("\x03")},
       0,
       true,
       false},
      {"Ctrl-Z just after Ctrl-\\ handed the terminal back",
       Role::kForegroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=cooked", "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGTSTP)},
       {kPrompt, type("\x1c")},
       128 + SIGQUIT,
       false,
       false},
      {"started with & and SIGTTOU blocked: it stops before it touches the terminal",
       Role::kBackgroundJob,
       nullptr,
       {},
       {stopped(SIGTTOU), handled(SIGTTOU, "b"), command(JobCommand::kForeground), kEditing,
        kPrompt, type("cat\r"), shown("correct spelling: cat\n"), kPrompt, type("\x03")},
       0,
       true,
       false,
       {Wrapper::kNone, false, block_ttou}},
      {"started with & and SIGTTOU ignored: it waits to be brought forward",
       Role::kBackgroundJob,
       nullptr,
       {"SPELL_CHECKER_RAISE_AT=sleep", "SPELL_CHECKER_RAISE_SIGNAL=0"},
       {kRaised, command(JobCommand::kRawTerminal), kMark, runs(300), kShellRaw, kQuiet,
        command(JobCommand::kForeground), kEditing, kPrompt, type("cat\r"),
        shown("correct spelling: cat\n"), kPrompt, type("\x03")},
       0,
       true,
       false,
       {Wrapper::kNone, false, ignore_ttou}},
  };
  for (const JobCase& c : cases) run_job_case(c);
}

// The words of a list whose every word sounds like "cut": each such line's reply fills a pipe.
std::string list_of_many_sound_alikes() {
  std::string list;
  for (int i = 0; i < 20000; ++i) list += "cot\n";
  return list;
}

// Waits until the pipe read at `fd` holds all it can take from a writer of short lines, and that
// writer has stopped: it must be waiting for room.
bool wait_until_full(int fd) {
#ifdef F_GETPIPE_SZ
  const int room_for_lines = fcntl(fd, F_GETPIPE_SZ) - PIPE_BUF;
#else  // a pipe's size is Linux's to tell; elsewhere its writer must have stopped, that is all
  const int room_for_lines = 1;
#endif
  int before = -1;
  for (int i = 0; i < 100; ++i) {
    usleep(100000);
    int held = 0;
    if (ioctl(fd, FIONREAD, &held) == 0 && held >= room_for_lines && held == before) return true;
    before = held;
  }
  return false;
}

void close_session(PipedSession& session) {
  for (int fd : {session.in, session.out, session.err})
    if (fd >= 0) close(fd);
}

TEST(Ending, StandardOutputThatNobodyReads) {
  PipedSession session = start_piped(kProgram, directory_with_list(list_of_many_sound_alikes()));
  ASSERT_EQ(write(session.in, "cut\n", 4), 4);
  ASSERT_TRUE(wait_until_full(session.out));
  kill(session.pid, SIGTERM);
  // The farewell cannot be written; the program gives up on it after about two seconds.
  EXPECT_EQ(wait_for_process(session.pid, 10), 0);
  close_session(session);
}

TEST(Ending, FarewellIntoAClosedPipe) {
  for (const bool by_signal : {true, false}) {
    PipedSession session = start_piped(kProgram, directory_with_list("cat\n"));
    std::string out;
    ASSERT_TRUE(read_until(session.out, out, "word> "));
    close(session.out);
    session.out = -1;
    if (by_signal) {
      kill(session.pid, SIGTERM);
    } else {
      close(session.in);  // the end of input
      session.in = -1;
    }
    EXPECT_EQ(wait_for_process(session.pid, 10), 0) << (by_signal ? "signal" : "end of input");
    close_session(session);
  }
}

void block_termination_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, signal_number);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void ignore_termination_signals() {
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) signal(signal_number, SIG_IGN);
}

TEST(Ending, InheritedSignalMaskAndDispositionsDoNotStopTheEnding) {
  for (void (*prepare)() : {block_termination_signals, ignore_termination_signals}) {
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
      PipedSession session = start_piped(kProgram, directory_with_list("cat\n"), {}, prepare);
      std::string out;
      ASSERT_TRUE(read_until(session.out, out, "word> "));
      kill(session.pid, signal_number);
      // Standard input stays open: only the signal can end the program.
      EXPECT_TRUE(read_until(session.out, out, kFarewell)) << signal_number;
      EXPECT_EQ(wait_for_process(session.pid, 10), 0) << signal_number;
      close_session(session);
    }
  }
}

// Else the program would get a blocking output, and the test would test nothing.
void make_output_non_blocking() {
  if (fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK) != 0) _exit(125);
}

TEST(Writing, NonBlockingOutputThatFillsUpLosesNothing) {
  const std::string directory = directory_with_list(list_of_many_sound_alikes() + "cat\n");
  const std::string input = "cut\ncat\ncut\n";
  const PipedRun expected = run_piped(kProgram, directory, input);

  PipedSession session = start_piped(kProgram, directory, {}, make_output_non_blocking);
  ASSERT_EQ(write(session.in, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(session.in);
  session.in = -1;
  ASSERT_TRUE(wait_until_full(session.out));
  const PipedRun run = finish_piped(session, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.size(), expected.out.size());
  EXPECT_TRUE(run.out == expected.out);
}

const char kFullDevice[] = "/dev/full";

void write_output_to_a_full_device() {
  if (dup2(open(kFullDevice, O_WRONLY), STDOUT_FILENO) < 0) _exit(125);
}

TEST(Writing, FailureToWriteIsReportedWithStatusOne) {
  if (access(kFullDevice, W_OK) != 0)
    GTEST_SKIP() << kFullDevice << " is missing: no device here fails every write as a full one";
  // The line waits before the program starts, which may end on its banner before it reads.
  const int input = pipe_holding("cat\n");
  PipedSession session =
      start_piped(kProgram, directory_with_list("cat\n"), {}, write_output_to_a_full_device, input);
  close(input);
  const PipedRun run = finish_piped(session, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "spell_checker: cannot write to standard output: No space left on device\n");
}

// Standard error full, with nobody to read it: else the program's message would go through and
// the test would test nothing.
void fill_standard_error() {
  write_output_to_a_full_device();
  fcntl(STDERR_FILENO, F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  for (int i = 0; i < 1024 && write(STDERR_FILENO, block.data(), block.size()) > 0; ++i) {
  }
  if (errno != EAGAIN) _exit(125);
  fcntl(STDERR_FILENO, F_SETFL, 0);
}

TEST(Writing, FailureEndsWithinBoundsThoughStandardErrorIsFull) {
  if (access(kFullDevice, W_OK) != 0)
    GTEST_SKIP() << kFullDevice << " is missing: no device here fails every write as a full one";
  const int input = pipe_holding("cat\n");
  PipedSession session =
      start_piped(kProgram, directory_with_list("cat\n"), {}, fill_standard_error, input);
  close(input);
  // The message waits for standard error two seconds at most, the hand-back as long.
  EXPECT_EQ(wait_for_process(session.pid, 10), 1);
  close_session(session);
}

void limit_memory() {
  const rlimit limit = {64 << 20, 64 << 20};
  setrlimit(RLIMIT_AS, &limit);
}

TEST(Writing, TooManySoundAlikesForTheMemoryAtHand) {
  if (kUnderAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
#ifdef SPELL_CHECKER_EMULATED
  GTEST_SKIP() << "the emulator needs more address space";
#endif
  // 3 million sound-alikes of "cut" do not fit in 64 MiB; a found word keeps none of them.
  std::string list = "cat\n";
  for (int i = 0; i < 3000000; ++i) list += "cot\n";
  PipedSession session = start_piped(kProgram, directory_with_list(list), {}, limit_memory);
  const PipedRun run = finish_piped(session, "cut\ncat\ncut\n", 60);
  EXPECT_EQ(run.status, 0);
  const std::string message =
      "spell_checker: cannot list the sound-alikes from spell_checker/words.txt: "
      "Cannot allocate memory\n";
  EXPECT_EQ(run.err, message + message);
  EXPECT_NE(run.out.find("word> cat\ncorrect spelling: cat\nword> "), std::string::npos)
      << run.out.substr(0, 500);
  EXPECT_EQ(run.out.find("cot"), std::string::npos);
}

}  // namespace
