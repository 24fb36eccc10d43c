#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "list_file.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "tested_kernels.h"

extern const char kStrangeDirectory[];  // written by the build from a directory of odd bytes

namespace {

using Words = std::vector<std::string>;

LookupResult look_up(const std::string& list, const std::string& typed,
                     const ScanKernel* kernel = nullptr) {
  ListFile file(list);
  const LookupResult result = lookup_word_in(file.path(), typed, kReadBlockSize, kernel);
  EXPECT_EQ(result.error, "");
  return result;
}

struct LookupCase {
  const char* what;
  std::string list;
  std::string typed;
  bool found;
  Words candidates;  // none when found: that reply does not list them
};

const std::string k1022(1022, 'b');
const std::string k1023(1023, 'b');

TEST(LookupWord, Table) {
  using namespace std::string_literals;
  const LookupCase cases[] = {
      {"case ignored", "cat\n", "Cat", true, {}},
      {"case ignored, upper list", "CAT\n", "cat", true, {}},
      {"no letters", "123\n", "123", true, {}},
      {"byte order, duplicates",
       "cut\nCot\ncat\ncut\n",
       "cet",
       false,
       {"Cot", "cat", "cut", "cut"}},
      {"prefix first", "cata\ncat\n", "cad", false, {"cat", "cata"}},
      {"found early", "cat\ncot\n", "cat", true, {}},
      {"found late", "cot\ncut\nCAT", "cat", true, {}},
      {"found between sound-alikes", "cot\ncat\ncut\n", "cat", true, {}},
      {"empty list", "", "cat", false, {}},
      {"whitespace only", " \t\n\v\f\r\n", "cat", false, {}},
      {"punctuation", "cat,\n", "cat", false, {"cat,"}},
      {"no final newline", "dog\ncat", "cat", true, {}},
      {"no final newline, candidate", "dog\ncot", "cat", false, {"cot"}},
      {"space", "cot cut", "cat", false, {"cot", "cut"}},
      {"tab", "cot\tcut", "cat", false, {"cot", "cut"}},
      {"vertical tab", "cot\vcut", "cat", false, {"cot", "cut"}},
      {"form feed", "cot\fcut", "cat", false, {"cot", "cut"}},
      {"carriage return", "cot\r\ncut\r\n", "cat", false, {"cot", "cut"}},
      {"runs of whitespace", "\n\n  cot \t\r\n\n cut  ", "cat", false, {"cot", "cut"}},
      {"typed word with a space", "cat\n", " cat", false, {"cat"}},
      {"two typed words", "hello\nworld\nhelloworld\n", "hello world", false, {"helloworld"}},
      {"ph", "fan\ncat\nphone\nfine\nfun\n", "fone", false, {"fan", "fine", "fun", "phone"}},
      {"empty typed line", "cat\n", "", false, {}},
      {"NUL ends the exact test", "ca\0t\n"s, "ca", true, {}},
      {"NUL ends the key", "co\0t\n"s, "ce", false, {"co\0t"s}},
      {"leading NUL", "\0cat\n"s, "", true, {}},
      {"high bytes are no letters", "\xe9t\xe9\n", "t", false, {"\xe9t\xe9"}},
      {"1022 found", k1022 + "\n", k1022, true, {}},
      {"1022 candidate", k1022 + "\n", "b", false, {k1022}},
      {"1023 skipped", k1023 + "\nbee\n", "b", false, {"bee"}},
      {"1023 never found", k1023, "b", false, {}},
  };
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  for (const ScanKernel* kernel : kernels) {
    for (const LookupCase& c : cases) {
      const LookupResult result = look_up(c.list, c.typed, kernel);
      EXPECT_EQ(result.found, c.found) << c.what << ", kernel " << kernel->name;
      EXPECT_EQ(result.candidates, c.candidates) << c.what << ", kernel " << kernel->name;
    }
  }
}

// Where a word stands in the 64-byte stretches that the kernels test at once, and across the
// blocks that the list is read in.
TEST(LookupWord, WordsAtEveryPlaceOfAStretch) {
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  for (const ScanKernel* kernel : kernels) {
    for (std::size_t at = 0; at < 130; ++at) {
      const std::string list = std::string(at, ' ') + "phone\n" + std::string(at % 7, 'x') + " fan";
      for (std::size_t block_size : {std::size_t{64}, at + 1, at + 3, kReadBlockSize}) {
        ListFile file(list);
        const LookupResult result = lookup_word_in(file.path(), "fone", block_size, kernel);
        EXPECT_EQ(result.candidates, (Words{"fan", "phone"}))
            << "at " << at << ", block " << block_size << ", kernel " << kernel->name;
      }
    }
  }
}

TEST(LookupWord, KernelsForThisCpu) {
  const std::vector<const ScanKernel*> kernels = usable_kernels();
  ASSERT_FALSE(kernels.empty());
  std::string names;
  for (const ScanKernel* kernel : kernels) names += std::string(" ") + kernel->name;
  std::printf("search kernels this CPU runs:%s\n", names.c_str());
  EXPECT_EQ(&chosen_kernel(), kernels.back());
  // Where a test knows the CPU it runs on (an emulated one, say), it says what to expect.
  if (const char* expected = std::getenv("SPELL_CHECKER_EXPECT_KERNELS")) {
    EXPECT_EQ(names, std::string(" ") + expected);
  }
}

// The read block is kept from one lookup to the next: the last byte of the list before must not
// seem to come before the first word of this one, nor its bytes past this list's end be read.
TEST(LookupWord, NothingOfTheListBeforeCounts) {
  for (const ScanKernel* kernel : tested_kernels()) {
    const std::string long_list = std::string(3000, 'x') + "\ncats";  // no separator at the end
    EXPECT_FALSE(look_up(long_list, "cat", kernel).found) << kernel->name;
    EXPECT_TRUE(look_up("cat\n", "cat", kernel).found) << kernel->name;
    EXPECT_TRUE(look_up("cat", "cat", kernel).found) << kernel->name;
    EXPECT_EQ(look_up("c", "cats", kernel).candidates, Words{}) << kernel->name;
  }
}

TEST(LookupWord, TooLongTypedWordGetsNothing) {
  const LookupResult result = look_up(k1023 + "\n", k1023);
  EXPECT_FALSE(result.found);
  EXPECT_TRUE(result.candidates.empty());
}

TEST(LookupWord, UnreadableListIsAnError) {
  const std::string missing = testing::TempDir() + "lookup_test_no_such_list";
  const LookupResult result = lookup_word_in(missing, "cat");
  EXPECT_FALSE(result.found);
  EXPECT_TRUE(result.candidates.empty());
  EXPECT_EQ(result.error, "cannot read " + missing + ": No such file or directory");

  const std::string directory = testing::TempDir();
  EXPECT_EQ(lookup_word_in(directory, "cat").error,
            "cannot read " + directory + ": Is a directory");
}

TEST(LookupWord, ListOverTwoGiBIsReadWhole) {
  // A sparse file: 2 GiB of NUL bytes, one word far too long, and then "cat".
  ListFile file("");
  const int fd = open(file.path().c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const char tail[] = "\ncat\n";
  const off_t two_gib = off_t{1} << 31;
  ASSERT_EQ(pwrite(fd, tail, sizeof tail - 1, two_gib), static_cast<ssize_t>(sizeof tail - 1));
  close(fd);
  const LookupResult result = lookup_word_in(file.path(), "cat");
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(result.found);
}

TEST(LookupWord, ListIsReadAgainOnEveryCall) {
  ListFile file("cot\n");
  EXPECT_FALSE(lookup_word_in(file.path(), "cat").found);
  std::ofstream(file.path(), std::ios::app) << "cat\n";
  EXPECT_TRUE(lookup_word_in(file.path(), "cat").found);
}

TEST(LookupWord, DictionaryPath) {
  EXPECT_EQ(dictionary_path(), std::string(kDictionaryDirectory) + "words.txt");
  EXPECT_EQ(kDictionaryDirectory[0], '/');
  EXPECT_STREQ(kStrangeDirectory, "/tmp/a b;c#d$e%f\"g\\h'i\tj\xc3\xa9k/spell_checker/");
}

}  // namespace
