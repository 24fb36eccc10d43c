// The search kernels: the part of the scan that runs over every byte of the word list, built
// once per instruction set and chosen at run time. Each kernel passes over the words that cannot
// match the typed word and hands the others to the exact tests of the lookup.
#ifndef SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
#define SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "spell_checker.h"

// What one typed line looks for. A kernel passes over most words by their first two bytes:
// bit (b0 * 256 + b1) of `pairs` is set when a word that starts with b0 followed by b1 may match
// (b1 is the separator after a one-byte word). `letters` repeats, folded to lower case, the
// letters b0 may be; a kernel tests them on many bytes at once, before it looks at the pairs.
// The words left it tests in full.
struct LineFilter {
  const char* typed = nullptr;   // the typed word, NUL-terminated
  std::size_t typed_length = 0;  // up to its first NUL byte
  PhoneticKey typed_key = nullptr;
  std::uint64_t pairs[256 * 256 / 64] = {};
  char letters[2] = {};     // one letter may stand in both places
  bool all_letters = true;  // every letter may start a word of interest; `letters` is unused
  // The same for kernels that look bytes up in a table: for each byte below 0x80, whether it is a
  // separator, and whether it starts no word of interest (a separator, or a letter not wanted).
  // Bytes of 0x80 and above are neither.
  unsigned char byte_classes[128] = {};
  // For the key's first digit: each byte's digit ('1'..'6'), '\0' for a byte without one; and the
  // letters without a digit, folded to lower case, for kernels that compare.
  char digits[256] = {};
  char letters_without_digit[8] = {};
};

constexpr unsigned char kSeparatorClass = 1;
constexpr unsigned char kPassedOverClass = 2;
constexpr unsigned char kDigitClass = 4;  // a letter with a digit

// Receives each word of the list that equals the typed word (`equal`) or has its key.
using MatchSink = void (*)(void* context, const char* word, std::size_t length, bool equal);

// The kernels read up to this many bytes past the end of a block, which must be separators, and
// the byte before it, which tells whether a word starts at its first byte.
constexpr std::size_t kScanPadding = 64;

struct ScanKernel {
  const char* name;
  // Hands `sink` every word that starts in data[0, length), matches and ends there. Returns
  // where a word of interest starts that runs on past the block (the byte after its first may
  // lie in the next block, so its pair is not tested), or `length` if none does.
  std::size_t (*scan_block)(const char* data, std::size_t length, const LineFilter& filter,
                            MatchSink sink, void* context);
  // The first separator in data[from, end), or end.
  std::size_t (*find_separator)(const char* data, std::size_t from, std::size_t end);
};

// The kernels this program was built with that this CPU can run, plainest first.
std::vector<const ScanKernel*> usable_kernels();

// The best of them, chosen once, at the first lookup.
const ScanKernel& chosen_kernel();

#endif  // SPELL_CHECKER_ENGINE_SCAN_KERNEL_H_
