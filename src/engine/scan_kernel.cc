// The choice of search kernel. The build says which kernels there are (SPELL_CHECKER_KERNEL_*);
// the CPU says which of them can run here.
#include "scan_kernel.h"

#if SPELL_CHECKER_KERNEL_PORTABLE
extern const ScanKernel kPortableKernel;
#endif
#if SPELL_CHECKER_KERNEL_SSE2
extern const ScanKernel kSse2Kernel;
#endif
#if SPELL_CHECKER_KERNEL_AVX2
extern const ScanKernel kAvx2Kernel;
#endif
#if SPELL_CHECKER_KERNEL_AVX512
extern const ScanKernel kAvx512Kernel;
extern const ScanKernel kAvx512VbmiKernel;
#endif
#if SPELL_CHECKER_KERNEL_NEON
extern const ScanKernel kNeonKernel;
#endif

// A build with one kernel runs it whatever the CPU (though AVX-512 looks for VBMI); one with
// several runs those the CPU has. None of them uses instructions that some CPUs have only in
// slow microcode (pext, pdep).
#if SPELL_CHECKER_ONE_KERNEL
#define CPU_RUNS(feature) true
#else
#define CPU_RUNS(feature) __builtin_cpu_supports(feature)
#endif

std::vector<const ScanKernel*> usable_kernels() {
  std::vector<const ScanKernel*> kernels;
#if SPELL_CHECKER_KERNEL_PORTABLE
  kernels.push_back(&kPortableKernel);
#endif
#if SPELL_CHECKER_KERNEL_SSE2
  if (CPU_RUNS("sse2")) kernels.push_back(&kSse2Kernel);
#endif
#if SPELL_CHECKER_KERNEL_AVX2
  if (CPU_RUNS("avx2")) kernels.push_back(&kAvx2Kernel);
#endif
#if SPELL_CHECKER_KERNEL_AVX512
  if (CPU_RUNS("avx512f") && CPU_RUNS("avx512bw")) {
    kernels.push_back(&kAvx512Kernel);
    if (__builtin_cpu_supports("avx512vbmi")) kernels.push_back(&kAvx512VbmiKernel);
  }
#endif
#if SPELL_CHECKER_KERNEL_NEON
  kernels.push_back(&kNeonKernel);  // every 64-bit ARM CPU has NEON
#endif
  return kernels;
}

const ScanKernel& chosen_kernel() {
  static const ScanKernel* const best = usable_kernels().back();
  return *best;
}
