// The search, written once for every instruction set. A kernel's source file defines `Simd`, a
// thin layer over its vector registers, and then includes this file; everything here has
// internal linkage, so that code built for one instruction set never stands in for another's.
//
// Simd provides:
//   kWidth                 bytes per register, a divisor of 64
//   Table, Table table(const unsigned char* byte_classes)    what it needs to classify bytes
//   kLooksUpClasses        whether it classifies 64 bytes itself, by LineFilter::byte_classes,
//     with classify(const char*, const Table&, std::uint64_t& separators,
//                   std::uint64_t& passed_over)
//     and std::uint64_t digit_stops(const char*, const Table&), as digit_stops below;
//   and else tests bytes with these:
//   Reg load(const char*)  kWidth bytes, unaligned
//   Reg splat(char)        a register of one byte value
//   Reg either_bits(Reg, Reg), Reg minus(Reg, Reg)     bitwise or, bytewise subtraction
//   Mask equal(Reg, Reg), Mask at_most(Reg, Reg)       per-byte ==, unsigned <=
//   Mask either(Mask, Mask), Mask but_not(Mask, Mask)  or, and-not
//   std::uint64_t bits(Mask)                           one bit per byte, first byte lowest
#include <cstddef>
#include <cstdint>

#include "scan_kernel.h"
#include "word_test.h"

namespace {

int lowest_bit(std::uint64_t bits) { return __builtin_ctzll(bits); }

// What the tests compare with or look up, set up once per block.
struct Constants {
  Simd::Reg tab = Simd::splat('\t');
  Simd::Reg four = Simd::splat(4);
  Simd::Reg space = Simd::splat(' ');
  Simd::Reg case_bit = Simd::splat(0x20);
  Simd::Reg a = Simd::splat('a');
  Simd::Reg twenty_five = Simd::splat(25);
  Simd::Reg zero = Simd::splat('\0');
  Simd::Reg letter0, letter1;
  Simd::Reg without_digit[8];
  Simd::Table table;

  Constants(const char* letters, const char* letters_without_digit,
            const unsigned char* byte_classes)
      : letter0(Simd::splat(letters[0])),
        letter1(Simd::splat(letters[1])),
        table(Simd::table(byte_classes)) {
    for (int i = 0; i < 8; ++i) without_digit[i] = Simd::splat(letters_without_digit[i]);
  }
};

// The classes of a filter that wants no letter: only the separators are passed over.
struct SeparatorClasses {
  unsigned char classes[128] = {};
  SeparatorClasses() {
    for (int b = 0; b < 128; ++b)
      if (is_word_separator(static_cast<char>(b))) classes[b] = kSeparatorClass | kPassedOverClass;
  }
};

// Separators are the six characters from '\t' to '\r' and ' '.
Simd::Mask separators(Simd::Reg v, const Constants& c) {
  return Simd::either(Simd::at_most(Simd::minus(v, c.tab), c.four), Simd::equal(v, c.space));
}

// Letters that no word of interest starts with. A letter folded to lower case lies in 'a'..'z'.
Simd::Mask unwanted_letters(Simd::Reg v, const Constants& c) {
  const Simd::Reg folded = Simd::either_bits(v, c.case_bit);
  const Simd::Mask letter = Simd::at_most(Simd::minus(folded, c.a), c.twenty_five);
  return Simd::but_not(
      letter, Simd::either(Simd::equal(folded, c.letter0), Simd::equal(folded, c.letter1)));
}

// 64 bytes, one bit each: the separators, and the bytes that start no word of interest (the
// separators and, unless every letter may, the letters no such word starts with).
struct Chunk {
  std::uint64_t separators = 0;
  std::uint64_t passed_over = 0;
};

// Instantiated only for a Simd that classifies bytes itself.
template <typename S>
void classify_by_table(const char* p, const typename S::Table& table, Chunk& chunk) {
  S::classify(p, table, chunk.separators, chunk.passed_over);
}

template <bool kEveryLetter>
Chunk classify(const char* p, const Constants& c) {
  Chunk chunk;
  if constexpr (Simd::kLooksUpClasses) {
    classify_by_table<Simd>(p, c.table, chunk);
    return chunk;
  }
  for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
    const Simd::Reg v = Simd::load(p + i);
    const Simd::Mask separator = separators(v, c);
    chunk.separators |= Simd::bits(separator) << i;
    if (!kEveryLetter)
      chunk.passed_over |= Simd::bits(Simd::either(separator, unwanted_letters(v, c))) << i;
  }
  if (kEveryLetter) chunk.passed_over = chunk.separators;
  return chunk;
}

template <typename S>
std::uint64_t digit_stops_by_table(const char* p, const typename S::Table& table) {
  return S::digit_stops(p, table);
}

// The bytes among the 64 at `p` where the walk of the key of a word that started before them
// finds its first digit or its end: letters with a digit that differ from the byte before them,
// and NUL bytes.
std::uint64_t digit_stops(const char* p, const Constants& c) {
  if constexpr (Simd::kLooksUpClasses) return digit_stops_by_table<Simd>(p, c.table);
  std::uint64_t stops = 0;
  for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
    const Simd::Reg v = Simd::load(p + i);
    const Simd::Reg folded = Simd::either_bits(v, c.case_bit);
    Simd::Mask without_digit = Simd::equal(folded, c.without_digit[0]);
    for (int k = 1; k < 8; ++k)
      without_digit = Simd::either(without_digit, Simd::equal(folded, c.without_digit[k]));
    const Simd::Mask letter = Simd::at_most(Simd::minus(folded, c.a), c.twenty_five);
    const Simd::Mask digit = Simd::but_not(letter, without_digit);
    const Simd::Mask stop = Simd::either(
        Simd::but_not(digit, Simd::equal(v, Simd::load(p + i - 1))), Simd::equal(v, c.zero));
    stops |= Simd::bits(stop) << i;
  }
  return stops;
}

std::size_t next_separator(const char* data, std::size_t from, std::size_t end,
                           const Constants& c) {
  for (std::size_t p = from; p < end; p += 64) {
    const std::uint64_t bits = classify<true>(data + p, c).separators;
    if (bits != 0) {
      const std::size_t at = p + lowest_bit(bits);
      return at < end ? at : end;
    }
  }
  return end;
}

std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  static const SeparatorClasses separators_only;
  return next_separator(data, from, end,
                        Constants("\0", "\0\0\0\0\0\0\0", separators_only.classes));
}

bool pair_wanted(const LineFilter& filter, const char* word) {
  const unsigned pair =
      static_cast<unsigned char>(word[0]) * 256u + static_cast<unsigned char>(word[1]);
  return (filter.pairs[pair / 64] >> (pair % 64)) & 1;
}

// Whether the key of the word data[start, end), which starts with a letter, may have the same
// first digit as `key`, or none when `key` has none. `stops` are the digit stops of the 64 bytes
// from `chunk`, which hold the word's start; when the word runs on past them before a stop, it
// may.
bool first_digit_may_agree(const LineFilter& filter, const char* data, std::size_t chunk,
                           std::uint64_t stops, std::size_t start, std::size_t end) {
  const std::uint64_t later = stops >> (start - chunk) >> 1;
  if (later == 0 && end > chunk + 64) return true;
  const std::size_t first = later != 0 ? start + 1 + lowest_bit(later) : end;
  if (first >= end) return filter.typed_key[1] == '\0';
  const char digit = filter.digits[static_cast<unsigned char>(data[first])];
  // A stop at a byte that is neither NUL nor has a digit tells nothing: leave it to the walk.
  if (digit == '\0' && data[first] != '\0') return true;
  return digit == filter.typed_key[1];
}

template <bool kEveryLetter>
std::size_t scan(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                 void* context) {
  const Constants c(filter.letters, filter.letters_without_digit, filter.byte_classes);
  std::uint64_t separator_before = is_word_separator(data[-1]) ? 1 : 0;
  for (std::size_t p = 0; p < length; p += 64) {
    const Chunk chunk = classify<kEveryLetter>(data + p, c);
    std::uint64_t starts = ~chunk.passed_over & ((chunk.separators << 1) | separator_before);
    separator_before = chunk.separators >> 63;
    bool stops_known = false;  // worked out for the chunk when a word needs them
    std::uint64_t stops = 0;
    while (starts != 0) {
      const int bit = lowest_bit(starts);
      starts &= starts - 1;
      const std::size_t start = p + bit;
      if (start + 1 < length && !pair_wanted(filter, data + start)) continue;
      // The word ends at the next separator: in this chunk's bits if it is there.
      const std::uint64_t after = chunk.separators & (~std::uint64_t{0} << bit);
      const std::size_t end =
          after != 0 ? p + lowest_bit(after) : next_separator(data, p + 64, length + 1, c);
      if (end >= length) return start;
      const char* const word = data + start;
      const std::size_t word_length = end - start;
      if (word_length > kMaxDictionaryWordLength) continue;
      if (is_typed_word(filter, word, word_length)) {
        sink(context, word, word_length, true);
        continue;
      }
      if (filter.typed_key == nullptr) continue;
      if (is_ascii_letter(*word)) {
        if (!stops_known) stops = digit_stops(data + p, c);
        stops_known = true;
        if (!first_digit_may_agree(filter, data, p, stops, start, end)) continue;
      }
      if (has_typed_key(filter, word, word_length)) sink(context, word, word_length, false);
    }
  }
  return length;
}

std::size_t scan_block(const char* data, std::size_t length, const LineFilter& filter,
                       MatchSink sink, void* context) {
  return filter.all_letters ? scan<true>(data, length, filter, sink, context)
                            : scan<false>(data, length, filter, sink, context);
}

}  // namespace
