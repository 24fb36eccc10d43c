#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <locale>

#include "ascii.h"
#include "spell_checker.h"

namespace {

std::string read_error(const std::string& path, int error_number) {
  return "cannot read " + path + ": " + std::strerror(error_number != 0 ? error_number : EIO);
}

}  // namespace

std::string dictionary_path() { return std::string(kDictionaryDirectory) + kDictionaryFileName; }

LookupResult lookup_word_in(const std::string& path, const std::string& typed) {
  LookupResult result;
  if (typed.size() >= kWorkBufferSize - 1) return result;

  WorkBuffer typed_copy = {};
  WorkBuffer typed_key_buffer = {};
  typed.copy(typed_copy, typed.size());
  const PhoneticKey typed_key = phonetic_key(typed_copy, typed_key_buffer);

  errno = 0;
  std::ifstream list(path, std::ios::binary);
  if (!list) {
    result.error = read_error(path, errno);
    return result;
  }
  // Words are separated by the six whitespace characters of the POSIX locale, whatever the
  // global locale says.
  list.imbue(std::locale::classic());

  // The exact test and the key see a word up to its first NUL byte, as C strings do.
  std::string word;
  while (list >> word) {
    if (word.size() > kMaxDictionaryWordLength) continue;
    if (ascii_strcasecmp(typed.c_str(), word.c_str()) == 0) result.found = true;
    WorkBuffer word_copy = {};
    WorkBuffer word_key_buffer = {};
    word.copy(word_copy, word.size());
    const PhoneticKey word_key = phonetic_key(word_copy, word_key_buffer);
    if (typed_key != nullptr && word_key != nullptr && ascii_strcasecmp(typed_key, word_key) == 0)
      result.candidates.push_back(word);
  }
  if (list.bad()) result.error = read_error(path, errno);

  if (!result.found) std::sort(result.candidates.begin(), result.candidates.end());
  return result;
}

LookupResult lookup_word(const std::string& typed) {
  return lookup_word_in(dictionary_path(), typed);
}
