// The search 64 bytes at a time with AVX-512 F and BW, by comparisons; for CPUs without VBMI.
// Built for AVX-512 and run only where the CPU has it.
#include "scan_layer.h"
#include "simd_avx512.h"

namespace {

struct Simd : Avx512, EveryStepCompared {};

}  // namespace

#define SCAN_KERNEL_NAME avx512
#include "scan_generic.h"

extern const ScanKernel kernel_avx512 = {"avx512", kCpuAvx512f | kCpuAvx512bw, avx512::search,
                                         avx512::find_separator, avx512::take_steps};
