// The messages of a lookup that could not read the list to its end or hold its sound-alikes,
// for the lookup of one word and of many. Internal linkage, as in ascii.h.
#ifndef SPELL_CHECKER_ENGINE_LIST_ERRORS_H_
#define SPELL_CHECKER_ENGINE_LIST_ERRORS_H_

#include <cerrno>
#include <cstring>
#include <string>

namespace {

inline std::string read_error(const std::string& path, int error_number) {
  return "cannot read " + path + ": " + std::strerror(error_number);
}

inline std::string out_of_memory_error(const std::string& path) {
  return "cannot list the sound-alikes from " + path + ": " + std::strerror(ENOMEM);
}

}  // namespace

#endif  // SPELL_CHECKER_ENGINE_LIST_ERRORS_H_
