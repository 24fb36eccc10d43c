// The search 64 bytes at a time with AVX-512 F, BW and VBMI: one table lookup classifies all 64
// bytes, and comparisons give bit masks directly. Built for AVX-512 and run only where the CPU
// has it.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "scan_kernel.h"

namespace {

struct Simd {
  static constexpr std::size_t kWidth = 64;
  using Reg = __m512i;
  using Mask = __mmask64;

  // The classes of the bytes below 0x80, in two registers of 64.
  static constexpr bool kLooksUpClasses = true;
  struct Table {
    __m512i low, high;
  };
  static Table table(const unsigned char* classes) {
    return {_mm512_loadu_si512(classes), _mm512_loadu_si512(classes + 64)};
  }
  static void classify(const char* p, const Table& table, std::uint64_t& separators,
                       std::uint64_t& passed_over) {
    const __m512i v = load(p);
    // The lookup uses the low seven bits of each byte; bytes of 0x80 and above have no class.
    const __m512i classes = _mm512_permutex2var_epi8(table.low, v, table.high);
    const __mmask64 below_0x80 = ~_mm512_movepi8_mask(v);
    separators = _mm512_mask_test_epi8_mask(below_0x80, classes, splat(kSeparatorClass));
    passed_over = _mm512_mask_test_epi8_mask(below_0x80, classes, splat(kPassedOverClass));
  }

  static std::uint64_t digit_stops(const char* p, const Table& table) {
    const __m512i v = load(p);
    const __m512i classes = _mm512_permutex2var_epi8(table.low, v, table.high);
    const __mmask64 below_0x80 = ~_mm512_movepi8_mask(v);
    const __mmask64 digit = _mm512_mask_test_epi8_mask(below_0x80, classes, splat(kDigitClass));
    const __mmask64 repeat = _mm512_cmpeq_epi8_mask(v, load(p - 1));
    return (digit & ~repeat) | _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512());
  }

  static Reg load(const char* p) { return _mm512_loadu_si512(p); }
  static Reg splat(char c) { return _mm512_set1_epi8(c); }
  static Reg either_bits(Reg a, Reg b) { return _mm512_or_si512(a, b); }
  static Reg minus(Reg a, Reg b) { return _mm512_sub_epi8(a, b); }
  static Mask equal(Reg a, Reg b) { return _mm512_cmpeq_epi8_mask(a, b); }
  static Mask at_most(Reg a, Reg b) { return _mm512_cmple_epu8_mask(a, b); }
  static Mask either(Mask a, Mask b) { return a | b; }
  static Mask but_not(Mask a, Mask b) { return a & ~b; }
  static std::uint64_t bits(Mask m) { return m; }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kAvx512VbmiKernel = {"avx512vbmi", scan_block, find_separator};
