#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "spell_checker.h"

// Allocations of at least this many bytes fail while it is not 0, as when memory runs out.
std::size_t failing_allocations_from = 0;

void* operator new(std::size_t size) {
  if (failing_allocations_from != 0 && size >= failing_allocations_from) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Words = std::vector<std::string>;

std::string list_path() { return testing::TempDir() + "lookup_words_" + std::to_string(getpid()); }

void write_list(const std::string& list) {
  std::ofstream(list_path(), std::ios::binary | std::ios::trunc) << list;
}

// Every way of looking up `typed` gives each word what lookup_word_in gives it alone.
void expect_as_one_by_one(const Words& typed, const std::string& what,
                          std::size_t held_bytes = kOnePassHeldBytes) {
  const std::string path = list_path();
  for (std::size_t one_pass_from : {std::size_t{0}, kOnePassWords, SIZE_MAX}) {
    for (std::size_t block_size : {std::size_t{5}, kReadBlockSize}) {
      const WordsLookup lookup =
          lookup_words_in(path, typed, one_pass_from, block_size, held_bytes);
      ASSERT_GE(lookup.answered, 1u) << what;
      ASSERT_LE(lookup.answered, typed.size()) << what;
      if (held_bytes == kOnePassHeldBytes) {
        EXPECT_EQ(lookup.answered, typed.size()) << what;
      }
      for (std::size_t i = 0; i < lookup.answered; ++i) {
        const LookupResult expected = lookup_word_in(path, typed[i]);
        const LookupResult got = lookup.result(i);
        const std::string where = what + ", word " + std::to_string(i) + " \"" + typed[i] +
                                  "\", one pass from " + std::to_string(one_pass_from) +
                                  ", block " + std::to_string(block_size);
        EXPECT_EQ(got.found, expected.found) << where;
        EXPECT_EQ(got.candidates, expected.candidates) << where;
        EXPECT_EQ(got.error, expected.error) << where;
      }
    }
  }
}

TEST(LookupWords, AsOneByOne) {
  using namespace std::string_literals;
  const std::string b1022(1022, 'b'), b1023(1023, 'b');
  struct Batch {
    const char* what;
    std::string list;
    Words typed;
  };
  const Batch batches[] = {
      {"one word", "cat\ncot\n", {"cet"}},
      {"found and sound-alikes", "cut\nCot\ncat\ncut\nkit\n", {"cat", "cet", "kat", "CAT", "42"}},
      {"case variants and duplicates share", "cot\ncat\n", {"Cat", "cat", "CAT", "cat", "cet"}},
      {"case variants with keys of their own",
       "lad\nlid\nLloyd\nlloyd\n",
       {"lloyd", "Lloyd", "LLOYD", "llad"}},
      {"found before, between and after the sound-alikes",
       "cat\ncot\ncut\n",
       {"cat", "cot", "cut", "cit"}},
      {"a found word's key still serves the others", "cot\ncat\ncut\n", {"cat", "cet", "cit"}},
      {"ph", "fan\ncat\nphone\nfine\nfun\n", {"fone", "phone", "PHONE", "fun", "f"}},
      {"no final newline", "dog\ncot", {"cot", "cat", "dog", "dg"}},
      {"separators", " \t\n\v\f\rcot\r\ncut  cat\t", {"cat", "cet", "cut"}},
      {"empty line and no letters", "123\n\0cat\n"s, {"", "123", "12", " cat"}},
      {"NUL ends the tests", "ca\0t\nco\0t\n"s, {"ca", "ce", "co", "cat"}},
      {"NUL in a typed word", "ca\0t\nca\n"s, {"ca\0x"s, "ce\0t"s}},
      {"high bytes are no letters", "\xe9t\xe9\ncaf\xe9\n", {"t", "caf\xe9", "CAF\xe9", "c"}},
      {"length limits",
       b1022 + "\n" + b1023 + "\nbee\n",
       {"b", b1022, b1023, "B" + b1022.substr(1), "bee"}},
      {"an over-long word across blocks",
       "cot\nc" + std::string(3000, 'a') + "\ncat\n",
       {"cet", "cat"}},
      {"empty list", "", {"cat", "dog"}},
      {"keys that differ only in their letter",
       "acholqria\njalkar\nbat\n",
       {"jalkar", "acholqria", "ajalkar"}},
  };
  for (const Batch& batch : batches) {
    write_list(batch.list);
    expect_as_one_by_one(batch.typed, batch.what);
  }
  unlink(list_path().c_str());
}

// Batches on both sides of the count from which one pass answers them, and far beyond it.
TEST(LookupWords, EveryCount) {
  std::string list;
  for (int i = 0; i < 300; ++i)
    list += "w" + std::to_string(i) + "x" + std::to_string(i % 7) + "\n";
  list += "cat\ncot\nCut\nkit\n";
  write_list(list);
  Words typed;
  for (int i = 0; typed.size() < 2 * kOnePassWords + 5; ++i) {
    typed.push_back(i % 3 == 0 ? "w" + std::to_string(i) + "x" + std::to_string(i % 7)
                               : (i % 3 == 1 ? "cet" : "W" + std::to_string(i)));
  }
  for (std::size_t count : {std::size_t{1}, std::size_t{2}, kOnePassWords - 1, kOnePassWords,
                            kOnePassWords + 1, typed.size()})
    expect_as_one_by_one(Words(typed.begin(), typed.begin() + count),
                         std::to_string(count) + " words");
  unlink(list_path().c_str());
}

// A pass that would hold too much leaves its later words for another lookup, but always answers
// the first; one whose first word alone would hold too much looks that word up alone.
TEST(LookupWords, HoldsNoMoreThanItMay) {
  std::string list;
  for (int i = 0; i < 200; ++i) list += "ba" + std::string(i % 9, 'e') + "t" + "\ncot\n";
  write_list(list);
  const Words typed = {"bet", "bot", "cat", "but", "cot", "bit", "x"};
  for (std::size_t held : {std::size_t{1}, std::size_t{100}, std::size_t{3000}, std::size_t{6000}})
    expect_as_one_by_one(typed, "held " + std::to_string(held), held);
  const WordsLookup lookup = lookup_words_in(list_path(), typed, 0, kReadBlockSize, 3000);
  EXPECT_LT(lookup.answered, typed.size());
  EXPECT_EQ(lookup_words_in(list_path(), typed, 0, kReadBlockSize, 1).answered, 1u);
  unlink(list_path().c_str());
}

// Once every typed word of a key is found, its sound-alikes are let go; while one is not, they
// are held once for all.
TEST(LookupWords, FoundWordsHoldNoSoundAlikes) {
  write_list("cot\ncat\ncut\nkit\n");
  const std::size_t three = 3 + 3 + 3 + 3 * 8;  // "cot", "cat", "cut" and their places
  const struct {
    Words typed;
    std::size_t held;
  } cases[] = {
      {{"cat"}, 0},
      {{"cat", "CUT", "cot"}, 0},
      {{"cat", "cet"}, three},
      {{"cet", "cit", "cat"}, three},
      {{"kit", "cat"}, 0},
  };
  for (const auto& c : cases) {
    const WordsLookup lookup = lookup_words_in(list_path(), c.typed, 0);
    ASSERT_NE(lookup.one_pass, nullptr);
    EXPECT_EQ(lookup.held_bytes(), c.held) << c.typed.size() << " words, first " << c.typed[0];
  }
  unlink(list_path().c_str());
}

TEST(LookupWords, UnreadableListIsAnErrorForEveryWord) {
  const std::string missing = testing::TempDir() + "lookup_words_no_such_list";
  const std::string directory = testing::TempDir();
  for (const std::string& path : {missing, directory}) {
    const WordsLookup lookup = lookup_words_in(path, {"cat", "dog"}, 0);
    ASSERT_EQ(lookup.answered, 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(lookup.result(i).error, lookup_word_in(path, "cat").error) << path;
      EXPECT_NE(lookup.result(i).error, "") << path;
    }
  }
}

// The sound-alikes of one word do not fit: that word gets the message that the lookup of one word
// gives, and the others are answered.
TEST(LookupWords, OutOfMemoryForOneWordsSoundAlikes) {
  std::string list;
  for (int i = 0; i < 60000; ++i) list += "b" + std::string(1 + i % 5, 'a') + "\n";
  list += "cot\ncat\n";
  write_list(list);
  lookup_word_in(list_path(), "cat");  // the block the list is read into, kept from here on
  // Above the blocks the list is read in, below the sound-alikes of "b".
  failing_allocations_from = kReadBlockSize + 64 * 1024;
  const LookupResult alone = lookup_word_in(list_path(), "b");
  const WordsLookup lookup = lookup_words_in(list_path(), {"cet", "b", "cat"}, 0);
  failing_allocations_from = 0;
  ASSERT_EQ(alone.error,
            "cannot list the sound-alikes from " + list_path() + ": Cannot allocate memory")
      << "the premise: the sound-alikes of b do not fit";
  ASSERT_EQ(lookup.answered, 3u);
  EXPECT_EQ(lookup.result(0).candidates, (Words{"cat", "cot"}));
  EXPECT_EQ(lookup.result(1).error, alone.error);
  EXPECT_TRUE(lookup.result(1).candidates.empty());
  EXPECT_TRUE(lookup.result(2).found);
  unlink(list_path().c_str());
}

}  // namespace
