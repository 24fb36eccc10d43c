#include "line_filter.h"

#include <cstring>

#include "ascii.h"
#include "key_rules.h"

namespace {

// The Soundex table fits the filter's room.
constexpr int letters_with(char digit) {
  int count = 0;
  for (int i = 0; i < 26; ++i) count += kSoundexTable[i] == digit ? 1 : 0;
  return count;
}
constexpr bool every_digit_fits() {
  for (int i = 0; i < 26; ++i) {
    const char digit = kSoundexTable[i];
    if (digit != '0' && (digit < '1' || digit > '0' + kMaxDistinctDigits)) return false;
    if (digit != '0' && letters_with(digit) > kMaxLettersOfADigit) return false;
  }
  return true;
}
static_assert(letters_with('0') == kLettersWithoutDigit, "the letters without a digit");
static_assert(every_digit_fits(), "digits 1 to kMaxDistinctDigits, each of few enough letters");

char folded(char c) { return static_cast<char>(c | 0x20); }

// Adds `c` to the folded first bytes of interest, unless it is there.
void want_first(LineFilter& filter, char c) {
  for (int i = 0; i < filter.first_count; ++i)
    if (filter.first[i] == c) return;
  filter.first[filter.first_count++] = c;
}

// The letters without a digit, from the Soundex table.
void note_letters_without_digit(LineFilter& filter) {
  int without = 0;
  for (char c = 'a'; c <= 'z'; ++c)
    if (soundex_digit(c) == '0') filter.without_digit[without++] = c;
}

// The typed key's digits, from the Soundex table: each as a place among its distinct digits,
// and the letters that have each.
void choose_digits(LineFilter& filter) {
  char distinct[kMaxDistinctDigits] = {};
  int digits = 0;
  for (const char* digit = filter.typed_key + 1; *digit != '\0'; ++digit) {
    int place = 0;
    while (place < filter.distinct_digits && distinct[place] != *digit) ++place;
    if (place == filter.distinct_digits) {
      distinct[filter.distinct_digits++] = *digit;
      for (char c = 'a'; c <= 'z'; ++c)
        if (soundex_digit(c) == *digit)
          filter.digit_letters[place][filter.digit_letter_count[place]++] = c;
    }
    filter.step_place[digits++] = static_cast<unsigned char>(place);
  }
  // A key of kMaxKeyDigits digits ends there, whatever follows.
  filter.steps = digits;
  if (digits < static_cast<int>(kMaxKeyDigits)) filter.step_place[filter.steps++] = kEndPlace;
}

// The same tests byte by byte, for the kernels that look them up.
void classify_bytes(LineFilter& filter) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const char f = folded(c);
    const bool separator = is_word_separator(c), letter = is_ascii_letter(c);
    unsigned char classes = 0;
    if (separator) classes |= kSeparatorClass;
    if (!letter && !separator && filter.nonletters) classes |= kNonLetterClass;
    if (f == filter.exact_first) classes |= kExactFirstClass;
    if (f == filter.key_letter) classes |= kKeyLetterClass;
    if (f == filter.ph_letter) classes |= kPhLetterClass;
    filter.classes[b] = classes;
    const unsigned char u = static_cast<unsigned char>(f);
    filter.second_classes[b] =
        (u >= filter.exact_second_low && u <= filter.exact_second_high ? kExactSecondClass : 0) |
        (filter.ph_second != '\0' && f == filter.ph_second ? kPhSecondClass : 0);
    unsigned char digit = 0;
    if (separator || c == '\0') digit = kStopDigit | kEndDigit;
    if (letter && soundex_digit(c) != '0') {
      digit = kStopDigit;
      for (int place = 0; place < filter.distinct_digits; ++place)
        if (soundex_digit(c) == soundex_digit(filter.digit_letters[place][0]))
          digit |= static_cast<unsigned char>(kFirstPlaceDigit << place);
    }
    filter.digits[b] = digit;
  }
}

}  // namespace

LineFilter line_filter(const char* typed, PhoneticKey typed_key) {
  LineFilter filter;
  filter.typed = typed;
  filter.typed_length = std::strlen(typed);
  filter.typed_key = typed_key;
  // With no key, the exact test alone: the words that start with the typed word's first byte;
  // an empty typed word equals only words that start with NUL, which are non-letters.
  filter.nonletters = typed_key != nullptr || typed[0] == '\0';
  filter.exact_first = typed[0] == '\0' ? '\0' : folded(typed[0]);
  if (filter.typed_length >= 2) {
    filter.exact_second_low = filter.exact_second_high =
        static_cast<unsigned char>(folded(typed[1]));
    if (filter.typed_length <= kExactLengthTested) {
      filter.exact_length = filter.typed_length;
      filter.exact_last = folded(typed[filter.typed_length - 1]);
    }
  } else {  // the end of a word, a separator or NUL, folds to 0x20 to 0x2d
    filter.exact_second_low = 0x20;
    filter.exact_second_high = 0x2d;
  }
  filter.first_count = 0;
  note_letters_without_digit(filter);
  if (typed_key != nullptr) {
    // The key letter's own letter before any second byte, and for kPhKey also kPhFirst before
    // kPhSecond (key_rules.h); a P key's p is looked for before h too, which passes more words,
    // never fewer.
    filter.key_letter = folded(typed_key[0]);
    if (typed_key[0] == kPhKey) {
      filter.ph_letter = kPhFirst;
      filter.ph_second = kPhSecond;
    }
    want_first(filter, filter.key_letter);
    if (filter.ph_letter != '\0') want_first(filter, filter.ph_letter);
    choose_digits(filter);
  }
  if (!filter.nonletters || is_ascii_letter(typed[0])) want_first(filter, filter.exact_first);
  if (filter.first_count == 0) want_first(filter, '\0');  // which no folded byte equals
  classify_bytes(filter);
  return filter;
}
