// The full tests of one word of the list: does it equal the typed word, or share its key? The
// kernels and the lookup both use them; internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_WORD_MATCH_H_
#define SPELL_CHECKER_ENGINE_WORD_MATCH_H_

#include <cstring>

#include "ascii.h"
#include "key_rules.h"
#include "line_filter.h"
#include "scan_kernel.h"
#include "spell_checker.h"

namespace {

// Every word handed to match_word has at least this many bytes readable from its start, whatever
// its length: the blocks carry padding, and a word carried between blocks sits in a larger array.
constexpr std::size_t kReadableAfterWord = 32;
static_assert(kReadableAfterWord <= kScanPadding && kReadableAfterWord <= kMaxDictionaryWordLength,
              "");

// Whether the word, up to its first NUL byte, is the typed word, case ignored.
inline bool is_typed_word(const LineFilter& filter, const char* word, std::size_t length) {
  const std::size_t n = filter.typed_length;
  return (length == n || (length > n && word[n] == '\0')) &&
         ascii_equal_ignoring_case(word, filter.typed, n);
}

// Whether the word, up to its first NUL byte, has the typed word's key.
inline bool has_typed_key(const LineFilter& filter, const char* word, std::size_t length) {
  if (filter.typed_key == nullptr) return false;
  WorkBuffer copy;  // the key walk may rewrite a leading "ph"
  std::memcpy(copy, word, length < kReadableAfterWord ? kReadableAfterWord : length);
  copy[length] = '\0';
  return has_phonetic_key(copy, filter.typed_key);
}

enum class WordMatch { kNone, kEqual, kSoundsAlike };

inline WordMatch match_word(const LineFilter& filter, const char* word, std::size_t length) {
  if (length > kMaxDictionaryWordLength) return WordMatch::kNone;
  if (is_typed_word(filter, word, length)) return WordMatch::kEqual;
  return has_typed_key(filter, word, length) ? WordMatch::kSoundsAlike : WordMatch::kNone;
}

// Hands the word to `sink` if it matches: the kernels do so for the words of a block, the lookup
// for the word carried from one block into the next.
inline void hand_on_if_matching(const LineFilter& filter, const char* word, std::size_t length,
                                MatchSink sink, void* context) {
  const WordMatch match = match_word(filter, word, length);
  if (match != WordMatch::kNone) sink(context, word, length, match == WordMatch::kEqual);
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_WORD_MATCH_H_
