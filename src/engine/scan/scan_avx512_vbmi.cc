// The search 64 bytes at a time with AVX-512 F, BW and VBMI: one table lookup classifies all 64
// bytes, and comparisons give bit masks directly. Built for AVX-512 and run only where the CPU
// has it.
#include "scan_kernel.h"
#include "scan_layer.h"
#include "simd_avx512.h"

namespace {

struct Simd : Avx512, EveryStepCompared {
  static constexpr bool kOwnLowBytes = true, kOwnInterest = true, kOwnCloseLook = true,
                        kOwnStops = true;
  // One of LineFilter's tables: the bytes below 0x80 in two registers, and those from 0x80 up
  // (classes_from_0x80).
  struct Table {
    Reg low, high, above;
    explicit Table(const unsigned char* classes) {
      low = _mm512_loadu_si512(classes);
      high = _mm512_loadu_si512(classes + 64);
      above = splat(static_cast<char>(classes_from_0x80(classes)));
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

  static Mask own_low_bytes(Reg v) { return _mm512_cmple_epu8_mask(v, splat(' ')); }
  // The line's shape is in the table: it holds the non-letters only where the line wants them.
  template <int, bool>
  static Mask own_interest(Reg v, const Tables& t) {
    return _mm512_test_epi8_mask(t.first.of(v), t.of_interest);
  }
  static void own_close_look(const char* p, const Tables& t, std::uint64_t& separators,
                             std::uint64_t& nonletters, std::uint64_t& exact, std::uint64_t& keys) {
    const Reg c = t.first.of(load(p));
    const Reg next = t.second.of(load(p + 1));
    separators = has(c, kSeparatorClass);
    nonletters = has(c, kNonLetterClass);
    exact = has(c, kExactFirstClass) & has(next, kExactSecondClass);
    keys = has(c, kKeyLetterClass) | (has(c, kPhLetterClass) & has(next, kPhSecondClass));
  }
  static void own_stops(const char* p, const Tables& t, int distinct, std::uint64_t& stops,
                        std::uint64_t& ends, std::uint64_t* digits) {
    const Reg d = t.digits.of(load(p));
    stops_from_digits([&](unsigned char classes) { return has(d, classes); }, distinct, stops, ends,
                      digits);
  }
};

}  // namespace

#define SCAN_KERNEL_NAME avx512_vbmi
#include "scan_generic.h"

extern const ScanKernel kernel_avx512_vbmi = {
    "avx512_vbmi", kCpuAvx512f | kCpuAvx512bw | kCpuAvx512vbmi, avx512_vbmi::search,
    avx512_vbmi::find_separator, avx512_vbmi::take_steps};
