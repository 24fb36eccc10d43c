#include "list_block.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "list_file.h"
#include "sanitizer.h"
#include "scan_kernel.h"
#if SPELL_CHECKER_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

struct Block {
  char before;
  std::string bytes;
};

// Reads the whole file at `path` in blocks of `size`, each blanked from `blank_from` once it is
// checked, as the lookup does with the start of a word that runs on; holds each block to the
// layout the kernels read.
std::vector<Block> read_all(ListBlock& block, const std::string& path, std::size_t size,
                            std::size_t blank_from) {
  std::vector<Block> blocks;
  const int fd = open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << path;
  block.start(size);
  while (block.read_from(fd) > 0) {
    const char* const data = block.data();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % ListBlock::kAlignment, 0u);
    EXPECT_LE(block.length(), size);
    EXPECT_EQ(std::string(data + block.length(), kScanPadding), std::string(kScanPadding, ' '));
    blocks.push_back({data[-1], std::string(data, block.length())});
    block.blank_from(blank_from);
  }
  EXPECT_EQ(block.length(), 0u) << "at the end";
  close(fd);
  return blocks;
}

TEST(ListBlock, EachBlockFollowsTheLastByteReadBeforeIt) {
  const struct {
    const char* what;
    std::string content;
    std::size_t size, blank_from;
    std::vector<Block> blocks;
  } cases[] = {
      {"one block", "cat\n", 8, 0, {{' ', "cat\n"}}},
      {"a word across blocks, blanked",
       "cats dog",
       3,
       0,
       {{' ', "cat"}, {'t', "s d"}, {'d', "og"}}},
      {"blanked part way", "abcdef", 4, 2, {{' ', "abcd"}, {'d', "ef"}}},
      {"blocks of one byte", "ab", 1, 0, {{' ', "a"}, {'a', "b"}}},
      {"a block the size of the file",
       std::string(128, 'x'),
       128,
       0,
       {{' ', std::string(128, 'x')}}},
      {"an empty file", "", 16, 0, {}},
  };
  ListBlock block;
  for (const auto& c : cases) {
    const ListFile file(c.content);
    const std::vector<Block> got = read_all(block, file.path(), c.size, c.blank_from);
    ASSERT_EQ(got.size(), c.blocks.size()) << c.what;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].before, c.blocks[i].before) << c.what << ", block " << i;
      EXPECT_EQ(got[i].bytes, c.blocks[i].bytes) << c.what << ", block " << i;
    }
  }
}

// The memory is kept from one list to the next: the last byte of the list before, nor its bytes,
// must not seem to belong to the next, whether the blocks grow or shrink.
TEST(ListBlock, NothingOfTheListBeforeRemains) {
  ListBlock block;
  const ListFile first(std::string(300, 'x')), second("ab");
  for (const std::size_t size : {256, 64, 1024, 8}) {
    read_all(block, first.path(), size, 1000);
    const std::vector<Block> got = read_all(block, second.path(), size, 1000);
    ASSERT_EQ(got.size(), 1u) << size;
    EXPECT_EQ(got[0].before, ' ') << size;
    EXPECT_EQ(got[0].bytes, "ab") << size;
  }
}

TEST(ListBlock, ReadErrorIsReported) {
  ListBlock block;
  block.start(16);
  errno = 0;
  EXPECT_EQ(block.read_from(-1), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(block.length(), 0u);
}

// Under AddressSanitizer, a kernel that reads past the padding of a short block faults, even
// where an earlier, longer block left bytes.
TEST(ListBlock, PastThePaddingIsUnreadable) {
  if (!kUnderAddressSanitizer) GTEST_SKIP() << "built without AddressSanitizer";
#if SPELL_CHECKER_ASAN
  ListBlock block;
  const ListFile file(std::string(200, 'x') + "\n" + "ab");
  const int fd = open(file.path().c_str(), O_RDONLY);
  block.start(201);
  ASSERT_EQ(block.read_from(fd), 201);
  ASSERT_EQ(block.read_from(fd), 2);
  const char* const data = block.data();
  EXPECT_FALSE(__asan_address_is_poisoned(data + 2 + kScanPadding - 1));
  EXPECT_TRUE(__asan_address_is_poisoned(data + 2 + kScanPadding));
  // (Its shadow marks 8 bytes at a time: the last few bytes of the memory may stay readable.)
  EXPECT_TRUE(__asan_address_is_poisoned(data + 190 + kScanPadding));
  close(fd);
#endif
}

}  // namespace
