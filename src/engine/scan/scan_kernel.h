// The search kernels: the part of the scan that runs over every byte of the word list, built
// once per instruction set and chosen at run time. Each kernel passes over the words that cannot
// match the typed word and hands the others to the full tests of a word (word_match.h).
#ifndef SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
#define SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ascii.h"
#include "line_filter.h"

// What a kernel needs of the CPU: features that the program can tell at run time (scan_kernel.cc
// says how, for each).
enum CpuFeature : unsigned {
  kCpuSse2 = 1u << 0,
  kCpuAvx2 = 1u << 1,
  kCpuAvx512f = 1u << 2,
  kCpuAvx512bw = 1u << 3,
  kCpuAvx512vbmi = 1u << 4,
  kCpuNeon = 1u << 5,
};

// The features of the CPU that runs the program.
unsigned cpu_features();

// Receives each word of the list that equals the typed word (`equal`) or has its key.
using MatchSink = void (*)(void* context, const char* word, std::size_t length, bool equal);

// How far the kernels read around the 64 bytes they look at: the byte before them (whether a word
// starts at the first), and after them the next byte of each (the close look's second bytes) and
// the end of a word of the longest length tested (the exact test's last byte and the byte after).
constexpr std::size_t kLookBehind = 1;
constexpr std::size_t kLookAhead = 64 + kExactLengthTested;

// After a block the kernels are handed, this many bytes that are separators, for their reads past
// its end; and the byte before it. A ListBlock (list_block.h) leaves this room.
constexpr std::size_t kScanPadding = kLookAhead;

// Of 64 bytes whose `separators` are known, a bit each, the first byte lowest: those that start
// a word, for they follow a separator; `before` is the byte ahead of the first. Internal
// linkage, as in ascii.h: each kernel has its own copy, built for its instruction set.
namespace {
inline std::uint64_t word_starts(std::uint64_t separators, char before) {
  return ~separators & ((separators << 1) | (is_word_separator(before) ? 1 : 0));
}
}  // namespace

// The steps of the search for one stretch of 64 bytes, as a kernel takes them, for the tests that
// hold every kernel to a plain model step by step. Bits are a byte each, the first byte lowest.
struct StretchSteps {
  bool first_look = false;  // whether a word of interest may start here
  // The close look: the separators; of the bytes that start words, those that are non-letters
  // (where the line wants them), that may start the typed word, and that give the key's letter.
  std::uint64_t separators = 0, nonletters = 0, exact = 0, keys = 0;
  // The stops (separators left out): all, the ends of words, and those of each distinct digit.
  std::uint64_t stops = 0, ends = 0, digits[kMaxDistinctDigits] = {};
};

struct ScanKernel {
  const char* name;
  unsigned needs;  // CpuFeature bits
  // Hands `sink` every word that starts in data[0, length) and matches. Every word ends in the
  // block: data[length, length + kScanPadding) are separators, and data[-1] is the byte before.
  void (*search)(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                 void* context);
  // The first separator in data[from, end), or end.
  std::size_t (*find_separator)(const char* data, std::size_t from, std::size_t end);
  // The steps for the 64 bytes at `p`, which may read as `search` does around them.
  void (*take_steps)(const char* p, const LineFilter& filter, StretchSteps& steps);
};

// The kernels this program was built with that this CPU can run, in their measured rank, slowest
// first (the order of CMakeLists.txt).
std::vector<const ScanKernel*> usable_kernels();

// The fastest of them, chosen once, at the first lookup.
const ScanKernel& chosen_kernel();

#endif  // SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
