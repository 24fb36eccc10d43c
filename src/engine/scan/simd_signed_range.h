// Unsigned byte ranges for the layers whose instruction sets compare bytes only as signed (SSE2,
// AVX2): adding `shift` (0x80 - low) moves low..high to the bottom of the signed range, where a
// byte is inside when it is below `inside_below` and outside when it is above `outside_above`.
// Internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_
#define SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_

namespace {

// The range, inside and outside of a layer `Layer` that derives from this: it gives Reg,
// splat(char), add(Reg, Reg) (per byte, wrapping) and greater(Reg, Reg) (per byte, signed). Reg
// is taken from Layer only once it is complete, and not as a template argument, which would drop
// a vector type's attributes.
template <typename Layer>
struct SignedRanges {
  struct Range {
    typename Layer::Reg shift, inside_below, outside_above;
  };
  static Range range(unsigned char low, unsigned char high) {
    return {Layer::splat(static_cast<char>(0x80 - low)),
            Layer::splat(static_cast<char>(high - low - 127)),
            Layer::splat(static_cast<char>(high - low - 128))};
  }
  template <typename Reg>
  static Reg inside(Reg v, const Range& r) {
    return Layer::greater(r.inside_below, Layer::add(v, r.shift));
  }
  template <typename Reg>
  static Reg outside(Reg v, const Range& r) {
    return Layer::greater(Layer::add(v, r.shift), r.outside_above);
  }
};

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_
