#include "table/table_blocks.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string_view>
#include <thread>

#include "table/ordered_workers.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace som {

table_split split_for_threads(unsigned requested) {
  unsigned threads = requested;
  if (threads == 0) {
    threads = std::thread::hardware_concurrency();
    threads = std::min(std::max(threads, 1u), most_table_threads);
  }
  table_split split;
  split.blocks = threads > 1;
  split.threads = threads;
  return split;
}

namespace {

// The double quotes among the bytes: sixteen at a time where SSE2 is there.
std::size_t count_quotes(const char* p, const char* end) {
  std::size_t count = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)));
    count += static_cast<std::size_t>(__builtin_popcount(mask));
    p += 16;
  }
#endif
  for (; p != end; ++p) count += *p == '"' ? 1 : 0;
  return count;
}

// Bytes that grow without being cleared first: reads overwrite them.
class text_buffer {
 public:
  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {bytes_.get(), size_}; }
  void clear() { size_ = 0; }
  // The first bytes kept, those added undefined.
  void resize(std::size_t size) {
    if (size > capacity_) {
      const std::size_t capacity = std::max(size, 2 * capacity_);
      std::unique_ptr<char[]> bytes(new char[capacity]);
      if (size_ != 0) std::memcpy(bytes.get(), bytes_.get(), size_);
      bytes_ = std::move(bytes);
      capacity_ = capacity;
    }
    size_ = size;
  }
  void append(const char* from, std::size_t count) {
    const std::size_t at = size_;
    resize(at + count);
    if (count != 0) std::memcpy(bytes_.get() + at, from, count);
  }
  void assign(const char* from, std::size_t count) {
    clear();
    append(from, count);
  }
  void swap(text_buffer& other) {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The last `line_end` byte before `end`, or null.
const char* last_line_end(const char* begin, const char* end, char line_end) {
  while (end != begin) {
    if (*--end == line_end) return end;
  }
  return nullptr;
}

// Reads the table's text into blocks, each cut right after a line end
// (the last block ends where the text does).
class block_cutter {
 public:
  block_cutter(table_reader& table, const table_split& split, char line_end, bool balanced)
      : table_(table),
        size_(std::max<std::size_t>(split.block_bytes, 1)),
        line_end_(line_end),
        balanced_(balanced) {}

  // The next block into `bytes`, and whether the text ends with it; false
  // when no text is left.
  bool next(text_buffer& bytes, bool& last) {
    bytes.assign(rest_.data(), rest_.size());
    rest_.clear();
    std::size_t target = size_;
    std::size_t searched = 0;  // the bytes before this hold no line end
    for (;;) {
      while (bytes.size() < target && !ended_) {
        const std::size_t had = bytes.size();
        bytes.resize(target);
        const std::size_t got = table_.read_text(bytes.data() + had, target - had);
        bytes.resize(had + got);
        ended_ = got == 0;
      }
      if (ended_) {
        last = true;
        return !bytes.empty();
      }
      const char* const begin = bytes.data();
      const char* const end = begin + bytes.size();
      const char* cut = last_line_end(begin + searched, end, line_end_);
      if (cut != nullptr) {
        if (balanced_) cut = balanced_cut(begin, cut);
        rest_.assign(cut + 1, static_cast<std::size_t>(end - cut - 1));
        bytes.resize(static_cast<std::size_t>(cut + 1 - begin));
        last = false;
        return true;
      }
      // A line longer than a block: read on to its end.
      searched = bytes.size();
      target = bytes.size() + size_;
    }
  }

 private:
  // Of the line ends from `last` back, the last after which the quotes
  // since `begin` are balanced; `last` where none is.
  const char* balanced_cut(const char* begin, const char* last) const {
    // Quotes before the byte after each line end, counted back from the
    // block's whole count.
    std::size_t quotes = count_quotes(begin, last + 1);
    const char* at = last;
    while (at != nullptr) {
      if (quotes % 2 == 0) return at;
      const char* before = last_line_end(begin, at, line_end_);
      if (before == nullptr) break;
      quotes -= count_quotes(before + 1, at + 1);
      at = before;
    }
    return last;
  }

  table_reader& table_;
  std::size_t size_;
  char line_end_;
  bool balanced_;
  text_buffer rest_;  // read after the last cut
  bool ended_ = false;
};

// A block and what reading it found.
struct block_slot {
  text_buffer bytes;
  bool last = false;          // the text ends with it
  std::uint64_t records = 0;  // whole records read, blank ones included
  std::uint64_t blank_rows = 0;
  bool cut_short = false;  // it ends inside a record, which starts at cut_at
  std::size_t cut_at = 0;
  table_problem problem;  // its row counted from the block's start
};

void read_block(block_slot& block, unsigned slot, const table_dialect& dialect, block_pass& pass) {
  block.records = 0;
  block.blank_rows = 0;
  block.cut_short = false;
  block.cut_at = 0;
  block.problem = {};
  try {
    byte_reader reader(block.bytes.view());
    table_records records(reader, dialect.separator, dialect.line_end, !block.last);
    std::vector<table_cell> cells;
    pass.start(slot);
    while (block.problem.fault == table_fault::none && records.next(cells)) {
      std::uint32_t column = 0;
      switch (fit_record(cells, dialect.columns, column)) {
        case record_fit::blank: ++block.blank_rows; break;
        case record_fit::too_many_cells:
          block.problem = {table_fault::too_many_cells, records.number(), column};
          break;
        case record_fit::row: pass.row(slot, cells, records.number()); break;
      }
    }
    if (block.problem.fault == table_fault::none) block.problem = records.problem();
    block.records = records.number();
    block.cut_short = records.cut_short();
    block.cut_at = reader.position();
  } catch (const std::bad_alloc&) {
    block.problem = {table_fault::out_of_memory, block.records + 1, 0};
  }
}

// The reading itself; the workers are declared last, so that they have
// ended before anything their jobs use goes.
blocks_read read_blocks(table_reader& table, const table_split& split, block_pass& pass) {
  blocks_read out;
  out.blank_rows = table.blank_rows();
  const table_dialect dialect = table.dialect();
  block_cutter cutter(table, split, dialect.line_end, split.balanced_cuts && dialect.quoted);
  const unsigned slots = std::max(2u, 4 * split.threads);
  std::vector<block_slot> blocks(slots);
  std::vector<unsigned> free_slots;
  for (unsigned s = slots; s-- > 0;) free_slots.push_back(s);
  std::deque<unsigned> handed_in;  // oldest first
  pass.prepare(slots);
  // Records before the next block to take; the start of a record that the
  // last block taken ended inside, and its length when it was read.
  std::uint64_t rows_before = table.row_number();
  text_buffer carried;
  std::size_t carried_read = 0;
  bool text_left = true;

  // Takes a block's results for the table; false when the reading ends.
  const auto take = [&](unsigned s) {
    block_slot& block = blocks[s];
    const bool go_on = pass.take(s, rows_before);
    out.blank_rows += block.blank_rows;
    if (block.problem.fault != table_fault::none) {
      out.problem = block.problem;
      out.problem.row += rows_before;
      return false;
    }
    rows_before += block.records;
    if (block.cut_short) {
      carried.assign(block.bytes.data() + block.cut_at, block.bytes.size() - block.cut_at);
      carried_read = carried.size();
    }
    if (!go_on) out.stopped = true;
    return go_on;
  };

  ordered_workers workers(split.threads);
  bool reading = true;
  while (reading) {
    while (text_left && !free_slots.empty()) {
      const unsigned s = free_slots.back();
      if (!cutter.next(blocks[s].bytes, blocks[s].last)) {
        text_left = false;
        break;
      }
      free_slots.pop_back();
      handed_in.push_back(s);
      workers.hand_in([&, s] { read_block(blocks[s], s, dialect, pass); });
    }
    if (handed_in.empty()) break;
    const unsigned s = handed_in.front();
    handed_in.pop_front();
    workers.wait_oldest();
    block_slot& block = blocks[s];
    if (!carried.empty()) {
      // Read from a false start: again, from the start of the record cut
      // short. A record across many blocks is read again only once it has
      // doubled, so that its bytes are read a few times, not once a block.
      carried.append(block.bytes.data(), block.bytes.size());
      block.bytes.swap(carried);
      carried.clear();
      if (!block.last && block.bytes.size() < 2 * carried_read) {
        carried.swap(block.bytes);
        free_slots.push_back(s);
        continue;
      }
      read_block(block, s, dialect, pass);
    }
    reading = take(s);
    free_slots.push_back(s);
  }
  if (reading && !carried.empty()) {
    // The text ended inside a record.
    const unsigned s = free_slots.back();
    blocks[s].bytes.swap(carried);
    blocks[s].last = true;
    read_block(blocks[s], s, dialect, pass);
    take(s);
  }
  while (workers.outstanding() != 0) workers.wait_oldest();
  return out;
}

}  // namespace

blocks_read read_table_blocks(table_reader& table, const table_split& split, block_pass& pass) {
  try {
    return read_blocks(table, split, pass);
  } catch (const std::bad_alloc&) {
    blocks_read out;
    out.problem = {table_fault::out_of_memory, table.row_number() + 1, 0};
    return out;
  }
}

}  // namespace som
