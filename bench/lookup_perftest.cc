// Speed and memory of a lookup. Speed: CPU time per typed line, for the floor (open, read the
// list in 128 KiB blocks, close), the plain reading (every word read with >>, every key computed
// in full) and every search kernel this CPU runs, on Debian's 663k-word wamerican-insane list (or
// a generated list of its size) and on the bundled list. The rows run in random order, several
// times over, so that the machine's drift spreads over all of them; a summary gives each row's
// median per typed line and its ratio to the floor's. Memory: the peak resident size of one
// lookup on lists made to tempt it.
//
//   lookup_perftest TYPED [benchmark options]   the speed, then the memory; TYPED holds the
//                                                typed lines, one per line
//   lookup_perftest --peak LIST WORD             one lookup; prints the peak resident size in KiB
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "floor.h"
#include "model_lookup.h"
#include "scan_kernel.h"
#include "spell_checker.h"

namespace {

const char kInsaneList[] = "/usr/share/dict/american-english-insane";

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

double cpu_seconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

std::vector<std::string> typed_lines;

// CPU seconds per typed line of every repetition of every row, by row name.
std::map<std::string, std::vector<double>> seconds_per_line;

// Every iteration looks up each typed line once.
template <typename Lookup>
void lookups(benchmark::State& state, const std::string& row, const std::string& path,
             Lookup lookup) {
  const double start = cpu_seconds();
  for (auto _ : state)
    for (const std::string& typed : typed_lines) benchmark::DoNotOptimize(lookup(path, typed));
  const double lines = static_cast<double>(state.iterations() * typed_lines.size());
  const double per_line = (cpu_seconds() - start) / lines;
  seconds_per_line[row].push_back(per_line);
  state.SetBytesProcessed(static_cast<std::int64_t>(lines * file_size(path)));
  state.counters["ms_per_line"] = per_line * 1000;
}

struct Row {
  std::string name;  // "list/row"
  std::string list;
  std::string row;
};
std::vector<Row> rows;

void register_benchmarks(const std::string& title, const std::string& path) {
  for (const std::string& typed : typed_lines) {
    const LookupResult expected = model_lookup(path, typed);
    for (const ScanKernel* kernel : usable_kernels()) {
      if (!same_reply(lookup_word_in(path, typed, kReadBlockSize, kernel), expected)) {
        std::printf("MISMATCH for \"%s\" on %s, kernel %s\n", typed.c_str(), path.c_str(),
                    kernel->name);
        std::exit(1);
      }
    }
  }
  const auto add = [&](const std::string& row, auto lookup) {
    const std::string name = title + "/" + row;
    rows.push_back({name, title, row});
    benchmark::RegisterBenchmark(
        name.c_str(), [=](benchmark::State& state) { lookups(state, name, path, lookup); })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(7)
        ->DisplayAggregatesOnly(true);
  };
  add("floor",
      [](const std::string& list, const std::string&) { return read_list_once(list.c_str()); });
  add("plain_reading", model_lookup);
  for (const ScanKernel* kernel : usable_kernels())
    add(kernel->name, [kernel](const std::string& list, const std::string& typed) {
      return lookup_word_in(list, typed, kReadBlockSize, kernel);
    });
}

void print_summary() {
  std::printf("\nper typed line, median of the repetitions, against the floor of this run:\n");
  print_summary_heading();
  for (const Row& row : rows) {
    const std::vector<double>& floor = seconds_per_line[row.list + "/floor"];
    // A row, or its floor, left out by --benchmark_filter has no figure.
    if (seconds_per_line[row.name].empty() || floor.empty()) continue;
    const double line = median(seconds_per_line[row.name]);
    print_summary_row(row.name, line, line / median(floor));
  }
}

// Many words looked up at once: in one read of the list against one by one, in turns, for the
// counts around the one from which the program takes the one read (kOnePassWords).
void one_read_for_many(const std::string& title, const std::string& path) {
  const std::size_t counts[] = {8, 16, 32, 48, 64, 96, 128};
  const std::vector<std::string> drawn = sample_typed_words(path, 128);
  std::map<std::size_t, std::vector<double>> one_pass, one_by_one, ratios;
  for (int round = 0; round < 5; ++round) {
    for (std::size_t count : counts) {
      const std::vector<std::string> typed(drawn.begin(), drawn.begin() + count);
      double start = cpu_seconds();
      benchmark::DoNotOptimize(lookup_words_in(path, typed, 0));
      const double pass = cpu_seconds() - start;
      start = cpu_seconds();
      benchmark::DoNotOptimize(lookup_words_in(path, typed, SIZE_MAX));
      const double alone = cpu_seconds() - start;
      one_pass[count].push_back(pass);
      one_by_one[count].push_back(alone);
      ratios[count].push_back(alone / pass);
    }
  }
  std::printf("\n%s, words looked up at once, CPU time, medians of 5 rounds (one read from %zu):\n",
              title.c_str(), kOnePassWords);
  std::printf("  %-8s %14s %14s %12s\n", "words", "one read (ms)", "one by one", "one read is");
  for (std::size_t count : counts)
    std::printf("  %-8zu %14.1f %14.1f %11.2fx\n", count, median(one_pass[count]) * 1000,
                median(one_by_one[count]) * 1000, median(ratios[count]));
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
  std::printf("\npeak memory, one lookup:\n");
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
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s TYPED [benchmark options]\n", argv[0]);
    return 2;
  }
  std::ifstream typed_file(argv[1]);
  for (std::string line; std::getline(typed_file, line);) typed_lines.push_back(line);
  if (typed_lines.empty()) {
    std::fprintf(stderr, "%s: no typed lines in %s\n", argv[0], argv[1]);
    return 1;
  }
  // The program itself, found again for the memory runs without /proc.
  char self[PATH_MAX];
  if (realpath(argv[0], self) == nullptr) {
    std::perror(argv[0]);
    return 1;
  }
  std::string list = kInsaneList;
  const bool generated = file_size(list) == 0;
  if (generated) {
    std::printf("%s not found (Debian package wamerican-insane); using a generated list\n",
                list.c_str());
    list = generated_list(663000);
  }
  std::printf("chosen kernel: %s; %zu typed lines\n", chosen_kernel().name, typed_lines.size());
  register_benchmarks(generated ? "generated_663k" : "insane_663k", list);
  register_benchmarks("bundled_104k", BUNDLED_LIST);
  // The rows in random order, so that a slow spell of the machine spreads over all of them.
  std::vector<char*> args = {argv[0]};
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.push_back(interleave);
  for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (generated) unlink(list.c_str());
  print_summary();
  one_read_for_many(generated ? "generated_663k" : "insane_663k", list);
  memory(self);
  return 0;
}
