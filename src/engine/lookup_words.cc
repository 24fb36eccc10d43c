// Many typed words answered from one read of the list. Each word of the list is tested against
// all of them at once: its lower-case form is looked up among theirs, its key among their keys.
// Typed words that share a key share its sound-alikes, which are held as bytes in one string and
// sorted once. doc/ALGORITHM.md tells when this pays and what it holds.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "key_rules.h"
#include "list_block.h"
#include "list_errors.h"
#include "scan_kernel.h"
#include "spell_checker.h"

namespace {

constexpr std::size_t kNone = SIZE_MAX;

// A sound-alike: its place in OnePassResults::held.
struct HeldWord {
  std::uint32_t offset, length;
};

// The typed words that share one key, and the words of the list that have it.
struct KeyGroup {
  std::uint32_t key = 0;
  std::size_t first_word = 0;  // the first typed word that has it
  std::size_t unfound = 0;     // its typed words not found yet: while there are any, it collects
  bool out_of_memory = false;
  std::vector<HeldWord> sound_alikes;
};

// One typed word, up to its first NUL byte: typed words that are the same share one.
struct TypedEntry {
  std::size_t first_word = 0;  // the first typed word that it is
  std::size_t spelling = 0;
  std::size_t group = kNone;  // none when it has no key
};

// The typed words that are the same when ASCII case is ignored: all are found together. (Their
// keys may differ, for the repeat rule minds case.)
struct Spelling {
  std::string lowered;
  std::size_t first_word = 0;
  std::vector<std::size_t> entries;
  bool found = false;
};

}  // namespace

struct OnePassResults {
  std::string path;
  std::string error;               // why the list could not be read to its end
  std::vector<std::size_t> entry;  // of each typed word looked up, or kNone when over-long
  std::vector<TypedEntry> entries;
  std::vector<Spelling> spellings;
  std::vector<KeyGroup> groups;
  std::string held;  // the bytes of the sound-alikes
};

namespace {

// A key as a number: its digits in base 8, then its letter in five bits. The digits are never 0,
// so two keys are equal exactly when their numbers are; 8^8 * 32 fits.
struct KeyNumber {
  std::uint32_t digits = 0, letter = 0;
  bool operator()(char c) {
    if (c >= 'A')
      letter = static_cast<std::uint32_t>(c - 'A');
    else
      digits = digits * 8 + static_cast<std::uint32_t>(c - '0');
    return true;
  }
};

// The key of the NUL-terminated `word`, which it may rewrite; false when it has none.
bool key_number(char* word, std::uint32_t& number) {
  KeyNumber key;
  if (!walk_phonetic_key(word, key, key)) return false;
  number = key.digits << 5 | key.letter;
  return true;
}

constexpr std::uint64_t kEachByte = 0x0101010101010101;

// Eight bytes with the ASCII upper-case letters among them made lower-case, all at once.
std::uint64_t folded(std::uint64_t bytes) {
  const std::uint64_t low7 = bytes & (0x7f * kEachByte);
  const std::uint64_t from_a = low7 + (0x80 - 'A') * kEachByte;      // top bit: at least 'A'
  const std::uint64_t past_z = low7 + (0x80 - 'Z' - 1) * kEachByte;  // top bit: past 'Z'
  const std::uint64_t upper = from_a & ~past_z & ~bytes & (0x80 * kEachByte);
  return bytes | upper >> 2;
}

std::uint64_t mixed(std::uint64_t h) {
  h ^= h >> 32;
  h *= 0x9e3779b97f4a7c15;
  return h ^ h >> 29;
}

// A hash of the first `length` bytes at `p`, ASCII case ignored; the eight bytes after them must
// be readable and NUL.
std::uint64_t folded_hash(const char* p, std::size_t length) {
  std::uint64_t h = length;
  for (std::size_t i = 0; i < length; i += 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p + i, 8);
    h = mixed(h ^ folded(bytes));
  }
  return h;
}

// A table from 64-bit hashes to indexes, by open addressing: for the pass's look-ups of a word
// of the list among the typed words, made once, read for every word.
// Most words of the list are in neither table: a bit a hash, in a set small enough to stay in
// the nearest cache, turns most of them away before the table is read.
struct HashIndex {
  static constexpr std::uint32_t kFree = UINT32_MAX;
  static constexpr unsigned kSeenBits = 18;
  std::vector<std::uint64_t> hashes;
  std::vector<std::uint32_t> values;
  std::size_t mask = 0;
  std::bitset<std::size_t{1} << kSeenBits> seen;

  // Empty, with room for `count` at under half full.
  void clear(std::size_t count) {
    std::size_t slots = 16;
    while (slots < 2 * count) slots *= 2;
    hashes.assign(slots, 0);
    values.assign(slots, kFree);
    mask = slots - 1;
    seen.reset();
  }
  void add(std::uint64_t hash, std::uint32_t value) {
    const std::uint64_t h = mixed(hash);
    seen.set(h >> (64 - kSeenBits));
    std::size_t slot = h & mask;
    while (values[slot] != kFree) slot = (slot + 1) & mask;
    hashes[slot] = hash;
    values[slot] = value;
  }
  // The value of the first slot of `hash` that `matches`, or kFree.
  template <typename Matches>
  std::uint32_t find(std::uint64_t hash, Matches&& matches) const {
    const std::uint64_t h = mixed(hash);
    if (!seen.test(h >> (64 - kSeenBits))) return kFree;
    for (std::size_t slot = h & mask; values[slot] != kFree; slot = (slot + 1) & mask)
      if (hashes[slot] == hash && matches(values[slot])) return values[slot];
    return kFree;
  }
};

struct Pass {
  OnePassResults& results;
  std::size_t held_limit;
  HashIndex spelling_index;  // by folded_hash of `lowered`
  HashIndex group_index;     // by key number
  std::bitset<kMaxDictionaryWordLength + 1> typed_lengths;
  std::size_t held = 0;  // bytes held for the sound-alikes, with their places
};

// Room for a word, its terminator and the NUL bytes that folded_hash reads past it.
using PaddedWord = char[kWorkBufferSize + 8];

// The spelling of `word`, of which `length` bytes count, followed by eight NUL bytes; or kFree.
std::uint32_t find_spelling(const Pass& pass, const char* word, std::size_t length) {
  return pass.spelling_index.find(folded_hash(word, length), [&](std::uint32_t s) {
    const std::string& text = pass.results.spellings[s].lowered;
    return text.size() == length && ascii_equal_ignoring_case(text.data(), word, length);
  });
}

std::uint32_t find_group(const Pass& pass, std::uint32_t key) {
  return pass.group_index.find(key, [](std::uint32_t) { return true; });
}

// The look-ups made anew for the typed words that the pass holds now.
void index_typed_words(Pass& pass) {
  const OnePassResults& r = pass.results;
  pass.spelling_index.clear(r.spellings.size());
  pass.group_index.clear(r.groups.size());
  pass.typed_lengths.reset();
  for (std::size_t s = 0; s < r.spellings.size(); ++s) {
    const std::string& text = r.spellings[s].lowered;
    PaddedWord padded = {};
    text.copy(padded, text.size());
    pass.spelling_index.add(folded_hash(padded, text.size()), static_cast<std::uint32_t>(s));
    pass.typed_lengths.set(text.size());
  }
  for (std::size_t g = 0; g < r.groups.size(); ++g)
    pass.group_index.add(r.groups[g].key, static_cast<std::uint32_t>(g));
}

// Gives each distinct typed word an entry, each distinct spelling and key a group.
void add_typed_words(Pass& pass, const std::vector<std::string>& typed) {
  OnePassResults& r = pass.results;
  std::unordered_map<std::string, std::size_t> entry_by_text, spelling_by_text;
  std::unordered_map<std::uint32_t, std::size_t> group_by_key;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (typed[i].size() >= kWorkBufferSize - 1) {
      r.entry.push_back(kNone);
      continue;
    }
    const std::string text = typed[i].c_str();  // up to its first NUL byte
    const auto entry = entry_by_text.emplace(text, r.entries.size());
    r.entry.push_back(entry.first->second);
    if (!entry.second) continue;
    r.entries.emplace_back();
    r.entries.back().first_word = i;

    std::string lowered = text;
    for (char& c : lowered) c = ascii_lower(c);
    const auto spelling = spelling_by_text.emplace(lowered, r.spellings.size());
    if (spelling.second) {
      r.spellings.emplace_back();
      r.spellings.back().lowered = std::move(lowered);
      r.spellings.back().first_word = i;
    }
    r.entries.back().spelling = spelling.first->second;
    r.spellings[spelling.first->second].entries.push_back(entry.first->second);

    WorkBuffer copy = {};
    text.copy(copy, text.size());
    std::uint32_t key;
    if (!key_number(copy, key)) continue;
    const auto group = group_by_key.emplace(key, r.groups.size());
    if (group.second) {
      r.groups.emplace_back();
      r.groups.back().key = key;
      r.groups.back().first_word = i;
    }
    r.entries.back().group = group.first->second;
    ++r.groups[group.first->second].unfound;
  }
  index_typed_words(pass);
}

void let_go(Pass& pass, KeyGroup& group) {
  pass.held -= group.sound_alikes.size() * sizeof(HeldWord);
  std::vector<HeldWord>().swap(group.sound_alikes);
}

// Gives back the held bytes of sound-alikes let go: of groups whose words were all found, or
// that went.
void keep_only_sound_alikes(OnePassResults& r) {
  std::string kept;
  for (KeyGroup& group : r.groups) {
    for (HeldWord& word : group.sound_alikes) {
      const std::uint32_t offset = static_cast<std::uint32_t>(kept.size());
      kept.append(r.held, word.offset, word.length);
      word.offset = offset;
    }
  }
  r.held.swap(kept);
}

// Looks up only the first `words` typed words from here on: the entries and groups that only
// later ones have go, and the bytes held for them are given back.
void keep_first_words(Pass& pass, std::size_t words) {
  OnePassResults& r = pass.results;
  r.entry.resize(words);
  std::size_t entries = 0, spellings = 0, groups = 0;
  while (entries < r.entries.size() && r.entries[entries].first_word < words) ++entries;
  while (spellings < r.spellings.size() && r.spellings[spellings].first_word < words) ++spellings;
  while (groups < r.groups.size() && r.groups[groups].first_word < words) ++groups;
  r.entries.resize(entries);
  r.spellings.resize(spellings);
  r.groups.resize(groups);
  for (Spelling& spelling : r.spellings)
    while (!spelling.entries.empty() && spelling.entries.back() >= entries)
      spelling.entries.pop_back();
  for (KeyGroup& group : r.groups) group.unfound = 0;
  for (const TypedEntry& entry : r.entries)
    if (entry.group != kNone && !r.spellings[entry.spelling].found) ++r.groups[entry.group].unfound;
  index_typed_words(pass);
  for (KeyGroup& group : r.groups)
    if (group.unfound == 0) std::vector<HeldWord>().swap(group.sound_alikes);
  keep_only_sound_alikes(r);
  pass.held = r.held.size();
  for (const KeyGroup& group : r.groups) pass.held += group.sound_alikes.size() * sizeof(HeldWord);
}

// Holds `word` as a sound-alike of the group `g`. False when even the first typed word's
// sound-alikes alone would be more than the pass may hold.
bool hold(Pass& pass, std::size_t g, const char* word, std::size_t length) {
  OnePassResults& r = pass.results;
  while (pass.held + length + sizeof(HeldWord) > pass.held_limit) {
    if (r.entry.size() == 1) return false;
    keep_first_words(pass, r.entry.size() / 2);
    // The group went with the later words, or is kept but has only found words left.
    if (g >= r.groups.size() || r.groups[g].unfound == 0) return true;
  }
  KeyGroup& group = r.groups[g];
  const std::size_t offset = r.held.size();
  try {
    r.held.append(word, length);
    group.sound_alikes.push_back(
        {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
  } catch (const std::bad_alloc&) {
    // As for one word: reading goes on, for its typed words may still be found.
    r.held.resize(offset);
    group.out_of_memory = true;
    let_go(pass, group);
    return true;
  }
  pass.held += length + sizeof(HeldWord);
  return true;
}

void found(Pass& pass, Spelling& spelling) {
  spelling.found = true;
  for (std::size_t e : spelling.entries) {
    const std::size_t g = pass.results.entries[e].group;
    if (g == kNone) continue;
    // A found word's reply is one line: once all of a key's typed words are found, its
    // sound-alikes are of no more use.
    KeyGroup& group = pass.results.groups[g];
    if (--group.unfound == 0) let_go(pass, group);
  }
}

// Tests one word of the list, `length` bytes at `word` of which the tests see `seen` (up to the
// first NUL byte), against every typed word. The 32 bytes from `word` are readable, whatever
// its length. False as hold().
bool test_word(Pass& pass, const char* word, std::size_t length, std::size_t seen) {
  if (length > kMaxDictionaryWordLength) return true;
  PaddedWord copy;  // for the key walk, which may rewrite a leading "ph"
  if (length <= 32)
    std::memcpy(copy, word, 32);  // a copy of a known size is a few moves, not a call
  else
    std::memcpy(copy, word, length);
  std::memset(copy + seen, 0, 8);
  OnePassResults& r = pass.results;
  if (pass.typed_lengths.test(seen)) {
    const std::uint32_t s = find_spelling(pass, copy, seen);
    if (s != HashIndex::kFree && !r.spellings[s].found) found(pass, r.spellings[s]);
  }
  std::uint32_t key;
  if (!key_number(copy, key)) return true;
  const std::uint32_t g = find_group(pass, key);
  if (g == HashIndex::kFree || r.groups[g].unfound == 0 || r.groups[g].out_of_memory) return true;
  return hold(pass, g, word, length);
}

// Eight bytes from `p`, the first lowest.
std::uint64_t load_first_lowest(const char* p) {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  bytes = __builtin_bswap64(bytes);
#endif
  return bytes;
}

// The first separator from `p` on, which must come within the readable bytes; `nul` gets the
// first NUL byte before it, if there is one and it had none. Words are mostly letters: eight
// bytes at a time are passed over while none is a control character or a space.
const char* word_end(const char* p, const char*& nul) {
  for (;;) {
    const std::uint64_t bytes = load_first_lowest(p);
    // The top bit of the first byte below 0x21, exactly; later ones may be wrong.
    const std::uint64_t low = (bytes - 0x21 * kEachByte) & ~bytes & (0x80 * kEachByte);
    if (low == 0) {
      p += 8;
      continue;
    }
    p += __builtin_ctzll(low) / 8;
    if (is_word_separator(*p)) return p;
    if (*p == '\0' && nul == nullptr) nul = p;
    ++p;
  }
}

// The bytes after a block of the list that the tests may read: separators, so that a word ends
// there, as many as the look at a word's first 32 bytes and the eight-byte steps of word_end need.
constexpr std::size_t kBlockPadding = 40;
static_assert(kBlockPadding <= kScanPadding, "a list block has that many after it");

// A word that runs on from one block into the next, as far as it can still count.
struct PartWord {
  std::vector<char> bytes = std::vector<char>(kMaxDictionaryWordLength + kBlockPadding);
  std::size_t length = 0;
  bool open = false, too_long = false;

  void add(const char* from, const char* to) {
    open = true;
    const std::size_t n = static_cast<std::size_t>(to - from);
    if (too_long || n > kMaxDictionaryWordLength - length) {
      too_long = true;
      return;
    }
    std::memcpy(bytes.data() + length, from, n);
    length += n;
  }
  // Tests the word, if it can count, and forgets it. False as hold().
  bool end(Pass& pass) {
    bool held = true;
    if (open && !too_long) {
      const char* nul = static_cast<const char*>(std::memchr(bytes.data(), '\0', length));
      held = test_word(pass, bytes.data(), length,
                       nul != nullptr ? static_cast<std::size_t>(nul - bytes.data()) : length);
    }
    length = 0;
    open = too_long = false;
    return held;
  }
};

// Tests the words of the block data[0, length), which is followed by kBlockPadding separators,
// and holds the last one in `part` if it may run on into the next. False as hold().
bool test_block(Pass& pass, const char* data, std::size_t length, PartWord& part) {
  const char* p = data;
  const char* const end = data + length;
  if (part.open) {
    const char* nul = nullptr;
    const char* const e = word_end(p, nul);
    part.add(p, e);
    if (e == end) return true;
    if (!part.end(pass)) return false;
    p = e;
  }
  for (;;) {
    while (p < end && is_word_separator(*p)) ++p;
    if (p == end) return true;
    const char* nul = nullptr;
    const char* const e = word_end(p, nul);
    if (e == end) {
      part.add(p, e);
      return true;
    }
    const std::size_t seen = static_cast<std::size_t>((nul != nullptr ? nul : e) - p);
    if (!test_word(pass, p, static_cast<std::size_t>(e - p), seen)) return false;
    p = e;
  }
}

// Reads the list at `path` in blocks of `block_size` and tests each of its words. False as
// hold(); else `error` says why the list could not be read to its end, if it could not.
bool read_list(Pass& pass, const std::string& path, std::size_t block_size, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    error = read_error(path, errno);
    return true;
  }
  ListBlock block;
  block.start(block_size);
  PartWord part;
  bool tested = true;
  while (tested) {
    const ssize_t got = block.read_from(fd);
    if (got < 0) {
      // The words read so far count; the one the error cut short does not.
      error = read_error(path, errno);
      part = PartWord();
    }
    if (got <= 0) break;
    tested = test_block(pass, block.data(), block.length(), part);
  }
  if (tested) tested = part.end(pass);
  close(fd);
  return tested;
}

// Sorts the sound-alikes of `group` by byte value, as the lookup of one word does: by their first
// eight bytes as a number, the first highest, and the whole words where those tie.
void sort_sound_alikes(KeyGroup& group, const std::string& held) {
  struct Keyed {
    std::uint64_t first_bytes;
    HeldWord word;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(group.sound_alikes.size());
  for (const HeldWord& word : group.sound_alikes) {
    std::uint64_t first_bytes = 0;
    for (std::uint32_t i = 0; i < 8; ++i)
      first_bytes = first_bytes << 8 |
                    (i < word.length ? static_cast<unsigned char>(held[word.offset + i]) : 0);
    keyed.push_back({first_bytes, word});
  }
  std::sort(keyed.begin(), keyed.end(), [&held](const Keyed& a, const Keyed& b) {
    if (a.first_bytes != b.first_bytes) return a.first_bytes < b.first_bytes;
    return std::string_view(held.data() + a.word.offset, a.word.length) <
           std::string_view(held.data() + b.word.offset, b.word.length);
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) group.sound_alikes[i] = keyed[i].word;
}

}  // namespace

void OnePassDelete::operator()(const OnePassResults* results) const { delete results; }

LookupResult WordsLookup::result(std::size_t i) const {
  if (one_pass == nullptr) return one_by_one[i];
  const OnePassResults& r = *one_pass;
  LookupResult result;
  const std::size_t e = r.entry[i];
  if (e == kNone) return result;
  result.error = r.error;
  const TypedEntry& entry = r.entries[e];
  if (r.spellings[entry.spelling].found) {
    result.found = true;
    return result;
  }
  if (entry.group == kNone) return result;
  const KeyGroup& group = r.groups[entry.group];
  try {
    if (group.out_of_memory) throw std::bad_alloc();
    result.candidates.reserve(group.sound_alikes.size());
    for (const HeldWord& word : group.sound_alikes)
      result.candidates.emplace_back(r.held, word.offset, word.length);
  } catch (const std::bad_alloc&) {
    std::vector<std::string>().swap(result.candidates);
    if (result.error.empty()) result.error = out_of_memory_error(r.path);
  }
  return result;
}

std::size_t WordsLookup::held_bytes() const {
  std::size_t held = 0;
  if (one_pass == nullptr) {
    for (const LookupResult& result : one_by_one)
      for (const std::string& candidate : result.candidates) held += candidate.size();
    return held;
  }
  held = one_pass->held.size();
  for (const KeyGroup& group : one_pass->groups)
    held += group.sound_alikes.size() * sizeof(HeldWord);
  return held;
}

WordsLookup lookup_words_in(const std::string& path, const std::vector<std::string>& typed,
                            std::size_t one_pass_from, std::size_t block_size,
                            std::size_t held_bytes) {
  WordsLookup lookup;
  if (typed.empty()) return lookup;
  if (typed.size() >= one_pass_from && block_size > 0) {
    std::unique_ptr<OnePassResults> results(new OnePassResults);
    results->path = path;
    // Places in the held bytes are 32-bit.
    Pass pass = {*results, std::min<std::size_t>(held_bytes, INT32_MAX), {}, {}, {}, 0};
    add_typed_words(pass, typed);
    if (read_list(pass, path, block_size, results->error)) {
      keep_only_sound_alikes(*results);
      for (KeyGroup& group : results->groups)
        if (group.unfound > 0) sort_sound_alikes(group, results->held);
      lookup.answered = results->entry.size();
      lookup.one_pass.reset(results.release());
      return lookup;
    }
    // The first word's sound-alikes alone are more than the pass may hold: it is looked up
    // alone, as ever, and the others later.
    lookup.one_by_one.push_back(lookup_word_in(path, typed[0], block_size));
    lookup.answered = 1;
    return lookup;
  }
  for (const std::string& word : typed)
    lookup.one_by_one.push_back(lookup_word_in(path, word, block_size));
  lookup.answered = typed.size();
  return lookup;
}

WordsLookup lookup_words(const std::vector<std::string>& typed) {
  return lookup_words_in(dictionary_path(), typed);
}
