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
// 0, or -1 when the list cannot be read.
inline int read_list_once(const char* path) {
  static std::vector<char> block(128 * 1024);
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return -1;
  while (read(fd, block.data(), block.size()) > 0) {
  }
  return close(fd);
}

inline double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The summary: a heading, then a row per program or kernel, its time per typed line and its
// ratio to the floor's.
inline void print_summary_heading() {
  std::printf("  %-32s %12s %8s\n", "", "ms per line", "x floor");
}
inline void print_summary_row(const std::string& name, double seconds_per_line, double ratio) {
  std::printf("  %-32s %12.3f %7.2fx\n", name.c_str(), seconds_per_line * 1000, ratio);
}

#endif  // SPELL_CHECKER_BENCH_FLOOR_H_
