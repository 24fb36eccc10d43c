// The search 64 bytes at a time with AVX-512 F and BW, whose comparisons give bit masks directly;
// for CPUs without VBMI. Built for AVX-512 and run only where the CPU has it.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace {

struct Simd {
  static constexpr bool kLooksUpClasses = false;
  struct Table {};
  static Table table(const unsigned char*) { return {}; }

  static constexpr std::size_t kWidth = 64;
  using Reg = __m512i;
  using Mask = __mmask64;
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

extern const ScanKernel kAvx512Kernel = {"avx512", scan_block, find_separator};
