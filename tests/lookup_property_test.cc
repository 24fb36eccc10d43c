// The fast scan against the plain model, on random lists read in tiny blocks, so that words
// straddle blocks in every possible way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "model_lookup.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "test_words.h"
#include "tested_kernels.h"

namespace {

std::string temp_path(const char* name) {
  return testing::TempDir() + name + std::to_string(getpid());
}

std::string random_text(std::mt19937& random, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += random_byte(random);
  return text;
}

// A list of short words, now and then a word near or past the length limit: a short stem
// padded with a vowel, which adds nothing to the stem's key, so that it can still match.
std::string random_list(std::mt19937& random) {
  std::string list;
  const int words = random() % 40;
  for (int i = 0; i < words; ++i) {
    const std::string stem = random_text(random, 1 + random() % 8);
    list += stem;
    if (random() % 15 == 0) list += std::string(1015 + random() % 15 - stem.size(), 'a');
    list += std::string(" \n\t\r\v\f").substr(random() % 6, 1 + random() % 2);
  }
  if (random() % 3 == 0 && !list.empty()) list.pop_back();  // no separator at the end
  return list;
}

// A typed line: often the tail of a word of `list`, at times in upper case, else random; never
// with a NUL byte, which no line read can hold, nor too long to be looked up.
std::string random_typed(std::mt19937& random, const std::string& list) {
  std::string typed = random_text(random, random() % 6);
  if (random() % 2 == 0 && !list.empty()) {
    const std::size_t from = random() % list.size();
    typed = list.substr(from, list.find_first_of(std::string(" \t\n\v\f\r"), from) - from);
    if (random() % 2 == 0)
      for (char& c : typed) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  typed.erase(std::remove(typed.begin(), typed.end(), '\0'), typed.end());
  if (typed.size() >= kWorkBufferSize - 1) typed.resize(kMaxDictionaryWordLength);
  return typed;
}

// SPELL_CHECKER_PROPERTY_ROUNDS in the environment asks for a deeper run than the default.
int property_rounds() {
  const char* asked = std::getenv("SPELL_CHECKER_PROPERTY_ROUNDS");
  const int rounds = asked != nullptr ? std::atoi(asked) : 0;
  return rounds > 0 ? rounds : 2000;
}

TEST(LookupProperty, FastScanAgreesWithTheModel) {
  std::mt19937 random(20261207);
  const std::string path = temp_path("lookup_property_");
  // Every round reads its list in one tiny block size, in which every word straddles blocks,
  // one middling and the real one. The rounds take turns among the kernels, and then among the
  // sizes, so that every kernel meets every size with lists of every kind.
  const std::size_t tiny_sizes[] = {1, 2, 3};
  const std::size_t middling_sizes[] = {17, 31, 63, 64, 100, 1023};
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  const int rounds = property_rounds();
  for (int round = 0; round < rounds; ++round) {
    const std::string list = random_list(random);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
    const std::string typed = random_typed(random, list);
    const LookupResult expected = model_lookup(path, typed);
    const ScanKernel* const kernel = kernels[round % kernels.size()];
    const std::size_t turn = round / kernels.size();
    const std::size_t block_sizes[] = {
        tiny_sizes[turn % std::size(tiny_sizes)],
        middling_sizes[turn / std::size(tiny_sizes) % std::size(middling_sizes)], kReadBlockSize};
    for (std::size_t block_size : block_sizes) {
      const LookupResult got = lookup_word_in(path, typed, block_size, kernel);
      ASSERT_TRUE(same_reply(got, expected))
          << "round " << round << ", block " << block_size << ", kernel " << kernel->name
          << ", typed \"" << typed << "\"";
    }
  }
  unlink(path.c_str());
}

// Many typed words at once, in one read of the list or one by one, as the program answers the
// lines waiting in a pipe: each gets the model's reply. Some typed words are taken from the list,
// some changed in case, some random, some repeated; now and then the pass may hold only a little.
TEST(LookupProperty, ManyWordsAgreeWithTheModel) {
  std::mt19937 random(20261209);
  const std::string path = temp_path("lookup_words_property_");
  const std::size_t block_sizes[] = {1, 2, 3, 17, 64, 1023, kReadBlockSize};
  const int rounds = std::max(1, property_rounds() / 10);
  for (int round = 0; round < rounds; ++round) {
    const std::string list = random_list(random);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
    std::vector<std::string> typed;
    const std::size_t count = 1 + random() % (round % 4 == 0 ? 3 * kOnePassWords : 12);
    while (typed.size() < count) {
      const bool again = random() % 4 == 0 && !typed.empty();
      typed.push_back(again ? typed[random() % typed.size()] : random_typed(random, list));
    }
    const std::size_t one_pass_from = round % 5 == 0 ? kOnePassWords : 0;
    const std::size_t block_size = block_sizes[round % std::size(block_sizes)];
    const std::size_t held = round % 7 == 0 ? 1 + random() % 4000 : kOnePassHeldBytes;
    const WordsLookup lookup = lookup_words_in(path, typed, one_pass_from, block_size, held);
    ASSERT_GE(lookup.answered, 1u);
    ASSERT_TRUE(held != kOnePassHeldBytes || lookup.answered == typed.size()) << "round " << round;
    for (std::size_t i = 0; i < lookup.answered; ++i) {
      ASSERT_TRUE(same_reply(lookup.result(i), model_lookup(path, typed[i])))
          << "round " << round << ", word " << i << " \"" << typed[i] << "\" of " << typed.size()
          << ", block " << block_size << ", held " << held;
    }
  }
  unlink(path.c_str());
}

TEST(LookupProperty, OverLongRunsAreSkippedAndWhatFollowsIsAnswered) {
  const std::string path = temp_path("lookup_long_run_");
  for (char first : {'c', 'x', '-'}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "cot\n"
        << first << std::string(3 << 20, 'a') << "\ncat\ncut";
    for (const ScanKernel* kernel : tested_kernels()) {
      for (std::size_t block_size : {std::size_t{1000}, kReadBlockSize}) {
        const LookupResult result = lookup_word_in(path, "cet", block_size, kernel);
        EXPECT_EQ(result.candidates, (std::vector<std::string>{"cat", "cot", "cut"}))
            << first << ", kernel " << kernel->name;
      }
    }
  }
  unlink(path.c_str());
}

// Lists laid out so that the scan's harder cases come up at every place of its 64-byte
// stretches: key walks that run on into the next stretch at every step, words that may equal a
// typed word as long as the longest whose length is tested (and one byte longer), lines ended by
// CR LF and empty lines, and words of interest alone in their stretch, by each first byte that
// may start one (the key's letter, a letter that gives it, the typed word's first byte).
TEST(LookupProperty, WalksAcrossStretchesAndLayouts) {
  const std::string path = temp_path("lookup_layouts_");
  const std::string long_typed(kExactLengthTested, 's'), longer_typed(kExactLengthTested + 1, 's');
  struct Layout {
    const char* what;
    std::string words;  // repeated after every number of leading spaces
    std::vector<std::string> typed;
  };
  std::string walks;  // the stops of "sang" at every distance from the start
  for (int k = 0; k < 70; k += 3)
    walks += "s" + std::string(k, 'a') + "n" + std::string(k % 11, 'e') + "g\nS" +
             std::string(k, 'o') + "m\n";
  std::string filler, far_apart;  // 72 bytes of words of no interest after each word of interest
  for (int k = 0; k < 9; ++k) filler += "mmmmmmm\n";
  for (const char* word : {"phone", "Fun", "12", "pH", "-fun"}) far_apart += word + ("\n" + filler);
  const Layout layouts[] = {
      {"walks", walks, {"sang", "sing", "Sm", "s", "sangs"}},
      {"length limit",
       long_typed + "\n" + longer_typed + "\n" + long_typed + "a\n" + long_typed.substr(1) + "\n",
       {long_typed, longer_typed, "S" + long_typed.substr(1)}},
      {"CR LF and empty lines", "cat\r\n\r\ncot\r\n\n\n-cut\r\n'cet\r\n", {"cat", "cet", "-cut"}},
      {"far apart", far_apart, {"fone", "phone", "12", "ph", "-fun"}},
  };
  for (const Layout& layout : layouts) {
    for (std::size_t spaces = 0; spaces < 70; ++spaces) {
      const std::string list = std::string(spaces, ' ') + layout.words;
      std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
      for (const std::string& typed : layout.typed) {
        const LookupResult expected = model_lookup(path, typed);
        for (const ScanKernel* kernel : tested_kernels()) {
          for (std::size_t block_size : {std::size_t{64}, std::size_t{100}, kReadBlockSize}) {
            ASSERT_TRUE(same_reply(lookup_word_in(path, typed, block_size, kernel), expected))
                << layout.what << ", " << spaces << " spaces, typed \"" << typed << "\", kernel "
                << kernel->name << ", block " << block_size;
          }
        }
      }
    }
  }
  unlink(path.c_str());
}

TEST(LookupProperty, ModelKeyAgreesWithPhoneticKey) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    const std::string word = random_text(random, random() % 14);
    EXPECT_EQ(key_of(word), model_key(word)) << word;
  }
}

}  // namespace
