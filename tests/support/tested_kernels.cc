#include "tested_kernels.h"

#include <cstdlib>
#include <string>

std::vector<const ScanKernel*> tested_kernels() {
  const std::vector<const ScanKernel*> usable = usable_kernels();
  const char* const names = std::getenv("SPELL_CHECKER_TEST_KERNELS");
  if (names == nullptr || *names == '\0') return usable;
  const std::string wanted = std::string(",") + names + ",";
  std::vector<const ScanKernel*> kernels;
  for (const ScanKernel* kernel : usable)
    if (wanted.find(std::string(",") + kernel->name + ",") != std::string::npos)
      kernels.push_back(kernel);
  return kernels;
}
