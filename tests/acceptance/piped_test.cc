// Lines that are already waiting in a pipe, as a script sends them: answered from one read of the
// list, with the very bytes the program writes when each line comes alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "injection.h"
#include "spell_checker.h"
#include "terminal_session.h"
#include "waiting_lines.h"

namespace {

const std::string kProgram = SPELL_CHECKER_UNDER_TEST;
const std::string kBanner = "Please type Ctrl-C to exit this program...\n\n";
const std::string kFarewell = "\nThank you...\n";

std::string list_log(const std::string& directory) { return directory + "/list_opened"; }

// The program with the injector, which logs each opening of the word list.
Environment logging_reads(const std::string& directory, Environment more = {}) {
  more.push_back("SPELL_CHECKER_LIST_LOG=" + list_log(directory));
  return injected(directory, more);
}

int reads_of_list(const std::string& directory) {
  std::ifstream log(list_log(directory));
  int reads = 0;
  for (std::string line; std::getline(log, line);) ++reads;
  unlink(list_log(directory).c_str());
  return reads;
}

std::string lines_of(const std::vector<std::string>& lines) {
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  return input;
}

// What the program writes when each line comes only after the reply to the one before, as from a
// client that waits for each reply: then no two lines are ever waiting at once.
std::string one_at_a_time(const std::string& directory, const std::vector<std::string>& lines,
                          const Environment& environment) {
  PipedSession session = start_piped(kProgram, directory, environment);
  std::string out;
  EXPECT_TRUE(read_until(session.out, out, "word> ")) << out;
  for (const std::string& line : lines) {
    const std::string sent = line + "\n";
    EXPECT_EQ(write(session.in, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    std::string step;
    EXPECT_TRUE(read_until(session.out, step, "word> ")) << "after \"" << line << "\": " << step;
    out += step;
  }
  return out + finish_piped(session, "").out;
}

// The words of the list and lines that find them, sound like them, or nothing.
const char kList[] = "cat\ncot\nkit\ncut\nphone\nfan\nfine\nfun\nCAT\n";

std::vector<std::string> mixed_lines(std::size_t count) {
  const std::string patterns[] = {
      "cat", "cet", "Cut", "fone", "kat", "42", "", "cat", " cat", "PHONE", std::string(1022, 'b')};
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < count; ++i) lines.push_back(patterns[i % std::size(patterns)]);
  return lines;
}

TEST(PipedBatches, SameBytesAsLineByLineAndOneReadForAll) {
  const std::string directory = directory_with_list(kList);
  for (std::size_t count :
       {std::size_t{1}, std::size_t{2}, kOnePassWords - 1, kOnePassWords, std::size_t{300}}) {
    const std::vector<std::string> lines = mixed_lines(count);
    const PipedRun all =
        run_with_input_waiting(kProgram, directory, lines_of(lines), logging_reads(directory));
    EXPECT_EQ(all.status, 0) << count;
    EXPECT_EQ(all.err, "") << count;
    // Below the count from which one read pays, each line reads the list, as before.
    EXPECT_EQ(reads_of_list(directory), count < kOnePassWords ? static_cast<int>(count) : 1)
        << count << " lines waiting";
    const std::string alone = one_at_a_time(directory, lines, logging_reads(directory));
    EXPECT_EQ(reads_of_list(directory), static_cast<int>(count)) << count << " lines, one by one";
    EXPECT_EQ(all.out, alone) << count << " lines";
  }
}

// More lines than are taken ahead at once: the rest are the next batch.
TEST(PipedBatches, BeyondTheCap) {
  const std::string directory = directory_with_list(kList);
  const std::string exchanges[][2] = {{"cat", "correct spelling: cat\n"},
                                      {"cet", "CAT\ncat\ncot\ncut\n"},
                                      {"kat", "kit\n"},
                                      {"42", ""}};
  std::string input, expected = kBanner;
  const std::size_t count = kMaxWaitingLines + 100;
  for (std::size_t i = 0; i < count; ++i) {
    input += exchanges[i % 4][0] + "\n";
    expected += "word> " + exchanges[i % 4][0] + "\n" + exchanges[i % 4][1];
  }
  const PipedRun run =
      run_with_input_waiting(kProgram, directory, input, logging_reads(directory), true, 60);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out == expected + "word> " + kFarewell) << run.out.substr(0, 300);
  EXPECT_EQ(reads_of_list(directory), 2);
}

// A line that the line editor may not return as it stands ends the batch: it is answered as the
// editor returns it, alone, and the lines after it are the next batch.
TEST(PipedBatches, LinesTheEditorChangesEndTheBatch) {
  const std::string directory = directory_with_list(kList);
  const std::vector<std::string> changed = {
      "spell_ch\t",  // completion, of the list's directory
      "cxt\x1b[D\x7f"
      "a",  // an escape sequence (cursor left) and a rubout
      "at\x01"
      "c",                     // Ctrl-A, to the start of the line
      "ca\x04t",               // the end-of-file key within a line deletes
      "\xe9t",                 // a byte from 0x80 on first: the editor may read it as Meta
      std::string(1023, 'c'),  // too long to be looked up
  };
  std::vector<std::string> lines = mixed_lines(100);
  const std::vector<std::string> after = mixed_lines(90);
  lines.insert(lines.end(), changed.begin(), changed.end());
  lines.insert(lines.end(), after.begin(), after.end());
  const Environment environment = logging_reads(directory, {"LC_ALL=C"});
  const PipedRun all = run_with_input_waiting(kProgram, directory, lines_of(lines), environment);
  EXPECT_EQ(all.status, 0);
  // One read each for the two batches and for each changed line but the one too long.
  EXPECT_EQ(reads_of_list(directory), 2 + static_cast<int>(changed.size()) - 1);
  EXPECT_EQ(all.out, one_at_a_time(directory, lines, environment));
  EXPECT_NE(all.out.find("spell_checker/\n"), std::string::npos) << "the premise: completion";
}

// The end-of-file key at the start of a line gives no line; the program prompts again and ends
// only at the end of its input.
TEST(PipedBatches, EndOfFileKeyDoesNotEndTheInput) {
  const std::string directory = directory_with_list("cat\nat\nprev\n");
  const std::string many = lines_of(std::vector<std::string>(kOnePassWords, "at"));
  std::string many_replies;
  for (std::size_t i = 0; i < kOnePassWords; ++i)
    many_replies += "word> at\ncorrect spelling: at\n";
  const struct {
    const char* what;
    std::string input;
    std::string replies;  // after the banner, before the last prompt and the farewell
  } cases[] = {
      {"at the start",
       "\x04"
       "cat\n",
       "word> word> cat\ncorrect spelling: cat\n"},
      {"in the middle",
       "prev\n\x04"
       "at\ncat\n",
       "word> prev\ncorrect spelling: prev\nword> word> at\ncorrect spelling: at\n"
       "word> cat\ncorrect spelling: cat\n"},
      {"at the end", "cat\n\x04", "word> cat\ncorrect spelling: cat\nword> "},
      {"twice",
       "\x04\x04"
       "at\n",
       "word> word> word> at\ncorrect spelling: at\n"},
      {"between two batches", many + "\x04" + many, many_replies + "word> " + many_replies},
  };
  for (const auto& c : cases) {
    const PipedRun run = run_with_input_waiting(kProgram, directory, c.input);
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_EQ(run.out, kBanner + c.replies + "word> " + kFarewell) << c.what;
  }
}

// A client that sends a line and waits for its reply sees the list as it is when it sends.
TEST(PipedBatches, ListEditedBetweenAClientsLines) {
  const std::string directory = directory_with_list("cot\n");
  PipedSession session = start_piped(kProgram, directory);
  std::string out;
  ASSERT_TRUE(read_until(session.out, out, "word> "));
  ASSERT_EQ(write(session.in, "cat\n", 4), 4);
  ASSERT_TRUE(read_until(session.out, out, "cot\nword> ")) << out;
  std::ofstream(directory + "/spell_checker/words.txt", std::ios::app) << "cat\n";
  ASSERT_EQ(write(session.in, "cat\n", 4), 4);
  EXPECT_TRUE(read_until(session.out, out, "cat\ncorrect spelling: cat\nword> ")) << out;
  EXPECT_EQ(finish_piped(session, "").status, 0);
}

// A termination signal while the list is read for a batch: the lines answered before it stand
// whole, and the farewell follows.
TEST(PipedBatches, SignalDuringThePass) {
  const std::string directory = directory_with_list(kList);
  std::vector<std::string> lines = mixed_lines(100);
  lines.push_back("cu\t");  // ends the first batch, and is answered alone: the second read
  const std::vector<std::string> after = mixed_lines(100);
  lines.insert(lines.end(), after.begin(), after.end());
  const PipedRun whole =
      run_with_input_waiting(kProgram, directory, lines_of(lines), injected(directory));
  // Up to the prompt for the second batch's first line.
  std::size_t prompt = 0;
  for (int n = 0; n < 102; ++n) prompt = whole.out.find("word> ", prompt + 1);
  ASSERT_NE(prompt, std::string::npos) << whole.out;
  const std::string answered = whole.out.substr(0, prompt);

  const PipedRun cut = run_with_input_waiting(
      kProgram, directory, lines_of(lines),
      injected(directory, {"SPELL_CHECKER_RAISE_AT=list,list,list",
                           "SPELL_CHECKER_RAISE_SIGNAL=" + std::to_string(SIGTERM)}));
  expect_raised(directory, "SIGTERM as the second batch's read begins");
  EXPECT_EQ(cut.status, 0);
  EXPECT_EQ(cut.out, answered + kFarewell);
}

}  // namespace
