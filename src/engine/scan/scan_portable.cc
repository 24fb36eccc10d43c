// The search in plain C++ for every CPU, eight bytes at a time in a 64-bit integer: a byte's
// test leaves its verdict in the byte's top bit, and no carry crosses from one byte into the
// next.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan_kernel.h"
#include "scan_steps.h"

namespace {

struct Simd {
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

// The bytes below `n`, for n from 1 to 0x7f, and perhaps a byte 0x01 above such a byte, which a
// borrow reaches: more than the bytes below n, never fewer. (For n of 0x80 and more a borrow
// could hide a byte below n.)
template <unsigned char n>
Simd::Mask below(Simd::Reg v) {
  static_assert(n >= 1 && n < 0x80, "a borrow hides nothing only for n below 0x80");
  return (v - Simd::splat(static_cast<char>(n))) & ~v & Simd::kTop;
}

// The stops, by LineFilter::digits gathered eight to a register: bit k of each byte, times a
// constant, adds up in the top byte.
std::uint64_t plane(Simd::Reg classes, int k) {
  return (((classes >> k) & 0x0101010101010101u) * 0x0102040810204080u) >> 56;
}

struct Steps : ComparedSteps<Simd, Steps> {
  using ComparedSteps::ComparedSteps;

  // The first look's tests where testing more bytes than needed is harmless: below 0x21, and a
  // wanted folded byte. Its loop is left to the compiler, which may turn it into its CPU's own
  // vector instructions, rather than unrolled.
  template <int kFirst, bool kNonLetters>
  SCAN_STEP bool first_look(const char* p) const {
    Mask starts = 0;
    for (std::size_t i = 0; i < 64; i += Simd::kWidth)
      starts |=
          below<0x21>(Simd::load(p + i - 1)) & interest<kFirst, kNonLetters>(Simd::load(p + i));
    return starts != 0;
  }
  template <int kFirst, bool kNonLetters>
  SCAN_STEP Mask interest(Reg v) const {
    const Reg folded = v | Simd::splat(0x20);
    Mask wanted = below<1>(folded ^ c.first[0]);
    for (int k = 1; k < kFirst; ++k) wanted |= below<1>(folded ^ c.first[k]);
    if (!kNonLetters) return wanted;
    // The letters passed over must not be more than there are.
    const Mask letter = Simd::inside(folded, c.letters);
    return ~((letter & ~wanted) | Simd::equal(v, c.newline)) & Simd::kTop;
  }

  // The close look, word by word: a stretch that holds a start of interest holds few starts.
  template <bool>
  SCAN_STEP CloseLook close_look(const char* p) const {
    CloseLook look;
    look.separators = separator_bits<Simd>(p);
    for (Bits rest = word_starts(look.separators, p[-1]); rest != 0; rest &= rest - 1) {
      const int at = __builtin_ctzll(rest);
      const unsigned char* const word = reinterpret_cast<const unsigned char*>(p) + at;
      const unsigned char classes = filter.classes[word[0]], next = filter.second_classes[word[1]];
      look.nonletters |= Bits{(classes & kNonLetterClass) != 0} << at;
      look.exact |= Bits{may_be_typed_word(filter, word)} << at;
      look.keys |= Bits{(classes & kKeyLetterClass) != 0 ||
                        ((classes & kPhLetterClass) != 0 && (next & kPhSecondClass) != 0)}
                   << at;
    }
    return look;
  }

  SCAN_STEP KeyStops stops(const char* p) const {
    const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(p);
    KeyStops s;
    for (int r = 0; r < 8; ++r) {
      Reg classes = 0;
      for (int k = 0; k < 8; ++k) classes |= Reg{filter.digits[bytes[8 * r + k]]} << (8 * k);
      s.stops |= plane(classes, 0) << (8 * r);
      s.ends |= plane(classes, 1) << (8 * r);
      for (int place = 0; place < filter.distinct_digits; ++place)
        s.digits[place] |= plane(classes, 2 + place) << (8 * r);
    }
    return s;
  }
};

}  // namespace

#define SCAN_KERNEL_NAME portable
#include "scan_generic.h"

extern const ScanKernel kernel_portable = {"portable", 0, portable::search,
                                           portable::find_separator, portable::take_steps};
