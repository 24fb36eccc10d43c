// The search 64 bytes at a time with AVX-512 F, BW and VBMI: one table lookup classifies all 64
// bytes, and comparisons give bit masks directly. Built for AVX-512 and run only where the CPU
// has it.
#include "scan_kernel.h"
#include "simd_avx512.h"

namespace {

struct Simd : Avx512 {
  // The classes of the bytes below 0x80, in two registers of 64.
  static constexpr bool kLooksUpClasses = true;
  struct Table {
    Reg low, high;
  };
  static Table table(const unsigned char* classes) {
    return {_mm512_loadu_si512(classes), _mm512_loadu_si512(classes + 64)};
  }
  // The class of each of the 64 bytes `v`, looked up by its low seven bits; `below_0x80` marks
  // the bytes that have one.
  static Reg classes(Reg v, const Table& table, Mask& below_0x80) {
    below_0x80 = ~_mm512_movepi8_mask(v);
    return _mm512_permutex2var_epi8(table.low, v, table.high);
  }
  static void classify(const char* p, const Table& table, std::uint64_t& separators,
                       std::uint64_t& passed_over) {
    Mask below_0x80;
    const Reg c = classes(load(p), table, below_0x80);
    separators = _mm512_mask_test_epi8_mask(below_0x80, c, splat(kSeparatorClass));
    passed_over = _mm512_mask_test_epi8_mask(below_0x80, c, splat(kPassedOverClass));
  }
  static std::uint64_t digit_stops(const char* p, const Table& table) {
    const Reg v = load(p);
    Mask below_0x80;
    const Reg c = classes(v, table, below_0x80);
    const Mask digit = _mm512_mask_test_epi8_mask(below_0x80, c, splat(kDigitClass));
    return but_not(digit, equal(v, load(p - 1))) | equal(v, splat('\0'));
  }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kAvx512VbmiKernel = {"avx512vbmi", scan_block, find_separator};
