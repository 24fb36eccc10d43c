// The search 64 bytes at a time with NEON, which every 64-bit ARM CPU has (simd_neon.h). Two
// steps look bytes up in tables of 64 entries, which only 64-bit ARM has, instead of comparing
// them: the stops, which take a comparison per letter, and the first look's bytes of interest,
// which every 64 bytes get.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan_kernel.h"
#include "scan_lookup.h"
#include "simd_neon.h"

namespace {

using Simd = Neon;

// One of LineFilter's tables: the bytes below 0x80 in eight registers, which two lookups of 64
// entries each cover, and those from 0x80 up (classes_from_0x80).
struct Table {
  uint8x16x4_t low, high;
  Neon::Splat above;
  explicit Table(const unsigned char* classes) {
    for (int i = 0; i < 4; ++i) {
      low.val[i] = vld1q_u8(classes + 16 * i);
      high.val[i] = vld1q_u8(classes + 64 + 16 * i);
    }
    above = vdupq_n_u8(classes_from_0x80(classes));
  }
  // The classes of each byte of `v`. A lookup gives 0 for an index past its 64 entries, and the
  // second keeps what the first gave there.
  uint8x16_t of(uint8x16_t v) const {
    const uint8x16_t below = vqtbx4q_u8(vqtbl4q_u8(low, v), high, vsubq_u8(v, vdupq_n_u8(64)));
    return vbslq_u8(vcltzq_s8(vreinterpretq_s8_u8(v)), above, below);
  }
  Neon::Reg of(Neon::Reg v) const { return {{of(v.q[0]), of(v.q[1]), of(v.q[2]), of(v.q[3])}}; }
};

// Of the folded bytes 0x60 to 0x7f, the letters that are not first bytes of interest.
uint8x16x2_t letters_passed_over(const LineFilter& filter) {
  std::uint8_t passed_over[32];
  for (int i = 0; i < 32; ++i) {
    const char c = static_cast<char>(0x60 + i);
    const bool wanted = std::memchr(filter.first, c, filter.first_count) != nullptr;
    passed_over[i] = is_ascii_letter(c) && !wanted ? 0xff : 0;
  }
  return {{vld1q_u8(passed_over), vld1q_u8(passed_over + 16)}};
}

struct Steps : NeonSteps<Steps> {
  const Table digits;
  const uint8x16x2_t passed_over;

  explicit Steps(const LineFilter& line)
      : NeonSteps(line), digits(line.digits), passed_over(letters_passed_over(line)) {}

  // With non-letters wanted, a lookup of the letters passed over, in a table of the 32 folded
  // bytes from 0x60: a byte outside it is past the table, which gives 0: not a letter. Else the
  // comparisons with the first bytes of interest.
  template <int kFirst, bool kNonLetters>
  SCAN_STEP Mask interest(Reg v) const {
    Mask interest;
    for (int r = 0; r < 4; ++r) {
      const uint8x16_t folded = vorrq_u8(v.q[r], vdupq_n_u8(0x20));
      if (kNonLetters) {
        const uint8x16_t passed = vqtbl2q_u8(passed_over, vsubq_u8(folded, vdupq_n_u8(0x60)));
        interest.q[r] = vmvnq_u8(vorrq_u8(passed, vceqq_u8(v.q[r], vdupq_n_u8('\n'))));
      } else {
        uint8x16_t wanted = vceqq_u8(folded, c.first[0]);
        for (int k = 1; k < kFirst; ++k) wanted = vorrq_u8(wanted, vceqq_u8(folded, c.first[k]));
        interest.q[r] = wanted;
      }
    }
    return interest;
  }

  SCAN_STEP KeyStops stops(const char* p) const {
    const Reg d = digits.of(Neon::load(p));
    const auto has = [&](unsigned char classes) {
      return Neon::bits(Neon::each(d, vdupq_n_u8(classes), NEON_OP(vtstq_u8)));
    };
    return stops_from_digits(has, filter.distinct_digits);
  }
};

#undef NEON_OP

}  // namespace

#define SCAN_KERNEL_NAME neon
#include "scan_generic.h"

extern const ScanKernel kernel_neon = {"neon", kCpuNeon, neon::search, neon::find_separator,
                                       neon::take_steps};
