// The AVX-512 F and BW layer of the search: 64 bytes a register, and comparisons that give bit
// masks directly. Included only by files built for
// AVX-512; internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SIMD_AVX512_H_
#define SPELL_CHECKER_ENGINE_SIMD_AVX512_H_

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace {

struct Avx512 {
  static constexpr std::size_t kWidth = 64;
  using Reg = __m512i;
  using Mask = __mmask64;
  static Reg load(const char* p) { return _mm512_loadu_si512(p); }
  static Reg splat(char c) { return _mm512_set1_epi8(c); }
  static Reg either_bits(Reg a, Reg b) { return _mm512_or_si512(a, b); }
  struct Range {
    Reg low, span;
  };
  static Range range(unsigned char low, unsigned char high) {
    return {splat(static_cast<char>(low)), splat(static_cast<char>(high - low))};
  }
  static Mask inside(Reg v, const Range& r) {
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, r.low), r.span);
  }
  static Mask outside(Reg v, const Range& r) {
    return _mm512_cmpgt_epu8_mask(_mm512_sub_epi8(v, r.low), r.span);
  }
  static Mask equal(Reg a, Reg b) { return _mm512_cmpeq_epi8_mask(a, b); }
  static Mask either(Mask a, Mask b) { return a | b; }
  static Mask both(Mask a, Mask b) { return a & b; }
  static Mask but_not(Mask a, Mask b) { return a & ~b; }
  static std::uint64_t bits(Mask m) { return m; }
};

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SIMD_AVX512_H_
