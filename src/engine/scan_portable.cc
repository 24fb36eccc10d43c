// The search in plain C++ for every CPU, eight bytes at a time in a 64-bit integer: a byte's
// test leaves its verdict in the byte's top bit, and no carry crosses from one byte into the
// next.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan_kernel.h"

namespace {

struct Simd {
  static constexpr bool kLooksUpClasses = false;
  static constexpr std::size_t kWidth = 8;
  using Reg = std::uint64_t;
  using Mask = std::uint64_t;  // 0x80 in each byte that passes
  static constexpr Reg kTop = 0x8080808080808080u;
  static constexpr Reg kLow7 = 0x7f7f7f7f7f7f7f7fu;

  // The first byte lowest, whatever the byte order.
  static Reg load(const char* p) {
    Reg r;
    std::memcpy(&r, p, sizeof r);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    r = __builtin_bswap64(r);
#endif
    return r;
  }
  static Reg splat(char c) { return 0x0101010101010101u * static_cast<unsigned char>(c); }
  static Reg either_bits(Reg a, Reg b) { return a | b; }
  // Added to a byte's low seven bits, `from_low` sets the top bit from low on and `past_high`
  // above high; `side` is the top bit that both bounds share.
  struct Range {
    Reg from_low, past_high, side;
  };
  static Range range(unsigned char low, unsigned char high) {
    return {splat(static_cast<char>(0x80 - (low & 0x7f))),
            splat(static_cast<char>(0x7f - (high & 0x7f))), splat(static_cast<char>(low & 0x80))};
  }
  static Mask inside(Reg v, const Range& r) {
    const Reg low7 = v & kLow7;
    return (low7 + r.from_low) & ~(low7 + r.past_high) & ~(v ^ r.side) & kTop;
  }
  static Mask outside(Reg v, const Range& r) { return ~inside(v, r) & kTop; }
  static Mask equal(Reg a, Reg b) {
    const Reg differ = a ^ b;
    return ~(((differ & kLow7) + kLow7) | differ) & kTop;
  }
  static Mask either(Mask a, Mask b) { return a | b; }
  static Mask both(Mask a, Mask b) { return a & b; }
  static Mask but_not(Mask a, Mask b) { return a & ~b; }
  // The multiplication gathers the eight top bits into the top byte, the first byte lowest.
  static std::uint64_t bits(Mask m) { return ((m >> 7) * 0x0102040810204080u) >> 56; }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kPortableKernel = {"portable", scan_block, find_separator};
