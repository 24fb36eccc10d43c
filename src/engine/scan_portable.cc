// The search a byte at a time, in plain C++: for every CPU, and the measure of the others.
#include <cstddef>
#include <cstdint>

namespace {

struct Simd {
  static constexpr bool kLooksUpClasses = false;
  struct Table {};
  static Table table(const unsigned char*) { return {}; }
  static constexpr std::size_t kWidth = 1;
  using Reg = unsigned char;
  using Mask = bool;
  static Reg load(const char* p) { return static_cast<unsigned char>(*p); }
  static Reg splat(char c) { return static_cast<unsigned char>(c); }
  static Reg either_bits(Reg a, Reg b) { return a | b; }
  static Reg minus(Reg a, Reg b) { return static_cast<unsigned char>(a - b); }
  static Mask equal(Reg a, Reg b) { return a == b; }
  static Mask at_most(Reg a, Reg b) { return a <= b; }
  static Mask either(Mask a, Mask b) { return a || b; }
  static Mask but_not(Mask a, Mask b) { return a && !b; }
  static std::uint64_t bits(Mask m) { return m ? 1 : 0; }
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kPortableKernel = {"portable", scan_block, find_separator};
