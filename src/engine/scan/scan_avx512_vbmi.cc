// The search 64 bytes at a time with AVX-512 F, BW and VBMI: one table lookup classifies all 64
// bytes, and comparisons give bit masks directly. Built for AVX-512 and run only where the CPU
// has it.
#include "scan_kernel.h"
#include "scan_lookup.h"
#include "simd_avx512.h"

namespace {

using Simd = Avx512;

// One of LineFilter's tables: the bytes below 0x80 in two registers, and those from 0x80 up
// (classes_from_0x80).
struct Table {
  Avx512::Reg low, high, above;
  explicit Table(const unsigned char* classes)
      : low(_mm512_loadu_si512(classes)),
        high(_mm512_loadu_si512(classes + 64)),
        above(Avx512::splat(static_cast<char>(classes_from_0x80(classes)))) {}
  // The classes of each of the 64 bytes `v`, looked up by its low seven bits.
  Avx512::Reg of(Avx512::Reg v) const {
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), _mm512_permutex2var_epi8(low, v, high),
                                  above);
  }
};

// The bytes whose classes have any of `wanted`.
SCAN_STEP Avx512::Mask has(Avx512::Reg classes, unsigned char wanted) {
  return _mm512_test_epi8_mask(classes, Avx512::splat(static_cast<char>(wanted)));
}

struct Steps : ComparedSteps<Simd, Steps> {
  const Table first, second, digits;

  explicit Steps(const LineFilter& line)
      : ComparedSteps(line),
        first(line.classes),
        second(line.second_classes),
        digits(line.digits) {}

  SCAN_STEP Mask low_bytes(Reg v) const { return _mm512_cmple_epu8_mask(v, Simd::splat(' ')); }
  // The line's shape is in the table: it holds the non-letters only where the line wants them.
  template <int, bool>
  SCAN_STEP Mask interest(Reg v) const {
    return has(first.of(v), kNonLetterClass | kExactFirstClass | kKeyLetterClass | kPhLetterClass);
  }
  template <bool>
  SCAN_STEP CloseLook close_look(const char* p) const {
    const Reg classes = first.of(Simd::load(p));
    const Reg next = second.of(Simd::load(p + 1));
    CloseLook look;
    look.separators = has(classes, kSeparatorClass);
    look.nonletters = has(classes, kNonLetterClass);
    look.exact = has(classes, kExactFirstClass) & has(next, kExactSecondClass);
    if (filter.exact_length != 0) look.exact &= exact_ends(p);
    look.keys =
        has(classes, kKeyLetterClass) | (has(classes, kPhLetterClass) & has(next, kPhSecondClass));
    return look;
  }
  SCAN_STEP KeyStops stops(const char* p) const {
    const Reg d = digits.of(Simd::load(p));
    return stops_from_digits([&](unsigned char classes) { return has(d, classes); },
                             filter.distinct_digits);
  }
};

}  // namespace

#define SCAN_KERNEL_NAME avx512_vbmi
#include "scan_generic.h"

extern const ScanKernel kernel_avx512_vbmi = {
    "avx512_vbmi", kCpuAvx512f | kCpuAvx512bw | kCpuAvx512vbmi, avx512_vbmi::search,
    avx512_vbmi::find_separator, avx512_vbmi::take_steps};
