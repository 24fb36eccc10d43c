// What the two benchmarks share: the floor that a lookup is held against, and the summary rows
// in which each shows its figures against it.
#ifndef SPELL_CHECKER_BENCH_FLOOR_H_
#define SPELL_CHECKER_BENCH_FLOOR_H_

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// The least a lookup can cost: the list opened, read in blocks of 128 KiB and closed. Returns
// 0, or -1 when the list cannot be read. The block starts a cache line, as the program's does:
// the system copies into a block 16 bytes past one (where malloc puts a large one) up to ten
// times slower on some machines (an AMD EPYC virtual machine among them).
inline int read_list_once(const char* path) {
  alignas(64) static char block[128 * 1024];
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return -1;
  while (read(fd, block, sizeof block) > 0) {
  }
  return close(fd);
}

inline double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The summary: a heading, then a row per program or kernel, its time per typed line, its ratio
// to the floor's and, for whole processes, to the contract floor's (contract_floor.cc).
inline void print_summary_heading(bool against_contract = false) {
  std::printf("  %-32s %12s %8s%s\n", "", "ms per line", "x floor",
              against_contract ? " x contract" : "");
}
inline void print_summary_row(const std::string& name, double seconds_per_line, double ratio,
                              double contract_ratio = -1) {
  std::printf("  %-32s %12.3f %7.2fx", name.c_str(), seconds_per_line * 1000, ratio);
  if (contract_ratio >= 0) std::printf(" %9.2fx", contract_ratio);
  std::printf("\n");
}

// `count` lines as a script might pipe in, drawn from the words of the list at `path` the same
// way every time: every second one as it stands in the list, the others with one ASCII letter
// changed into another.
inline std::vector<std::string> sample_typed_words(const std::string& path, std::size_t count) {
  std::vector<std::string> words;
  std::FILE* list = std::fopen(path.c_str(), "rb");
  if (list == nullptr) return words;
  std::string word;
  for (int c; (c = std::fgetc(list)) != EOF;) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  std::fclose(list);
  std::vector<std::string> typed;
  unsigned long state = 20261209;
  const auto next = [&state] {
    return (state = state * 6364136223846793005UL + 1442695040888963407UL) >> 33;
  };
  for (std::size_t i = 0; i < count && !words.empty(); ++i) {
    std::string line = words[next() % words.size()];
    if (i % 2 == 1) {
      for (std::size_t tries = 0; tries < line.size(); ++tries) {
        char& c = line[next() % line.size()];
        if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
          c = static_cast<char>('a' + ((c | 0x20) - 'a' + 1 + next() % 25) % 26);
          break;
        }
      }
    }
    typed.push_back(line);
  }
  return typed;
}

#endif  // SPELL_CHECKER_BENCH_FLOOR_H_
