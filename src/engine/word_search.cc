#include "word_search.h"

#include "ascii.h"

#if SPELL_CHECKER_VECTOR_SEARCH && defined(__SSE2__)
#define USE_SSE2 1
#include <emmintrin.h>
#else
#define USE_SSE2 0
#endif

StartFilter make_start_filter(const bool (&interesting)[256]) {
  StartFilter filter;
  for (int b = 0; b < 256; ++b) {
    filter.interesting[b] = interesting[b];
    if (!interesting[b] || !is_ascii_letter(static_cast<char>(b))) continue;
    if (filter.letter_count == sizeof filter.letters)
      filter.all_letters = true;
    else
      filter.letters[filter.letter_count++] = static_cast<char>(b);
  }
  return filter;
}

#if USE_SSE2

namespace {

// The byte tests, set up once per search.
struct Tests {
  __m128i tab = _mm_set1_epi8('\t');
  __m128i four = _mm_set1_epi8(4);
  __m128i space = _mm_set1_epi8(' ');
  __m128i case_bit = _mm_set1_epi8(0x20);
  __m128i a = _mm_set1_epi8('a');
  __m128i twenty_five = _mm_set1_epi8(25);
  __m128i letters[4] = {};
};

Tests make_tests(const StartFilter& filter) {
  Tests tests;
  // Unused places repeat NUL, a non-letter and so already of interest.
  for (std::size_t i = 0; i < 4; ++i)
    tests.letters[i] = _mm_set1_epi8(i < filter.letter_count ? filter.letters[i] : '\0');
  return tests;
}

// One bit per byte: set for a separator, a character from '\t' to '\r' or ' '.
unsigned separator_bits(__m128i v, const Tests& t) {
  const __m128i control = _mm_sub_epi8(v, t.tab);
  const __m128i is_control = _mm_cmpeq_epi8(_mm_min_epu8(control, t.four), control);
  const __m128i is_space = _mm_cmpeq_epi8(v, t.space);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(is_control, is_space)));
}

// One bit per byte: set for a letter that the filter does not want.
unsigned unwanted_letter_bits(__m128i v, const Tests& t) {
  // An ASCII letter, folded to lower case, lies in 'a'..'z'.
  const __m128i offset = _mm_sub_epi8(_mm_or_si128(v, t.case_bit), t.a);
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(offset, t.twenty_five), offset);
  const __m128i wanted =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, t.letters[0]), _mm_cmpeq_epi8(v, t.letters[1])),
                   _mm_or_si128(_mm_cmpeq_epi8(v, t.letters[2]), _mm_cmpeq_epi8(v, t.letters[3])));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(wanted, is_letter)));
}

__m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

int lowest_bit(unsigned bits) { return __builtin_ctz(bits); }

}  // namespace

std::size_t find_interesting_start(const char* data, std::size_t from, std::size_t end,
                                   const StartFilter& filter) {
  const Tests tests = make_tests(filter);
  unsigned separator_before = is_word_separator((data + from)[-1]) ? 1 : 0;
  for (std::size_t p = from; p < end; p += 16) {
    const __m128i v = load16(data + p);
    const unsigned separators = separator_bits(v, tests);
    unsigned starts = ~separators & ((separators << 1) | separator_before) & 0xffff;
    if (starts != 0 && !filter.all_letters) starts &= ~unwanted_letter_bits(v, tests);
    if (starts != 0) {
      const std::size_t at = p + lowest_bit(starts);
      return at < end ? at : end;
    }
    separator_before = separators >> 15;
  }
  return end;
}

std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  const Tests tests;
  for (std::size_t p = from; p < end; p += 16) {
    const unsigned separators = separator_bits(load16(data + p), tests);
    if (separators != 0) {
      const std::size_t at = p + lowest_bit(separators);
      return at < end ? at : end;
    }
  }
  return end;
}

bool vector_search() { return true; }

#else  // the portable search, a byte at a time

std::size_t find_interesting_start(const char* data, std::size_t from, std::size_t end,
                                   const StartFilter& filter) {
  bool separator_before = is_word_separator((data + from)[-1]);
  for (std::size_t p = from; p < end; ++p) {
    const bool separator = is_word_separator(data[p]);
    if (separator_before && !separator && filter.interesting[static_cast<unsigned char>(data[p])])
      return p;
    separator_before = separator;
  }
  return end;
}

std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  std::size_t p = from;
  while (p < end && !is_word_separator(data[p])) ++p;
  return p;
}

bool vector_search() { return false; }

#endif
