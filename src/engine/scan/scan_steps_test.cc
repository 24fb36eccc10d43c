// Every kernel's steps, one 64-byte stretch at a time, against a plain model of each step that
// compares byte by byte: a wrong step fails here, named with its kernel, rather than as replies
// that differ somewhere in the end-to-end tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "key_rules.h"
#include "line_filter.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "test_words.h"
#include "tested_kernels.h"
#include "typed_line.h"

namespace {

using Bits = std::uint64_t;

// The stretch and the bytes a kernel may read around it.
struct Stretch {
  char bytes[kLookBehind + 64 + kLookAhead] = {};
  char* at() { return bytes + kLookBehind; }
};

// The filter holds its bytes folded, or '\0' for none, which no folded byte equals.
char folded(char c) { return static_cast<char>(c | 0x20); }

// The steps as their contracts say, byte by byte.
StretchSteps model_steps(const char* p, const LineFilter& f) {
  StretchSteps m;
  for (int i = 0; i < 64; ++i) {
    const Bits bit = Bits{1} << i;
    const char c = p[i];
    if (is_word_separator(c)) {
      m.separators |= bit;
      continue;
    }
    const bool letter = is_ascii_letter(c);
    if (is_word_separator(p[i - 1])) {  // a word starts here
      bool wanted = f.nonletters && !letter;
      for (int k = 0; k < f.first_count; ++k) wanted = wanted || folded(c) == f.first[k];
      m.first_look = m.first_look || wanted;
      if (f.nonletters && !letter) m.nonletters |= bit;
      if (may_be_typed_word(f, reinterpret_cast<const unsigned char*>(p + i))) m.exact |= bit;
      if (folded(c) == f.key_letter ||
          (folded(c) == f.ph_letter && folded(p[i + 1]) == f.ph_second))
        m.keys |= bit;
    }
    const char digit = letter ? soundex_digit(c) : '0';
    if ((c == '\0' || digit != '0') && c != p[i - 1]) m.stops |= bit;
    if (c == '\0') m.ends |= bit;
    for (int place = 0; place < f.distinct_digits; ++place)
      if (digit != '0' && digit == soundex_digit(f.digit_letters[place][0])) m.digits[place] |= bit;
  }
  return m;
}

// What the steps must pass at the least, from the typed word and the key rules alone, never from
// the filter: the words that start here and equal the typed word, ASCII case ignored (exact);
// that start with a letter that, with the byte after it, gives the typed key's letter (keys);
// that start with a non-letter, which may have any key, where the typed word has one
// (nonletters); and a first look wherever one of these starts. A step may pass more words than
// the rules demand, never fewer: the filter's model above must hold all of these.
StretchSteps demanded_steps(const char* p, const TypedLine& line) {
  StretchSteps d;
  const std::string key = key_of(line.typed);
  for (int i = 0; i < 64; ++i) {
    const char c = p[i];
    if (is_word_separator(c) || !is_word_separator(p[i - 1])) continue;
    const Bits bit = Bits{1} << i;
    std::size_t length = 0;  // of the word, as far as the stretch lets it be read
    while (i + length < 64 + kLookAhead && !is_word_separator(p[i + length])) ++length;
    const std::string word(p + i, length);
    const bool whole = i + length < 64 + kLookAhead;
    if (whole && word.size() == line.typed.size() && word.find('\0') == std::string::npos &&
        std::equal(word.begin(), word.end(), line.typed.begin(),
                   [](char a, char b) { return ascii_upper(a) == ascii_upper(b); }))
      d.exact |= bit;
    if (!key.empty() && is_ascii_letter(c) && key_of(std::string{c, p[i + 1]})[0] == key[0])
      d.keys |= bit;
    if (!key.empty() && !is_ascii_letter(c)) d.nonletters |= bit;
  }
  d.first_look = (d.exact | d.keys | d.nonletters) != 0;
  return d;
}

// Whether a byte before any of the 64 may pass the first look's test of a separator: a byte up
// to 0x21 (a separator, or one a cheaper test lets through), or from 0x80 up (one signed
// comparison lets those through). Where none is, no word can seem to start.
bool may_start_anywhere(const char* p) {
  for (int i = -1; i < 63; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c <= 0x21 || c >= 0x80) return true;
  }
  return false;
}

std::string shown(const char* p) {
  std::string text;
  for (int i = -1; i < 64 + 2; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    text += c >= 0x21 && c < 0x7f ? std::string(1, static_cast<char>(c))
                                  : "\\x" + std::to_string(c) + " ";
  }
  return text;
}

// Holds `kernel`'s steps for the stretch at `p` to the model's, naming the kernel and the step.
void expect_steps(const ScanKernel& kernel, const TypedLine& line, const char* p) {
  StretchSteps got;
  kernel.take_steps(p, line.filter, got);
  const StretchSteps want = model_steps(p, line.filter);
  const std::string where =
      std::string(kernel.name) + ", typed \"" + line.typed + "\", stretch " + shown(p) + ", step ";
  if (want.first_look) {
    EXPECT_TRUE(got.first_look) << where << "first look missed a start";
  }
  if (!may_start_anywhere(p)) {
    EXPECT_FALSE(got.first_look) << where << "first look, where no word can start";
  }
  const StretchSteps rules = demanded_steps(p, line);
  EXPECT_TRUE(want.first_look || !rules.first_look) << where << "first look, as the rules demand";
  EXPECT_EQ(rules.exact & ~want.exact, 0u) << where << "close look: exact, as the rules demand";
  EXPECT_EQ(rules.keys & ~want.keys, 0u) << where << "close look: keys, as the rules demand";
  EXPECT_EQ(rules.nonletters & ~want.nonletters, 0u)
      << where << "close look: non-letters, as the rules demand";
  EXPECT_EQ(got.separators, want.separators) << where << "close look: separators";
  EXPECT_EQ(got.nonletters, want.nonletters) << where << "close look: non-letters";
  EXPECT_EQ(got.exact, want.exact) << where << "close look: exact";
  EXPECT_EQ(got.keys, want.keys) << where << "close look: keys";
  EXPECT_EQ(got.stops, want.stops) << where << "stops";
  EXPECT_EQ(got.ends, want.ends) << where << "stops: ends";
  for (int place = 0; place < line.filter.distinct_digits; ++place)
    EXPECT_EQ(got.digits[place], want.digits[place]) << where << "stops: digit " << place;
}

// Typed words of every shape of line: ph (first bytes f and p), a key letter alone, no key, no
// letters, empty, non-letter first, one letter, the longest whose length is tested and one byte
// longer, many distinct digits, eight digits (no step for the end), and upper case.
const char* const kTyped[] = {"fone",
                              "phone",
                              "cat",
                              "Tymczak",
                              "Constantinople",
                              "123",
                              "",
                              "-fun",
                              "c",
                              "ph",
                              "sssssssssssssssssssssssssssssss" /* 31 */,
                              "ssssssssssssssssssssssssssssssss" /* 32 */,
                              "sssssssssssssssssssssssssssssssss" /* 33 */,
                              "Hello",
                              "x-ray",
                              "Ashcraft"};

void fill_randomly(Stretch& stretch, std::mt19937& random) {
  for (char& c : stretch.bytes) c = random_byte(random);
}

TEST(ScanSteps, RandomStretches) {
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  std::mt19937 random(20261208);
  for (const char* typed : kTyped) {
    const TypedLine line(typed);
    for (int round = 0; round < 3000; ++round) {
      Stretch stretch;
      fill_randomly(stretch, random);
      for (const ScanKernel* kernel : kernels) expect_steps(*kernel, line, stretch.at());
      if (HasFailure()) return;
    }
  }
}

// Every byte value at every place a step reads, in stretches whose other bytes start words of
// interest (or, half the time, none at all, which the first look must see).
TEST(ScanSteps, EveryByteAtEveryPlace) {
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  std::mt19937 random(7);
  for (const char* typed : {"fone", "123", "Tymczak"}) {
    const TypedLine line(typed);
    for (const bool quiet : {false, true}) {
      Stretch base;
      if (quiet) {
        std::memset(base.bytes, 'x', sizeof base.bytes);  // no start anywhere
      } else {
        fill_randomly(base, random);
      }
      for (std::size_t place = 0; place < sizeof base.bytes; ++place) {
        for (int value = 0; value < 256; ++value) {
          Stretch stretch = base;
          stretch.bytes[place] = static_cast<char>(value);
          for (const ScanKernel* kernel : kernels) expect_steps(*kernel, line, stretch.at());
          if (HasFailure()) return;
        }
      }
    }
  }
}

// `word` at `place` of a stretch of m's, after a newline, and ended by `end` (by default, it runs
// on into the m's).
void put_alone(Stretch& stretch, const char* word, int place, char end = 'm') {
  std::memset(stretch.bytes, 'm', sizeof stretch.bytes);
  char* const p = stretch.at();
  p[place - 1] = '\n';
  std::memcpy(p + place, word, std::strlen(word));
  p[place + static_cast<int>(std::strlen(word))] = end;
}

// A word of interest alone in a stretch of words of no interest, at every place, for each kind
// of first byte that may start one.
TEST(ScanSteps, LoneStartAtEveryPlace) {
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  const TypedLine line("fone");
  for (const char* word : {"fun", "Phone", "-fun", "fone", "PH", "\x01x", "\xe9t"}) {
    for (int place = 0; place < 64; ++place) {
      Stretch stretch;
      put_alone(stretch, word, place);
      for (const ScanKernel* kernel : kernels) expect_steps(*kernel, line, stretch.at());
      if (HasFailure()) return;
    }
  }
}

// The words that the rules demand, alone in a stretch at every place, each ended by every
// separator: a word of one letter ended by a carriage return, say, as in a list with CRLF lines.
TEST(ScanSteps, DemandedWordsEndedByEachSeparator) {
  const std::vector<const ScanKernel*> kernels = tested_kernels();
  if (kernels.empty()) GTEST_SKIP() << "SPELL_CHECKER_TEST_KERNELS names no kernel this CPU runs";
  const struct {
    const char* typed;
    std::vector<const char*> words;
  } cases[] = {
      {"c", {"c", "C", "ca", "Ch"}},
      {"fone", {"fone", "FONE", "phone", "Pun", "f", "-x"}},
      {"Pat", {"pat", "p", "ph"}},
  };
  for (const auto& c : cases) {
    const TypedLine line(c.typed);
    for (const char* word : c.words) {
      for (const char end : std::string(" \t\n\v\f\r")) {
        for (int place = 0; place < 64; ++place) {
          Stretch stretch;
          put_alone(stretch, word, place, end);
          for (const ScanKernel* kernel : kernels) expect_steps(*kernel, line, stretch.at());
          if (HasFailure()) return;
        }
      }
    }
  }
}

}  // namespace
