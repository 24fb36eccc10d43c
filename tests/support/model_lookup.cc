#include "model_lookup.h"

#include <algorithm>
#include <fstream>
#include <locale>

namespace {

bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const std::string& a, const std::string& b) {
  const std::string x = a.substr(0, a.find('\0')), y = b.substr(0, b.find('\0'));
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (lower(x[i]) != lower(y[i])) return false;
  return true;
}

}  // namespace

std::string model_key(const std::string& word) {
  std::string w = word.substr(0, word.find('\0'));
  std::size_t first = 0;
  while (first < w.size() && !letter(w[first])) ++first;
  if (first == w.size()) return "";
  if (upper(w[first]) == 'P' && first + 1 < w.size() && upper(w[first + 1]) == 'H') {
    w[first] = 'F';
    w[first + 1] = 'A';
  }
  static const std::string table = "01230120022455012623010202";
  std::string key(1, upper(w[first]));
  for (std::size_t i = first + 1; i < w.size() && key.size() < 9; ++i) {
    if (!letter(w[i]) || w[i] == w[i - 1]) continue;
    const char digit = table[upper(w[i]) - 'A'];
    if (digit != '0') key += digit;
  }
  return key;
}

LookupResult model_lookup(const std::string& path, const std::string& typed) {
  LookupResult result;
  if (typed.size() >= kWorkBufferSize - 1) return result;
  std::ifstream list(path, std::ios::binary);
  list.imbue(std::locale::classic());
  const std::string typed_key = model_key(typed);
  std::string word;
  while (list >> word) {
    if (word.size() > kMaxDictionaryWordLength) continue;
    if (equal_ignoring_case(typed, word)) result.found = true;
    if (!typed_key.empty() && model_key(word) == typed_key) result.candidates.push_back(word);
  }
  if (!result.found) std::sort(result.candidates.begin(), result.candidates.end());
  return result;
}

bool same_reply(const LookupResult& a, const LookupResult& b) {
  return a.found == b.found && (a.found || a.candidates == b.candidates);
}
