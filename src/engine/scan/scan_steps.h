// The steps of the search over 64 bytes of the list, taken by comparing, for any layer `Simd`
// (the contract below). A kernel's `Steps` derives from ComparedSteps<Simd, Steps> and defines
// again, whole, any step it takes its own way: a table lookup, say. The search (scan_generic.h)
// calls only Steps. Internal linkage, as in ascii.h: each kernel has its own copy, built for its
// instruction set.
//
// Simd, for vectors of kWidth bytes (a power of two from 8 to 64) in one register or several; what
// each maps to with SSE2, AVX-512 and NEON:
//   Reg load(const char*)          kWidth bytes, unaligned        loadu, loadu, vld1q x4
//   Splat splat(char)              every byte the same: a Reg,    set1, set1, vdupq
//                                  or one register of a Reg of several
//   Reg either_bits(Reg, Splat)    bitwise or                     or, or, vorrq
//   Range range(low, high)         bytes low..high, both below 0x80 or neither; what inside and
//                                  outside compare with
//   Mask inside(Reg, Range)        per byte, unsigned             add+cmpgt, sub+cmple, sub+vcle
//   Mask outside(Reg, Range)                                      add+cmpgt, sub+cmpgt, sub+vcgt
//   Mask equal(Reg, Reg or Splat)  per byte                       cmpeq, cmpeq, vceqq
//   Mask either, both, but_not     on masks: or, and, and-not     or, kor, vorrq ...
//   uint64_t bits(Mask)            a bit per byte, first lowest   movemask, itself, vpaddq x3
//
// Each step may pass more than its contract below says, where that only sends more words on to
// the full tests: the first look more stretches, the exact test more word starts. Every other
// set of bits is exact, and the step tests hold each kernel's to a byte-by-byte model.
#ifndef SPELL_CHECKER_ENGINE_SCAN_STEPS_H_
#define SPELL_CHECKER_ENGINE_SCAN_STEPS_H_

#include <cstddef>
#include <cstdint>

#include "line_filter.h"

namespace {

// 64 bytes of the list, a bit each, the first byte lowest.
using Bits = std::uint64_t;

// The per-stretch steps are small and run for every 64 bytes: inlined and unrolled, their
// constants stay in registers.
#define SCAN_STEP __attribute__((always_inline)) inline
#define SCAN_UNROLLED _Pragma("GCC unroll 8")

// The separators among the 64 bytes at `p`.
template <typename Simd>
SCAN_STEP Bits separator_bits(const char* p) {
  const auto separators = Simd::range('\t', '\r');
  const auto space = Simd::splat(' ');
  Bits bits = 0;
  SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
    const typename Simd::Reg v = Simd::load(p + i);
    bits |= Simd::bits(Simd::either(Simd::inside(v, separators), Simd::equal(v, space))) << i;
  }
  return bits;
}

// What the close look finds (see ComparedSteps::close_look).
struct CloseLook {
  Bits separators = 0, nonletters = 0, exact = 0, keys = 0;
};

// What the stops step finds (see ComparedSteps::stops); digits[kEndPlace] is the search's.
struct KeyStops {
  Bits stops = 0, ends = 0, digits[kEndPlace + 1] = {};
};

template <typename Simd, typename Self>
class ComparedSteps {
 public:
  using Reg = typename Simd::Reg;
  using Mask = typename Simd::Mask;
  using Splat = decltype(Simd::splat('\0'));
  static constexpr int kRegisters = 64 / Simd::kWidth;

  explicit ComparedSteps(const LineFilter& line) : filter(line), c(line) {}

  const LineFilter& filter;

  // The bytes up to 0x20 (every separator), and perhaps more.
  SCAN_STEP Mask low_bytes(Reg v) const { return Simd::inside(v, c.low); }

  // The bytes that may be the first bytes of words of interest: kFirst folded bytes, and the
  // non-letters when kNonLetters; perhaps more. A newline is none, which keeps a list with CR LF
  // line ends, or empty lines, from looking closely at every line. The line's shape is in the
  // template arguments, which a layer that compares needs to know and one that looks up does not.
  template <int kFirst, bool kNonLetters>
  SCAN_STEP Mask interest(Reg v) const {
    const Reg folded = Simd::either_bits(v, c.case_bit);
    Mask wanted = Simd::equal(folded, c.first[0]);
    for (int k = 1; k < kFirst; ++k) wanted = Simd::either(wanted, Simd::equal(folded, c.first[k]));
    if (!kNonLetters) return wanted;
    // With non-letters wanted too, the bytes passed over are the letters not wanted.
    return Simd::but_not(Simd::either(wanted, Simd::outside(folded, c.letters)),
                         Simd::equal(v, c.newline));
  }

  // Whether any byte of the mask passes.
  SCAN_STEP bool any(Mask m) const { return Simd::bits(m) != 0; }

  // The first look, which every 64 bytes get: whether a byte that may start a word of interest
  // follows a byte that may be a separator. It may say yes where no word of interest starts;
  // never no where one does.
  template <int kFirst, bool kNonLetters>
  SCAN_STEP bool first_look(const char* p) const {
    Mask starts{};
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      starts = Simd::either(
          starts, Simd::both(self().low_bytes(Simd::load(p + i - 1)),
                             self().template interest<kFirst, kNonLetters>(Simd::load(p + i))));
    }
    return self().any(starts);
  }

  // The close look, for 64 bytes that may hold a start of interest: the separators; the bytes
  // that, as a word's first, send the word straight to the full tests: non-letters (when
  // kNonLetters) and the first bytes of words that may be the typed word (may_be_typed_word,
  // and perhaps more) (`exact`); and those that give the typed key's letter (`keys`), whose
  // words must also agree at every stop. The last three are right at the starts of words,
  // whatever they hold elsewhere.
  template <bool kNonLetters>
  SCAN_STEP CloseLook close_look(const char* p) const {
    CloseLook look;
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      const Reg v = Simd::load(p + i);
      const Reg folded = Simd::either_bits(v, c.case_bit);
      const Reg next = Simd::either_bits(Simd::load(p + i + 1), c.case_bit);
      const Mask key = Simd::either(
          Simd::equal(folded, c.key_letter),
          Simd::both(Simd::equal(folded, c.ph_letter), Simd::equal(next, c.ph_second)));
      if (kNonLetters) look.nonletters |= Simd::bits(Simd::outside(folded, c.letters)) << i;
      look.exact |= Simd::bits(Simd::both(Simd::equal(folded, c.exact_first),
                                          Simd::inside(next, c.exact_second)))
                    << i;
      look.keys |= Simd::bits(key) << i;
    }
    look.separators = separator_bits<Simd>(p);
    if (filter.exact_length != 0) look.exact &= exact_ends(p);
    return look;
  }

  // The bytes among the 64 at `p` that may start a word of the typed word's length whose last
  // byte is the typed word's, case ignored: the word ends at a separator or NUL. For a close look
  // that tests a word's first two bytes its own way.
  SCAN_STEP Bits exact_ends(const char* p) const {
    const std::size_t length = filter.exact_length;
    Bits ends = 0;
    SCAN_UNROLLED for (std::size_t i = 0; i < 64; i += Simd::kWidth) {
      const Reg last = Simd::either_bits(Simd::load(p + i + length - 1), c.case_bit);
      ends |= Simd::bits(Simd::both(Simd::equal(last, c.exact_last),
                                    Simd::inside(Simd::load(p + i + length), c.low)))
              << i;
    }
    return ends;
  }

  // The stops among 64 bytes (see LineFilter) as the bytes' own digits give them: `stops`, and of
  // them `ends`, the ends of words, and `digits[place]`, those with the place-th of the typed
  // key's distinct digits. The search takes out the letters that repeat the byte before them,
  // which no lookup of one byte can see.
  SCAN_STEP KeyStops stops(const char* p) const {
    KeyStops s;
    Reg folded[kRegisters];
    Mask digit[kRegisters];
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
      const Mask nul = Simd::equal(Simd::load(p + r * Simd::kWidth), c.nul);
      s.stops |= Simd::bits(Simd::either(digit[r], nul)) << (r * Simd::kWidth);
      s.ends |= Simd::bits(nul) << (r * Simd::kWidth);
    }
    for (int place = 0; place < filter.distinct_digits; ++place) {
      const Splat* const letters = c.digit_letters[place];
      Mask same[kRegisters];
      SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) same[r] =
          Simd::equal(folded[r], letters[0]);
      for (int k = 1; k < filter.digit_letter_count[place]; ++k) {
        SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
          same[r] = Simd::either(same[r], Simd::equal(folded[r], letters[k]));
        }
      }
      Bits bits = 0;
      SCAN_UNROLLED for (int r = 0; r < kRegisters; ++r) {
        bits |= Simd::bits(same[r]) << (r * Simd::kWidth);
      }
      s.digits[place] = bits;
    }
    return s;
  }

 protected:
  // What the comparisons compare with, set up once per line.
  struct Constants {
    Splat case_bit = Simd::splat(0x20);
    Splat newline = Simd::splat('\n');
    Splat nul = Simd::splat('\0');
    typename Simd::Range letters = Simd::range('a', 'z');  // folded
    typename Simd::Range low = Simd::range(0, ' ');        // every separator, and more
    Splat first[kMaxFirstBytes], key_letter, ph_letter, ph_second, exact_first, exact_last;
    typename Simd::Range exact_second;
    Splat digit_letters[kMaxDistinctDigits][kMaxLettersOfADigit],
        without_digit[kLettersWithoutDigit];

    explicit Constants(const LineFilter& f)
        : key_letter(Simd::splat(f.key_letter)),
          ph_letter(Simd::splat(f.ph_letter)),
          ph_second(Simd::splat(f.ph_second)),
          exact_first(Simd::splat(f.exact_first)),
          exact_last(Simd::splat(f.exact_last)),
          exact_second(Simd::range(f.exact_second_low, f.exact_second_high)) {
      for (int i = 0; i < kMaxFirstBytes; ++i) first[i] = Simd::splat(f.first[i]);
      for (int i = 0; i < kLettersWithoutDigit; ++i)
        without_digit[i] = Simd::splat(f.without_digit[i]);
      for (int d = 0; d < kMaxDistinctDigits; ++d)
        for (int i = 0; i < kMaxLettersOfADigit; ++i)
          digit_letters[d][i] = Simd::splat(f.digit_letters[d][i]);
    }
  };
  const Constants c;

 private:
  // The composite steps call the steps a kernel may define again through this.
  SCAN_STEP const Self& self() const { return static_cast<const Self&>(*this); }
};

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SCAN_STEPS_H_
