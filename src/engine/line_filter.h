// What one typed line looks for in the word list, worked out once per line from the key rules:
// the first bytes that can start a word of interest, and the key's digits as the steps of a walk.
// The search kernels test many bytes of the list against it at once.
#ifndef SPELL_CHECKER_ENGINE_LINE_FILTER_H_
#define SPELL_CHECKER_ENGINE_LINE_FILTER_H_

#include <cstddef>

#include "spell_checker.h"

// What the filter has room for, given the key rules (line_filter.cc checks the Soundex table
// against them): the first bytes of interest (the key's letter, a letter that gives it before
// one second byte, as p does before h for F, and the typed word's first byte); the distinct
// digits of a key (1 to 6); the letters of one digit (C G J K Q S X Z for 2); the letters that
// have no digit (A E H I O U W Y).
constexpr int kMaxFirstBytes = 3;
constexpr int kMaxDistinctDigits = 6;
constexpr int kMaxLettersOfADigit = 8;
constexpr int kLettersWithoutDigit = 8;

// The place of the end of a word among a step's places (see LineFilter).
constexpr unsigned char kEndPlace = kMaxDistinctDigits;

// Typed words of up to this many bytes have their length and last byte tested by the kernels.
constexpr std::size_t kExactLengthTested = 32;

// The tests are on bytes folded to lower case (byte | 0x20): a byte folds to a letter only if it
// is one, so a test on folded bytes passes every byte that the ASCII case-insensitive test would.
// A kernel may pass more words than these tests say; never fewer.
//
// A word goes on to the full tests when its start passes one of:
// - direct: it starts with a non-letter and the typed word has a key (the word's key starts
//   further in), or its first two bytes may equal the typed word's, case ignored;
// - key: its first byte (with the second, for a leading "ph") gives the typed key's letter, and
//   its stops give the typed key's digits and then its end.
struct LineFilter {
  const char* typed = nullptr;   // the typed word, NUL-terminated
  std::size_t typed_length = 0;  // up to its first NUL byte
  PhoneticKey typed_key = nullptr;

  // Folded first bytes of interest, once each: `first_count` of them, 1 to kMaxFirstBytes.
  char first[kMaxFirstBytes] = {};
  int first_count = 1;
  // Words that start with a non-letter go on: the typed word has a key, which such a word's key
  // may share further in, or is empty, which only a word that starts with NUL equals.
  bool nonletters = false;

  char key_letter = '\0';  // folded; '\0', which no folded byte equals, when there is no key
  char ph_letter = '\0';   // a letter that gives the key's letter only before ph_second, or '\0'
  char ph_second = '\0';
  char exact_first = '\0';  // the typed word's first byte, folded; '\0' when it is empty
  // The folded second byte of a word that may equal the typed word lies in this range. For a
  // typed word of 2 to kExactLengthTested bytes (`exact_length`, else 0), such a word also
  // ends there, its last byte folded being `exact_last`.
  unsigned char exact_second_low = 0, exact_second_high = 0;
  std::size_t exact_length = 0;
  char exact_last = '\0';

  // The key's digits, walked for all words of a stretch at once: a stop is where the key walk
  // finds its next digit (a letter with a digit that differs from the byte before it) or the end
  // of the word (a separator or NUL). A step for each digit of the typed key, and one for the end
  // unless the key has kMaxKeyDigits digits: for each, the place of its digit among the key's
  // distinct digits, or kEndPlace; and the folded letters of each distinct digit.
  int steps = 1;
  unsigned char step_place[kMaxKeyDigits + 1] = {kEndPlace};
  int distinct_digits = 0;
  char digit_letters[kMaxDistinctDigits][kMaxLettersOfADigit] = {};
  int digit_letter_count[kMaxDistinctDigits] = {};
  char without_digit[kLettersWithoutDigit] = {};  // the folded letters that have no digit

  // The same, byte by byte, for kernels that look bytes up: `classes` for a word's first byte,
  // `second_classes` for the byte after it, and `digits` for the stops: kStopDigit for a stop,
  // kEndDigit too for an end, and kFirstPlaceDigit << place for a digit that is the place-th
  // of the typed key's distinct digits.
  unsigned char classes[256] = {};
  unsigned char second_classes[256] = {};
  unsigned char digits[256] = {};
};

constexpr unsigned char kSeparatorClass = 1;
constexpr unsigned char kNonLetterClass = 2;    // a non-letter other than a separator, with a key
constexpr unsigned char kExactFirstClass = 4;   // may be the typed word's first byte
constexpr unsigned char kKeyLetterClass = 8;    // gives the key's letter
constexpr unsigned char kPhLetterClass = 16;    // gives it before ph_second
constexpr unsigned char kExactSecondClass = 1;  // in second_classes
constexpr unsigned char kPhSecondClass = 2;
constexpr unsigned char kStopDigit = 1;        // in digits: a stop
constexpr unsigned char kEndDigit = 2;         // the end of a word
constexpr unsigned char kFirstPlaceDigit = 4;  // shifted left by the place of the byte's digit
static_assert(kFirstPlaceDigit << (kMaxDistinctDigits - 1) <= 0xff, "a digit's place fits a byte");

// The exact test, at a word's first byte: whether the word at `word` may be the typed word, by
// its first two bytes folded and, where exact_length is not 0, its last byte folded and the
// byte after it, which must end the word (it is at most 0x20: a separator, NUL, or more). Reads
// word[0, max(2, exact_length + 1)). The kernels that test many bytes at once test the same, by
// comparisons (exact_first, exact_second_low and _high, exact_last) or by the tables
// (kExactFirstClass, kExactSecondClass).
inline bool may_be_typed_word(const LineFilter& f, const unsigned char* word) {
  const auto folded = [](unsigned char c) { return static_cast<unsigned char>(c | 0x20); };
  const unsigned char second = folded(word[1]);
  const std::size_t n = f.exact_length;
  return folded(word[0]) == static_cast<unsigned char>(f.exact_first) &&
         second >= f.exact_second_low && second <= f.exact_second_high &&
         (n == 0 ||
          (folded(word[n - 1]) == static_cast<unsigned char>(f.exact_last) && word[n] <= ' '));
}

// What a line that typed the NUL-terminated `typed`, whose key is `typed_key`, looks for.
LineFilter line_filter(const char* typed, PhoneticKey typed_key);

#endif  // SPELL_CHECKER_ENGINE_LINE_FILTER_H_
