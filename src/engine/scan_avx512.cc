// The search 64 bytes at a time with AVX-512 F and BW, by comparisons; for CPUs without VBMI.
// Built for AVX-512 and run only where the CPU has it.
#include "simd_avx512.h"

namespace {

struct Simd : Avx512 {
  static constexpr bool kOwnFirstLook = false, kOwnCloseLook = false, kOwnStops = false;
};

}  // namespace

#include "scan_generic.h"

extern const ScanKernel kAvx512Kernel = {"avx512", scan_block, find_separator};
