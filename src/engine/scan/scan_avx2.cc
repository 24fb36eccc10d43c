// The search 32 bytes at a time with AVX2. Built for AVX2 and run only where the CPU has it.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "scan_steps.h"
#include "simd_signed_range.h"

namespace {

// Bytes compare only as signed (simd_signed_range.h).
struct Simd : SignedRanges<Simd> {
  static constexpr std::size_t kWidth = 32;
  using Reg = __m256i;
  using Mask = __m256i;
  static Reg load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static Reg splat(char c) { return _mm256_set1_epi8(c); }
  static Reg add(Reg a, Reg b) { return _mm256_add_epi8(a, b); }
  static Reg greater(Reg a, Reg b) { return _mm256_cmpgt_epi8(a, b); }
  static Reg either_bits(Reg a, Reg b) { return _mm256_or_si256(a, b); }
  static Mask equal(Reg a, Reg b) { return _mm256_cmpeq_epi8(a, b); }
  static Mask either(Mask a, Mask b) { return _mm256_or_si256(a, b); }
  static Mask both(Mask a, Mask b) { return _mm256_and_si256(a, b); }
  static Mask but_not(Mask a, Mask b) { return _mm256_andnot_si256(b, a); }
  static std::uint64_t bits(Mask m) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(m)); }
};

struct Steps : ComparedSteps<Simd, Steps> {
  using ComparedSteps::ComparedSteps;
};

}  // namespace

#define SCAN_KERNEL_NAME avx2
#include "scan_generic.h"

extern const ScanKernel kernel_avx2 = {"avx2", kCpuAvx2, avx2::search, avx2::find_separator,
                                       avx2::take_steps};
