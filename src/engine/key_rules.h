// The rules of the phonetic key, written once. phonetic_key builds a whole key with them; the
// dictionary scan walks a word's key only as far as it agrees with the typed word's key.
#ifndef SPELL_CHECKER_ENGINE_KEY_RULES_H_
#define SPELL_CHECKER_ENGINE_KEY_RULES_H_

#include "ascii.h"
#include "spell_checker.h"

namespace {  // internal linkage, as in ascii.h

// The Soundex letter table, A to Z; '0' marks a letter without a code (vowels, H, W, Y).
constexpr char kSoundexTable[] = "01230120022455012623010202";

// Only ever called with an ASCII letter, so the index stays within the 26 entries.
inline char soundex_digit(char letter) { return kSoundexTable[ascii_upper(letter) - 'A']; }

// The same for every byte, for the walk below: a letter's digit, or 0 for a letter without one
// and for every byte that is no letter.
struct ByteDigits {
  char of[256] = {};
  constexpr ByteDigits() {
    for (int i = 0; i < 26; ++i) {
      const char digit = kSoundexTable[i] == '0' ? '\0' : kSoundexTable[i];
      of['A' + i] = digit;
      of['a' + i] = digit;
    }
  }
};
constexpr ByteDigits kByteDigits;

inline char byte_digit(char c) { return kByteDigits.of[static_cast<unsigned char>(c)]; }

// A word's first letter gives its key's letter, in upper case, but for one rule: a first letter
// kPhFirst followed by kPhSecond (in either case) gives kPhKey, for ph sounds like f. So the
// words whose key letter is L start with L's own letter, or, for kPhKey, with kPhFirst before
// kPhSecond; the line filter looks for exactly these.
constexpr char kPhFirst = 'p', kPhSecond = 'h', kPhKey = 'F';

// Walks the key of the NUL-terminated `word`: hands the key's letter to `on_letter`, then each
// digit in turn to `on_digit`; either returns false to stop the walk there. Returns false, having
// called neither, when the word holds no letter. Rewrites a leading "ph" of `word` in place.
//
// The dictionary scan relies on three consequences of these rules to pass over words quickly:
// - the key's letter depends only on the word's first letter and the byte right after it (the ph
//   rule above);
// - for a word that starts with a letter, the key's first digit is the digit of the first later
//   byte that is a letter with a digit and differs from the byte before it; a NUL byte before
//   such a byte ends the word, which then has no digit. (A leading "ph" changes nothing here:
//   neither byte has a digit, nor could a byte equal to either.)
// - a letter that repeats the byte before it gives no digit, wherever it stands after the first.
// The line filter's tests check the first and the third against these rules; the property tests
// and the fuzzer hold the whole scan against a plain model that computes every key in full.
template <typename OnLetter, typename OnDigit>
bool walk_phonetic_key(char* word, OnLetter&& on_letter, OnDigit&& on_digit) {
  char* first = word;
  while (*first != '\0' && !is_ascii_letter(*first)) ++first;
  if (*first == '\0') return false;

  // Rewriting a leading ph in place also makes the A the "byte before" of what follows, as the
  // repeat test below expects.
  if (ascii_upper(first[0]) == ascii_upper(kPhFirst) &&
      ascii_upper(first[1]) == ascii_upper(kPhSecond)) {
    first[0] = kPhKey;
    first[1] = 'A';
  }
  if (!on_letter(ascii_upper(first[0]))) return true;

  // Unlike common Soundex, only a repeat of the very same byte is collapsed, the first letter's
  // digit does not absorb the next one, and the key runs to kMaxKeyDigits digits, unpadded.
  std::size_t digits = 0;
  for (const char* p = first + 1; *p != '\0' && digits < kMaxKeyDigits; ++p) {
    const char digit = byte_digit(*p);
    if (digit == '\0' || *p == p[-1]) continue;
    ++digits;
    if (!on_digit(digit)) break;
  }
  return true;
}

// Whether the NUL-terminated `word` has the key `key`. Stops at the first byte that tells them
// apart. Rewrites a leading "ph" of `word` in place.
inline bool has_phonetic_key(char* word, PhoneticKey key) {
  std::size_t matched = 0;  // characters of `key` the walk has matched so far
  bool differs = false;
  const auto match = [&](char c) {
    differs = key[matched] != c;
    if (!differs) ++matched;
    return !differs;
  };
  return walk_phonetic_key(word, match, match) && !differs && key[matched] == '\0';
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_KEY_RULES_H_
