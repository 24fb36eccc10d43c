// The search 64 bytes at a time with AVX-512 F, BW and VBMI: one table lookup classifies all 64
// bytes, and comparisons give bit masks directly. Built for AVX-512 and run only where the CPU
// has it.
#include "scan_kernel.h"
#include "simd_avx512.h"

namespace {

struct Simd : Avx512 {
  static constexpr bool kLooksUpClasses = true;
  // One of LineFilter's tables: the bytes below 0x80 in two registers; a byte of 0x80 or above
  // gets every class that any such byte has.
  struct Table {
    Reg low, high, above;
    explicit Table(const unsigned char* classes) {
      unsigned char of_above = 0;
      for (int b = 0x80; b < 0x100; ++b) of_above |= classes[b];
      low = _mm512_loadu_si512(classes);
      high = _mm512_loadu_si512(classes + 64);
      above = splat(static_cast<char>(of_above));
    }
    // The classes of each of the 64 bytes `v`, looked up by its low seven bits.
    Reg of(Reg v) const {
      return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), _mm512_permutex2var_epi8(low, v, high),
                                    above);
    }
  };
  struct Tables {
    Table first, second, digits;
    Reg space = splat(' ');
    Reg of_interest = splat(kNonLetterClass | kExactFirstClass | kKeyLetterClass | kPhLetterClass);
  };
  static Tables tables(const LineFilter& filter) {
    return {Table(filter.classes), Table(filter.second_classes), Table(filter.digits)};
  }
  static Mask has(Reg classes, unsigned char wanted) {
    return _mm512_test_epi8_mask(classes, splat(static_cast<char>(wanted)));
  }

  static std::uint64_t may_hold_start(const char* p, const Tables& t) {
    const Mask after_low = _mm512_cmple_epu8_mask(load(p - 1), t.space);
    return _mm512_mask_test_epi8_mask(after_low, t.first.of(load(p)), t.of_interest);
  }
  static void close_look(const char* p, const Tables& t, std::uint64_t& separators,
                         std::uint64_t& nonletters, std::uint64_t& exact, std::uint64_t& keys) {
    const Reg c = t.first.of(load(p));
    const Reg next = t.second.of(load(p + 1));
    separators = has(c, kSeparatorClass);
    nonletters = has(c, kNonLetterClass);
    exact = has(c, kExactFirstClass) & has(next, kExactSecondClass);
    keys = has(c, kKeyLetterClass) | (has(c, kPhLetterClass) & has(next, kPhSecondClass));
  }
  template <typename Stops>
  static void stops(const char* p, const Tables& t, int distinct, Stops& stops) {
    const Reg v = load(p);
    const Reg d = t.digits.of(v);
    stops.stops = _mm512_mask_test_epi8_mask(~equal(v, load(p - 1)), d, d);
    stops.ends = equal(d, splat(kEndDigit));
    for (int i = 0; i < distinct; ++i) stops.digit[i] = equal(d, splat(static_cast<char>(1 + i)));
  }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kAvx512VbmiKernel = {"avx512vbmi", scan_block, find_separator};
