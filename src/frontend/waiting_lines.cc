#include "waiting_lines.h"

#include <cstdlib>
#include <cwchar>
#include <new>
#include <string_view>

#include "line_editor.h"
#include "piped_input.h"

namespace {

// Whether `line` is whole characters of the locale: the line editor holds back the bytes of one
// cut short, and they join the next line.
bool whole_characters(std::string_view line) {
  if (MB_CUR_MAX == 1) return true;
  std::mbstate_t state = {};
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t n = std::mbrtowc(nullptr, line.data() + at, line.size() - at, &state);
    if (n == 0 || n > line.size() - at) return false;  // a NUL, or no (whole) character
    at += n;
  }
  return true;
}

// Whole lines at the start of `bytes` that are made of `inserted` bytes alone and short enough
// to be looked up, up to kMaxWaitingLines.
std::vector<std::string> plain_lines(std::string_view bytes, const InsertedBytes& inserted) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (lines.size() < kMaxWaitingLines) {
    std::size_t at = from;
    bool high = false;
    while (at < bytes.size() && at - from < kWorkBufferSize - 1 &&
           (at == from ? inserted.first : inserted.later)[static_cast<unsigned char>(bytes[at])]) {
      high |= static_cast<unsigned char>(bytes[at]) >= 0x80;
      ++at;
    }
    if (at == bytes.size() || bytes[at] != '\n' || at - from >= kWorkBufferSize - 1) break;
    const std::string_view line = bytes.substr(from, at - from);
    if (high && !whole_characters(line)) break;
    lines.emplace_back(line);
    from = at + 1;
  }
  return lines;
}

}  // namespace

void look_up_waiting_lines(WaitingLines& waiting) {
  if (waiting.next < waiting.lookup.answered) return;
  forget_waiting_lines(waiting);
  try {
    waiting.lines = plain_lines(waiting_piped_bytes(), bytes_inserted_as_they_are());
    if (!waiting.lines.empty()) waiting.lookup = lookup_words(waiting.lines);
  } catch (const std::bad_alloc&) {
    forget_waiting_lines(waiting);  // each line is then looked up alone, as it comes
  }
}

bool take_waiting_result(WaitingLines& waiting, const std::string& line, LookupResult& result) {
  if (waiting.next >= waiting.lookup.answered || waiting.lines[waiting.next] != line) {
    forget_waiting_lines(waiting);
    return false;
  }
  result = waiting.lookup.result(waiting.next++);
  return true;
}

void forget_waiting_lines(WaitingLines& waiting) { waiting = WaitingLines(); }
