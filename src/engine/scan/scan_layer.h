// What the layers of the search (scan_generic.h) start from: every step taken by comparing,
// until a layer says it takes one its own way; and the helpers of the layers that look bytes up
// in the line's tables. Internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SCAN_LAYER_H_
#define SPELL_CHECKER_ENGINE_SCAN_LAYER_H_

#include <cstdint>

#include "line_filter.h"

namespace {

struct EveryStepCompared {
  static constexpr bool kOwnLowBytes = false, kOwnInterest = false, kOwnAny = false,
                        kOwnCloseLook = false, kOwnExactEnds = false, kOwnStops = false,
                        kLeftToTheVectorizer = false;
};

// For layers that look up only the bytes below 0x80 in one of LineFilter's tables: every byte
// from 0x80 up gets every class that any such byte has, which passes more words, never fewer.
inline unsigned char classes_from_0x80(const unsigned char* classes) {
  unsigned char any = 0;
  for (int b = 0x80; b < 0x100; ++b) any |= classes[b];
  return any;
}

// The stops of 64 bytes whose digits classes a layer has looked up: `has(classes)` gives the
// bytes that have any of `classes`, a bit each.
template <typename Has>
void stops_from_digits(Has has, int distinct_digits, std::uint64_t& stops, std::uint64_t& ends,
                       std::uint64_t* digits) {
  stops = has(kStopDigit);
  ends = has(kEndDigit);
  for (int place = 0; place < distinct_digits; ++place)
    digits[place] = has(static_cast<unsigned char>(kFirstPlaceDigit << place));
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SCAN_LAYER_H_
