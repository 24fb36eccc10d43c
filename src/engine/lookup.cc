// The dictionary scan. Every call reads the whole list again, in blocks of a fixed size, and
// keeps nothing of it but the candidates. It costs little more than the read because most words
// are passed over by their first letter, their first two bytes and their key's first digit; a
// search kernel does that part, many bytes at a time, from what the line looks for
// (line_filter.h). The words left are tested in full, their keys walked only as far as they
// agree. doc/ALGORITHM.md tells the whole story.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "line_filter.h"
#include "list_block.h"
#include "list_errors.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "word_match.h"

namespace {

struct Scan {
  LookupResult* result;
  bool out_of_memory = false;  // the sound-alikes met so far did not fit and were let go
};

void release_candidates(LookupResult& result) {
  std::vector<std::string>().swap(result.candidates);
}

void take_match(void* context, const char* word, std::size_t length, bool equal) {
  Scan& scan = *static_cast<Scan*>(context);
  LookupResult& result = *scan.result;
  // A found word's reply is one line: the sound-alikes are of no more use, however many follow.
  if (result.found) return;
  if (equal) {
    result.found = true;
    release_candidates(result);
    return;
  }
  if (scan.out_of_memory) return;
  try {
    result.candidates.emplace_back(word, length);
  } catch (const std::bad_alloc&) {
    // Keep scanning: the word may still be found, and then the reply needs no sound-alikes.
    scan.out_of_memory = true;
    release_candidates(result);
  }
}

// The word that runs on from one block into the next: its first bytes, as many as can still
// make a word short enough to be tested.
struct PartWord {
  bool open = false;
  bool too_long = false;
  std::size_t length = 0;
  char bytes[kMaxDictionaryWordLength];  // also gives match_word the bytes it may read
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

void end_part_word(Scan& scan, const LineFilter& filter, PartWord& part) {
  if (part.open && !part.too_long)
    hand_on_if_matching(filter, part.bytes, part.length, take_match, &scan);
  part = PartWord();
}

// Tests the words of the block just read. The kernel sees only whole words: the end of a word
// begun in the block before goes to `part`, and so does the last word, which may run on into
// the next block, before spaces take its place.
void search_read_block(Scan& scan, const ScanKernel& kernel, const LineFilter& filter,
                       ListBlock& block, PartWord& part) {
  const char* const data = block.data();
  const std::size_t length = block.length();
  std::size_t from = 0;
  if (part.open) {
    from = kernel.find_separator(data, 0, length);
    add_to_part_word(part, data, from);
    if (from == length) return;
    end_part_word(scan, filter, part);
  }
  std::size_t whole = length;
  while (whole > from && !is_word_separator(data[whole - 1])) --whole;
  if (whole < length) add_to_part_word(part, data + whole, length - whole);
  block.blank_from(whole);
  // Bytes before `from` follow no separator, so they start no word.
  kernel.search(data, whole, filter, take_match, &scan);
}

}  // namespace

std::string dictionary_path() { return std::string(kDictionaryDirectory) + kDictionaryFileName; }

LookupResult lookup_word_in(const std::string& path, const std::string& typed,
                            std::size_t block_size, const ScanKernel* kernel) {
  LookupResult result;
  if (typed.size() >= kWorkBufferSize - 1 || block_size == 0) return result;

  WorkBuffer typed_copy = {};
  WorkBuffer typed_key_buffer = {};
  typed.copy(typed_copy, typed.size());
  const PhoneticKey typed_key = phonetic_key(typed_copy, typed_key_buffer);
  Scan scan = {&result};
  const LineFilter filter = line_filter(typed.c_str(), typed_key);
  if (kernel == nullptr) kernel = &chosen_kernel();

  // Kept from one lookup to the next, rather than allocated for every line.
  static ListBlock block;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    result.error = read_error(path, errno);
    return result;
  }
  block.start(block_size);
  PartWord part;
  for (;;) {
    const ssize_t got = block.read_from(fd);
    if (got < 0) {
      // The words read so far count; the one the error cut short does not.
      result.error = read_error(path, errno);
      part = PartWord();
    }
    if (got <= 0) break;
    search_read_block(scan, *kernel, filter, block, part);
  }
  end_part_word(scan, filter, part);
  close(fd);

  if (scan.out_of_memory && !result.found && result.error.empty())
    result.error = out_of_memory_error(path);
  // Sorting works in place: it needs no memory beyond the list it sorts.
  if (!result.found) std::sort(result.candidates.begin(), result.candidates.end());
  return result;
}

LookupResult lookup_word(const std::string& typed) {
  return lookup_word_in(dictionary_path(), typed);
}
