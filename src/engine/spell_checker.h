// The spelling engine: phonetic keys and the lookup of one typed word in the word list.
#ifndef SPELL_CHECKER_ENGINE_SPELL_CHECKER_H_
#define SPELL_CHECKER_ENGINE_SPELL_CHECKER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Where the word list lives, ending in "spell_checker/"; fixed when the program is built, in a
// source file that the build writes.
extern const char kDictionaryDirectory[];
constexpr char kDictionaryFileName[] = "words.txt";

constexpr std::size_t kWorkBufferSize = 1024;
constexpr std::size_t kMaxKeyDigits = 8;
constexpr std::size_t kMaxDictionaryWordLength = 1022;

// A scratch array, zero-filled where a function below asks for one; a word copied into one keeps
// room for its terminator.
using WorkBuffer = char[kWorkBufferSize];

// One upper-case ASCII letter and up to kMaxKeyDigits digits '1'..'6', NUL-terminated; null
// when the word holds no ASCII letter.
using PhoneticKey = const char*;

struct LookupResult {
  bool found = false;  // the typed word is in the list, ASCII case ignored
  // List words with the typed word's key, as they stand in the file, sorted by byte value; empty
  // when found is true, since that reply does not list them.
  std::vector<std::string> candidates;
  // Why the list could not be read to its end ("cannot read PATH: REASON"), or why its
  // sound-alikes could not all be held ("cannot list the sound-alikes from PATH: REASON", with
  // no candidates); empty when neither happened.
  std::string error;
};

// Computes the key of the NUL-terminated `word` into the zero-filled `key` buffer and returns
// `key`, or null (leaving `key` untouched) when the word holds no letter. May rewrite a leading
// "ph" of `word` in place, so callers pass a scratch copy.
PhoneticKey phonetic_key(char* word, char* key);

// The list is read in blocks of this many bytes.
constexpr std::size_t kReadBlockSize = 256 * 1024;

struct ScanKernel;

// Looks `typed` up in the word list at `path`, with the search kernel `kernel`, or the one chosen
// for this CPU. `typed` must be shorter than kWorkBufferSize - 1; a longer one gets an empty
// result. One lookup at a time: the block the list is read into is kept for the next.
LookupResult lookup_word_in(const std::string& path, const std::string& typed,
                            std::size_t block_size = kReadBlockSize,
                            const ScanKernel* kernel = nullptr);

// The program's word list: kDictionaryDirectory followed by kDictionaryFileName.
std::string dictionary_path();

// Looks `typed` up in the program's word list.
LookupResult lookup_word(const std::string& typed);

// From this many typed words on, one read of the list that answers them all costs less than
// looking each up in turn (measured on the 663k-word list: doc/ALGORITHM.md).
constexpr std::size_t kOnePassWords = 64;

// One read for many words holds the sound-alikes of all of them, as bytes and an 8-byte place
// each, until it ends; holding more than this, it leaves its later words for another lookup.
constexpr std::size_t kOnePassHeldBytes = std::size_t{8} << 20;

struct OnePassResults;  // lookup_words.cc
// (Not a shared_ptr: its count is atomic, which some CPUs, 32-bit ARM before v6 among them, have
// only through a library of their own.)
struct OnePassDelete {
  void operator()(const OnePassResults* results) const;
};

// The lookups of several typed words.
struct WordsLookup {
  // How many of the words asked about, from the first, were looked up: all, unless holding
  // their sound-alikes would have taken more than its limit; at least one.
  std::size_t answered = 0;
  std::vector<LookupResult> one_by_one;                           // when each was looked up in turn
  std::unique_ptr<const OnePassResults, OnePassDelete> one_pass;  // when one read answered them

  // What lookup_word_in gives the i-th word, i < answered, from the same file.
  LookupResult result(std::size_t i) const;
  // The bytes it holds of sound-alikes, with an 8-byte place each in one read's results.
  std::size_t held_bytes() const;
};

// Looks up each of `typed` in the list at `path`: one by one below `one_pass_from` words, else
// all in one read of the list, in blocks of `block_size`, holding at most about `held_bytes` of
// sound-alikes.
WordsLookup lookup_words_in(const std::string& path, const std::vector<std::string>& typed,
                            std::size_t one_pass_from = kOnePassWords,
                            std::size_t block_size = kReadBlockSize,
                            std::size_t held_bytes = kOnePassHeldBytes);

// Looks up each of `typed` in the program's word list.
WordsLookup lookup_words(const std::vector<std::string>& typed);

#endif  // SPELL_CHECKER_ENGINE_SPELL_CHECKER_H_
