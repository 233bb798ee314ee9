// The few operating-system calls the program needs beyond standard C++:
// forcing a written file to disk, replacing a file atomically, and memory
// for large blocks.
#pragma once

#include <cstddef>
#include <cstdio>

namespace som {

// Forces the data of an open, flushed file to stable storage.
bool sync_file(std::FILE* file);

// Puts `from` in place of `to` in one step, so that a reader sees either the
// old or the new file, never a mix; makes the new name durable.
bool replace_file(const char* from, const char* to);

// A block of `bytes` (at least 1) for data that is written soon after, or
// null when memory runs out; freed with release_block. Large blocks are
// backed by large pages where the system offers them on request (Linux):
// filling a block of 4 KiB pages costs a page fault per page, which is slow
// on virtual machines (about 15 µs each: 50 ms for 13 MB of samples).
void* acquire_block(std::size_t bytes);
void release_block(void* block);

}  // namespace som
