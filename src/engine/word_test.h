// The close test of one word of the list: does it equal the typed word, or share its key? The
// kernels and the lookup both use it; internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_WORD_TEST_H_
#define SPELL_CHECKER_ENGINE_WORD_TEST_H_

#include <cstring>

#include "ascii.h"
#include "key_rules.h"
#include "scan_kernel.h"
#include "spell_checker.h"

namespace {

// Every word handed to match_word has at least this many bytes readable from its start, whatever
// its length: the blocks carry padding, and a word carried between blocks sits in a larger array.
constexpr std::size_t kReadableAfterWord = 32;
static_assert(kReadableAfterWord <= kScanPadding && kReadableAfterWord <= kMaxDictionaryWordLength,
              "");

enum class WordMatch { kNone, kEqual, kSoundsAlike };

// Both tests see the word up to its first NUL byte, as C strings do.
inline WordMatch match_word(const LineFilter& filter, const char* word, std::size_t length) {
  if (length > kMaxDictionaryWordLength) return WordMatch::kNone;
  const std::size_t n = filter.typed_length;
  if ((length == n || (length > n && word[n] == '\0')) &&
      ascii_equal_ignoring_case(word, filter.typed, n))
    return WordMatch::kEqual;
  if (filter.typed_key == nullptr) return WordMatch::kNone;
  WorkBuffer copy;  // the key walk may rewrite a leading "ph"
  std::memcpy(copy, word, length < kReadableAfterWord ? kReadableAfterWord : length);
  copy[length] = '\0';
  return has_phonetic_key(copy, filter.typed_key) ? WordMatch::kSoundsAlike : WordMatch::kNone;
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_WORD_TEST_H_
