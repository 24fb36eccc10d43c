// The dictionary scan. Every call reads the whole list again, in blocks of a fixed size, and
// keeps nothing of it but the candidates. It costs little more than the read because most words
// are passed over by their first byte: a word can equal the typed word, case ignored, only if its
// first byte does, and can share its key only if its first letter can give the key's letter.
// The words left are tested in full, their keys walked only as far as they agree.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "ascii.h"
#include "key_rules.h"
#include "spell_checker.h"
#include "word_search.h"

namespace {

// The first bytes of the words that could match `typed`, whose key is `typed_key`.
StartFilter filter_for(const char* typed, PhoneticKey typed_key) {
  bool interesting[256] = {};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (is_word_separator(c)) continue;
    // A word that starts with a non-letter has its key at a later letter.
    bool wanted = !is_ascii_letter(c) || ascii_lower(c) == ascii_lower(typed[0]);
    // The key's letter depends on the first letter and the byte after it; try every such byte.
    for (int next = 0; next < 256 && !wanted && typed_key != nullptr; ++next) {
      char probe[] = {c, static_cast<char>(next), '\0'};
      const auto is_key_letter = [&](char letter) {
        wanted = letter == typed_key[0];
        return false;
      };
      walk_phonetic_key(probe, is_key_letter, [](char) { return false; });
    }
    interesting[b] = wanted;
  }
  return make_start_filter(interesting);
}

struct Scan {
  const char* typed;
  PhoneticKey typed_key;
  LookupResult* result;
  bool out_of_memory = false;  // the sound-alikes met so far did not fit and were let go
};

void release_candidates(LookupResult& result) {
  std::vector<std::string>().swap(result.candidates);
}

// The exact test and the key test for one word of at most kMaxDictionaryWordLength bytes.
void test_word(Scan& scan, const char* word, std::size_t length) {
  LookupResult& result = *scan.result;
  // A found word's reply is one line: the sound-alikes are of no more use, however many follow.
  if (result.found) return;
  WorkBuffer copy;
  std::memcpy(copy, word, length);
  copy[length] = '\0';  // both tests see the word up to its first NUL byte, as C strings do
  if (ascii_strcasecmp(scan.typed, copy) == 0) {
    result.found = true;
    release_candidates(result);
    return;
  }
  if (scan.out_of_memory || scan.typed_key == nullptr || !has_phonetic_key(copy, scan.typed_key))
    return;
  try {
    result.candidates.emplace_back(word, length);
  } catch (const std::bad_alloc&) {
    // Keep scanning: the word may still be found, and then the reply needs no sound-alikes.
    scan.out_of_memory = true;
    release_candidates(result);
  }
}

// A word of interest that runs on from one block into the next: its first bytes, as many as
// can still make a word short enough to be tested.
struct PartWord {
  bool open = false;
  bool too_long = false;
  std::size_t length = 0;
  char bytes[kMaxDictionaryWordLength];
};

void add_to_part_word(PartWord& part, const char* bytes, std::size_t length) {
  part.open = true;
  if (part.too_long || length > kMaxDictionaryWordLength - part.length) {
    part.too_long = true;
    return;
  }
  std::memcpy(part.bytes + part.length, bytes, length);
  part.length += length;
}

void end_part_word(Scan& scan, PartWord& part) {
  if (part.open && !part.too_long) test_word(scan, part.bytes, part.length);
  part = PartWord();
}

// Tests the words of interest in data[0, length), a block of the list that follows the block
// whose last byte is data[-1].
void scan_block(Scan& scan, const StartFilter& filter, const char* data, std::size_t length,
                PartWord& part) {
  std::size_t p = 0;
  if (part.open) {
    p = find_separator(data, 0, length);
    add_to_part_word(part, data, p);
    if (p == length) return;
    end_part_word(scan, part);
  }
  for (;;) {
    const std::size_t start = find_interesting_start(data, p, length, filter);
    if (start == length) return;
    p = find_separator(data, start, length);
    if (p == length) {
      add_to_part_word(part, data + start, length - start);
      return;
    }
    if (p - start <= kMaxDictionaryWordLength) test_word(scan, data + start, p - start);
  }
}

std::string read_error(const std::string& path, int error_number) {
  return "cannot read " + path + ": " + std::strerror(error_number);
}

}  // namespace

std::string dictionary_path() { return std::string(kDictionaryDirectory) + kDictionaryFileName; }

LookupResult lookup_word_in(const std::string& path, const std::string& typed,
                            std::size_t block_size) {
  LookupResult result;
  if (typed.size() >= kWorkBufferSize - 1 || block_size == 0) return result;

  WorkBuffer typed_copy = {};
  WorkBuffer typed_key_buffer = {};
  typed.copy(typed_copy, typed.size());
  const PhoneticKey typed_key = phonetic_key(typed_copy, typed_key_buffer);
  Scan scan = {typed.c_str(), typed_key, &result};
  const StartFilter filter = filter_for(typed.c_str(), typed_key);

  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    result.error = read_error(path, errno);
    return result;
  }
  // One byte before the block (the last byte of the block before) and padding after it.
  std::vector<char> buffer(1 + block_size + kSearchPadding);
  char* const block = buffer.data() + 1;
  block[-1] = ' ';
  PartWord part;
  for (;;) {
    const ssize_t got = read(fd, block, block_size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      // The words read so far count; the one the error cut short does not.
      result.error = read_error(path, errno);
      part = PartWord();
    }
    if (got <= 0) break;
    const std::size_t length = static_cast<std::size_t>(got);
    std::memset(block + length, ' ', kSearchPadding);
    scan_block(scan, filter, block, length, part);
    block[-1] = block[length - 1];
  }
  end_part_word(scan, part);
  close(fd);

  if (scan.out_of_memory && !result.found && result.error.empty())
    result.error = "cannot list the sound-alikes from " + path + ": " + std::strerror(ENOMEM);
  // Sorting works in place: it needs no memory beyond the list it sorts.
  if (!result.found) std::sort(result.candidates.begin(), result.candidates.end());
  return result;
}

LookupResult lookup_word(const std::string& typed) {
  return lookup_word_in(dictionary_path(), typed);
}
