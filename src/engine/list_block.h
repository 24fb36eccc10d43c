// The word list, one block at a time, in memory laid out as the search kernels read it
// (scan_kernel.h):
// - the block starts on a cache line, for the kernels' loads of 64 bytes and for the system's
//   copy into it, which on some machines takes up to ten times as long into a block 16 bytes
//   past a line (where malloc puts a large block);
// - the byte before it is the last byte of the block before, or a space before the first;
// - after the bytes read come kScanPadding spaces;
// - under AddressSanitizer, the bytes past those are unreadable until the next read, so that a
//   kernel that reads further than it may faults, rather than reading what an earlier read left.
// Not zero-filled: no byte is read that was not written.
#ifndef SPELL_CHECKER_ENGINE_LIST_BLOCK_H_
#define SPELL_CHECKER_ENGINE_LIST_BLOCK_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>

class ListBlock {
 public:
  static constexpr std::size_t kAlignment = 64;

  // Starts a read of a list in blocks of up to `size` bytes (at least 1). The memory is kept
  // from one list to the next, and grows only for a larger size.
  void start(std::size_t size);

  // Reads the next block of the file `fd` in the place of the last, again when a signal
  // interrupts the read: the bytes read, 0 at the end of the file, or -1 with errno set.
  ssize_t read_from(int fd);

  char* data() const { return data_; }
  std::size_t length() const { return length_; }

  // Spaces from `from` to the end of the block, for a search that must see only whole words.
  // The next block still follows the bytes read.
  void blank_from(std::size_t from);

 private:
  std::unique_ptr<char[]> memory_;
  std::size_t capacity_ = 0;  // the largest block the memory has room for
  std::size_t size_ = 0;
  char* data_ = nullptr;
  std::size_t length_ = 0;
  char last_ = ' ';  // the last byte read, which comes before the next block
};

#endif  // SPELL_CHECKER_ENGINE_LIST_BLOCK_H_
