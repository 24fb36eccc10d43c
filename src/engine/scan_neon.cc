// The search 64 bytes at a time with NEON, which every 64-bit ARM CPU has. A vector is four
// 16-byte registers, for NEON has no instruction that gathers one bit per byte: four masks are
// gathered at once, by pairwise additions. Constants stay in one register each.
#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

namespace {

struct Simd {
  static constexpr bool kOwnFirstLook = false, kOwnCloseLook = false, kOwnStops = false;
  static constexpr std::size_t kWidth = 64;
  struct Reg {
    uint8x16_t q[4];
  };
  using Mask = Reg;  // 0xff in each byte that passes
  using Splat = uint8x16_t;

  // Applies `op` to each register of the vectors, or to it and the constant.
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
  static Reg either_bits(Reg a, Splat b) { return each(a, b, vorrq_u8); }
  struct Range {
    Splat low, span;
  };
  static Range range(unsigned char low, unsigned char high) {
    return {vdupq_n_u8(low), vdupq_n_u8(static_cast<std::uint8_t>(high - low))};
  }
  static Mask inside(Reg v, const Range& r) {
    return each(each(v, r.low, vsubq_u8), r.span, vcleq_u8);
  }
  static Mask outside(Reg v, const Range& r) {
    return each(each(v, r.low, vsubq_u8), r.span, vcgtq_u8);
  }
  static Mask equal(Reg a, Reg b) { return each(a, b, vceqq_u8); }
  static Mask equal(Reg a, Splat b) { return each(a, b, vceqq_u8); }
  static Mask either(Mask a, Mask b) { return each(a, b, vorrq_u8); }
  static Mask both(Mask a, Mask b) { return each(a, b, vandq_u8); }
  static Mask but_not(Mask a, Mask b) { return each(a, b, vbicq_u8); }
  // Each byte keeps the bit of its place among eight; three rounds of pairwise additions sum
  // eight such bytes into one, the first byte lowest.
  static std::uint64_t bits(Mask m) {
    static constexpr std::uint8_t kPlaces[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
    const Reg placed = each(m, vld1q_u8(kPlaces), vandq_u8);
    const uint8x16_t low = vpaddq_u8(placed.q[0], placed.q[1]);
    const uint8x16_t high = vpaddq_u8(placed.q[2], placed.q[3]);
    const uint8x16_t quarters = vpaddq_u8(low, high);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(quarters, quarters)), 0);
  }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kNeonKernel = {"neon", scan_block, find_separator};
