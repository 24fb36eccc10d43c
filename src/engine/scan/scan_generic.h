// The search, written once for every instruction set. A kernel's source file defines `Simd`, a
// thin layer over its registers, and then includes this file; everything here has internal
// linkage, so that code built for one instruction set never stands in for another's.
//
// Simd provides, for vectors of kWidth bytes (a power of two up to 64) in one register or
// several:
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
// and flags the steps it takes its own way, with what it derives from the line in
// `Tables tables(const LineFilter&)`:
//   kOwnLowBytes    Mask own_low_bytes(Reg): the bytes up to 0x20, and perhaps more
//   kOwnInterest    template <int kFirst, bool kNonLetters>
//                   Mask own_interest(Reg, const Tables&): the bytes that may be the first bytes
//                   of words of interest (LineFilter), and perhaps more; the line's shape, as
//                   template arguments, is what a layer that compares needs to know
//   kOwnAny         bool own_any(Mask): whether any byte passes
//   kOwnCloseLook   void own_close_look(const char*, const Tables&, Bits& separators,
//                   Bits& nonletters, Bits& exact, Bits& keys): the close look, the last three
//                   right at the starts of words, whatever they hold elsewhere
//   kOwnExactEnds   with kOwnCloseLook: its `exact` has the typed word's length and last byte
//                   tested already
//   kOwnStops       void own_stops(const char*, const Tables&, int distinct_digits, Bits& stops,
//                   Bits& ends, Bits* digits): the stops, with or without the separators
// and kLeftToTheVectorizer where its registers are plain integers: the first look, which every 64
// bytes get, is then a loop that the compiler may turn into its CPU's own vector instructions,
// rather than one unrolled.
// each doing what the step of the same name below does by comparing. The static_asserts
// below check the shape of all this. A vector whose length is known only at run time (SVE, the
// RISC-V vector extension) does not fit: kWidth is a constant that the unrolled loops count with,
// and the stops keep a register per kWidth bytes in arrays, which such vectors cannot be held in.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "scan_kernel.h"
#include "word_match.h"

// Each kernel's copy of the search has the kernel's name, SCAN_KERNEL_NAME, which its file
// defines (a profiler shows (anonymous namespace)::avx2::search); it keeps internal linkage, as
// each copy is built for its own instruction set.
#ifndef SCAN_KERNEL_NAME
#error "a kernel's file defines SCAN_KERNEL_NAME before it includes scan_generic.h"
#endif
namespace {
namespace SCAN_KERNEL_NAME {

// 64 bytes of the list, a bit each, the first byte lowest.
using Bits = std::uint64_t;

// A layer whose Reg spans several registers keeps its constants in one.
using Splat = decltype(Simd::splat('\0'));

// Vector types carry attributes that a template argument drops, which is all these checks ask of
// them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
static_assert(Simd::kWidth >= 8 && Simd::kWidth <= 64 && (Simd::kWidth & (Simd::kWidth - 1)) == 0,
              "a vector is 8, 16, 32 or 64 bytes: a whole number of them makes 64");
static_assert(std::is_same_v<decltype(Simd::load(nullptr)), typename Simd::Reg>, "load");
static_assert(
    std::is_same_v<decltype(Simd::bits(std::declval<typename Simd::Mask>())), std::uint64_t>,
    "bits");
static_assert(
    std::is_same_v<decltype(Simd::equal(std::declval<typename Simd::Reg>(), std::declval<Splat>())),
                   typename Simd::Mask>,
    "equal to a constant");
static_assert(
    std::is_same_v<decltype(Simd::inside(std::declval<typename Simd::Reg>(), Simd::range(0, 0))),
                   typename Simd::Mask>,
    "inside a range");
static_assert(std::is_same_v<decltype(Simd::kOwnLowBytes), const bool> &&
                  std::is_same_v<decltype(Simd::kOwnInterest), const bool> &&
                  std::is_same_v<decltype(Simd::kOwnAny), const bool> &&
                  std::is_same_v<decltype(Simd::kOwnCloseLook), const bool> &&
                  std::is_same_v<decltype(Simd::kOwnExactEnds), const bool> &&
                  std::is_same_v<decltype(Simd::kOwnStops), const bool> &&
                  std::is_same_v<decltype(Simd::kLeftToTheVectorizer), const bool>,
              "every step flagged, its own or compared");
#pragma GCC diagnostic pop

// The per-stretch steps below are small and run for every 64 bytes: inlined and unrolled, their
// constants stay in registers.
#define SCAN_STEP __attribute__((always_inline)) inline
#define SCAN_UNROLLED _Pragma("GCC unroll 8")

int lowest_bit(Bits bits) { return __builtin_ctzll(bits); }
int highest_bit(Bits bits) { return 63 - __builtin_clzll(bits); }

constexpr int kRegisters = 64 / Simd::kWidth;

// What the comparisons compare with, set up once per block.
struct Constants {
  Splat case_bit = Simd::splat(0x20);
  Splat space = Simd::splat(' ');
  Splat newline = Simd::splat('\n');
  Splat nul = Simd::splat('\0');
  Simd::Range separators = Simd::range('\t', '\r');  // and the space
  Simd::Range letters = Simd::range('a', 'z');       // folded
  Simd::Range low = Simd::range(0, ' ');             // every separator, and more
  Splat first[kMaxFirstBytes], key_letter, ph_letter, ph_second, exact_first, exact_last;
  Simd::Range exact_second;
  Splat digit_letters[kMaxDistinctDigits][kMaxLettersOfADigit], without_digit[kLettersWithoutDigit];

  explicit Constants(const LineFilter& filter)
      : key_letter(Simd::splat(filter.key_letter)),
        ph_letter(Simd::splat(filter.ph_letter)),
        ph_second(Simd::splat(filter.ph_second)),
        exact_first(Simd::splat(filter.exact_first)),
        exact_last(Simd::splat(filter.exact_last)),
        exact_second(Simd::range(filter.exact_second_low, filter.exact_second_high)) {
    for (int i = 0; i < kMaxFirstBytes; ++i) first[i] = Simd::splat(filter.first[i]);
    for (int i = 0; i < kLettersWithoutDigit; ++i)
      without_digit[i] = Simd::splat(filter.without_digit[i]);
    for (int d = 0; d < kMaxDistinctDigits; ++d)
      for (int i = 0; i < kMaxLettersOfADigit; ++i)
        digit_letters[d][i] = Simd::splat(filter.digit_letters[d][i]);
  }
};

// What the layer derives from the line for its own steps, if it has any.
template <typename S, bool kOwnSteps = S::kOwnInterest || S::kOwnCloseLook || S::kOwnStops>
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

// Each layer step is called through one of these, which are instantiated only for a layer that
// has that step.
template <typename S, int kFirst, bool kNonLetters>
SCAN_STEP typename S::Mask own_interest(typename S::Reg v, const LayerTables<S>& layer) {
  return S::template own_interest<kFirst, kNonLetters>(v, layer.tables);
}
template <typename S>
SCAN_STEP void own_close_look(const char* p, const LayerTables<S>& layer, Bits& separators,
                              Bits& nonletters, Bits& exact, Bits& keys) {
  S::own_close_look(p, layer.tables, separators, nonletters, exact, keys);
}
template <typename S>
SCAN_STEP void own_stops(const char* p, const LayerTables<S>& layer, int distinct, Bits& stops,
                         Bits& ends, Bits* digits) {
  S::own_stops(p, layer.tables, distinct, stops, ends, digits);
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

// The bytes up to 0x20: every separator, and more.
template <typename S = Simd>
SCAN_STEP typename S::Mask low_bytes(typename S::Reg v, const Constants& c) {
  if constexpr (S::kOwnLowBytes)
    return S::own_low_bytes(v);
  else
    return S::inside(v, c.low);
}

// The bytes that may be the first bytes of words of interest: kFirst folded bytes, and the
// non-letters when kNonLetters. A newline is none, which keeps a list with CR LF line ends, or
// empty lines, from looking closely at every line.
template <int kFirst, bool kNonLetters>
SCAN_STEP Simd::Mask interest(Simd::Reg v, const Line& line) {
  if constexpr (Simd::kOwnInterest) {
    return own_interest<Simd, kFirst, kNonLetters>(v, line.layer);
  } else {
    const Constants& c = line.c;
    const Simd::Reg folded = Simd::either_bits(v, c.case_bit);
    Simd::Mask wanted = Simd::equal(folded, c.first[0]);
    for (int k = 1; k < kFirst; ++k) wanted = Simd::either(wanted, Simd::equal(folded, c.first[k]));
    if (!kNonLetters) return wanted;
    // With non-letters wanted too, the bytes passed over are the letters not wanted.
    return Simd::but_not(Simd::either(wanted, Simd::outside(folded, c.letters)),
                         Simd::equal(v, c.newline));
  }
}

template <typename S = Simd>
SCAN_STEP bool any(typename S::Mask m) {
  if constexpr (S::kOwnAny)
    return S::own_any(m);
  else
    return S::bits(m) != 0;
}

// The first look, which every 64 bytes get: whether a byte that may start a word of interest
// follows a byte that may be a separator. It may say yes where no word of interest starts; never
// no where one does.
template <int kFirst, bool kNonLetters>
SCAN_STEP bool first_look(const char* p, const Line& line) {
  const auto start_at = [&](std::size_t i) {
    return Simd::both(low_bytes(Simd::load(p + i - 1), line.c),
                      interest<kFirst, kNonLetters>(Simd::load(p + i), line));
  };
  Simd::Mask starts{};
  if constexpr (Simd::kLeftToTheVectorizer) {
    for (std::size_t i = 0; i < 64; i += Simd::kWidth) starts = Simd::either(starts, start_at(i));
  } else {
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      starts = Simd::either(starts, start_at(i));
    }
  }
  return any(starts);
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

// The close look, for 64 bytes that may hold a start of interest: the separators; the bytes
// that, as a word's first, send the word straight to the full tests: non-letters (when
// kNonLetters) and the first bytes of words that may equal the typed word, by their first two
// bytes, length and last byte (`exact`); and those that give the typed key's letter (`keys`),
// whose words must also agree at every stop. The last three are right at the starts of words.
template <bool kNonLetters>
SCAN_STEP void close_look(const char* p, const Line& line, Bits& separators, Bits& nonletters,
                          Bits& exact, Bits& keys) {
  if constexpr (Simd::kOwnCloseLook) {
    own_close_look<Simd>(p, line.layer, separators, nonletters, exact, keys);
    if (!Simd::kOwnExactEnds && line.filter.exact_length != 0) exact &= exact_ends(p, line);
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
    if (line.filter.exact_length != 0) exact &= exact_ends(p, line);
  }
}

// The stops among 64 bytes (see LineFilter): `stops`, and of them `ends`, the ends of words, and
// `digits[place]`, those with the place-th of the typed key's distinct digits (the ends at
// kEndPlace are the caller's, who adds the separators).
struct KeyStops {
  Bits stops = 0, ends = 0, digits[kEndPlace + 1];

  SCAN_STEP KeyStops(const char* p, const Line& line) {
    const Constants& c = line.c;
    const int distinct = line.filter.distinct_digits;
    if constexpr (Simd::kOwnStops) {
      own_stops<Simd>(p, line.layer, distinct, stops, ends, digits);
    } else {
      Simd::Reg folded[kRegisters];
      Simd::Mask digit[kRegisters];
      SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
        folded[r] = Simd::either_bits(Simd::load(p + r * Simd::kWidth), c.case_bit);
        digit[r] = Simd::inside(folded[r], c.letters);
      }
      SCAN_UNROLLED for (int k = 0; k < kLettersWithoutDigit; ++k) {
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
    // A letter that repeats the byte before it gives no digit (the third of the key rules'
    // consequences in key_rules.h).
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
// Only the last word of a stretch can run on, so one is all there is.
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

// The words that start in the 64 bytes at data + p and go to the full tests, and those whose
// key walks end here. Returns whether any word of interest starts there.
template <bool kNonLetters>
bool look_at_stretch(const char* data, std::size_t p, std::size_t length, const Line& line,
                     Walk& walk, MatchSink sink, void* context) {
  Bits separators, nonletters, exact, keys;
  close_look<kNonLetters>(data + p, line, separators, nonletters, exact, keys);
  // The bytes past `length` are separators: they start no word.
  const Bits starts = word_starts(separators, (data + p)[-1]);
  Bits direct = (nonletters | exact) & starts;
  keys &= starts & ~direct;  // a word goes to the full tests once
  const bool of_interest = (direct | keys) != 0;
  const Walk before = walk;
  walk = Walk();
  if (keys != 0 || before.step >= 0) {
    Bits landed = walk_keys(data, p, line, separators, starts, keys, before, walk);
    while (landed != 0) {
      const int at = lowest_bit(landed);
      landed &= landed - 1;
      const Bits earlier = starts & ((Bits{1} << at) - 1);
      if (earlier != 0)
        direct |= Bits{1} << highest_bit(earlier);
      else  // the word carried in
        hand_on_if_matching(line.filter, data + before.start,
                            word_end(data, p, at, separators, length, line) - before.start, sink,
                            context);
    }
  }
  while (direct != 0) {
    const int bit = lowest_bit(direct);
    direct &= direct - 1;
    const std::size_t start = p + static_cast<std::size_t>(bit);
    hand_on_if_matching(line.filter, data + start,
                        word_end(data, p, bit, separators, length, line) - start, sink, context);
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
    const bool first = first_look<kFirst, kNonLetters>(data + p, line);
    const bool second = first_look<kFirst, kNonLetters>(data + p + 64, line);
    if (first || second) return first ? p : p + 64;
  }
  return p < length && first_look<kFirst, kNonLetters>(data + p, line) ? p : length;
}

template <int kFirst, bool kNonLetters>
void search_for(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                void* context) {
  const Line line(filter);
  Walk walk;
  for (std::size_t p = 0;;) {
    p = next_of_interest<kFirst, kNonLetters>(data, p, length, line);
    // Stretches of interest come in runs where the list is sorted: they are looked at closely one
    // after another, until one holds no word of interest and no key walk runs on past it.
    for (bool in_run = true; in_run && p < length; p += 64) {
      in_run = look_at_stretch<kNonLetters>(data, p, length, line, walk, sink, context) ||
               walk.step >= 0;
    }
    if (p >= length) return;
  }
}

// Calls `f` with the line's shape as template arguments: how many first bytes of interest it has,
// and whether it wants the non-letters.
template <typename F>
SCAN_STEP void with_shape(const LineFilter& filter, F f) {
  const auto with_count = [&](auto non_letters) {
    switch (filter.first_count) {
      case 1:
        return f(std::integral_constant<int, 1>(), non_letters);
      case 2:
        return f(std::integral_constant<int, 2>(), non_letters);
      default:
        return f(std::integral_constant<int, kMaxFirstBytes>(), non_letters);
    }
  };
  if (filter.nonletters)
    with_count(std::true_type());
  else
    with_count(std::false_type());
}

void search(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
            void* context) {
  with_shape(filter, [&](auto first, auto nonletters) {
    search_for<decltype(first)::value, decltype(nonletters)::value>(data, length, filter, sink,
                                                                    context);
  });
}

std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  static const LineFilter no_line;
  return separator_in(data, from, end, Line(no_line));
}

void take_steps(const char* p, const LineFilter& filter, StretchSteps& steps) {
  const Line line(filter);
  with_shape(filter, [&](auto first, auto nonletters) {
    steps.first_look = first_look<decltype(first)::value, decltype(nonletters)::value>(p, line);
    close_look<decltype(nonletters)::value>(p, line, steps.separators, steps.nonletters,
                                            steps.exact, steps.keys);
  });
  const Bits starts = word_starts(steps.separators, p[-1]);
  steps.nonletters &= starts;
  steps.exact &= starts;
  steps.keys &= starts;
  const KeyStops s(p, line);
  steps.stops = s.stops & ~steps.separators;
  steps.ends = s.ends & ~steps.separators;
  for (int place = 0; place < filter.distinct_digits; ++place)
    steps.digits[place] = s.digits[place] & ~steps.separators;
}

}  // namespace SCAN_KERNEL_NAME
}  // namespace
