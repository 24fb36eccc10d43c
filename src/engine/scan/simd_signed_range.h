// Unsigned byte ranges for the layers whose instruction sets compare bytes only as signed (SSE2,
// AVX2): adding `shift` (0x80 - low) moves low..high to the bottom of the signed range, where a
// byte is inside when it is below `inside_below` and outside when it is above `outside_above`.
// Internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_
#define SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_

namespace {

// The bytes a layer splats for the range low..high.
struct SignedRange {
  char shift, inside_below, outside_above;
};

constexpr SignedRange signed_range(unsigned char low, unsigned char high) {
  return {static_cast<char>(0x80 - low), static_cast<char>(high - low - 127),
          static_cast<char>(high - low - 128)};
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SIMD_SIGNED_RANGE_H_
