// The search, written once for every instruction set. A kernel's source file defines `Simd`, a
// thin layer over its registers, and then includes this file; everything here has internal
// linkage, so that code built for one instruction set never stands in for another's.
//
// Simd provides, for vectors of kWidth bytes (a divisor of 64) in one register or several:
//   Reg load(const char*)                 kWidth bytes, unaligned
//   Splat splat(char)                     every byte the same: a Reg, or a narrower register
//                                         that the operations take in a Reg's place
//   Reg either_bits(Reg, Splat)           bitwise or
//   Range range(unsigned char low, unsigned char high)     low <= high, both below 0x80 or
//                                                          neither
//   Mask inside(Reg, const Range&), Mask outside(Reg, const Range&)   unsigned, per byte
//   Mask equal(Reg, Reg), Mask equal(Reg, Splat)
//   Mask either(Mask, Mask), Mask both(Mask, Mask), Mask but_not(Mask, Mask)
//   std::uint64_t bits(Mask)              one bit per byte, first byte lowest
// and where it does better than comparing, its own steps, each flagged, with what it derives
// from the line in `Tables tables(const LineFilter&)`:
//   kOwnFirstLook     template <int kFirst, bool kNonLetters>
//                     Bits may_hold_start(const char*, const Tables&)
//   kOwnCloseLook     void close_look(const char*, const Tables&, Bits& separators,
//                                     Bits& nonletters, Bits& exact, Bits& keys)
//                     with exact_ends in `exact`; the three at starts only
//   kOwnStops         void stops(const char*, const Tables&, int distinct_digits, Bits& stops,
//                                Bits& ends, Bits* digits)
// which do what the functions of the same names below do by comparing.
#include <cstddef>
#include <cstdint>

#include "scan_kernel.h"
#include "word_test.h"

namespace {

// 64 bytes of the list, a bit each, the first byte lowest.
using Bits = std::uint64_t;

// The per-stretch steps below are small and run for every 64 bytes: inlined and unrolled, their
// constants stay in registers.
#define SCAN_STEP __attribute__((always_inline)) inline
#define SCAN_UNROLLED _Pragma("GCC unroll 8")

int lowest_bit(Bits bits) { return __builtin_ctzll(bits); }
int highest_bit(Bits bits) { return 63 - __builtin_clzll(bits); }

// A layer whose Reg spans several registers keeps its constants in one.
using Splat = decltype(Simd::splat('\0'));

// What the comparisons compare with, set up once per block.
struct Constants {
  Splat case_bit = Simd::splat(0x20);
  Splat space = Simd::splat(' ');
  Splat newline = Simd::splat('\n');
  Splat nul = Simd::splat('\0');
  Simd::Range separators = Simd::range('\t', '\r');  // and the space
  Simd::Range letters = Simd::range('a', 'z');       // folded
  Simd::Range low = Simd::range(0, ' ');             // every separator, and more
  Splat first[3], key_letter, ph_letter, ph_second, exact_first, exact_last;
  Simd::Range exact_second;
  Splat digit_letters[6][8], without_digit[8];

  explicit Constants(const LineFilter& filter)
      : key_letter(Simd::splat(filter.key_letter)),
        ph_letter(Simd::splat(filter.ph_letter)),
        ph_second(Simd::splat(filter.ph_second)),
        exact_first(Simd::splat(filter.exact_first)),
        exact_last(Simd::splat(filter.exact_last)),
        exact_second(Simd::range(filter.exact_second_low, filter.exact_second_high)) {
    for (int i = 0; i < 3; ++i) first[i] = Simd::splat(filter.first[i]);
    for (int i = 0; i < 8; ++i) {
      without_digit[i] = Simd::splat(filter.without_digit[i]);
      for (int d = 0; d < 6; ++d) digit_letters[d][i] = Simd::splat(filter.digit_letters[d][i]);
    }
  }
};

// What the layer derives from the line for its own steps, if it has any.
template <typename S, bool kOwnSteps = S::kOwnFirstLook || S::kOwnCloseLook || S::kOwnStops>
struct LayerTables {
  explicit LayerTables(const LineFilter&) {}
};
template <typename S>
struct LayerTables<S, true> {
  typename S::Tables tables;
  explicit LayerTables(const LineFilter& filter) : tables(S::tables(filter)) {}
};

struct Line {
  const LineFilter& filter;
  Constants c;
  LayerTables<Simd> layer;
  explicit Line(const LineFilter& f) : filter(f), c(f), layer(f) {}
};

// Each function below that a layer replaces calls it through one of these, which are
// instantiated only for such a layer.
template <typename S, int kFirst, bool kNonLetters>
SCAN_STEP Bits may_hold_start_by_table(const char* p, const LayerTables<S>& layer) {
  return S::template may_hold_start<kFirst, kNonLetters>(p, layer.tables);
}
template <typename S>
SCAN_STEP void close_look_by_table(const char* p, const LayerTables<S>& layer, Bits& separators,
                                   Bits& nonletters, Bits& exact, Bits& keys) {
  S::close_look(p, layer.tables, separators, nonletters, exact, keys);
}
template <typename S>
SCAN_STEP void stops_by_table(const char* p, const LayerTables<S>& layer, int distinct, Bits& stops,
                              Bits& ends, Bits* digits) {
  S::stops(p, layer.tables, distinct, stops, ends, digits);
}

SCAN_STEP Simd::Mask separator_bytes(Simd::Reg v, const Constants& c) {
  return Simd::either(Simd::inside(v, c.separators), Simd::equal(v, c.space));
}

SCAN_STEP Bits separator_bits(const char* p, const Constants& c) {
  Bits separators = 0;
  SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
    separators |= Simd::bits(separator_bytes(Simd::load(p + i), c)) << i;
  }
  return separators;
}

// The first look, which every 64 bytes get: whether (not 0) a byte that may start a word of
// interest (kFirst folded bytes, and non-letters when kNonLetters) follows a byte that may be a
// separator. It may say yes where no word of interest starts; never no where one does. A newline
// starts no word, which keeps a list with CR LF line ends, or empty lines, from looking closely
// at every line.
template <int kFirst, bool kNonLetters>
SCAN_STEP Bits may_hold_start(const char* p, const Line& line) {
  if constexpr (Simd::kOwnFirstLook) {
    return may_hold_start_by_table<Simd, kFirst, kNonLetters>(p, line.layer);
  } else {
    const Constants& c = line.c;
    Simd::Mask any;
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      const Simd::Reg v = Simd::load(p + i);
      const Simd::Reg folded = Simd::either_bits(v, c.case_bit);
      Simd::Mask wanted = Simd::equal(folded, c.first[0]);
      for (int k = 1; k < kFirst; ++k)
        wanted = Simd::either(wanted, Simd::equal(folded, c.first[k]));
      const Simd::Mask after_low = Simd::inside(Simd::load(p + i - 1), c.low);
      // With non-letters wanted too, the bytes passed over are the letters not wanted.
      const Simd::Mask start =
          kNonLetters
              ? Simd::but_not(after_low,
                              Simd::either(Simd::but_not(Simd::inside(folded, c.letters), wanted),
                                           Simd::equal(v, c.newline)))
              : Simd::both(after_low, wanted);
      any = i == 0 ? start : Simd::either(any, start);
    }
    return Simd::bits(any);
  }
}

// The close look, for 64 bytes that may hold a start of interest: the separators; the bytes
// that, as a word's first, send the word straight to the close test: non-letters (when
// kNonLetters) and the first bytes of words that may equal the typed word, by their first two
// bytes (`exact`); and those that give the typed key's letter (`keys`), whose words must also
// agree at every stop.
template <bool kNonLetters>
SCAN_STEP void close_look(const char* p, const Line& line, Bits& separators, Bits& nonletters,
                          Bits& exact, Bits& keys) {
  if constexpr (Simd::kOwnCloseLook) {
    close_look_by_table<Simd>(p, line.layer, separators, nonletters, exact, keys);
  } else {
    const Constants& c = line.c;
    separators = nonletters = exact = keys = 0;
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      const Simd::Reg v = Simd::load(p + i);
      const Simd::Reg folded = Simd::either_bits(v, c.case_bit);
      const Simd::Reg next = Simd::either_bits(Simd::load(p + i + 1), c.case_bit);
      const Simd::Mask key = Simd::either(
          Simd::equal(folded, c.key_letter),
          Simd::both(Simd::equal(folded, c.ph_letter), Simd::equal(next, c.ph_second)));
      separators |= Simd::bits(separator_bytes(v, c)) << i;
      if (kNonLetters) nonletters |= Simd::bits(Simd::outside(folded, c.letters)) << i;
      exact |= Simd::bits(Simd::both(Simd::equal(folded, c.exact_first),
                                     Simd::inside(next, c.exact_second)))
               << i;
      keys |= Simd::bits(key) << i;
    }
  }
}

// The bytes among the 64 at `p` that may start a word of the typed word's length whose last
// byte is the typed word's, case ignored: the word ends at a separator or NUL.
SCAN_STEP Bits exact_ends(const char* p, const Line& line) {
  const Constants& c = line.c;
  const std::size_t length = line.filter.exact_length;
  Bits ends = 0;
  SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
    const Simd::Reg last = Simd::either_bits(Simd::load(p + i + length - 1), c.case_bit);
    ends |= Simd::bits(Simd::both(Simd::equal(last, c.exact_last),
                                  Simd::inside(Simd::load(p + i + length), c.low)))
            << i;
  }
  return ends;
}

constexpr int kRegisters = 64 / Simd::kWidth;

// The stops among 64 bytes (see LineFilter): `stops`, and of them `ends`, the ends of words, and
// `digits[place]`, those with the place-th of the typed key's distinct digits (the ends at
// kEndPlace are the caller's, who adds the separators).
struct KeyStops {
  Bits stops = 0, ends = 0, digits[kEndPlace + 1];

  SCAN_STEP KeyStops(const char* p, const Line& line) {
    const Constants& c = line.c;
    const int distinct = line.filter.distinct_digits;
    if constexpr (Simd::kOwnStops) {
      stops_by_table<Simd>(p, line.layer, distinct, stops, ends, digits);
    } else {
      Simd::Reg folded[kRegisters];
      Simd::Mask digit[kRegisters];
      SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
        folded[r] = Simd::either_bits(Simd::load(p + r * Simd::kWidth), c.case_bit);
        digit[r] = Simd::inside(folded[r], c.letters);
      }
      SCAN_UNROLLED for (int k = 0; k < 8; ++k) {
        SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
          digit[r] = Simd::but_not(digit[r], Simd::equal(folded[r], c.without_digit[k]));
        }
      }
      SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
        const Simd::Mask nul = Simd::equal(Simd::load(p + r * Simd::kWidth), c.nul);
        stops |= Simd::bits(Simd::either(digit[r], nul)) << (r * Simd::kWidth);
        ends |= Simd::bits(nul) << (r * Simd::kWidth);
      }
      for (int place = 0; place < distinct; ++place) {
        const Splat* const letters = c.digit_letters[place];
        Simd::Mask same[kRegisters];
        SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) same[r] =
            Simd::equal(folded[r], letters[0]);
        for (int k = 1; k < line.filter.digit_letter_count[place]; ++k) {
          SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
            same[r] = Simd::either(same[r], Simd::equal(folded[r], letters[k]));
          }
        }
        Bits bits = 0;
        SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
          bits |= Simd::bits(same[r]) << (r * Simd::kWidth);
        }
        digits[place] = bits;
      }
    }
    // A letter that repeats the byte before it is passed over.
    Bits repeats = 0;
    SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
      const char* const at = p + r * Simd::kWidth;
      repeats |= Simd::bits(Simd::equal(Simd::load(at), Simd::load(at - 1))) << (r * Simd::kWidth);
    }
    stops &= ~repeats;
  }
};

std::size_t separator_in(const char* data, std::size_t from, std::size_t end, const Line& line) {
  for (std::size_t p = from; p < end; p += 64) {
    const Bits separators = separator_bits(data + p, line.c);
    if (separators != 0) {
      const std::size_t at = p + lowest_bit(separators);
      return at < end ? at : end;
    }
  }
  return end;
}

// A word whose key walk runs on past the 64 bytes it was at: the step it is at and its start.
struct Walk {
  int step = -1;  // none
  std::size_t start = 0;
};

// Walks the keys of the words that start at `keys` (and of `before`, carried in at the first
// byte) through the stops of the 64 bytes at data + p, one step per digit of the typed key and
// one for the end of the word. Returns the stops where the words that agree to the end have
// their last step; `after` gets the word that runs on past these bytes.
//
// Adding a bit just after each word's start (a seed) to the bits of the bytes that are not stops
// carries the bit up to the word's next stop; a word's walk never reaches the next word, for the
// separator between them is a stop. The stops that agree seed the next step. Which words agree is
// data that no branch could foresee: the steps are taken without any.
Bits walk_keys(const char* data, std::size_t p, const Line& line, Bits separators, Bits starts,
               Bits keys, const Walk& before, Walk& after) {
  KeyStops s(data + p, line);
  const Bits stop = s.stops | separators;
  s.digits[kEndPlace] = s.ends | separators;
  const LineFilter& filter = line.filter;
  Bits seeds = keys << 1;
  int runs_on = (keys >> 63) != 0 ? 0 : -1;  // the step at which the last word runs on, if it does
  const auto step = [&](int step) {
    seeds |= Bits{before.step == step};
    const Bits carried = ~stop + seeds;
    if (carried < seeds) runs_on = step;
    return carried & stop & s.digits[filter.step_place[step]];
  };
  const int last = filter.steps - 1;
  for (int k = 0; k < last; ++k) {
    const Bits agreed = step(k);
    if ((agreed >> 63) != 0) runs_on = k + 1;
    seeds = agreed << 1;
  }
  const Bits agreed = step(last);
  // At most one word runs on: the last, which starts here, or carried in. Whether one does is
  // as unforeseeable as which words agree, so `after` is set without a branch; its start counts
  // only when its step is not negative.
  after.step = runs_on;
  const std::size_t last_start = p + highest_bit(starts | 1);
  after.start = starts != 0 ? last_start : before.start;
  return agreed;
}

// The end of the word that holds data[p + bit]: the next separator.
std::size_t word_end(const char* data, std::size_t p, int bit, Bits separators, std::size_t length,
                     const Line& line) {
  const Bits after = separators & (~Bits{0} << bit);
  return after != 0 ? p + lowest_bit(after) : separator_in(data, p + 64, length, line);
}

// Hands the word data[start, end) to the close test and `sink`.
void close_test(const char* data, std::size_t start, std::size_t end, const LineFilter& filter,
                MatchSink sink, void* context) {
  const char* const word = data + start;
  const WordMatch match = match_word(filter, word, end - start);
  if (match != WordMatch::kNone) sink(context, word, end - start, match == WordMatch::kEqual);
}

// The words that start in the 64 bytes at data + p and go to the close test, and those whose
// key walks end here. Returns whether any word of interest starts there.
template <int kFirst, bool kNonLetters>
bool look_closely(const char* data, std::size_t p, std::size_t length, const Line& line, Walk& walk,
                  MatchSink sink, void* context) {
  Bits separators, nonletters, exact, keys;
  close_look<kNonLetters>(data + p, line, separators, nonletters, exact, keys);
  if (!Simd::kOwnCloseLook && line.filter.exact_length != 0) exact &= exact_ends(data + p, line);
  Bits starts = word_starts(separators, (data + p)[-1]);
  // The bytes past `length` belong to no word of this block.
  if (length - p < 64) starts &= ~Bits{0} >> (64 - (length - p));
  Bits go_on = kFirst == 0 ? starts : (nonletters | exact) & starts;
  keys &= starts & ~go_on;  // a word goes to the close test once
  const bool of_interest = (go_on | keys) != 0;
  const Walk before = walk;
  walk = Walk();
  if (kFirst != 0 && (keys != 0 || before.step >= 0)) {
    Bits landed = walk_keys(data, p, line, separators, starts, keys, before, walk);
    while (landed != 0) {
      const int at = lowest_bit(landed);
      landed &= landed - 1;
      const Bits earlier = starts & ((Bits{1} << at) - 1);
      if (earlier != 0)
        go_on |= Bits{1} << highest_bit(earlier);
      else  // the word carried in
        close_test(data, before.start, word_end(data, p, at, separators, length, line), line.filter,
                   sink, context);
    }
  }
  while (go_on != 0) {
    const int bit = lowest_bit(go_on);
    go_on &= go_on - 1;
    close_test(data, p + bit, word_end(data, p, bit, separators, length, line), line.filter, sink,
               context);
  }
  return of_interest;
}

// The first stretch of 64 bytes at or after data + p (p a multiple of 64) that may hold a start
// of interest, or `length`. Two stretches to a branch, for most hold none; and no call in the
// loop, so that the constants stay in registers.
template <int kFirst, bool kNonLetters>
SCAN_STEP std::size_t next_of_interest(const char* data, std::size_t p, std::size_t length,
                                       const Line& line) {
  for (; p + 64 < length; p += 128) {
    const Bits first = may_hold_start<kFirst, kNonLetters>(data + p, line);
    const Bits second = may_hold_start<kFirst, kNonLetters>(data + p + 64, line);
    if ((first | second) != 0) return first != 0 ? p : p + 64;
  }
  return p < length && may_hold_start<kFirst, kNonLetters>(data + p, line) != 0 ? p : length;
}

// kFirst 0: every word goes to the close test.
template <int kFirst, bool kNonLetters>
void scan(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
          void* context) {
  const Line line(filter);
  Walk walk;
  for (std::size_t p = 0;;) {
    if (kFirst != 0) p = next_of_interest<kFirst, kNonLetters>(data, p, length, line);
    // Stretches of interest come in runs where the list is sorted: they are looked at closely one
    // after another, until one holds no word of interest and no key walk runs on past it.
    for (bool go_on = true; go_on && p < length; p += 64) {
      go_on = look_closely<kFirst, kNonLetters>(data, p, length, line, walk, sink, context) ||
              walk.step >= 0 || kFirst == 0;
    }
    if (p >= length) return;
  }
}

template <bool kNonLetters>
void scan_for_first_bytes(const char* data, std::size_t length, const LineFilter& filter,
                          MatchSink sink, void* context) {
  switch (filter.first_count) {
    case 1:
      return scan<1, kNonLetters>(data, length, filter, sink, context);
    case 2:
      return scan<2, kNonLetters>(data, length, filter, sink, context);
    default:
      return scan<3, kNonLetters>(data, length, filter, sink, context);
  }
}

void scan_block(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                void* context) {
  if (filter.every_word) return scan<0, true>(data, length, filter, sink, context);
  if (filter.nonletters) return scan_for_first_bytes<true>(data, length, filter, sink, context);
  scan_for_first_bytes<false>(data, length, filter, sink, context);
}

std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  static const LineFilter no_line;
  return separator_in(data, from, end, Line(no_line));
}

}  // namespace
