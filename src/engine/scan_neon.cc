// The search 64 bytes at a time with NEON, which every 64-bit ARM CPU has. A vector is four
// 16-byte registers, for NEON has no instruction that gathers one bit per byte: four masks are
// gathered at once, by pairwise additions. Constants stay in one register each. Two steps look
// bytes up instead of comparing them: the stops, which take a comparison per letter, and the
// first look's bytes of interest, which every 64 bytes get.
#include <arm_neon.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan_kernel.h"
#include "scan_layer.h"

namespace {

#define NEON_OP(intrinsic) [](uint8x16_t a, uint8x16_t b) { return intrinsic(a, b); }

struct Simd : EveryStepCompared {
  static constexpr bool kOwnLowBytes = true, kOwnInterest = true, kOwnAny = true, kOwnStops = true;
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
  // eight such bytes into one, the first byte lowest.
  static std::uint64_t bits(Mask m) {
    static constexpr std::uint8_t kPlaces[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
    const Reg placed = each(m, vld1q_u8(kPlaces), NEON_OP(vandq_u8));
    const uint8x16_t low = vpaddq_u8(placed.q[0], placed.q[1]);
    const uint8x16_t high = vpaddq_u8(placed.q[2], placed.q[3]);
    const uint8x16_t quarters = vpaddq_u8(low, high);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(quarters, quarters)), 0);
  }

  // One of LineFilter's tables: the bytes below 0x80 in eight registers, which two lookups of
  // 64 entries each cover, and those from 0x80 up (classes_from_0x80).
  struct Table {
    uint8x16x4_t low, high;
    Splat above;
    explicit Table(const unsigned char* classes) {
      for (int i = 0; i < 4; ++i) {
        low.val[i] = vld1q_u8(classes + 16 * i);
        high.val[i] = vld1q_u8(classes + 64 + 16 * i);
      }
      above = vdupq_n_u8(classes_from_0x80(classes));
    }
    // The classes of each byte of `v`. A lookup gives 0 for an index past its 64 entries, and
    // the second keeps what the first gave there.
    uint8x16_t of(uint8x16_t v) const {
      const uint8x16_t below = vqtbx4q_u8(vqtbl4q_u8(low, v), high, vsubq_u8(v, vdupq_n_u8(64)));
      return vbslq_u8(vcltzq_s8(vreinterpretq_s8_u8(v)), above, below);
    }
    Reg of(Reg v) const { return {{of(v.q[0]), of(v.q[1]), of(v.q[2]), of(v.q[3])}}; }
  };
  struct Tables {
    Table digits;
    // Of the folded bytes 0x60 to 0x7f, the letters that are not first bytes of interest.
    uint8x16x2_t passed_over;
    Splat first[kMaxFirstBytes];
  };
  static Tables tables(const LineFilter& filter) {
    Tables t = {Table(filter.digits), {}, {}};
    std::uint8_t passed_over[32];
    for (int i = 0; i < 32; ++i) {
      const char c = static_cast<char>(0x60 + i);
      const bool wanted = std::memchr(filter.first, c, filter.first_count) != nullptr;
      passed_over[i] = is_ascii_letter(c) && !wanted ? 0xff : 0;
    }
    t.passed_over = {{vld1q_u8(passed_over), vld1q_u8(passed_over + 16)}};
    for (int k = 0; k < kMaxFirstBytes; ++k) t.first[k] = splat(filter.first[k]);
    return t;
  }

  static Mask own_low_bytes(Reg v) { return each(v, vdupq_n_u8(' '), NEON_OP(vcleq_u8)); }
  // With non-letters wanted, a lookup of the letters passed over, in a table of the 32 folded
  // bytes from 0x60: a byte outside it is past the table, which gives 0: not a letter. Else the
  // comparisons with the first bytes of interest.
  template <int kFirst, bool kNonLetters>
  static Mask own_interest(Reg v, const Tables& t) {
    Mask interest;
    for (int r = 0; r < 4; ++r) {
      const uint8x16_t folded = vorrq_u8(v.q[r], vdupq_n_u8(0x20));
      if (kNonLetters) {
        const uint8x16_t passed = vqtbl2q_u8(t.passed_over, vsubq_u8(folded, vdupq_n_u8(0x60)));
        interest.q[r] = vmvnq_u8(vorrq_u8(passed, vceqq_u8(v.q[r], vdupq_n_u8('\n'))));
      } else {
        uint8x16_t wanted = vceqq_u8(folded, t.first[0]);
        for (int k = 1; k < kFirst; ++k) wanted = vorrq_u8(wanted, vceqq_u8(folded, t.first[k]));
        interest.q[r] = wanted;
      }
    }
    return interest;
  }
  // Whether any byte passes is all the caller asks: narrowing each 16 bits to 8 keeps four bits of
  // each byte.
  static bool own_any(Mask m) {
    const uint8x16_t any = vorrq_u8(vorrq_u8(m.q[0], m.q[1]), vorrq_u8(m.q[2], m.q[3]));
    return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(any), 4)), 0) != 0;
  }
  static std::uint64_t has(Reg classes, unsigned char wanted) {
    return bits(each(classes, vdupq_n_u8(wanted), NEON_OP(vtstq_u8)));
  }

  static void own_stops(const char* p, const Tables& t, int distinct, std::uint64_t& stops,
                        std::uint64_t& ends, std::uint64_t* digits) {
    const Reg d = t.digits.of(load(p));
    stops_from_digits([&](unsigned char classes) { return has(d, classes); }, distinct, stops, ends,
                      digits);
  }
};

#undef NEON_OP

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kernel_neon = {"neon", kCpuNeon, search, find_separator, take_steps};
