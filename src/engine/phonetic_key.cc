#include "ascii.h"
#include "spell_checker.h"

namespace {

// The Soundex letter table, A to Z; '0' marks a letter without a code (vowels, H, W, Y).
constexpr char kSoundexTable[] = "01230120022455012623010202";

// Only ever indexed by an ASCII letter, so the index stays within the 26 entries.
char soundex_digit(char letter) { return kSoundexTable[ascii_upper(letter) - 'A']; }

}  // namespace

PhoneticKey phonetic_key(char* word, char* key) {
  char* first = word;
  while (*first != '\0' && !is_ascii_letter(*first)) ++first;
  if (*first == '\0') return nullptr;

  // A leading ph sounds like f; rewriting it in place also makes the h the "byte before" of
  // what follows it, as the repeat test below expects.
  if (ascii_upper(first[0]) == 'P' && ascii_upper(first[1]) == 'H') {
    first[0] = 'F';
    first[1] = 'A';
  }
  key[0] = ascii_upper(first[0]);

  // Unlike common Soundex, only a repeat of the very same byte is collapsed, the first letter's
  // digit does not absorb the next one, and the key is up to 8 digits long, unpadded.
  std::size_t digits = 0;
  for (const char* p = first + 1; *p != '\0' && digits < kMaxKeyDigits; ++p) {
    if (!is_ascii_letter(*p) || *p == p[-1]) continue;
    const char digit = soundex_digit(*p);
    if (digit != '0') key[1 + digits++] = digit;
  }
  key[1 + digits] = '\0';
  return key;
}
