// Looks up every line of a file of typed lines, REPEAT times, with the kernel named: a program
// whose instructions bench/count_instructions.sh counts, for kernels that cannot be timed here.
//
//   lookup_instructions KERNEL LIST TYPED_LINES REPEAT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "scan_kernel.h"
#include "spell_checker.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s KERNEL LIST TYPED_LINES REPEAT\n", argv[0]);
    return 2;
  }
  const ScanKernel* kernel = nullptr;
  for (const ScanKernel* k : usable_kernels())
    if (std::strcmp(k->name, argv[1]) == 0) kernel = k;
  if (kernel == nullptr) {
    std::fprintf(stderr, "%s: this CPU runs no kernel %s\n", argv[0], argv[1]);
    return 2;
  }
  std::ifstream typed(argv[3]);
  std::vector<std::string> lines;
  for (std::string line; std::getline(typed, line);) lines.push_back(line);
  if (!typed.eof()) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[3]);
    return 1;
  }
  std::size_t candidates = 0;
  for (int round = std::atoi(argv[4]); round > 0; --round) {
    for (const std::string& line : lines) {
      const LookupResult result = lookup_word_in(argv[2], line, kReadBlockSize, kernel);
      if (!result.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], result.error.c_str());
        return 1;
      }
      candidates += result.candidates.size();
    }
  }
  std::printf("%zu sound-alikes\n", candidates);
  return 0;
}
