// The search 16 bytes at a time with SSE2, which every x86-64 CPU has; on 32-bit x86 it is
// chosen only where the CPU has it.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "scan_steps.h"
#include "simd_signed_range.h"

namespace {

// Bytes compare only as signed (simd_signed_range.h).
struct Simd : SignedRanges<Simd> {
  static constexpr std::size_t kWidth = 16;
  using Reg = __m128i;
  using Mask = __m128i;
  static Reg load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static Reg splat(char c) { return _mm_set1_epi8(c); }
  static Reg add(Reg a, Reg b) { return _mm_add_epi8(a, b); }
  static Reg greater(Reg a, Reg b) { return _mm_cmpgt_epi8(a, b); }
  static Reg either_bits(Reg a, Reg b) { return _mm_or_si128(a, b); }
  static Mask equal(Reg a, Reg b) { return _mm_cmpeq_epi8(a, b); }
  static Mask either(Mask a, Mask b) { return _mm_or_si128(a, b); }
  static Mask both(Mask a, Mask b) { return _mm_and_si128(a, b); }
  static Mask but_not(Mask a, Mask b) { return _mm_andnot_si128(b, a); }
  static std::uint64_t bits(Mask m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }
};

struct Steps : ComparedSteps<Simd, Steps> {
  using ComparedSteps::ComparedSteps;
  // One signed comparison: the bytes up to 0x20, and those from 0x80 up, which pass the first
  // look's test of the byte before a start more often than needed, never less.
  SCAN_STEP Mask low_bytes(Reg v) const { return _mm_cmpgt_epi8(Simd::splat(0x21), v); }
};

}  // namespace

#define SCAN_KERNEL_NAME sse2
#include "scan_generic.h"

extern const ScanKernel kernel_sse2 = {"sse2", kCpuSse2, sse2::search, sse2::find_separator,
                                       sse2::take_steps};
