// The speed of the whole program, as a script would run it: the typed lines piped into its
// standard input, its standard output a pipe that another process reads, its CPU time (user and
// system) from the system when it ends. Against the floor: a process that opens the list, reads it in 128 KiB blocks and
// closes it once per typed line. The programs run in turns, round after round, on one CPU, so
// that the machine's drift falls on all of them alike; each row gives the median over the rounds
// of its CPU time per typed line, and of its ratio to the floor's in the same round.
//
//   process_bench TYPED LIST ROUNDS NAME=PROGRAM...   PROGRAM reads LIST as its word list
//   process_bench --floor LIST TIMES                   the floor
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sched.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "floor.h"

namespace {

int floor_process(const char* list, int times) {
  for (int i = 0; i < times; ++i)
    if (read_list_once(list) != 0) return 1;
  return 0;
}

// Runs `argv` with `input` as standard input and its standard output into a pipe that another
// process reads as fast as it can; returns its CPU seconds, or -1 when it failed.
double cpu_seconds_of(const std::vector<std::string>& argv, const char* input) {
  int output[2];
  if (pipe(output) != 0) return -1;
  const pid_t reader = fork();
  if (reader == 0) {
#if defined(__linux__)
    cpu_set_t all;
    CPU_ZERO(&all);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &all);
    sched_setaffinity(0, sizeof all, &all);
#endif
    close(output[1]);
    char sink[65536];
    while (read(output[0], sink, sizeof sink) > 0) {
    }
    _exit(0);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(input, O_RDONLY), null = open("/dev/null", O_WRONLY);
    if (in < 0 || null < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    close(output[0]);
    close(output[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(output[0]);
  close(output[1]);
  int status = 0, reader_status = 0;
  rusage usage = {};
  const bool ran = pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
                   WEXITSTATUS(status) == 0;
  if (reader > 0) waitpid(reader, &reader_status, 0);
  if (!ran) return -1;
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

// All the programs on the last CPU this process may use, where the system is least likely to
// put its own work. Elsewhere than on Linux they go where the system puts them.
void keep_to_one_cpu() {
#if defined(__linux__)
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return;
  for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
    if (!CPU_ISSET(cpu, &cpus)) continue;
    CPU_ZERO(&cpus);
    CPU_SET(cpu, &cpus);
    sched_setaffinity(0, sizeof cpus, &cpus);
    return;
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--floor") == 0)
    return floor_process(argv[2], std::atoi(argv[3]));
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s TYPED LIST ROUNDS NAME=PROGRAM...\n", argv[0]);
    return 2;
  }
  const char* const typed = argv[1];
  int lines = 0;
  std::ifstream typed_file(typed);
  for (std::string line; std::getline(typed_file, line);) ++lines;
  const int rounds = std::atoi(argv[3]);
  char self[PATH_MAX];
  if (lines == 0 || rounds <= 0 || realpath(argv[0], self) == nullptr) {
    std::fprintf(stderr, "%s: no typed lines in %s, no rounds, or no path to itself\n", argv[0],
                 typed);
    return 2;
  }
  struct Row {
    std::string name;
    std::vector<std::string> argv;
    std::vector<double> seconds, ratios;
  };
  std::vector<Row> rows = {{"floor", {self, "--floor", argv[2], std::to_string(lines)}, {}, {}}};
  for (int i = 4; i < argc; ++i) {
    const char* const equals = std::strchr(argv[i], '=');
    if (equals == nullptr) {
      std::fprintf(stderr, "%s: %s is not NAME=PROGRAM\n", argv[0], argv[i]);
      return 2;
    }
    rows.push_back(
        {std::string(argv[i], static_cast<std::size_t>(equals - argv[i])), {equals + 1}, {}, {}});
  }
  keep_to_one_cpu();
  for (int round = 0; round < rounds; ++round) {
    for (Row& row : rows) {
      const double seconds = cpu_seconds_of(row.argv, typed);
      if (seconds < 0) {
        std::fprintf(stderr, "%s: %s failed\n", argv[0], row.argv[0].c_str());
        return 1;
      }
      row.seconds.push_back(seconds);
    }
    for (Row& row : rows) row.ratios.push_back(row.seconds.back() / rows[0].seconds.back());
  }
  std::printf("whole process, %d typed lines piped in, CPU time, medians of %d rounds:\n", lines,
              rounds);
  print_summary_heading();
  for (const Row& row : rows)
    print_summary_row(row.name, median(row.seconds) / lines, median(row.ratios));
  return 0;
}
