// The rows of a table read on several threads, with exactly the rows, row
// numbers and first fault of reading it from start to end on one.
//
// The text after the title row is cut into blocks of about a megabyte, each
// cut right after a line end (where the quotes seen since the block's start
// are balanced, if there is such a line end, since one inside a quoted cell
// does not end a record). Each block is split into records on a thread of
// its own as though a record began at its first byte. The blocks are then
// taken in table order, each only when the records of the blocks before it
// ended exactly where it begins: then its first byte did begin a record, and
// its records are those of the whole table, numbered on from the records
// before it. When they did not (a quoted cell with a line break across the
// cut), the block was read from a false start: it is read again, on the
// calling thread, from the start of the record cut short. So whatever the
// blocks and the threads, the records are the table's, and the first fault
// of the blocks taken is the table's first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/table_file.hpp"

namespace som {

struct table_split {
  // false: the plain reading, row after row on the calling thread (what
  // the blocks are checked against).
  bool blocks = false;
  // The threads that read blocks; 0: the calling thread, block after block.
  unsigned threads = 0;
  std::size_t block_bytes = std::size_t{1} << 18;
  // Cuts where the quotes since the block's start are balanced; false cuts
  // after the last line end alone (for the tests of the blocks read again).
  bool balanced_cuts = true;
};

// The most threads a table is read on: beyond them the calling thread, which
// reads the file and takes the blocks' results, is the one that waits.
inline constexpr unsigned most_table_threads = 8;

// How a table is read with `requested` threads (0: as many as the processor
// runs, at most most_table_threads): in blocks on that many threads, or the
// plain reading where that is one.
table_split split_for_threads(unsigned requested);

// What a pass over a table does with its rows: on the threads, the rows of
// each block into a partial result of the block's own slot; on the calling
// thread, those results in table order.
class block_pass {
 public:
  virtual ~block_pass() = default;
  // Room for `slots` partial results; called first.
  virtual void prepare(unsigned slots) = 0;
  // On a thread: slot `slot`'s partial result starts empty.
  virtual void start(unsigned slot) = 0;
  // On a thread: a data row of the block in `slot` (exactly the table's
  // columns), `row` its record's number counted from the block's start.
  virtual void row(unsigned slot, const std::vector<table_cell>& cells, std::uint64_t row) = 0;
  // On the calling thread, in table order: the block's partial result
  // belongs to the table, its rows numbered after `rows_before` records.
  // False stops the reading.
  virtual bool take(unsigned slot, std::uint64_t rows_before) = 0;
};

struct blocks_read {
  table_problem problem;         // the first fault, its row counted in the table
  std::uint64_t blank_rows = 0;  // the whole table's, those before the title included
  bool stopped = false;          // a take() stopped the reading
};

// Reads the rest of the table (after its title row) through `pass`.
blocks_read read_table_blocks(table_reader& table, const table_split& split, block_pass& pass);

}  // namespace som
