// The few operating-system calls the program needs beyond standard C++:
// forcing a written file to disk and replacing a file atomically.
#pragma once

#include <cstdio>

namespace som {

// Forces the data of an open, flushed file to stable storage.
bool sync_file(std::FILE* file);

// Puts `from` in place of `to` in one step, so that a reader sees either the
// old or the new file, never a mix; makes the new name durable.
bool replace_file(const char* from, const char* to);

}  // namespace som
