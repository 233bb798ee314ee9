// Fuzz harness of the table reader (som_data, som_map): any bytes as a table
// in a dialect that the first byte picks (separator, title row or none), read
// in pieces of a size the second byte picks. Against a reference written
// another way, character by character: records end at an LF outside quotes
// (a CR right before it belongs to the line end), cells at the separator
// outside quotes; a cell that starts (after blanks) with a quote runs to the
// next lone quote, "" inside being one quote, and only blanks may follow it;
// unquoted cells lose the blanks around them; blank records are passed over.
// The reader must give the same cells and row numbers, or fail at the same
// row with the same fault, and never read a cell as a number that the values
// pass of data.txt would not. And a table cut after a line end reads, part
// by part, as it does whole.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/decimal.hpp"
#include "formats/table_file.hpp"
#include "fuzz_support.hpp"

namespace {

struct reference_table {
  std::vector<std::vector<std::string>> records;
  std::vector<std::uint64_t> numbers;  // 1-based record numbers
  bool failed = false;
  std::uint64_t failed_at = 0;
};

bool blank(char c, char separator) { return c == ' ' || (c == '\t' && separator != '\t'); }

reference_table reference(const std::string& text, char separator) {
  reference_table out;
  std::size_t i = 0;
  std::uint64_t number = 0;
  while (i < text.size()) {
    ++number;
    std::vector<std::string> cells;
    for (;;) {
      while (i < text.size() && blank(text[i], separator)) ++i;
      std::string cell;
      if (i < text.size() && text[i] == '"') {
        ++i;
        bool closed = false;
        while (i < text.size()) {
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              cell += '"';
              i += 2;
              continue;
            }
            ++i;
            closed = true;
            break;
          }
          cell += text[i++];
        }
        if (!closed) {
          out.failed = true;
          out.failed_at = number;
          return out;
        }
        while (i < text.size() && blank(text[i], separator)) ++i;
        const bool ends = i == text.size() || text[i] == '\n' || text[i] == separator ||
                          (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if (!ends) {
          out.failed = true;
          out.failed_at = number;
          return out;
        }
      } else {
        while (i < text.size() && text[i] != separator && text[i] != '\n' &&
               !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
          cell += text[i++];
        while (!cell.empty() && blank(cell.back(), separator)) cell.pop_back();
      }
      cells.push_back(cell);
      if (i == text.size()) break;
      if (text[i] == separator) {
        ++i;
        continue;
      }
      i += text[i] == '\r' ? 2 : 1;  // the line end
      break;
    }
    const bool empty = std::all_of(cells.begin(), cells.end(),
                                   [](const std::string& c) { return c.empty(); });
    if (!empty) {
      out.records.push_back(cells);
      out.numbers.push_back(number);
    }
  }
  return out;
}

struct pieces {
  const std::string* bytes;
  std::size_t at = 0;
  std::size_t piece = 1;
};

// The records of `bytes` as table_records reads them (with `cut`, as a
// block that the table may go on after), and where it stopped.
struct records_read {
  std::vector<std::vector<std::string>> records;
  som::table_problem problem;
  bool cut_short = false;
  std::size_t cut_at = 0;
};

records_read read_records(std::string_view bytes, char separator, bool cut) {
  som::byte_reader reader(bytes);
  som::table_records records(reader, separator, '\n', cut);
  records_read out;
  std::vector<som::table_cell> cells;
  while (records.next(cells)) {
    std::vector<std::string> record;
    for (const som::table_cell& cell : cells) record.emplace_back(cell.text);
    out.records.push_back(std::move(record));
  }
  out.problem = records.problem();
  out.cut_short = records.cut_short();
  out.cut_at = reader.position();
  return out;
}

// som_data's threads cut a table after a line end and read each part on
// its own: the first part's whole records, then the rest read from where
// they end (the record it ended inside included), are the table's records,
// with its first fault at the same row.
void check_cut(const std::string& text, char separator, std::size_t at) {
  const std::size_t line_end = text.find('\n', at);
  if (line_end == std::string::npos) return;
  const std::string_view bytes(text);
  const records_read whole = read_records(bytes, separator, false);
  const records_read first = read_records(bytes.substr(0, line_end + 1), separator, true);
  records_read rest;
  if (first.problem.fault == som::table_fault::none)
    rest = read_records(bytes.substr(first.cut_short ? first.cut_at : line_end + 1), separator,
                        false);
  std::vector<std::vector<std::string>> records = first.records;
  records.insert(records.end(), rest.records.begin(), rest.records.end());
  som_fuzz::check(records == whole.records, "the records of a cut table", som_fuzz::show(text));
  som::table_problem problem = first.problem;
  if (problem.fault == som::table_fault::none && rest.problem.fault != som::table_fault::none) {
    problem = rest.problem;
    problem.row += first.records.size();
  }
  som_fuzz::check(problem.fault == whole.problem.fault && problem.row == whole.problem.row,
                  "the fault of a cut table", som_fuzz::show(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const char separators[] = {',', ';', '\t'};
  const char separator = separators[data[0] % 3];
  const bool title = (data[0] & 4u) != 0;
  const std::size_t piece = 1 + data[1] % 64;
  // No mark, no NUL, LF line ends: the text as it is (what the encodings do
  // is checked by the tests).
  std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::replace(text.begin(), text.end(), '\0', ' ');
  if (!text.empty() && (static_cast<unsigned char>(text[0]) == 0xEF ||
                        static_cast<unsigned char>(text[0]) == 0xFF ||
                        static_cast<unsigned char>(text[0]) == 0xFE))
    text[0] = ' ';
  if (text.find('\n') == std::string::npos) text += '\n';  // never the CR-alone dialect

  som::dialect_request request;
  request.separator = separator;
  request.decimal_mark = '.';
  request.title = title ? 1 : 0;
  pieces input{&text, 0, piece};
  som::byte_source source;
  source.context = &input;
  source.read = [](void* context, char* into, std::size_t want) {
    auto& in = *static_cast<pieces*>(context);
    const std::size_t n = std::min({want, in.piece, in.bytes->size() - in.at});
    std::memcpy(into, in.bytes->data() + in.at, n);
    in.at += n;
    return n;
  };
  som::table_reader table(source, request);
  som_fuzz::check(table.readable(), "readable");
  const std::size_t columns = table.dialect().columns;

  const reference_table expected = reference(text, separator);
  std::size_t next = 0;
  if (title && !expected.records.empty()) {
    std::vector<std::string> names = expected.records[0];
    if (table.dialect().row_names) names.insert(names.begin(), std::string());
    while (names.size() > columns && names.back().empty()) names.pop_back();
    names.resize(std::max(names.size(), columns));
    som_fuzz::check(table.title() == names, "title row", som_fuzz::show(text));
    next = 1;
  }
  std::vector<som::table_cell> cells;
  while (table.next_row(cells)) {
    som_fuzz::check(next < expected.records.size(), "no more rows than the reference",
                    som_fuzz::show(text));
    som_fuzz::check(table.row_number() == expected.numbers[next], "row number",
                    som_fuzz::show(text));
    std::vector<std::string> want = expected.records[next];
    som_fuzz::check(cells.size() == columns, "cells per row");
    for (std::size_t j = 0; j < cells.size(); ++j) {
      const std::string expected_cell = j < want.size() ? want[j] : std::string();
      som_fuzz::check(std::string(cells[j].text) == expected_cell, "cell",
                      som_fuzz::show(text) + " row " + std::to_string(next) + " cell " +
                          std::to_string(j) + ": " + som_fuzz::show(cells[j].text));
      // A cell read as a number is exactly one that data.txt's reader takes whole.
      double value = 0;
      if (som::read_cell(cells[j].text, '.', value) == som::cell_kind::number) {
        std::string word(cells[j].text);
        const auto first = word.find_first_not_of(" \t");
        const auto last = word.find_last_not_of(" \t");
        word = word.substr(first, last - first + 1);
        const std::ptrdiff_t length = som::scan_decimal(word.data(), word.data() + word.size(), true);
        som_fuzz::check(length > 0 && static_cast<std::size_t>(length) == word.size(),
                        "a number is one whole word", word);
        const double converted = som::convert_decimal(word.data(), word.size());
        som_fuzz::check(std::memcmp(&converted, &value, sizeof value) == 0, "its value", word);
      }
    }
    for (std::size_t j = cells.size(); j < want.size(); ++j)
      som_fuzz::check(want[j].empty(), "a cell beyond the columns is empty or a fault");
    ++next;
  }
  check_cut(text, separator, text.size() * data[1] / 256);
  const som::table_problem& problem = table.problem();
  if (expected.failed && next == expected.records.size()) {
    som_fuzz::check(problem.fault == som::table_fault::open_quote ||
                        problem.fault == som::table_fault::text_after_quote,
                    "the reference's fault", som_fuzz::show(text));
    som_fuzz::check(problem.row == expected.failed_at, "the fault's row", som_fuzz::show(text));
  } else if (problem.fault == som::table_fault::too_many_cells) {
    som_fuzz::check(next < expected.records.size() && expected.records[next].size() > columns,
                    "too many cells", som_fuzz::show(text));
  } else {
    som_fuzz::check(problem.fault == som::table_fault::none, "no fault", som_fuzz::show(text));
    som_fuzz::check(next == expected.records.size(), "every row", som_fuzz::show(text));
  }
  return 0;
}
