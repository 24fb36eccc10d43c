// Letters, case and case-insensitive comparison by the ASCII rules, whatever the C library's
// locale is. The line editor switches LC_CTYPE to the user's locale, where isalpha, toupper and
// strcasecmp may call bytes of 0x80 and above letters or fold 'i' to a dotless letter; the
// program's rules must not change with the locale.
#ifndef SPELL_CHECKER_ENGINE_ASCII_H_
#define SPELL_CHECKER_ENGINE_ASCII_H_

#include <cstddef>

// Internal linkage, here and in the key rules: the search kernels use these too, each built for
// its own instruction set, and a copy shared between files could be one built for an
// instruction set that the CPU lacks.
namespace {

inline bool is_ascii_letter(char c) {
  const unsigned char folded = static_cast<unsigned char>(c) | 0x20;
  return folded >= 'a' && folded <= 'z';
}

inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// The six characters that separate words: space, tab, newline, vertical tab, form feed, return.
inline bool is_word_separator(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether the first `n` bytes of `a` and `b` are the same, ASCII case ignored.
inline bool ascii_equal_ignoring_case(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_ASCII_H_
