// The speed of the whole program, as a script would run it: the typed lines piped into its
// standard input, its standard output a pipe that another process reads, its CPU time (user and
// system) from the system when it ends. Against the floor: a process that opens the list, reads it
// in 128 KiB blocks and closes it once per typed line. The programs run in turns, round after
// round, on one CPU, so that the machine's drift falls on all of them alike; each row gives the
// median over the rounds of its CPU time per typed line, and of its ratio to the floor's in the
// same round.
//
//   process_bench TYPED LIST ROUNDS CONTRACT NAME=PROGRAM...   PROGRAM reads LIST as its word
//                                          list; CONTRACT is contract_floor (contract_floor.cc),
//                                          which makes the first PROGRAM's replies and reads LIST
//                                          in full for each line, and every row is held to it too
//   process_bench --floor LIST TIMES                   the floor
//   process_bench --piped LIST ROUNDS PROGRAM FLOOR COUNT...   COUNT words drawn from LIST
//                                          piped in all at once, one at a time, and into the
//                                          contract floor FLOOR (contract_floor.cc)
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

struct Usage {
  double seconds = -1;  // CPU, user and system
  long peak_kib = 0;
};

// Runs `program` with `lines` piped into it, and its output into a pipe that this process reads:
// all at once, written by another process as fast as the pipe takes them, or each line only
// once the reply to the one before has come (the next prompt), as from a client that waits.
Usage usage_of_piped(const std::vector<std::string>& argv, const std::vector<std::string>& lines,
                     bool all_at_once, std::string* output_kept = nullptr) {
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    for (int fd : {input[0], input[1], output[0], output[1], null}) close(fd);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const auto write_all = [&](const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t written = write(input[1], data, size);
      if (written <= 0) return;
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  };
  if (all_at_once) {
    const pid_t writer = fork();
    if (writer == 0) {
      close(output[0]);
      write_all(text.data(), text.size());
      _exit(0);
    }
    close(input[1]);
    char sink[65536];
    for (ssize_t got; (got = read(output[0], sink, sizeof sink)) > 0;)
      if (output_kept != nullptr) output_kept->append(sink, static_cast<std::size_t>(got));
    waitpid(writer, nullptr, 0);
  } else {
    // Prompts seen so far against lines sent: a line goes once the prompt before it has come.
    std::size_t prompts = 0, sent = 0;
    std::string tail;
    char buffer[65536];
    for (;;) {
      while (sent < prompts && sent < lines.size()) {
        const std::string line = lines[sent++] + "\n";
        write_all(line.data(), line.size());
      }
      if (sent == lines.size()) close(input[1]);
      const ssize_t got = read(output[0], buffer, sizeof buffer);
      if (got <= 0) break;
      tail.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t at; (at = tail.find("word> ")) != std::string::npos; tail.erase(0, at + 6))
        ++prompts;
      if (tail.size() > 5) tail.erase(0, tail.size() - 5);
    }
    if (sent < lines.size()) close(input[1]);
  }
  close(output[0]);
  int status = 0;
  rusage usage = {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {};
  return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
              usage.ru_stime.tv_usec / 1e6,
          usage.ru_maxrss};
}

// Lines piped in all at once against the same lines one at a time, for each count, in turns.
int piped_lines(const char* list, int rounds, const std::string& program, const std::string& floor,
                int argc, char** counts) {
  struct Row {
    std::vector<std::string> lines;
    std::string replies;  // the program's output for the lines, which the contract floor writes
    std::vector<double> waiting, one_by_one, contract, speedups, of_contract;
    std::vector<double> peak_mib;
  };
  // The lines are drawn in a process of their own: a program started from this one would count
  // this one's memory, as it was when it started, in its peak.
  const std::string drawn = "/tmp/process_bench_lines_" + std::to_string(getpid());
  const pid_t drawer = fork();
  if (drawer == 0) {
    std::ofstream out(drawn, std::ios::binary);
    for (int i = 0; i < argc; ++i)
      for (const std::string& line : sample_typed_words(list, std::strtoul(counts[i], nullptr, 10)))
        out << line << '\n';
    out.close();  // _exit flushes nothing
    _exit(out ? 0 : 1);
  }
  int drawn_status = -1;
  waitpid(drawer, &drawn_status, 0);
  std::ifstream in(drawn, std::ios::binary);
  unlink(drawn.c_str());
  std::vector<Row> rows;
  for (int i = 0; i < argc && drawn_status == 0; ++i) {
    rows.emplace_back();
    for (std::size_t n = std::strtoul(counts[i], nullptr, 10); n > 0; --n) {
      rows.back().lines.emplace_back();
      std::getline(in, rows.back().lines.back());
    }
  }
  if (drawn_status != 0 || !in) {
    std::fprintf(stderr, "process_bench: no words drawn from %s\n", list);
    return 1;
  }
  const std::string replies = "/tmp/process_bench_replies_" + std::to_string(getpid());
  for (int round = 0; round < rounds; ++round) {
    for (Row& row : rows) {
      const bool first = row.replies.empty();
      const Usage waiting =
          usage_of_piped({program}, row.lines, true, first ? &row.replies : nullptr);
      const Usage alone = usage_of_piped({program}, row.lines, false);
      std::ofstream(replies, std::ios::binary | std::ios::trunc) << row.replies;
      const Usage contract = usage_of_piped({floor, replies}, row.lines, true);
      if (waiting.seconds < 0 || alone.seconds < 0 || contract.seconds < 0) {
        std::fprintf(stderr, "process_bench: %s or %s failed\n", program.c_str(), floor.c_str());
        unlink(replies.c_str());
        return 1;
      }
      row.waiting.push_back(waiting.seconds);
      row.one_by_one.push_back(alone.seconds);
      row.contract.push_back(contract.seconds);
      row.speedups.push_back(alone.seconds / waiting.seconds);
      row.of_contract.push_back(waiting.seconds / contract.seconds);
      row.peak_mib.push_back(waiting.peak_kib / 1024.0);
    }
  }
  unlink(replies.c_str());
  std::printf(
      "whole process, lines piped in, CPU time, medians of %d rounds; the contract floor\n"
      "does only what the contract asks (the line editor, its history, each reply line\n"
      "written on its own) and reads no list:\n",
      rounds);
  std::printf("  %-8s %13s %13s %8s %13s %10s %9s\n", "lines", "all waiting", "one at a time",
              "faster", "contract", "x contract", "peak MiB");
  std::printf("  %-8s %13s %13s %8s %13s %10s %9s\n", "", "(words/s)", "(words/s)", "",
              "floor (w/s)", "", "(waiting)");
  for (const Row& row : rows) {
    const double lines = static_cast<double>(row.lines.size());
    std::printf("  %-8zu %13.0f %13.0f %7.1fx %13.0f %9.2fx %9.1f\n", row.lines.size(),
                lines / median(row.waiting), lines / median(row.one_by_one), median(row.speedups),
                lines / median(row.contract), median(row.of_contract), median(row.peak_mib));
  }
  return 0;
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
  if (argc >= 7 && std::strcmp(argv[1], "--piped") == 0) {
    keep_to_one_cpu();
    return piped_lines(argv[2], std::atoi(argv[3]), argv[4], argv[5], argc - 6, argv + 6);
  }
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s TYPED LIST ROUNDS CONTRACT NAME=PROGRAM...\n", argv[0]);
    return 2;
  }
  const char* const typed = argv[1];
  std::vector<std::string> typed_lines;
  std::ifstream typed_file(typed);
  for (std::string line; std::getline(typed_file, line);) typed_lines.push_back(line);
  const int lines = static_cast<int>(typed_lines.size());
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
    std::vector<double> seconds, ratios, contract_ratios;  // the ratios to the two floors
  };
  std::vector<Row> rows = {
      {"floor", {self, "--floor", argv[2], std::to_string(lines)}, {}, {}, {}}};
  for (int i = 5; i < argc; ++i) {
    const char* const equals = std::strchr(argv[i], '=');
    if (equals == nullptr) {
      std::fprintf(stderr, "%s: %s is not NAME=PROGRAM\n", argv[0], argv[i]);
      return 2;
    }
    rows.push_back({std::string(argv[i], static_cast<std::size_t>(equals - argv[i])),
                    {equals + 1},
                    {},
                    {},
                    {}});
  }
  // The contract floor writes the replies the first program writes, kept in a file beside it.
  std::string replies;
  if (usage_of_piped(rows[1].argv, typed_lines, true, &replies).seconds < 0) {
    std::fprintf(stderr, "%s: %s failed\n", argv[0], rows[1].argv[0].c_str());
    return 1;
  }
  const std::string replies_file = rows[1].argv[0] + ".replies";
  std::ofstream(replies_file, std::ios::binary) << replies;
  rows.insert(rows.begin() + 1,
              Row{"contract floor", {argv[4], replies_file, argv[2]}, {}, {}, {}});
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
    for (Row& row : rows) {
      row.ratios.push_back(row.seconds.back() / rows[0].seconds.back());
      row.contract_ratios.push_back(row.seconds.back() / rows[1].seconds.back());
    }
  }
  std::printf("whole process, %d typed lines piped in, CPU time, medians of %d rounds:\n", lines,
              rounds);
  print_summary_heading(true);
  for (const Row& row : rows)
    print_summary_row(row.name, median(row.seconds) / lines, median(row.ratios),
                      median(row.contract_ratios));
  std::remove(replies_file.c_str());
  return 0;
}
