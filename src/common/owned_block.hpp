// How the program owns memory of its own: a std::unique_ptr over one of the
// platform's blocks (acquire_block, backed by large pages where that pays),
// which release_block frees. When memory runs out the pointer is null, never
// an exception or an end of the process: the caller says "Malo pameti!" or
// does without.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "common/platform.hpp"

namespace som {

struct block_deleter {
  void operator()(void* block) const { release_block(block); }
};

// An array of T in one block. Its elements are never constructed nor
// destroyed, so T must need neither (numbers and plain records).
template <class T>
using block_ptr = std::unique_ptr<T[], block_deleter>;

// `count` elements of T, uninitialised; null when count is 0 (nothing to
// hold), when their size cannot be represented, or when memory runs out.
template <class T>
block_ptr<T> acquire_array(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
  return block_ptr<T>(static_cast<T*>(acquire_block(count * sizeof(T))));
}

}  // namespace som
