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
#include <string>
#include <utility>
#include <vector>

#include "terminal_session.h"

namespace {

const std::string kProgram = SPELL_CHECKER_UNDER_TEST;
const std::string kFarewell = "\nThank you...\n";

// LD_PRELOAD splits its value at spaces and colons, so the injector is preloaded through a link
// in a test directory of its own, whatever the name of the build directory holds.
std::string preload_signal_injector() {
  static const std::string link = make_test_directory() + "/libsignal_injector.so";
  static const int linked = symlink(SIGNAL_INJECTOR, link.c_str());
  EXPECT_EQ(linked, 0) << "symlink " << link << ": " << std::strerror(errno);
  return "LD_PRELOAD=" + link;
}

// Where the injector, run in `directory`, leaves its mark as it raises the signal.
std::string raised_mark(const std::string& directory) { return directory + "/raised"; }

// The program, run in `directory`, with the injector and what it is to do (the injector is loaded
// ahead of ASan), on a terminal that turns bracketed paste on and echoes control keys.
Environment injected(const std::string& directory, Environment more) {
  Environment environment = {"TERM=xterm", "INPUTRC=/dev/null", preload_signal_injector(),
                             "SPELL_CHECKER_RAISED=" + raised_mark(directory),
                             "ASAN_OPTIONS=verify_asan_link_order=0"};
  environment.insert(environment.end(), more.begin(), more.end());
  return environment;
}

// The injector raised its signal: else the case never came to the moment it is about, and
// tested nothing.
void expect_raised(const std::string& directory, const std::string& what) {
  EXPECT_EQ(access(raised_mark(directory).c_str(), F_OK), 0) << what << ": the signal never came";
}

// The program ended as it must: status 0, the farewell once and last, and the terminal's settings
// and bracketed-paste mode as they were before it started.
void expect_ended_well(TerminalSession& session, const std::string& what) {
  EXPECT_EQ(wait_for_exit(session), 0) << what;
  EXPECT_EQ(session.screen.find(kFarewell) + kFarewell.size(), session.screen.size())
      << what << ", screen:\n"
      << session.screen;
  const termios& before = session.settings_at_start;
  const termios& after = session.settings_at_end;
  EXPECT_EQ(after.c_lflag, before.c_lflag) << what << ": echo and canonical input";
  EXPECT_EQ(after.c_iflag, before.c_iflag) << what;
  EXPECT_EQ(after.c_oflag, before.c_oflag) << what;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(after.c_cc), NCCS),
            std::string(reinterpret_cast<const char*>(before.c_cc), NCCS))
      << what << ": special characters";
  const std::size_t paste_on = session.screen.rfind("\x1b[?2004h");
  const std::size_t paste_off = session.screen.rfind("\x1b[?2004l");
  EXPECT_TRUE(paste_on == std::string::npos ||
              (paste_off != std::string::npos && paste_off > paste_on))
      << what << ": bracketed paste left on";
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

// One step of a job's life on the terminal, as a person and the job-control shell take it.
enum class Do {
  kType,     // type `text`
  kPrompt,   // wait until the prompt shows
  kCommand,  // have the shell do `command` with `number`
  kStopped,  // the job stops on signal `number`, leaving the terminal as found
  kEditing,  // the line editor has its settings again
  kShown,    // wait until the screen shows `text`
  kMark,     // from here on, the program writes no control sequence to the terminal...
  kQuiet,    // ...to here, or else to its end
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
Step shown(std::string text) { return {Do::kShown, std::move(text)}; }
const Step kPrompt = {Do::kPrompt};
const Step kEditing = {Do::kEditing};
const Step kMark = {Do::kMark};
const Step kQuiet = {Do::kQuiet};

void canonical_off(termios& settings) { settings.c_lflag &= ~ICANON; }

// Waits until the terminal's settings are the line editor's: canonical input off, though the
// terminal's own settings at start may have had it off already.
bool line_editor_has_terminal(TerminalSession& session) {
  for (int i = 0; i < 1000; ++i) {
    termios now;
    if (tcgetattr(session.terminal, &now) == 0 && (now.c_lflag & (ICANON | ECHO)) == 0) return true;
    usleep(10000);
  }
  return false;
}

// The program wrote no control sequence, nor "^C", to the terminal since `mark` on the screen.
void expect_quiet_since(TerminalSession& session, std::size_t mark, const char* what) {
  wait_for(session, "\n", session.screen.size(), 0.2);  // what is on its way arrives
  const std::string since = session.screen.substr(mark);
  EXPECT_EQ(since.find('\x1b'), std::string::npos) << what << ": " << since;
  EXPECT_EQ(since.find("^C"), std::string::npos) << what << ": " << since;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

struct JobCase {
  const char* what;
  Role role;
  void (*start_terminal)(termios&);  // the terminal's settings at start, the pty's if null
  Environment environment;
  std::vector<Step> steps;
  int status;     // the program's: 0, 2 or 128 + the signal that ended it
  bool farewell;  // the farewell comes out whole, last
  bool raw;       // the shell holds the terminal raw at the end, else it is as found
};

// Takes the job through the case's steps, then checks how it ended. A failed assertion ends the
// case, not the test.
void run_job_case(const JobCase& c) {
  const std::string directory = directory_with_list("cat\n");
  TerminalSession session = start_on_terminal(
      kProgram, directory, injected(directory, c.environment), c.role, c.start_terminal);
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
      case Do::kEditing:
        EXPECT_TRUE(line_editor_has_terminal(session)) << c.what;
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
  const JobCase cases[] = {
      {"Ctrl-Z, bg: a line read in the background stops it again; fg gives the editor back its "
       "settings",
       Role::kForegroundJob,
       nullptr,
       {},
       {kPrompt, type("\x1a"), stopped(SIGTSTP), command(JobCommand::kBackground), kMark,
        type("cat\n"), stopped(SIGTTIN), kQuiet, command(JobCommand::kForeground), kEditing,
        shown("correct spelling: cat\n"), type("\x03")},
       0,
       true,
       false},
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
  run_job_case({"the line editor out of memory on a long paste",
                Role::kForegroundJob,
                nullptr,
                {"SPELL_CHECKER_REALLOC_LIMIT=4096"},
                {kPrompt, type(std::string(6000, 'a')), shown("out of virtual memory")},
                2,
                false,
                false});
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
    GTEST_SKIP() << kFullDevice << " is missing (Linux has it; FreeBSD has no device that is full)";
  PipedSession session =
      start_piped(kProgram, directory_with_list("cat\n"), {}, write_output_to_a_full_device);
  const PipedRun run = finish_piped(session, "cat\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "spell_checker: cannot write to standard output: No space left on device\n");
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
