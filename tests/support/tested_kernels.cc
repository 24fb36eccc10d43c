#include "tested_kernels.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Every kernel the project has, built here or not (the build passes their names).
const std::string kKnownKernels = SPELL_CHECKER_KNOWN_KERNELS;

bool lists(const std::string& names, const std::string& name) {
  return (',' + names + ',').find(',' + name + ',') != std::string::npos;
}

}  // namespace

std::vector<const ScanKernel*> tested_kernels() {
  const std::vector<const ScanKernel*> usable = usable_kernels();
  const char* const names = std::getenv("SPELL_CHECKER_TEST_KERNELS");
  if (names == nullptr || *names == '\0') return usable;
  // A misspelt name would narrow the tests down to none, each of them skipped, and so passed.
  const std::string wanted = names;
  for (std::size_t from = 0; from <= wanted.size();) {
    const std::size_t end = std::min(wanted.find(',', from), wanted.size());
    const std::string name = wanted.substr(from, end - from);
    if (!name.empty() && !lists(kKnownKernels, name)) {
      std::fprintf(stderr, "SPELL_CHECKER_TEST_KERNELS: no kernel is called \"%s\"; they are: %s\n",
                   name.c_str(), kKnownKernels.c_str());
      std::exit(2);
    }
    from = end + 1;
  }
  std::vector<const ScanKernel*> kernels;
  for (const ScanKernel* kernel : usable)
    if (lists(wanted, kernel->name)) kernels.push_back(kernel);
  return kernels;
}
