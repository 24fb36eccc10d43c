// A word list in a file of its own, in the test's temporary directory, removed again at the end
// of the test.
#ifndef SPELL_CHECKER_TESTS_LIST_FILE_H_
#define SPELL_CHECKER_TESTS_LIST_FILE_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

class ListFile {
 public:
  explicit ListFile(const std::string& content) {
    std::string name = testing::TempDir() + "list_XXXXXX";
    const int fd = mkstemp(&name[0]);
    EXPECT_GE(fd, 0);
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~ListFile() { unlink(path_.c_str()); }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

#endif  // SPELL_CHECKER_TESTS_LIST_FILE_H_
