// The search, written once for every instruction set. A kernel's source file defines `Simd`, a
// thin layer over its registers, and `Steps`, the steps over 64 bytes as it takes them (see
// scan_steps.h), and then includes this file.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "scan_kernel.h"
#include "scan_steps.h"
#include "word_match.h"

// Each kernel's copy of the search has the kernel's name, SCAN_KERNEL_NAME, which its file
// defines (a profiler shows (anonymous namespace)::avx2::search); it keeps internal linkage, as
// each copy is built for its own instruction set.
#ifndef SCAN_KERNEL_NAME
#error "a kernel's file defines SCAN_KERNEL_NAME before it includes scan_generic.h"
#endif
namespace {
namespace SCAN_KERNEL_NAME {

// Vector types carry attributes that a template argument drops, which is all these checks ask of
// them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
static_assert(Simd::kWidth >= 8 && Simd::kWidth <= 64 && (Simd::kWidth & (Simd::kWidth - 1)) == 0,
              "a vector is 8, 16, 32 or 64 bytes: a whole number of them makes 64");
static_assert(std::is_same_v<decltype(Simd::load(nullptr)), typename Simd::Reg>, "load");
static_assert(
    std::is_same_v<decltype(Simd::bits(std::declval<typename Simd::Mask>())), std::uint64_t>,
    "bits");
static_assert(std::is_base_of_v<ComparedSteps<Simd, Steps>, Steps>,
              "a kernel's steps are the compared ones, some perhaps defined again");
#pragma GCC diagnostic pop

int lowest_bit(Bits bits) { return __builtin_ctzll(bits); }
int highest_bit(Bits bits) { return 63 - __builtin_clzll(bits); }

// The stops among 64 bytes (see LineFilter), with the letters that repeat the byte before them
// taken out: such a letter gives no digit (the third of the key rules' consequences in
// key_rules.h).
SCAN_STEP KeyStops stops_at(const char* p, const Steps& steps) {
  KeyStops s = steps.stops(p);
  Bits repeats = 0;
  SCAN_UNROLLED for (int r = 0; r < Steps::kRegisters; ++r) {
    const char* const at = p + r * Simd::kWidth;
    repeats |= Simd::bits(Simd::equal(Simd::load(at), Simd::load(at - 1))) << (r * Simd::kWidth);
  }
  s.stops &= ~repeats;
  return s;
}

// The first separator in data[from, end), or end.
std::size_t find_separator(const char* data, std::size_t from, std::size_t end) {
  for (std::size_t p = from; p < end; p += 64) {
    const Bits separators = separator_bits<Simd>(data + p);
    if (separators != 0) {
      const std::size_t at = p + lowest_bit(separators);
      return at < end ? at : end;
    }
  }
  return end;
}

// A word whose key walk runs on past the 64 bytes it was at: the step it is at and its start.
// Only the last word of a stretch can run on, so one is all there is.
struct Walk {
  int step = -1;  // none
  std::size_t start = 0;
};

// Walks the keys of the words that start at `keys` (and of `before`, carried in at the first
// byte) through the stops of the 64 bytes at data + p, one step per digit of the typed key and
// one for the end of the word. Returns the stops where the words that agree to the end have
// their last step; `after` gets the word that runs on past these bytes.
//
// Adding a bit just after each word's start (a seed) to the bits of the bytes that are not stops
// carries the bit up to the word's next stop; a word's walk never reaches the next word, for the
// separator between them is a stop. The stops that agree seed the next step. Which words agree is
// data that no branch could foresee: the steps are taken without any.
Bits walk_keys(const char* data, std::size_t p, const Steps& steps, Bits separators, Bits starts,
               Bits keys, const Walk& before, Walk& after) {
  KeyStops s = stops_at(data + p, steps);
  const Bits stop = s.stops | separators;
  s.digits[kEndPlace] = s.ends | separators;
  const LineFilter& filter = steps.filter;
  Bits seeds = keys << 1;
  int runs_on = (keys >> 63) != 0 ? 0 : -1;  // the step at which the last word runs on, if it does
  const auto step = [&](int step) {
    seeds |= Bits{before.step == step};
    const Bits carried = ~stop + seeds;
    if (carried < seeds) runs_on = step;
    return carried & stop & s.digits[filter.step_place[step]];
  };
  const int last = filter.steps - 1;
  for (int k = 0; k < last; ++k) {
    const Bits agreed = step(k);
    if ((agreed >> 63) != 0) runs_on = k + 1;
    seeds = agreed << 1;
  }
  const Bits agreed = step(last);
  // At most one word runs on: the last, which starts here, or carried in. Whether one does is
  // as unforeseeable as which words agree, so `after` is set without a branch; its start counts
  // only when its step is not negative.
  after.step = runs_on;
  const std::size_t last_start = p + highest_bit(starts | 1);
  after.start = starts != 0 ? last_start : before.start;
  return agreed;
}

// The end of the word that holds data[p + bit]: the next separator.
std::size_t word_end(const char* data, std::size_t p, int bit, Bits separators,
                     std::size_t length) {
  const Bits after = separators & (~Bits{0} << bit);
  return after != 0 ? p + lowest_bit(after) : find_separator(data, p + 64, length);
}

// The words that start in the 64 bytes at data + p and go to the full tests, and those whose
// key walks end here. Returns whether any word of interest starts there.
template <bool kNonLetters>
bool look_at_stretch(const char* data, std::size_t p, std::size_t length, const Steps& steps,
                     Walk& walk, MatchSink sink, void* context) {
  const CloseLook look = steps.template close_look<kNonLetters>(data + p);
  const Bits separators = look.separators;
  // The bytes past `length` are separators: they start no word.
  const Bits starts = word_starts(separators, (data + p)[-1]);
  Bits direct = (look.nonletters | look.exact) & starts;
  const Bits keys = look.keys & starts & ~direct;  // a word goes to the full tests once
  const bool of_interest = (direct | keys) != 0;
  const Walk before = walk;
  walk = Walk();
  if (keys != 0 || before.step >= 0) {
    Bits landed = walk_keys(data, p, steps, separators, starts, keys, before, walk);
    while (landed != 0) {
      const int at = lowest_bit(landed);
      landed &= landed - 1;
      const Bits earlier = starts & ((Bits{1} << at) - 1);
      if (earlier != 0)
        direct |= Bits{1} << highest_bit(earlier);
      else  // the word carried in
        hand_on_if_matching(steps.filter, data + before.start,
                            word_end(data, p, at, separators, length) - before.start, sink,
                            context);
    }
  }
  while (direct != 0) {
    const int bit = lowest_bit(direct);
    direct &= direct - 1;
    const std::size_t start = p + static_cast<std::size_t>(bit);
    hand_on_if_matching(steps.filter, data + start,
                        word_end(data, p, bit, separators, length) - start, sink, context);
  }
  return of_interest;
}

// The first stretch of 64 bytes at or after data + p (p a multiple of 64) that may hold a start
// of interest, or `length`. Two stretches to a branch, for most hold none; and no call in the
// loop, so that the constants stay in registers.
template <int kFirst, bool kNonLetters>
SCAN_STEP std::size_t next_of_interest(const char* data, std::size_t p, std::size_t length,
                                       const Steps& steps) {
  for (; p + 64 < length; p += 128) {
    const bool first = steps.template first_look<kFirst, kNonLetters>(data + p);
    const bool second = steps.template first_look<kFirst, kNonLetters>(data + p + 64);
    if (first || second) return first ? p : p + 64;
  }
  return p < length && steps.template first_look<kFirst, kNonLetters>(data + p) ? p : length;
}

template <int kFirst, bool kNonLetters>
void search_for(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
                void* context) {
  const Steps steps(filter);
  Walk walk;
  for (std::size_t p = 0;;) {
    p = next_of_interest<kFirst, kNonLetters>(data, p, length, steps);
    // Stretches of interest come in runs where the list is sorted: they are looked at closely one
    // after another, until one holds no word of interest and no key walk runs on past it.
    for (bool in_run = true; in_run && p < length; p += 64) {
      in_run = look_at_stretch<kNonLetters>(data, p, length, steps, walk, sink, context) ||
               walk.step >= 0;
    }
    if (p >= length) return;
  }
}

// Calls `f` with the line's shape as template arguments: how many first bytes of interest it has,
// and whether it wants the non-letters.
template <typename F>
SCAN_STEP void with_shape(const LineFilter& filter, F f) {
  const auto with_count = [&](auto non_letters) {
    switch (filter.first_count) {
      case 1:
        return f(std::integral_constant<int, 1>(), non_letters);
      case 2:
        return f(std::integral_constant<int, 2>(), non_letters);
      default:
        return f(std::integral_constant<int, kMaxFirstBytes>(), non_letters);
    }
  };
  if (filter.nonletters)
    with_count(std::true_type());
  else
    with_count(std::false_type());
}

void search(const char* data, std::size_t length, const LineFilter& filter, MatchSink sink,
            void* context) {
  with_shape(filter, [&](auto first, auto nonletters) {
    search_for<decltype(first)::value, decltype(nonletters)::value>(data, length, filter, sink,
                                                                    context);
  });
}

void take_steps(const char* p, const LineFilter& filter, StretchSteps& taken) {
  const Steps steps(filter);
  with_shape(filter, [&](auto first, auto nonletters) {
    constexpr int kFirst = decltype(first)::value;
    constexpr bool kNonLetters = decltype(nonletters)::value;
    taken.first_look = steps.template first_look<kFirst, kNonLetters>(p);
    const CloseLook look = steps.template close_look<kNonLetters>(p);
    const Bits starts = word_starts(look.separators, p[-1]);
    taken.separators = look.separators;
    taken.nonletters = look.nonletters & starts;
    taken.exact = look.exact & starts;
    taken.keys = look.keys & starts;
  });
  const KeyStops s = stops_at(p, steps);
  taken.stops = s.stops & ~taken.separators;
  taken.ends = s.ends & ~taken.separators;
  for (int place = 0; place < filter.distinct_digits; ++place)
    taken.digits[place] = s.digits[place] & ~taken.separators;
}

}  // namespace SCAN_KERNEL_NAME
}  // namespace
