// A typed word and what the line that typed it looks for, kept together, for the tests of the
// line's filter and of the kernels' steps: the filter points into the word and its key.
#ifndef SPELL_CHECKER_TESTS_TYPED_LINE_H_
#define SPELL_CHECKER_TESTS_TYPED_LINE_H_

#include <string>

#include "line_filter.h"
#include "spell_checker.h"

struct TypedLine {
  std::string typed;
  WorkBuffer typed_copy = {}, key = {};
  LineFilter filter;

  explicit TypedLine(const std::string& word) : typed(word) {
    typed.copy(typed_copy, typed.size());
    filter = line_filter(typed.c_str(), phonetic_key(typed_copy, key));
  }
  TypedLine(const TypedLine&) = delete;
  TypedLine& operator=(const TypedLine&) = delete;
};

#endif  // SPELL_CHECKER_TESTS_TYPED_LINE_H_
