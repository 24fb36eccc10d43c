#include "list_block.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "sanitizer.h"
#include "scan_kernel.h"
#if SPELL_CHECKER_ASAN
#include <sanitizer/asan_interface.h>
#endif

void ListBlock::start(std::size_t size) {
  if (size > capacity_) {
    memory_.reset();  // never two at once
    capacity_ = 0;
    // Room for the byte before on a line of its own, the block, and the padding.
    memory_.reset(new char[kAlignment + size + kScanPadding + kAlignment]);
    capacity_ = size;
  }
  size_ = size;
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(memory_.get()) + kAlignment;
  data_ = memory_.get() + kAlignment + (kAlignment - at % kAlignment) % kAlignment;
  length_ = 0;
  last_ = ' ';
}

ssize_t ListBlock::read_from(int fd) {
  data_[-1] = last_;
#if SPELL_CHECKER_ASAN
  ASAN_UNPOISON_MEMORY_REGION(data_, size_ + kScanPadding);
#endif
  ssize_t got;
  do {
    got = read(fd, data_, size_);
  } while (got < 0 && errno == EINTR);
  length_ = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (length_ > 0) last_ = data_[length_ - 1];
  const int read_errno = errno;
  std::memset(data_ + length_, ' ', kScanPadding);
#if SPELL_CHECKER_ASAN
  if (length_ < size_) ASAN_POISON_MEMORY_REGION(data_ + length_ + kScanPadding, size_ - length_);
#endif
  errno = read_errno;
  return got;
}

void ListBlock::blank_from(std::size_t from) {
  if (from < length_) std::memset(data_ + from, ' ', length_ - from);
}
