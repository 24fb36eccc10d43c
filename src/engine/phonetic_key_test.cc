#include <gtest/gtest.h>

#include <string>

#include "spell_checker.h"
#include "test_words.h"

namespace {

struct KeyCase {
  const char* word;
  const char* key;  // "" for none
};

TEST(PhoneticKey, Table) {
  const KeyCase cases[] = {
      {"Robert", "R163"},
      {"Rupert", "R163"},
      {"phone", "F5"},
      {"fone", "F5"},
      {"PH", "F"},
      {"pH", "F"},
      {"phf", "F1"},  // after the rewrite the f follows an A, not an f
      {"Mississippi", "M221"},
      {"Jackson", "J2225"},
      {"Ashcraft", "A22613"},
      {"Tymczak", "T5222"},
      {"Constantinople", "C52353514"},
      {"x-ray", "X6"},
      {" cat", "C3"},
      {"hello world", "H4643"},
      {"123", ""},
      {"", ""},
      {"--", ""},
      {"\x80\xff", ""},
      {"42nd", "N3"},
      {"p", "P"},
      {"-ph", "F"},  // ph at the first letter, after non-letters
  };
  for (const KeyCase& c : cases) EXPECT_EQ(key_of(c.word), c.key) << '"' << c.word << '"';
}

TEST(PhoneticKey, DifferencesFromCommonSoundex) {
  const KeyCase cases[] = {
      {"a", "A"},                     // no padding
      {"Bcdlmr", "B23456"},           // more than three digits
      {"Bcdlmrbcdlmr", "B23456123"},  // at most eight digits
      {"Jackson", "J2225"},           // neighbours sharing a digit are each coded
      {"Pf", "P1"},                   // the first letter does not absorb its digit
      {"lloyd", "L3"},                // the repeat test is case-sensitive
      {"Lloyd", "L43"},
      {"bb", "B"},
      {"Bb", "B1"},
      {"bob", "B1"},  // a vowel between breaks a repeat
      {"b-b", "B1"},  // so does a non-letter
      {"bhb", "B1"},
      {"Aeiouhwy", "A"},  // letters without a code add nothing
      {"Daaaaaaaaaaaaaaaaaaaaad", "D3"},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(key_of(c.word), c.key) << '"' << c.word << '"';
}

TEST(PhoneticKey, RewritesLeadingPhInPlace) {
  WorkBuffer word = "-phil";
  WorkBuffer key = {};
  EXPECT_EQ(phonetic_key(word, key), key);
  EXPECT_STREQ(key, "F4");
  EXPECT_STREQ(word, "-FAil");
}

TEST(PhoneticKey, NoKeyLeavesKeyBufferUntouched) {
  WorkBuffer word = "1-2";
  WorkBuffer key = {};
  EXPECT_EQ(phonetic_key(word, key), nullptr);
  for (char c : key) ASSERT_EQ(c, '\0');
}

TEST(PhoneticKey, EveryByteValue) {
  // Any byte may follow a letter; only ASCII letters are coded.
  for (int b = 1; b < 256; ++b) {
    const std::string word = std::string("T") + static_cast<char>(b);
    const bool letter = (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
    const bool coded =
        std::string("aehiouwy").find(static_cast<char>(b | 0x20)) == std::string::npos;
    const bool has_digit = letter && coded && b != 'T';
    EXPECT_EQ(key_of(word).size(), has_digit ? 2u : 1u) << "byte " << b;
  }
}

}  // namespace
