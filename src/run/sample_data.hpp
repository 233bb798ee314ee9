// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples, once for their values.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "som/map_storage.hpp"

namespace som {

// The longest piece of a line that the counting pass looks at once.
inline constexpr std::size_t line_piece_length = 16383;

// Counts the lines (pieces of at most 16383 characters of longer lines, a
// CR LF line end counting as one character) that begin, after white space,
// with a number. Ends the process when the file cannot be opened or closed.
std::uint32_t count_samples(const char* path);

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. A value that cannot be read is reported on the console,
// set to 0.0, and the reading goes on at the same place.
void load_samples(sample_matrix& samples, std::FILE* console);

// The same reading on a thread of its own, so that training can begin on the
// first samples while the rest are read: rows [0, ready) are complete (read
// with acquire ordering), and `ready` reaches samples.count at the end.
struct sample_loading {
  alignas(64) std::atomic<std::uint32_t> ready{0};
  alignas(64) byte_reader reader;
  std::string missing;  // the message for a value that cannot be read
  std::thread thread;

  sample_loading() = default;
  sample_loading(const sample_loading&) = delete;
  sample_loading& operator=(const sample_loading&) = delete;
  // The reading never outlives the matrix's owner, whatever way it leaves.
  ~sample_loading() {
    if (thread.joinable()) thread.join();
  }
};

// Opens data.txt (ending the process when it cannot) and starts reading into
// the matrix; where no thread can be started, reads it all before returning.
// The console hears of missing values as they are met, so nothing else may
// print until finish_loading_samples has returned.
void start_loading_samples(sample_loading& loading, sample_matrix& samples, std::FILE* console);

// Waits for the reading to end and closes the file, ending the process when
// it cannot be closed.
void finish_loading_samples(sample_loading& loading);

}  // namespace som
