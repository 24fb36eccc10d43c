// Speed and memory of one lookup: the program's scan against the plain reading (every word
// read with >>, every key computed in full), side by side on the same list.
//
//   lookup_perftest [LIST]        LIST defaults to Debian's 650k-word wamerican-insane list, or a
//                                 generated list of the same size when that is not installed
//   lookup_perftest --peak LIST WORD   one lookup; prints the peak resident size in KiB
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model_lookup.h"
#include "spell_checker.h"
#include "word_search.h"

namespace {

const char kInsaneList[] = "/usr/share/dict/american-english-insane";
const std::vector<std::string> kTypedWords = {"fone", "sing", "spelling", "Robert", "xylophone"};

using Lookup = LookupResult (*)(const std::string&, const std::string&);

LookupResult fast_lookup(const std::string& path, const std::string& typed) {
  return lookup_word_in(path, typed);
}

// Milliseconds per lookup, averaged over the typed words, repeated for at least `seconds`.
double ms_per_line(Lookup lookup, const std::string& path, double seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  std::size_t lines = 0;
  do {
    for (const std::string& typed : kTypedWords) lookup(path, typed);
    lines += kTypedWords.size();
  } while (std::chrono::duration<double>(Clock::now() - start).count() < seconds);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / lines;
}

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

void compare(const char* title, const std::string& path) {
  const double mb = file_size(path) / 1e6;
  for (const std::string& typed : kTypedWords) {
    if (!same_reply(lookup_word_in(path, typed), model_lookup(path, typed))) {
      std::printf("MISMATCH for \"%s\" on %s\n", typed.c_str(), path.c_str());
      std::exit(1);
    }
  }
  const double fast = ms_per_line(fast_lookup, path, 2.0);
  const double plain = ms_per_line(model_lookup, path, 2.0);
  std::printf("%s (%.1f MB):\n", title, mb);
  std::printf("  fast scan      %8.3f ms/line  %7.0f MB/s\n", fast, mb / fast * 1000);
  std::printf("  plain reading  %8.3f ms/line  %7.0f MB/s\n", plain, mb / plain * 1000);
  std::printf("  ratio          %8.1f x\n", plain / fast);
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
  std::printf("search: %s\n", vector_search() ? "SSE2, 16 bytes at a time" : "portable");
  std::string list = argc > 1 ? argv[1] : kInsaneList;
  bool generated = false;
  if (file_size(list) == 0) {
    std::printf("%s not found (Debian package wamerican-insane); using a generated list\n",
                list.c_str());
    list = generated_list(650000);
    generated = true;
  }
  compare(list.c_str(), list);
  compare("bundled list " BUNDLED_LIST, BUNDLED_LIST);
  if (generated) unlink(list.c_str());
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
  memory(self);
  return 0;
}
