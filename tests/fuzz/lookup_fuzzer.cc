// libFuzzer target: every search kernel against the plain model on any list and typed word.
// Input: one byte choosing the read block size, the typed word up to the first newline, then
// the list.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "model_lookup.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "tested_kernels.h"

namespace {

// The file each input's list is written to, removed as the fuzzer ends: at the end of its time,
// and when a kernel and the model differ (the input is kept as an artifact).
const std::string& list_path() {
  static const char* const directory = std::getenv("TMPDIR");
  static const std::string path = std::string(directory != nullptr ? directory : "/tmp") +
                                  "/lookup_fuzzer_" + std::to_string(getpid());
  static const int removed_at_exit = std::atexit([] { std::remove(path.c_str()); });
  (void)removed_at_exit;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& path = list_path();
  static const std::size_t kBlockSizes[] = {1, 2, 3, 7, 16, 17, 64, 1000, kReadBlockSize};
  const std::size_t block_size = kBlockSizes[data[0] % (sizeof kBlockSizes / sizeof *kBlockSizes)];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t newline = rest.find('\n');
  const std::string typed = rest.substr(0, newline);
  const std::string list = newline == std::string::npos ? "" : rest.substr(newline + 1);
  if (typed.size() >= kWorkBufferSize - 1) return 0;  // the prompt loop never looks these up

  std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
  const LookupResult model = model_lookup(path, typed);
  static const std::vector<const ScanKernel*> kernels = tested_kernels();
  for (const ScanKernel* kernel : kernels) {
    const LookupResult fast = lookup_word_in(path, typed, block_size, kernel);
    if (!same_reply(fast, model)) {
      std::fprintf(stderr,
                   "%s kernel and model differ: block %zu, found %d/%d, %zu/%zu candidates\n",
                   kernel->name, block_size, fast.found, model.found, fast.candidates.size(),
                   model.candidates.size());
      std::remove(path.c_str());
      std::abort();
    }
  }
  return 0;
}
