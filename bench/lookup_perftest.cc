// Speed and memory of one lookup. Speed: CPU time per typed line, with repetitions and medians,
// for the floor (open, read the list in blocks, close), the plain reading (every word read with
// >>, every key computed in full) and every search kernel this CPU runs, on Debian's 650k-word
// wamerican-insane list (or a generated list of its size) and on the bundled list. Memory: the
// peak resident size of one lookup on lists made to tempt it.
//
//   lookup_perftest [benchmark options]     the speed, then the memory
//   lookup_perftest --peak LIST WORD        one lookup; prints the peak resident size in KiB
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model_lookup.h"
#include "scan_kernel.h"
#include "spell_checker.h"

namespace {

const char kInsaneList[] = "/usr/share/dict/american-english-insane";
const std::vector<std::string> kTypedWords = {"fone", "phone",  "sing",      "s",
                                              "a",    "Robert", "xylophone", "123"};

std::size_t file_size(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return file ? static_cast<std::size_t>(file.tellg()) : 0;
}

std::string generated_list(std::size_t words) {
  const std::string path = "/tmp/lookup_perftest_words_" + std::to_string(getpid());
  std::ofstream out(path, std::ios::binary);
  std::mt19937 random(1);
  for (std::size_t i = 0; i < words; ++i) {
    std::string word(3 + random() % 12, ' ');
    for (char& c : word) c = static_cast<char>('a' + random() % 26);
    if (random() % 8 == 0) word[0] = static_cast<char>(word[0] - 32);
    out << word << '\n';
  }
  return path;
}

// The least a lookup can cost: the list opened, read in blocks and closed.
void read_list(const std::string& path) {
  static std::vector<char> block(kReadBlockSize);
  const int fd = open(path.c_str(), O_RDONLY);
  while (read(fd, block.data(), block.size()) > 0) {
  }
  close(fd);
}

double cpu_seconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// The CPU time per read of each list, one entry per repetition of its floor row, which runs
// before the other rows of the list.
std::map<std::string, std::vector<double>> floor_seconds;

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Every iteration looks up each typed word once. The counters: MB/s of list read, and the CPU
// time per typed line as a multiple of the floor's median.
template <typename Lookup>
void lookups(benchmark::State& state, const std::string& path, bool is_floor, Lookup lookup) {
  const double start = cpu_seconds();
  for (auto _ : state)
    for (const std::string& typed : kTypedWords) benchmark::DoNotOptimize(lookup(path, typed));
  const double lines = static_cast<double>(state.iterations() * kTypedWords.size());
  const double per_line = (cpu_seconds() - start) / lines;
  if (is_floor) floor_seconds[path].push_back(per_line);
  state.SetBytesProcessed(static_cast<std::int64_t>(lines * file_size(path)));
  state.counters["x_floor"] = per_line / median(floor_seconds[path]);
}

void register_benchmarks(const std::string& title, const std::string& path) {
  for (const std::string& typed : kTypedWords) {
    for (const ScanKernel* kernel : usable_kernels()) {
      if (!same_reply(lookup_word_in(path, typed, kReadBlockSize, kernel),
                      model_lookup(path, typed))) {
        std::printf("MISMATCH for \"%s\" on %s, kernel %s\n", typed.c_str(), path.c_str(),
                    kernel->name);
        std::exit(1);
      }
    }
  }
  const auto add = [&](const std::string& row, auto lookup) {
    const bool is_floor = row == "floor";
    benchmark::RegisterBenchmark(
        (title + "/" + row).c_str(),
        [=](benchmark::State& state) { lookups(state, path, is_floor, lookup); })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true);
  };
  add("floor", [](const std::string& list, const std::string&) {
    read_list(list);
    return 0;
  });
  add("plain_reading", model_lookup);
  for (const ScanKernel* kernel : usable_kernels())
    add(kernel->name, [kernel](const std::string& list, const std::string& typed) {
      return lookup_word_in(list, typed, kReadBlockSize, kernel);
    });
}

long peak_kib_of(const std::string& self, const std::string& path, const std::string& word) {
  const std::string command = "'" + self + "' --peak '" + path + "' " + word;
  FILE* child = popen(command.c_str(), "r");
  long kib = -1;
  if (child == nullptr || std::fscanf(child, "%ld", &kib) != 1) kib = -1;
  if (child != nullptr && pclose(child) != 0) kib = -1;
  return kib;
}

void memory(const std::string& self) {
  const std::string tiny = "/tmp/lookup_perftest_tiny_" + std::to_string(getpid());
  const std::string run = "/tmp/lookup_perftest_run_" + std::to_string(getpid());
  std::ofstream(tiny) << "cot\ncat\ncut\n";
  {
    std::ofstream out(run, std::ios::binary);
    out << "cot\n";
    const std::string mib(1 << 20, 'c');  // a word of interest to "cet", so it is followed
    for (int i = 0; i < 256; ++i) out << mib;
    out << "\ncat\ncut\n";
  }
  const std::string found = "/tmp/lookup_perftest_found_" + std::to_string(getpid());
  {
    std::ofstream out(found, std::ios::binary);
    out << "cat\n";
    for (int i = 0; i < 10000000; ++i) out << "cot\n";
  }
  const long tiny_kib = peak_kib_of(self, tiny, "cet");
  const long run_kib = peak_kib_of(self, run, "cet");
  const long found_kib = peak_kib_of(self, found, "cat");
  std::printf("peak memory, one lookup:\n");
  std::printf("  %-46s %7.1f MiB\n", "\"cet\", tiny list", tiny_kib / 1024.0);
  std::printf("  %-46s %7.1f MiB  (%+.1f MiB)\n", "\"cet\", list with a 256 MiB run, no space",
              run_kib / 1024.0, (run_kib - tiny_kib) / 1024.0);
  std::printf("  %-46s %7.1f MiB  (%+.1f MiB)\n", "\"cat\", found before 10 million sound-alikes",
              found_kib / 1024.0, (found_kib - tiny_kib) / 1024.0);
  unlink(tiny.c_str());
  unlink(run.c_str());
  unlink(found.c_str());
  if (tiny_kib < 0 || run_kib < 0 || found_kib < 0) std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--peak") {
    const LookupResult result = lookup_word_in(argv[2], argv[3]);
    // The words after the run must still be answered.
    if (!result.found && result.candidates != std::vector<std::string>{"cat", "cot", "cut"})
      return 1;
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
  }
  std::string list = kInsaneList;
  const bool generated = file_size(list) == 0;
  if (generated) {
    std::printf("%s not found (Debian package wamerican-insane); using a generated list\n",
                list.c_str());
    list = generated_list(650000);
  }
  std::printf("chosen kernel: %s\n", chosen_kernel().name);
  register_benchmarks(generated ? "generated_650k" : "insane_650k", list);
  register_benchmarks("bundled_104k", BUNDLED_LIST);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (generated) unlink(list.c_str());
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
  memory(self);
  return 0;
}
