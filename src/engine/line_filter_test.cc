#include "line_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "ascii.h"
#include "key_rules.h"
#include "spell_checker.h"
#include "test_words.h"
#include "typed_line.h"

namespace {

struct FilterCase {
  const char* typed;
  std::string first;  // the folded first bytes of interest, in order
  bool nonletters;
  char key_letter, ph_letter, ph_second;
  std::size_t exact_length;
  int steps;
};

TEST(LineFilter, Shapes) {
  using namespace std::string_literals;
  const FilterCase cases[] = {
      {"fone", "fp", true, 'f', 'p', 'h', 4, 2},    // F5: f, or p before h; 5 and the end
      {"phone", "fp", true, 'f', 'p', 'h', 5, 2},   // the same key
      {"Pat", "p", true, 'p', '\0', '\0', 3, 2},    // P3: p, but not before h
      {"cat", "c", true, 'c', '\0', '\0', 3, 2},    // C3
      {"kat", "k", true, 'k', '\0', '\0', 3, 2},    // K3, not C3
      {"-fun", "fp", true, 'f', 'p', 'h', 4, 2},    // a non-letter first: the key's letters
      {"123", "1", false, '\0', '\0', '\0', 3, 1},  // no key: the typed word's first byte alone
      {"", "\0"s, true, '\0', '\0', '\0', 0, 1},    // only a word that starts with NUL
      {"c", "c", true, 'c', '\0', '\0', 0, 1},      // too short for its length to be tested
      {"Constantinople", "c", true, 'c', '\0', '\0', 14, 8},  // eight digits: no step for the end
  };
  for (const FilterCase& c : cases) {
    const TypedLine made(c.typed);
    const LineFilter& f = made.filter;
    EXPECT_EQ(std::string(f.first, static_cast<std::size_t>(f.first_count)), c.first) << c.typed;
    EXPECT_EQ(f.nonletters, c.nonletters) << c.typed;
    EXPECT_EQ(f.key_letter, c.key_letter) << c.typed;
    EXPECT_EQ(f.ph_letter, c.ph_letter) << c.typed;
    EXPECT_EQ(f.ph_second, c.ph_second) << c.typed;
    EXPECT_EQ(f.exact_length, c.exact_length) << c.typed;
    EXPECT_EQ(f.steps, c.steps) << c.typed;
  }
}

// Every key letter's words are found by their first bytes alone: whatever two bytes a word
// starts with, if they give the typed key's letter, the first-byte tests pass them.
TEST(LineFilter, EveryKeyLetterFitsTheFirstByteTests) {
  for (char key_letter = 'a'; key_letter <= 'z'; ++key_letter) {
    const TypedLine made(std::string(1, key_letter));
    const LineFilter& f = made.filter;
    for (int first = 0; first < 256; ++first) {
      if (!is_ascii_letter(static_cast<char>(first))) continue;
      for (int second = 0; second < 256; ++second) {
        const std::string start = {static_cast<char>(first), static_cast<char>(second)};
        if (key_of(start)[0] != ascii_upper(key_letter)) continue;
        const char a = static_cast<char>(first | 0x20), b = static_cast<char>(second | 0x20);
        EXPECT_TRUE(a == f.key_letter || (a == f.ph_letter && b == f.ph_second))
            << "key " << key_letter << ": " << first << " " << second;
      }
    }
  }
}

// The scan passes over a letter that repeats the byte before it, as the key rules do: after any
// byte, a letter with a digit adds it unless it is that very byte.
TEST(LineFilter, RepeatsGiveNoDigitAsTheRulesSay) {
  for (int before = 1; before < 256; ++before) {
    for (char letter : std::string("bcdfgjklmnpqrstvxzBCDFGJKLMNPQRSTVXZ")) {
      const char b = static_cast<char>(before);
      std::string expected = "A";
      if (is_ascii_letter(b) && soundex_digit(b) != '0' && b != 'A') expected += soundex_digit(b);
      if (letter != b) expected += soundex_digit(letter);
      EXPECT_EQ(key_of(std::string("A") + b + letter), expected) << before << " " << letter;
    }
  }
}

}  // namespace
