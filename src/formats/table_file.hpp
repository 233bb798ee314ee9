// A table as spreadsheet programs and statistics packages export it (Excel,
// LibreOffice, R, pandas): rows of cells, separated by commas, semicolons,
// tabs or runs of blanks, cells optionally in double quotes ("" inside for
// one "), perhaps a title row with the columns' names, numbers with a
// decimal point or comma. The reader decides the text's encoding and the
// dialect from the start of the bytes (or takes what the user forces), gives
// the title row and then one data row at a time, never holding more than a
// row and its buffer, with the row's number as a spreadsheet shows it (the
// 1-based count of records, the title and blank rows included; a quoted cell
// may span lines and still belongs to one row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_reader.hpp"
#include "formats/text_decoding.hpp"

namespace som {

// The separator of runs of spaces and tabs (R's write.table, aligned text).
inline constexpr char blank_separator = ' ';

struct table_dialect {
  char separator = ',';      // ',', ';', '\t' or blank_separator
  char decimal_mark = '.';   // '.' or ',' (never ',' with the separator ',')
  bool title = false;        // the first row names the columns
  bool row_names = false;    // the title row has one cell fewer than the data rows:
                             // the first column names the rows (R's write.table)
  char line_end = '\n';      // '\n' (LF or CR LF) or '\r' (old Mac files: CR alone)
  bool crlf = false;         // the first line ends in CR LF
  bool quoted = false;       // some cell at the start of the table is quoted
  std::size_t columns = 0;   // cells of a data row (the row names' column included)
};

// What the user forced; the rest is detected.
struct dialect_request {
  char separator = 0;     // 0: detect
  char decimal_mark = 0;  // 0: detect
  int title = -1;         // -1: detect, 0: no title row, 1: a title row
};

// The words that stand for a missing value, beside an empty cell: NA (R),
// NaN and nan (pandas, numpy), ? and -.
bool is_missing_word(std::string_view text);

enum class cell_kind { number, missing, text };

// What a cell holds: a whole decimal number in the dialect's notation
// (common/decimal.hpp, with `decimal_mark` for the point; blanks around it
// allowed) with its value, correctly rounded; a missing value; or text.
cell_kind read_cell(std::string_view text, char decimal_mark, double& value);

struct table_cell {
  std::string_view text;  // without the quotes, "" made one "; unquoted cells without blanks around
  bool quoted = false;
};

enum class table_fault {
  none,
  open_quote,        // a quoted cell runs to the end of the table
  text_after_quote,  // something other than a separator follows a closing quote
  too_many_cells,    // a row has a cell beyond the table's columns that is not empty
  out_of_memory,     // a row does not fit in memory
};

struct table_problem {
  table_fault fault = table_fault::none;
  std::uint64_t row = 0;     // 1-based
  std::uint32_t column = 0;  // 1-based
};

// Splits bytes into records of cells by one separator, quotes respected.
class table_records {
 public:
  // With `cut`, the reader's bytes are a stretch of a table that may go on
  // after them (a block that a thread reads): a record that they end in the
  // middle of is not read but left for whoever holds the rest (cut_short()).
  table_records(byte_reader& reader, char separator, char line_end, bool cut = false)
      : reader_(reader), separator_(separator), line_end_(line_end), cut_(cut),
        plain_(separator != blank_separator && line_end == '\n') {}
  table_records(const table_records&) = delete;
  table_records& operator=(const table_records&) = delete;

  // The next record; false at the end of the bytes or at a fault. The cells'
  // text lives until the next call.
  bool next(std::vector<table_cell>& cells);
  // The 1-based number of the record last read (or being read at a fault).
  std::uint64_t number() const { return number_; }
  const table_problem& problem() const { return problem_; }
  // With `cut`: next() ended at a record that the bytes end before its end;
  // the record starts at the reader's position.
  bool cut_short() const { return cut_short_; }
  // Moves the reader past the record last read (next() does so itself
  // before it reads on).
  void release();

 private:
  enum class scan { record, more, fault };
  scan scan_record(const char* begin, const char* end, bool last);
  bool scan_plain_record(const char* begin, const char* end);
  void add_plain_cell(const char* begin, std::size_t from, std::size_t to, std::size_t& cells);

  byte_reader& reader_;
  char separator_;
  char line_end_;
  bool cut_;
  bool plain_;  // records without quotes may be read in one sweep
  bool cut_short_ = false;
  std::uint64_t number_ = 0;
  table_problem problem_;
  // The record being scanned: each cell as an offset into the reader's
  // buffer or into `unquoted_` (cells that held "").
  struct cell_span {
    std::size_t at = 0;
    std::size_t length = 0;
    bool own = false;  // in unquoted_
    bool quoted = false;
  };
  std::vector<cell_span> spans_;
  std::string unquoted_;
  std::size_t consumed_ = 0;
};

// Decides the dialect from the start of the (decoded) text; `complete` says
// that the sample is the whole table.
table_dialect detect_dialect(std::string_view sample, bool complete,
                             const dialect_request& request = {});

// Whether a record holds nothing: no cell, or only empty ones.
bool blank_record(const std::vector<table_cell>& cells);

// What a record of a table of `columns` columns is: a blank row (passed
// over), a row with a non-empty cell beyond the columns (its 1-based column
// in `column`), or a data row, then given exactly `columns` cells (those
// missing at its end empty).
enum class record_fit { row, blank, too_many_cells };
record_fit fit_record(std::vector<table_cell>& cells, std::size_t columns, std::uint32_t& column);

// A table read from its bytes: the encoding and dialect decided at the
// start, the title row read, then data rows one at a time.
class table_reader {
 public:
  explicit table_reader(byte_source raw, const dialect_request& request = {});
  table_reader(const table_reader&) = delete;
  table_reader& operator=(const table_reader&) = delete;

  unicode_mark mark() const { return mark_; }
  // UTF-16 without a mark (or the start of one) cannot be read.
  bool readable() const { return mark_ != unicode_mark::utf16_without_mark; }
  const table_dialect& dialect() const { return dialect_; }

  // The title row's cells as they stand in the file (8-bit text not yet
  // converted), one per column (an empty one first for the row names'
  // column); empty without a title row.
  const std::vector<std::string>& title() const { return title_; }
  // The row number of the title row (0 without one).
  std::uint64_t title_row() const { return title_row_; }

  // The next data row: exactly dialect().columns cells (cells missing at its
  // end are empty). Blank rows are passed over (and counted). False at the
  // end of the table or at a fault (problem()).
  bool next_row(std::vector<table_cell>& cells);
  std::uint64_t row_number() const { return records_ == nullptr ? 0 : records_->number(); }
  std::uint64_t blank_rows() const { return blank_rows_; }
  const table_problem& problem() const;

  // For a caller that splits the rest of the table itself (som_data reads it
  // in blocks on several threads): the text after the rows read so far, as
  // next_row() would have read it (UTF-16 converted), up to `size` bytes at
  // a time; 0 at its end, and at a read error of the source (which the
  // caller asks its file about). Once this is called, next_row() is not.
  std::size_t read_text(char* into, std::size_t size);

  // Of the bytes read so far: whether 8-bit text has been valid UTF-8, how
  // many there were and a hash of them (a second pass over the same file
  // must find the same).
  bool valid_utf8() const { return raw_.utf8.valid(); }
  std::uint64_t raw_bytes() const { return raw_.bytes; }
  std::uint64_t raw_hash() const;
  // UTF-16 with a lone surrogate or an odd last byte.
  bool damaged_utf16() const { return utf16_ != nullptr && utf16_->damaged(); }

 private:
  struct raw_stage {
    byte_source source;
    std::string start;  // the first bytes, read before anything else
    std::size_t start_at = 0;
    std::uint64_t bytes = 0;
    // The hash: four chains, word i of the bytes in chain i mod 4, so that
    // the multiplications of neighbouring words overlap.
    std::uint64_t hash[4] = {0, 0, 0, 0};
    unsigned chain = 0;      // the chain of the next whole word
    std::uint64_t tail = 0;  // bytes not yet hashed (fewer than 8)
    unsigned tail_bytes = 0;
    bool check_utf8 = true;
    bool failed = false;  // the source failed while the first bytes were read
    utf8_check utf8;
  };
  static std::size_t read_raw(void* context, char* into, std::size_t size);
  void account(const char* data, std::size_t size);
  void read_title();

  raw_stage raw_;
  unicode_mark mark_ = unicode_mark::none;
  std::unique_ptr<utf16_source> utf16_;
  byte_source text_;  // the text after the mark, UTF-16 converted
  std::unique_ptr<byte_reader> reader_;
  bool text_ended_ = false;  // read_text() has met the end
  table_dialect dialect_;
  std::unique_ptr<table_records> records_;
  std::vector<std::string> title_;
  std::uint64_t title_row_ = 0;
  std::uint64_t blank_rows_ = 0;
  table_problem fault_;
};

// A cell of 8-bit text or a name as UTF-8: as it is when the table was valid
// UTF-8, from Windows-1250 otherwise.
std::string text_as_utf8(std::string_view bytes, bool utf8);

}  // namespace som
