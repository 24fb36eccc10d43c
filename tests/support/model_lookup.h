// The lookup as plainly as it can be written, kept apart from the program's code: every word
// read with the stream's >>, every word's key computed in full by a transcription of the key
// rules of its own. The tests and the fuzzer check the fast scan against it; the benchmark uses
// it as the baseline.
#ifndef SPELL_CHECKER_TESTS_MODEL_LOOKUP_H_
#define SPELL_CHECKER_TESTS_MODEL_LOOKUP_H_

#include <string>

#include "spell_checker.h"

// The key of `word` up to its first NUL byte; empty when it has none.
std::string model_key(const std::string& word);

LookupResult model_lookup(const std::string& path, const std::string& typed);

// Whether two results give the same reply; when a word is found its candidates are not used.
bool same_reply(const LookupResult& a, const LookupResult& b);

#endif  // SPELL_CHECKER_TESTS_MODEL_LOOKUP_H_
