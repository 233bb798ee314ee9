// What went wrong in a stage, as a value: the stages below the programs'
// entry files return one and print nothing; the entry files turn it into
// words (message_of in common/messages.hpp) and choose the exit status.
#pragma once

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
};

struct failure {
  failure_kind kind = failure_kind::none;
  std::string file;      // the file it concerns; empty where none
  int system_error = 0;  // errno or GetLastError where the system gave one
  std::string detail;    // what a refusal quotes as written (setup_decimal)

  // True when something went wrong, so that `if (failure f = step())` reads
  // as the failure it tests for.
  explicit operator bool() const { return kind != failure_kind::none; }

  static failure of(failure_kind kind, std::string file = {}, int system_error = 0) {
    return failure{kind, std::move(file), system_error, {}};
  }
};

}  // namespace som
