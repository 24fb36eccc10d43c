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
#include <cstring>
#include <new>
#include <vector>

#include "ascii.h"
#include "key_rules.h"
#include "scan_kernel.h"
#include "spell_checker.h"
#include "word_test.h"

namespace {

// Whether a word that starts with `first` and `second` may equal `typed`, case ignored, when
// both are seen up to their first NUL byte.
bool may_equal(const char* typed, char first, char second) {
  if (typed[0] == '\0') return first == '\0';
  if (ascii_lower(first) != ascii_lower(typed[0])) return false;
  if (typed[1] == '\0') return second == '\0' || is_word_separator(second);
  return ascii_lower(second) == ascii_lower(typed[1]);
}

// The start of the key of every word that begins with a letter and a second byte: the key's
// letter and its first digit ('\0' when the second byte gives none), which these two bytes decide.
// Worked out once, by walking the key rules over every such pair.
struct KeyStarts {
  char letter[256][256] = {};
  char digit[256][256] = {};
  std::uint32_t letters_of_row[256] = {};  // bit L - 'A' set when some pair gives the letter L

  KeyStarts() {
    for (int first = 0; first < 256; ++first) {
      if (!is_ascii_letter(static_cast<char>(first))) continue;
      for (int second = 0; second < 256; ++second) {
        char probe[] = {static_cast<char>(first), static_cast<char>(second), '\0'};
        const auto take_letter = [&](char c) {
          letter[first][second] = c;
          return true;
        };
        const auto take_digit = [&](char c) {
          digit[first][second] = c;
          return false;
        };
        walk_phonetic_key(probe, take_letter, take_digit);
        letters_of_row[first] |= std::uint32_t{1} << (letter[first][second] - 'A');
      }
    }
  }
};

const KeyStarts& key_starts() {
  static const KeyStarts starts;
  return starts;
}

// Whether a word that starts with the letter `first` and `second` may have the key `key`.
bool may_have_key(PhoneticKey key, char first, char second) {
  const KeyStarts& starts = key_starts();
  const unsigned char a = static_cast<unsigned char>(first), b = static_cast<unsigned char>(second);
  const char digit = starts.digit[a][b];
  return starts.letter[a][b] == key[0] && (digit == '\0' || digit == key[1]);
}

// Sets the bit of every pair of first bytes that may start a word matching the line, and marks
// the letters that may start one.
void want_pairs(LineFilter& filter, bool (&letter_wanted)[26]) {
  const char* const typed = filter.typed;
  const PhoneticKey typed_key = filter.typed_key;
  for (int first = 0; first < 256; ++first) {
    const char c = static_cast<char>(first);
    if (is_word_separator(c)) continue;
    const bool letter = is_ascii_letter(c);
    if (!letter && typed_key != nullptr) {
      // A word that starts with anything but a letter has its key further in.
      for (int word = 0; word < 4; ++word) filter.pairs[first * 4 + word] = ~std::uint64_t{0};
      continue;
    }
    // Rows that neither test can pass are left empty without a look at their pairs.
    const bool may_start_equal = may_equal(typed, c, typed[0] == '\0' ? '\0' : typed[1]);
    const bool key_test = letter && typed_key != nullptr &&
                          (key_starts().letters_of_row[first] >> (typed_key[0] - 'A') & 1) != 0;
    if (!may_start_equal && !key_test) continue;
    for (int second = 0; second < 256; ++second) {
      const char d = static_cast<char>(second);
      if (!(may_start_equal && may_equal(typed, c, d)) &&
          !(key_test && may_have_key(typed_key, c, d)))
        continue;
      const unsigned pair = first * 256u + second;
      filter.pairs[pair / 64] |= std::uint64_t{1} << (pair % 64);
      if (letter) letter_wanted[ascii_lower(c) - 'a'] = true;
    }
  }
}

// The letters that may start a word of interest, tested many bytes at a time: up to two, else
// every letter.
void choose_letters(LineFilter& filter, bool (&letter_wanted)[26]) {
  const std::size_t count = std::count(letter_wanted, letter_wanted + 26, true);
  filter.all_letters = count > sizeof filter.letters;
  if (filter.all_letters) std::fill(letter_wanted, letter_wanted + 26, true);
  // Unused places repeat a wanted letter, or, with none wanted, a byte that no letter folds to.
  filter.letters[0] = filter.letters[1] = '\0';
  for (int i = 25; i >= 0 && !filter.all_letters; --i) {
    if (!letter_wanted[i]) continue;
    filter.letters[1] = filter.letters[0] == '\0' ? static_cast<char>('a' + i) : filter.letters[0];
    filter.letters[0] = static_cast<char>('a' + i);
  }
}

// Each byte's class for the kernels that look classes up, and its key digit.
void classify_bytes(LineFilter& filter, const bool (&letter_wanted)[26]) {
  std::size_t without_digit = 0;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool letter = is_ascii_letter(c);
    if (letter && soundex_digit(c) != '0') filter.digits[b] = soundex_digit(c);
    // Kernels that compare take a letter left out here for one with a digit; the scan then
    // walks the key of a word that stops there.
    if (letter && soundex_digit(c) == '0' && c == ascii_lower(c) &&
        without_digit < sizeof filter.letters_without_digit)
      filter.letters_without_digit[without_digit++] = c;
    if (b >= 128) continue;
    if (is_word_separator(c))
      filter.byte_classes[b] = kSeparatorClass | kPassedOverClass;
    else if (letter && !letter_wanted[ascii_lower(c) - 'a'])
      filter.byte_classes[b] = kPassedOverClass;
    if (filter.digits[b] != '\0') filter.byte_classes[b] |= kDigitClass;
  }
}

// What a line that typed `typed`, whose key is `typed_key`, looks for.
LineFilter filter_for(const char* typed, PhoneticKey typed_key) {
  LineFilter filter;
  filter.typed = typed;
  filter.typed_length = std::strlen(typed);
  filter.typed_key = typed_key;
  bool letter_wanted[26] = {};
  want_pairs(filter, letter_wanted);
  choose_letters(filter, letter_wanted);
  classify_bytes(filter, letter_wanted);
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

// A word of interest that runs on from one block into the next: its first bytes, as many as
// can still make a word short enough to be tested.
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

// Tests the words of interest in data[0, length), a block of the list that follows the block
// whose last byte is data[-1].
void scan_block(Scan& scan, const ScanKernel& kernel, const LineFilter& filter, const char* data,
                std::size_t length, PartWord& part) {
  if (part.open) {
    const std::size_t end = kernel.find_separator(data, 0, length);
    add_to_part_word(part, data, end);
    if (end == length) return;
    end_part_word(scan, filter, part);
  }
  // The rest of a word begun in the block before starts no word: its first byte follows no
  // separator.
  const std::size_t open = kernel.scan_block(data, length, filter, take_match, &scan);
  if (open < length) add_to_part_word(part, data + open, length - open);
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

  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    result.error = read_error(path, errno);
    return result;
  }
  // One byte before the block (the last byte of the block before) and padding after it.
  std::vector<char> buffer(1 + block_size + kScanPadding);
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
