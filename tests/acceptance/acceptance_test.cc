// The built program, driven as a person at a terminal or a script would drive it.
#include <ctype.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "terminal_session.h"

namespace {

// The program under test reads spell_checker/words.txt in its working directory.
const std::string kProgram = SPELL_CHECKER_UNDER_TEST;
const std::string kBanner = "Please type Ctrl-C to exit this program...\n\n";
const std::string kFarewell = "\nThank you...\n";

const char kSmallList[] = "cat\ncot\nkit\ncut\n";

struct Exchange {
  std::string typed;
  std::string reply;  // the lines shown after the typed line, before the next prompt
};

TEST(Terminal, BannerRepliesAndPrompts) {
  TerminalSession session = start_on_terminal(kProgram, directory_with_list(kSmallList));
  ASSERT_NE(wait_for(session, "word> "), std::string::npos) << session.screen;
  EXPECT_EQ(session.screen, kBanner + "word> ");

  const Exchange exchanges[] = {
      {"cat", "correct spelling: cat\n"},
      {"CAT", "correct spelling: CAT\n"},
      {"cet", "cat\ncot\ncut\n"},
      {"kat", "kit\n"},
      {"42", ""},
      {" cat", "cat\ncot\ncut\n"},
      {"", ""},
  };
  for (const Exchange& e : exchanges) {
    const std::size_t from = session.screen.size();
    type_keys(session, e.typed + "\r");
    const std::string expected = e.typed + "\n" + e.reply + "word> ";
    ASSERT_NE(wait_for(session, expected, from), std::string::npos)
        << "typed \"" << e.typed << "\", screen:\n"
        << session.screen;
    EXPECT_EQ(session.screen.substr(from), expected);
  }
  kill(session.pid, SIGTERM);
  EXPECT_EQ(wait_for_exit(session), 0);
}

// Each history test types `lines`, then presses Up `ups` times and Enter: the line that comes
// back shows which lines the history kept.
struct HistoryCase {
  const char* what;
  std::vector<std::string> lines;
  int ups;
  std::string recalled_reply;
};

TEST(Terminal, HistoryThroughTheUpArrow) {
  const HistoryCase cases[] = {
      {"a line typed twice is kept once", {"cot", "cat", "cat"}, 2, "correct spelling: cot\n"},
      {"two empty lines are kept once", {"cat", "", ""}, 2, "correct spelling: cat\n"},
      {"a first empty line is not kept", {"", "cat"}, 2, "correct spelling: cat\n"},
      {"case counts", {"cot", "cat", "CAT"}, 2, "correct spelling: cat\n"},
  };
  for (const HistoryCase& c : cases) {
    TerminalSession session = start_on_terminal(kProgram, directory_with_list(kSmallList));
    std::size_t at = wait_for(session, "word> ");
    for (const std::string& line : c.lines) {
      type_keys(session, line + "\r");
      at = wait_for(session, "word> ", at);
    }
    std::string keys;
    for (int i = 0; i < c.ups; ++i) keys += "\x1b[A";
    type_keys(session, keys + "\r");
    EXPECT_NE(wait_for(session, "\n" + c.recalled_reply + "word> ", at), std::string::npos)
        << c.what << ", screen:\n"
        << session.screen;
    kill(session.pid, SIGTERM);
    EXPECT_EQ(wait_for_exit(session), 0) << c.what;
  }
}

TEST(Terminal, CtrlDOnAnEmptyLineOnlyPromptsAgain) {
  TerminalSession session = start_on_terminal(kProgram, directory_with_list(kSmallList));
  std::size_t at = wait_for(session, "word> ");
  type_keys(session, "\x04");
  at = wait_for(session, "word> ", at);
  ASSERT_NE(at, std::string::npos) << session.screen;
  type_keys(session, "\x04");
  at = wait_for(session, "word> ", at);
  type_keys(session, "cat\r");
  EXPECT_NE(wait_for(session, "correct spelling: cat\n", at), std::string::npos) << session.screen;
  kill(session.pid, SIGTERM);
  EXPECT_EQ(wait_for_exit(session), 0);
}

TEST(Terminal, SignalDuringTheScanEndsTheSameWay) {
  // A word list on a named pipe: the scan waits for words that we hand out, so the signal is
  // sure to land while the list is being read.
  const std::string directory = make_test_directory();
  mkdir((directory + "/spell_checker").c_str(), 0755);
  const std::string list = directory + "/spell_checker/words.txt";
  ASSERT_EQ(mkfifo(list.c_str(), 0644), 0);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    TerminalSession session = start_on_terminal(kProgram, directory);
    ASSERT_NE(wait_for(session, "word> "), std::string::npos);
    type_keys(session, "cat\r");
    const int writer = open(list.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    std::string words;
    for (int i = 0; i < 20000; ++i) words += "cot\ncut\nkit\n";
    ASSERT_EQ(write(writer, words.data(), words.size()), static_cast<ssize_t>(words.size()));
    kill(session.pid, signal_number);
    EXPECT_EQ(wait_for_exit(session), 0) << signal_number;
    close(writer);
    EXPECT_NE(session.screen.find(kFarewell), std::string::npos) << session.screen;
  }
}

TEST(Terminal, TerminalThatGoesAwayEndsTheProgram) {
  // Without a controlling terminal no SIGHUP comes when the terminal closes; the reads fail.
  TerminalSession session = start_on_terminal(kProgram, directory_with_list(kSmallList), {},
                                              Role::kNoControllingTerminal);
  ASSERT_NE(wait_for(session, "word> "), std::string::npos) << session.screen;
  hang_up(session);
  EXPECT_EQ(wait_for_exit(session), 0);
}

// Whether the C library, under the locale `name`, calls a byte outside A to Z a letter, or folds
// I otherwise than ASCII: else a test under it would pass without telling anything. Asked in a
// child, as the C library keeps what a locale loads for the life of the process.
bool differs_from_ascii(const char* name) {
  const pid_t child = fork();
  if (child == 0) {
    const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) _exit(1);
    bool differs = tolower_l('I', locale) != 'i' || toupper_l('i', locale) != 'I';
    for (int byte = 0x80; byte < 0x100 && !differs; ++byte) differs = isalpha_l(byte, locale) != 0;
    _exit(differs ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(Terminal, AsciiRulesInEveryLocale) {
  // Turkish folds I to a dotless i; in ISO-8859-1 and -9, 0xE9 is a letter whose upper case lies
  // outside A to Z. Each locale by the name the build makes it under (glibc's localedef, through
  // LOCPATH) and the one a FreeBSD system installs it under.
  const char* const locales[][2] = {{"tr_TR.ISO-8859-9", "tr_TR.ISO8859-9"},
                                    {"de_DE.ISO-8859-1", "de_DE.ISO8859-1"},
                                    {"tr_TR.UTF-8", "tr_TR.UTF-8"}};
  std::vector<std::string> tested, untested;
  for (const auto& names : locales) {
    const char* const name = differs_from_ascii(names[0])   ? names[0]
                             : differs_from_ascii(names[1]) ? names[1]
                                                            : nullptr;
    (name != nullptr ? tested : untested).push_back(name != nullptr ? name : names[0]);
  }
  std::string missing;
  for (const std::string& name : untested) missing += " " + name;
  if (tested.empty())
    GTEST_SKIP() << "none of these locales loads with letters or case other than ASCII's:"
                 << missing;
  if (!untested.empty())
    std::printf("not loadable, or no different from ASCII:%s\n", missing.c_str());
  for (const std::string& locale : tested) {
    TerminalSession session = start_on_terminal(kProgram, directory_with_list("i\n\xe9t\nIndigo\n"),
                                                {"LC_ALL=" + locale});
    std::size_t at = wait_for(session, "word> ");
    type_keys(session, "I\r");
    EXPECT_NE(wait_for(session, "correct spelling: I\nword> ", at), std::string::npos)
        << locale << ", screen:\n"
        << session.screen;
    type_keys(session, "INDIGO\r");
    EXPECT_NE(wait_for(session, "correct spelling: INDIGO\nword> ", at), std::string::npos)
        << locale << ", screen:\n"
        << session.screen;
    type_keys(session, "ta\r");
    EXPECT_NE(wait_for(session, "ta\n\xe9t\nword> ", at), std::string::npos)
        << locale << ", screen:\n"
        << session.screen;
    kill(session.pid, SIGTERM);
    EXPECT_EQ(wait_for_exit(session), 0);
  }
}

TEST(Piped, AnswersEveryLineAndEndsAtTheEndOfInput) {
  const PipedRun run =
      run_piped(kProgram, directory_with_list("fan\ncat\nphone\nfine\nfun\n"), "fone\nphone\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.find(kBanner), 0u) << run.out;
  EXPECT_NE(run.out.find("fone\nfan\nfine\nfun\nphone\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("phone\ncorrect spelling: phone\n"), std::string::npos) << run.out;
  ASSERT_GE(run.out.size(), kFarewell.size());
  EXPECT_EQ(run.out.substr(run.out.size() - kFarewell.size()), kFarewell) << run.out;
}

TEST(Piped, LongestLines) {
  const std::string b1022(1022, 'b'), b1023(1023, 'b');
  const PipedRun run = run_piped(kProgram, directory_with_list(b1022 + "\n" + b1023 + "\n"),
                                 b1023 + "\n" + b1022 + "\n" + b1023 + "\n");
  EXPECT_EQ(run.status, 0);
  const std::string found = "correct spelling: " + b1022 + "\n";
  const std::size_t at = run.out.find(found);
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(run.out.find(found, at + 1), std::string::npos);
  EXPECT_EQ(run.out.find("correct spelling: " + b1023), std::string::npos);
}

TEST(Piped, MissingListIsReportedOnStandardError) {
  const PipedRun run = run_piped(kProgram, make_test_directory(), "cat\ndog\n");
  EXPECT_EQ(run.status, 0);
  const std::string message =
      "spell_checker: cannot read spell_checker/words.txt: No such file or "
      "directory\n";
  EXPECT_EQ(run.err, message + message);
  EXPECT_EQ(run.out.find("correct"), std::string::npos) << run.out;
}

#ifdef SPELL_CHECKER_WITH_BUNDLED_LIST
TEST(BundledList, RealProgramOnTheRealList) {
  const PipedRun run =
      run_piped(SPELL_CHECKER_WITH_BUNDLED_LIST, make_test_directory(), "phone\nfone\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("correct spelling: phone\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nphone\n", run.out.find("fone\n")), std::string::npos) << run.out;
}
#endif

}  // namespace
