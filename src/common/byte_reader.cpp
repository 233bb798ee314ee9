#include "common/byte_reader.hpp"

#include <cstring>
#include <utility>

namespace som {

namespace {
constexpr std::size_t initial_capacity = std::size_t{1} << 16;
}

std::size_t byte_reader::fill(std::size_t count) {
  const std::size_t available = end_ - begin_;
  if (available >= count || exhausted_) return available;
  // Move what is left to the front, growing the buffer when one token is
  // longer than the buffer itself.
  if (capacity_ < count || capacity_ < initial_capacity) {
    std::size_t capacity = capacity_ < initial_capacity ? initial_capacity : capacity_;
    while (capacity < count) capacity *= 2;
    block_ptr<char> grown = acquire_array<char>(capacity);
    if (grown == nullptr) {
      out_of_memory_ = true;
      exhausted_ = true;
      return available;
    }
    if (available != 0) std::memcpy(grown.get(), data_ + begin_, available);
    buffer_ = std::move(grown);
    capacity_ = capacity;
  } else if (begin_ != 0) {
    std::memmove(buffer_.get(), data_ + begin_, available);
  }
  data_ = buffer_.get();
  dropped_ += begin_;
  begin_ = 0;
  end_ = available;
  while (end_ < count && !exhausted_) {
    const std::size_t got = source_.read(source_.context, buffer_.get() + end_, capacity_ - end_);
    if (got == source_failed) {
      read_failed_ = true;
      exhausted_ = true;
      break;
    }
    end_ += got;
    if (got == 0) exhausted_ = true;
  }
  return end_;
}

}  // namespace som
