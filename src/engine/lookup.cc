// The dictionary scan. Every call reads the whole list again, in blocks of a fixed size, and
// keeps nothing of it but the candidates. It costs little more than the read because most words
// are passed over by their first letter, their first two bytes and their key's first digit; a
// search kernel does that part, many bytes at a time, from the filters that this file derives
// for the line from the key rules. The words left are tested in full, their keys walked only as
// far as they agree. doc/ALGORITHM.md tells the whole story.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "ascii.h"
#include "key_rules.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "word_test.h"

namespace {

char folded(char c) { return static_cast<char>(c | 0x20); }

// The key's letter of every word that begins with a letter and a second byte, which these two
// bytes decide. Worked out once, by walking the key rules over every such pair.
struct KeyLetters {
  char letter[256][256] = {};

  KeyLetters() {
    for (int first = 0; first < 256; ++first) {
      if (!is_ascii_letter(static_cast<char>(first))) continue;
      for (int second = 0; second < 256; ++second) {
        char probe[] = {static_cast<char>(first), static_cast<char>(second), '\0'};
        const auto take_letter = [&](char c) {
          letter[first][second] = c;
          return false;
        };
        walk_phonetic_key(probe, take_letter, [](char) { return false; });
      }
    }
  }
};

const KeyLetters& key_letters() {
  static const KeyLetters letters;
  return letters;
}

// Adds `c` to the folded first bytes that a kernel looks for, unless it is there; false when
// there is no room.
bool want_first(LineFilter& filter, char c) {
  for (int i = 0; i < filter.first_count; ++i)
    if (filter.first[i] == c) return true;
  if (filter.first_count == 3) return false;
  filter.first[filter.first_count++] = c;
  return true;
}

// The letter, folded, that every second byte in `gives` is in one case or the other; '\0' when
// they are not all one letter.
char only_letter(const bool (&gives)[256]) {
  char letter = '\0';
  for (int b = 0; b < 256; ++b) {
    if (!gives[b]) continue;
    const char c = static_cast<char>(b);
    if (!is_ascii_letter(c) || (letter != '\0' && letter != folded(c))) return '\0';
    letter = folded(c);
  }
  return letter;
}

// The letters that give the typed key's letter: `key_letter` before any second byte,
// `ph_letter` only before `ph_second` (as p does before h for F). A letter that gives it before
// some other set of second bytes is taken as giving it always, which passes more words, never
// fewer. Returns false for a shape these two places cannot hold.
bool choose_key_letters(LineFilter& filter) {
  const KeyLetters& letters = key_letters();
  const char key = filter.typed_key[0];
  for (char lower = 'a'; lower <= 'z'; ++lower) {
    const unsigned char upper = static_cast<unsigned char>(ascii_upper(lower));
    bool gives[256];
    bool ever = false;
    for (int second = 0; second < 256; ++second) {
      gives[second] = letters.letter[static_cast<unsigned char>(lower)][second] == key ||
                      letters.letter[upper][second] == key;
      ever = ever || gives[second];
    }
    if (!ever) continue;
    const char before = only_letter(gives);
    if (before != '\0' && filter.ph_letter == '\0') {
      filter.ph_letter = lower;
      filter.ph_second = before;
    } else if (filter.key_letter == '\0') {
      filter.key_letter = lower;
    } else {
      return false;
    }
  }
  return true;
}

// The typed key's digits, from the Soundex table: each as a place among its distinct digits,
// and the letters that have each; and the letters without a digit. Returns false for a table
// of more such letters than there is room for.
bool choose_digits(LineFilter& filter) {
  int without = 0;
  for (char c = 'a'; c <= 'z'; ++c) {
    if (soundex_digit(c) != '0') continue;
    if (without == 8) return false;
    filter.without_digit[without++] = c;
  }
  for (int i = without; i < 8; ++i) filter.without_digit[i] = filter.without_digit[0];
  char distinct[6] = {};
  int digits = 0;
  for (const char* digit = filter.typed_key + 1; *digit != '\0'; ++digit) {
    int place = 0;
    while (place < filter.distinct_digits && distinct[place] != *digit) ++place;
    if (place == filter.distinct_digits) {
      distinct[filter.distinct_digits++] = *digit;
      for (char c = 'a'; c <= 'z'; ++c)
        if (soundex_digit(c) == *digit)
          filter.digit_letters[place][filter.digit_letter_count[place]++] = c;
    }
    filter.step_place[digits++] = static_cast<unsigned char>(place);
  }
  // A key of kMaxKeyDigits digits ends there, whatever follows.
  filter.steps = digits;
  if (digits < static_cast<int>(kMaxKeyDigits)) filter.step_place[filter.steps++] = kEndPlace;
  return true;
}

// The same tests byte by byte, for the kernels that look them up.
void classify_bytes(LineFilter& filter) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const char f = folded(c);
    const bool separator = is_word_separator(c), letter = is_ascii_letter(c);
    unsigned char classes = 0;
    if (separator) classes |= kSeparatorClass;
    if (!letter && !separator && filter.nonletters) classes |= kNonLetterClass;
    if (f == filter.exact_first) classes |= kExactFirstClass;
    if (f == filter.key_letter) classes |= kKeyLetterClass;
    if (f == filter.ph_letter) classes |= kPhLetterClass;
    filter.classes[b] = classes;
    const unsigned char u = static_cast<unsigned char>(f);
    filter.second_classes[b] =
        (u >= filter.exact_second_low && u <= filter.exact_second_high ? kExactSecondClass : 0) |
        (filter.ph_second != '\0' && f == filter.ph_second ? kPhSecondClass : 0);
    unsigned char digit = 0;
    if (separator || c == '\0') digit = kStopDigit | kEndDigit;
    if (letter && soundex_digit(c) != '0') {
      digit = kStopDigit;
      for (int place = 0; place < filter.distinct_digits; ++place)
        if (soundex_digit(c) == soundex_digit(filter.digit_letters[place][0]))
          digit |= static_cast<unsigned char>(kFirstPlaceDigit << place);
    }
    filter.digits[b] = digit;
  }
}

// What a line that typed `typed`, whose key is `typed_key`, looks for.
LineFilter filter_for(const char* typed, PhoneticKey typed_key) {
  LineFilter filter;
  filter.typed = typed;
  filter.typed_length = std::strlen(typed);
  filter.typed_key = typed_key;
  // With no key, the exact test alone: the words that start with the typed word's first byte;
  // an empty typed word equals only words that start with NUL, which are non-letters.
  filter.nonletters = typed_key != nullptr || typed[0] == '\0';
  filter.exact_first = typed[0] == '\0' ? '\0' : folded(typed[0]);
  if (filter.typed_length >= 2) {
    filter.exact_second_low = filter.exact_second_high =
        static_cast<unsigned char>(folded(typed[1]));
    if (filter.typed_length <= kExactLengthTested) {
      filter.exact_length = filter.typed_length;
      filter.exact_last = folded(typed[filter.typed_length - 1]);
    }
  } else {  // the end of a word: a separator or NUL, which fold to 0x20..0x2d
    filter.exact_second_low = 0x20;
    filter.exact_second_high = 0x3f;
  }
  filter.first_count = 0;
  bool fits = typed_key == nullptr || (choose_key_letters(filter) && choose_digits(filter));
  if (filter.key_letter != '\0') fits = fits && want_first(filter, filter.key_letter);
  if (filter.ph_letter != '\0') fits = fits && want_first(filter, filter.ph_letter);
  if (!filter.nonletters || is_ascii_letter(typed[0]))
    fits = fits && want_first(filter, filter.exact_first);
  if (filter.first_count == 0) want_first(filter, '\0');  // which no folded byte equals
  filter.every_word = !fits;
  classify_bytes(filter);
  return filter;
}

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

void test_word(Scan& scan, const LineFilter& filter, const char* word, std::size_t length) {
  const WordMatch match = match_word(filter, word, length);
  if (match != WordMatch::kNone) take_match(&scan, word, length, match == WordMatch::kEqual);
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
  if (part.open && !part.too_long) test_word(scan, filter, part.bytes, part.length);
  part = PartWord();
}

// Tests the words in data[0, length), a block of the list that follows the block whose last
// byte is data[-1]. The kernel sees only whole words: the end of a word begun in the block
// before goes to `part`, and so does the last word, which may run on into the next block.
void scan_block(Scan& scan, const ScanKernel& kernel, const LineFilter& filter, const char* data,
                std::size_t length, PartWord& part) {
  std::size_t from = 0;
  if (part.open) {
    from = kernel.find_separator(data, 0, length);
    add_to_part_word(part, data, from);
    if (from == length) return;
    end_part_word(scan, filter, part);
  }
  std::size_t whole = length;
  while (whole > from && !is_word_separator(data[whole - 1])) --whole;
  // Bytes before `from` follow no separator, so they start no word.
  kernel.scan_block(data, whole, filter, take_match, &scan);
  if (whole < length) add_to_part_word(part, data + whole, length - whole);
}

constexpr std::size_t kCacheLine = 64;

// A block of `block_size` bytes to read the list into, on a cache line, for the kernels' loads of
// 64 bytes; before it, room for the last byte of the block before; after it, padding. Not
// zero-filled: the kernels read no byte that was not written. It is kept from one lookup to the
// next, and grows only for a larger block: allocated for every line, the allocator's work on a
// block this size, and the fresh pages it sometimes handed out, cost a twentieth of a lookup.
char* read_block(std::size_t block_size) {
  static std::unique_ptr<char[]> buffer;
  static std::size_t buffer_block_size = 0;
  if (block_size > buffer_block_size) {
    buffer.reset();  // never two at once
    buffer_block_size = 0;
    buffer.reset(new char[kCacheLine + block_size + kScanPadding]);
    buffer_block_size = block_size;
  }
  return buffer.get() + kCacheLine - reinterpret_cast<std::uintptr_t>(buffer.get()) % kCacheLine;
}

std::string read_error(const std::string& path, int error_number) {
  return "cannot read " + path + ": " + std::strerror(error_number);
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
  const LineFilter filter = filter_for(typed.c_str(), typed_key);
  if (kernel == nullptr) kernel = &chosen_kernel();

  char* const block = read_block(block_size);
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    result.error = read_error(path, errno);
    return result;
  }
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
    std::memset(block + length, ' ', kScanPadding);
    scan_block(scan, *kernel, filter, block, length, part);
    block[-1] = block[length - 1];
  }
  end_part_word(scan, filter, part);
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
