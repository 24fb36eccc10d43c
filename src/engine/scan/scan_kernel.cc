// The choice of search kernel. The build lists the kernels it made (kBuiltKernels, in a source
// file it writes); each kernel says what it needs of the CPU, and this file tells what the CPU
// has.
#include "scan_kernel.h"

#if defined(__arm__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

// The kernels built, in their measured rank, slowest first, ending with null.
extern const ScanKernel* const kBuiltKernels[];

unsigned cpu_features() {
  unsigned features = 0;
#if defined(__x86_64__) || defined(__i386__)
  // From cpuid, as the compiler's run-time library reads it. None of the kernels uses
  // instructions that some CPUs have only in slow microcode (pext, pdep).
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) features |= kCpuSse2;
  if (__builtin_cpu_supports("avx2")) features |= kCpuAvx2;
  if (__builtin_cpu_supports("avx512f")) features |= kCpuAvx512f;
  if (__builtin_cpu_supports("avx512bw")) features |= kCpuAvx512bw;
  if (__builtin_cpu_supports("avx512vbmi")) features |= kCpuAvx512vbmi;
#elif defined(__aarch64__)
  features |= kCpuNeon;  // every 64-bit ARM CPU has it
#elif defined(__arm__) && defined(__linux__) && defined(HWCAP_NEON)
  if (getauxval(AT_HWCAP) & HWCAP_NEON) features |= kCpuNeon;  // the kernel's word on the CPU
#endif
  return features;
}

std::vector<const ScanKernel*> usable_kernels() {
  const unsigned features = cpu_features();
  std::vector<const ScanKernel*> kernels;
  for (const ScanKernel* const* kernel = kBuiltKernels; *kernel != nullptr; ++kernel)
    if (((*kernel)->needs & ~features) == 0) kernels.push_back(*kernel);
  return kernels;
}

const ScanKernel& chosen_kernel() {
  static const ScanKernel* const best = usable_kernels().back();
  return *best;
}
