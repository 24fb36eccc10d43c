// The search kernels: the part of the scan that runs over every byte of the word list, built
// once per instruction set and chosen at run time. Each kernel passes over the words that cannot
// match the typed word and hands the others to the exact tests of the lookup.
#ifndef SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
#define SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ascii.h"
#include "spell_checker.h"

// What one typed line looks for, worked out from the key rules for the line. The tests are on
// bytes folded to lower case (byte | 0x20): a byte folds to a letter only if it is one, so a
// test on folded bytes passes every byte that the ASCII case-insensitive test would. A kernel
// may pass more words than these tests say; never fewer.
//
// A word goes on to the close test when its start passes one of:
// - direct: it starts with a non-letter and the typed word has a key (the word's key starts
//   further in), or its first two bytes may equal the typed word's, case ignored;
// - key: its first byte (with the second, for a leading "ph") gives the typed key's letter, and
//   its stops give the typed key's digits and then its end.
constexpr unsigned char kEndPlace = 6;

struct LineFilter {
  const char* typed = nullptr;   // the typed word, NUL-terminated
  std::size_t typed_length = 0;  // up to its first NUL byte
  PhoneticKey typed_key = nullptr;

  // Every word goes to the close test: the key rules gave a shape these tests cannot hold.
  bool every_word = false;
  // Folded first bytes of interest: the key's letter, a letter that gives it before ph_second,
  // and the typed word's first byte, once each; `first_count` of them, 1 to 3.
  char first[3] = {};
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
  char digit_letters[6][8] = {};
  int digit_letter_count[6] = {};
  char without_digit[8] = {};  // the folded letters that have no digit, which are no stops

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

// The stops of 64 bytes whose digits classes a kernel has looked up: `has(classes)` gives the
// bytes that have any of `classes`, a bit each.
template <typename Has>
void stops_from_digits(Has has, int distinct_digits, std::uint64_t& stops, std::uint64_t& ends,
                       std::uint64_t* digits) {
  stops = has(kStopDigit);
  ends = has(kEndDigit);
  for (int place = 0; place < distinct_digits; ++place)
    digits[place] = has(static_cast<unsigned char>(kFirstPlaceDigit << place));
}

// Receives each word of the list that equals the typed word (`equal`) or has its key.
using MatchSink = void (*)(void* context, const char* word, std::size_t length, bool equal);

constexpr std::size_t kExactLengthTested = 32;

// The kernels read up to this many bytes past the end of a block, which must be separators, and
// the byte before it, which tells whether a word starts at its first byte.
constexpr std::size_t kScanPadding = 64 + kExactLengthTested;

// Of 64 bytes whose `separators` are known, a bit each, the first byte lowest: those that start
// a word, for they follow a separator; `before` is the byte ahead of the first. Internal
// linkage, as in ascii.h: each kernel has its own copy, built for its instruction set.
namespace {
inline std::uint64_t word_starts(std::uint64_t separators, char before) {
  return ~separators & ((separators << 1) | (is_word_separator(before) ? 1 : 0));
}

// For kernels that look up only the bytes below 0x80 in one of LineFilter's tables: every byte
// from 0x80 up gets every class that any such byte has, which passes more words, never fewer.
inline unsigned char classes_from_0x80(const unsigned char* classes) {
  unsigned char any = 0;
  for (int b = 0x80; b < 0x100; ++b) any |= classes[b];
  return any;
}
}  // namespace

struct ScanKernel {
  const char* name;
  // Hands `sink` every word that starts in data[0, length) and matches. Every word ends in the
  // block: data[length - 1] is a separator, or length is 0.
  void (*scan_block)(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                     void* context);
  // The first separator in data[from, end), or end.
  std::size_t (*find_separator)(const char* data, std::size_t from, std::size_t end);
};

// The kernels this program was built with that this CPU can run, plainest first.
std::vector<const ScanKernel*> usable_kernels();

// The best of them, chosen once, at the first lookup.
const ScanKernel& chosen_kernel();

#endif  // SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
