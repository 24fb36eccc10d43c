// The search kernels that a test runs: every kernel this CPU runs, or, where
// SPELL_CHECKER_TEST_KERNELS names some (a list such as "sse2,portable"), those of them. A name
// that is no kernel's ends the test program with status 2 and a line naming the kernels.
#ifndef SPELL_CHECKER_TESTS_TESTED_KERNELS_H_
#define SPELL_CHECKER_TESTS_TESTED_KERNELS_H_

#include <vector>

#include "scan_kernel.h"

std::vector<const ScanKernel*> tested_kernels();

#endif  // SPELL_CHECKER_TESTS_TESTED_KERNELS_H_
