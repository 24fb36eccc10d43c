// The search 64 bytes at a time with the NEON of 32-bit ARM (simd_neon.h), whose table lookups
// take 8 bytes and 32 entries at most: every step compares. Built for NEON, and run only where
// the system says the CPU has it (the aux vector's HWCAP_NEON).
#include "scan_kernel.h"
#include "scan_steps.h"
#include "simd_neon.h"

namespace {

using Simd = Neon;

struct Steps : NeonSteps<Steps> {
  using NeonSteps::NeonSteps;
};

#undef NEON_OP

}  // namespace

#define SCAN_KERNEL_NAME neon32
#include "scan_generic.h"

extern const ScanKernel kernel_neon32 = {"neon32", kCpuNeon, neon32::search, neon32::find_separator,
                                         neon32::take_steps};
