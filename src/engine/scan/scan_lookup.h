// What the kernels' steps that look bytes up in the line's tables (LineFilter::classes and the
// others) share, instead of comparing. Internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_SCAN_LOOKUP_H_
#define SPELL_CHECKER_ENGINE_SCAN_LOOKUP_H_

#include <cstdint>

#include "line_filter.h"
#include "scan_steps.h"

namespace {

// For steps that look up only the bytes below 0x80 in one of LineFilter's tables: every byte
// from 0x80 up gets every class that any such byte has, which passes more words, never fewer.
inline unsigned char classes_from_0x80(const unsigned char* classes) {
  unsigned char any = 0;
  for (int b = 0x80; b < 0x100; ++b) any |= classes[b];
  return any;
}

// The stops of 64 bytes whose LineFilter::digits a step has looked up: `has(classes)` gives the
// bytes that have any of `classes`, a bit each.
template <typename Has>
SCAN_STEP KeyStops stops_from_digits(Has has, int distinct_digits) {
  KeyStops s;
  s.stops = has(kStopDigit);
  s.ends = has(kEndDigit);
  for (int place = 0; place < distinct_digits; ++place)
    s.digits[place] = has(static_cast<unsigned char>(kFirstPlaceDigit << place));
  return s;
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_SCAN_LOOKUP_H_
