// What went wrong in a stage, as a value: the stages below the programs'
// entry files return one and print nothing; the entry files turn it into
// words (message_of in common/messages.hpp) and choose the exit status.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace som {

enum class failure_kind {
  none,
  open_failed,        // the file cannot be opened, made or put in place
  close_failed,       // the file cannot be closed, synced or renamed
  read_failed,        // its bytes cannot be read (an I/O error)
  out_of_memory,      // memory ran out
  write_failed,       // the values of a binary file cannot be written
  data_short,         // a binary file ends before its last value is whole
  missing_value,      // a number that the file must hold is not there
  missing_record,     // the same for a record of vystup.txt: said without a
                      // line end, as the program always has
  utf16,              // a text file saved in UTF-16
  setup_incomplete,   // setup.txt lacks one of its eight numbers
  setup_decimal,      // an entry of setup.txt is a decimal value (`detail`)
  setup_above_range,  // an entry of setup.txt is above 4294967295
  weights_too_long,   // vahy.bin holds more than the map of setup.txt
  run_elsewhere,      // another run holds the folder's lock
  run_lock_lost,      // another run locked the lock file made anew meanwhile
  // The refusals of the programs that only read a trained map:
  save_interrupted,   // a save was cut off: the saved map may be a mix
  no_neurons,         // setup.txt describes a map without a neuron
  weights_short,      // vahy.bin holds less than the map of setup.txt
  records_more,       // vystup.txt holds more records than there are samples
  records_fewer,      // ... or fewer
  record_malformed,   // a record of vystup.txt is no record (figures: record)
  record_outside,     // a record lies outside the map (record, row, column)
  label_count,        // a label file's lines are not the samples (lines,
                      // samples; `detail` names the file of the samples)
  columns_line,       // a line of sloupce.txt is not what it must be (line)
  columns_count,      // sloupce.txt describes another number of columns
                      // than the samples' dimension (columns, dimension)
  too_many_clusters,  // more clusters asked for than the map has neurons
                      // (clusters, neurons)
};

struct failure {
  failure_kind kind = failure_kind::none;
  std::string file;                        // the file it concerns; empty where none
  int system_error = 0;                    // errno or GetLastError where the system gave one
  std::string detail;                      // what a refusal quotes as written (setup_decimal)
  std::array<std::uint64_t, 3> figures{};  // the numbers it quotes, in order

  // True when something went wrong, so that `if (failure f = step())` reads
  // as the failure it tests for.
  explicit operator bool() const { return kind != failure_kind::none; }

  static failure of(failure_kind kind, std::string file = {}, int system_error = 0) {
    return failure{kind, std::move(file), system_error, {}, {}};
  }
  // A refusal that quotes numbers (and, for label_count, a second file).
  static failure quoting(failure_kind kind, std::string file, std::array<std::uint64_t, 3> figures,
                         std::string detail = {}) {
    return failure{kind, std::move(file), 0, std::move(detail), figures};
  }
};

}  // namespace som
