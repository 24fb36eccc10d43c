// The NEON layer of the search that the kernels of 64-bit and 32-bit ARM share: a vector is four
// 16-byte registers, for NEON has no instruction that gathers one bit per byte: four masks are
// gathered at once, by pairwise additions. Constants stay in one register each. Also the two
// steps that both kernels take their own way. Included only by files built for NEON; internal
// linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SIMD_NEON_H_
#define SPELL_CHECKER_ENGINE_SIMD_NEON_H_

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

#include "scan_steps.h"

namespace {

#define NEON_OP(intrinsic) [](uint8x16_t a, uint8x16_t b) { return intrinsic(a, b); }

struct Neon {
  static constexpr std::size_t kWidth = 64;
  struct Reg {
    uint8x16_t q[4];
  };
  using Mask = Reg;  // 0xff in each byte that passes
  using Splat = uint8x16_t;

  // Applies `op` to each register of the vectors, or to it and the constant. GCC's intrinsics
  // have no address, so each comes wrapped in a lambda (NEON_OP).
  template <typename Op>
  static Reg each(Reg a, Reg b, Op op) {
    return {{op(a.q[0], b.q[0]), op(a.q[1], b.q[1]), op(a.q[2], b.q[2]), op(a.q[3], b.q[3])}};
  }
  template <typename Op>
  static Reg each(Reg a, Splat b, Op op) {
    return {{op(a.q[0], b), op(a.q[1], b), op(a.q[2], b), op(a.q[3], b)}};
  }

  static Reg load(const char* p) {
    const std::uint8_t* const bytes = reinterpret_cast<const std::uint8_t*>(p);
    return {{vld1q_u8(bytes), vld1q_u8(bytes + 16), vld1q_u8(bytes + 32), vld1q_u8(bytes + 48)}};
  }
  static Splat splat(char c) { return vdupq_n_u8(static_cast<std::uint8_t>(c)); }
  static Reg either_bits(Reg a, Splat b) { return each(a, b, NEON_OP(vorrq_u8)); }
  struct Range {
    Splat low, span;
  };
  static Range range(unsigned char low, unsigned char high) {
    return {vdupq_n_u8(low), vdupq_n_u8(static_cast<std::uint8_t>(high - low))};
  }
  static Mask inside(Reg v, const Range& r) {
    return each(each(v, r.low, NEON_OP(vsubq_u8)), r.span, NEON_OP(vcleq_u8));
  }
  static Mask outside(Reg v, const Range& r) {
    return each(each(v, r.low, NEON_OP(vsubq_u8)), r.span, NEON_OP(vcgtq_u8));
  }
  static Mask equal(Reg a, Reg b) { return each(a, b, NEON_OP(vceqq_u8)); }
  static Mask equal(Reg a, Splat b) { return each(a, b, NEON_OP(vceqq_u8)); }
  static Mask either(Mask a, Mask b) { return each(a, b, NEON_OP(vorrq_u8)); }
  static Mask both(Mask a, Mask b) { return each(a, b, NEON_OP(vandq_u8)); }
  static Mask but_not(Mask a, Mask b) { return each(a, b, NEON_OP(vbicq_u8)); }
  // Each byte keeps the bit of its place among eight; three rounds of pairwise additions sum
  // eight such bytes into one, the first byte lowest: on 16-byte registers where 64-bit ARM has
  // them, else on their 8-byte halves.
  static std::uint64_t bits(Mask m) {
    static constexpr std::uint8_t kPlaces[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
    const Reg placed = each(m, vld1q_u8(kPlaces), NEON_OP(vandq_u8));
#if defined(__aarch64__)
    const uint8x16_t low = vpaddq_u8(placed.q[0], placed.q[1]);
    const uint8x16_t high = vpaddq_u8(placed.q[2], placed.q[3]);
    const uint8x16_t quarters = vpaddq_u8(low, high);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(quarters, quarters)), 0);
#else
    uint8x8_t pairs[4];
    for (int r = 0; r < 4; ++r)
      pairs[r] = vpadd_u8(vget_low_u8(placed.q[r]), vget_high_u8(placed.q[r]));
    const uint8x8_t quarters = vpadd_u8(vpadd_u8(pairs[0], pairs[1]), vpadd_u8(pairs[2], pairs[3]));
    return vget_lane_u64(vreinterpret_u64_u8(quarters), 0);
#endif
  }
};

// The steps that both NEON kernels take their own way.
template <typename Self>
struct NeonSteps : ComparedSteps<Neon, Self> {
  using ComparedSteps<Neon, Self>::ComparedSteps;
  // The bytes up to 0x20, by one comparison.
  SCAN_STEP Neon::Mask low_bytes(Neon::Reg v) const {
    return Neon::each(v, vdupq_n_u8(' '), NEON_OP(vcleq_u8));
  }
  // Whether any byte passes is all the first look asks: narrowing each 16 bits to 8 keeps four
  // bits of each byte.
  SCAN_STEP bool any(Neon::Mask m) const {
    const uint8x16_t any = vorrq_u8(vorrq_u8(m.q[0], m.q[1]), vorrq_u8(m.q[2], m.q[3]));
    return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(any), 4)), 0) != 0;
  }
};

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SIMD_NEON_H_
