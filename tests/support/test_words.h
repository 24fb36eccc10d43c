// Words for the tests of the key rules and the scan: a word's key as the program computes it,
// and random bytes of the kinds that matter to the rules and to the kernels' steps.
#ifndef SPELL_CHECKER_TESTS_TEST_WORDS_H_
#define SPELL_CHECKER_TESTS_TEST_WORDS_H_

#include <random>
#include <string>

#include "spell_checker.h"

// The key of `word` up to its first NUL, or "" when it has none.
inline std::string key_of(const std::string& word) {
  WorkBuffer copy = {}, key = {};
  word.copy(copy, word.size());
  const PhoneticKey result = phonetic_key(copy, key);
  return result == nullptr ? "" : result;
}

// Mostly letters of similar sound and of every digit and of none, in both cases, with h after
// p; then every separator, NUL, non-letters, bytes next to the letters' range and bytes of 0x80
// and above; now and then any byte.
inline char random_byte(std::mt19937& random) {
  static const std::string common = "fFpPhHoOnNeEcCaAtTsSyYmMzZkKrRlLbBiI";
  static const std::string rare(" \t\n\v\f\r\0\x01\x1f!-,1'@`[{\x7f\x80\xa0\xe9\xff", 22);
  const unsigned roll = random() % 100;
  if (roll < 65) return common[random() % common.size()];
  if (roll < 92) return rare[random() % rare.size()];
  return static_cast<char>(random() % 256);
}

#endif  // SPELL_CHECKER_TESTS_TEST_WORDS_H_
