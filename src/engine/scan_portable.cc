// The search in plain C++ for every CPU: each byte's class looked up in a table of 256.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan_kernel.h"

namespace {

struct Simd {
  static constexpr bool kLooksUpClasses = true;
  struct Table {
    unsigned char classes[256];  // bytes of 0x80 and above have none
  };
  static Table table(const unsigned char* classes) {
    Table table = {};
    std::memcpy(table.classes, classes, 128);
    return table;
  }
  static unsigned char class_of(const Table& table, char c) {
    return table.classes[static_cast<unsigned char>(c)];
  }
  static void classify(const char* p, const Table& table, std::uint64_t& separators,
                       std::uint64_t& passed_over) {
    separators = passed_over = 0;
    for (std::size_t i = 0; i < 64; ++i) {
      const unsigned char c = class_of(table, p[i]);
      separators |= std::uint64_t{(c & kSeparatorClass) != 0} << i;
      passed_over |= std::uint64_t{(c & kPassedOverClass) != 0} << i;
    }
  }
  static std::uint64_t digit_stops(const char* p, const Table& table) {
    std::uint64_t stops = 0;
    for (std::size_t i = 0; i < 64; ++i) {
      const bool digit = (class_of(table, p[i]) & kDigitClass) != 0 && p[i] != (p - 1)[i];
      stops |= std::uint64_t{digit || p[i] == '\0'} << i;
    }
    return stops;
  }

  // Unused where the classes are looked up, but part of the layer.
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
