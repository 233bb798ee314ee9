// The table reader of som_data (and of som_map): the dialect a table is
// detected in, its cells and rows, the faults it names, the encodings it
// reads, and the text the console shows of names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/decimal.hpp"
#include "formats/table_file.hpp"
#include "formats/text_decoding.hpp"
#include "formats/text_folding.hpp"

namespace {

// Every data row of a table read from these bytes, and the reader's end.
struct read_table {
  som::table_dialect dialect;
  std::vector<std::string> title;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::uint64_t> row_numbers;
  som::table_problem problem;
  bool readable = true;
  bool utf8 = true;
};

// Hands the bytes out in pieces of `piece` bytes, so that records are cut
// between the reader's refills.
struct piecewise {
  std::string bytes;
  std::size_t at = 0;
  std::size_t piece = 0;
};

read_table read(const std::string& bytes, const som::dialect_request& request = {},
                std::size_t piece = 0) {
  piecewise input{bytes, 0, piece == 0 ? bytes.size() + 1 : piece};
  som::byte_source source;
  source.context = &input;
  source.read = [](void* context, char* into, std::size_t size) {
    auto& in = *static_cast<piecewise*>(context);
    const std::size_t n = std::min({size, in.piece, in.bytes.size() - in.at});
    std::copy(in.bytes.data() + in.at, in.bytes.data() + in.at + n, into);
    in.at += n;
    return n;
  };
  som::table_reader table(source, request);
  read_table out;
  out.readable = table.readable();
  if (!out.readable) return out;
  out.dialect = table.dialect();
  out.title = table.title();
  std::vector<som::table_cell> cells;
  while (table.next_row(cells)) {
    std::vector<std::string> row;
    for (const som::table_cell& cell : cells) row.emplace_back(cell.text);
    out.rows.push_back(row);
    out.row_numbers.push_back(table.row_number());
  }
  out.problem = table.problem();
  out.utf8 = table.valid_utf8();
  return out;
}

using rows = std::vector<std::vector<std::string>>;

TEST(TableFile, DetectsTheDialect) {
  struct table_case {
    const char* what;
    std::string bytes;
    char separator;
    char mark;
    bool title;
    std::size_t columns;
    bool crlf = false;
  };
  const table_case cases[] = {
      {"comma", "a,b\n1.5,2\n3,4\n", ',', '.', true, 2},
      {"semicolon, decimal comma", "a;b\r\n1,5;2\r\n3,25;4\r\n", ';', ',', true, 2, true},
      {"semicolon, decimal point", "a;b\n1.5;2\n3;4\n", ';', '.', true, 2},
      {"tab", "a b\tc\n1\t2\n3\t4\n", '\t', '.', true, 2},
      {"blanks", "  1.5   2  \n3 4\n", ' ', '.', false, 2},
      {"blanks, decimal comma", "x y\n1,5 2,5\n3 4\n", ' ', ',', true, 2},
      {"no title", "1,2,3\n4,5,6\n", ',', '.', false, 3},
      {"numbers as names: no title", "1990,1991\n4,5\n", ',', '.', false, 2},
      {"title over a missing value", "a,b\nNA,1\n2,NA\n", ',', '.', true, 2},
      {"one column", "x\n1.5\n2\n", ',', '.', true, 1},
      {"comma inside quotes", "\"a,b\";c\n1;2\n", ';', '.', true, 2},
      {"empty cells at the ends", "a;b;\n1;2;\n3;4;\n", ';', '.', true, 2},
      {"only a title row", "a,b,c\n", ',', '.', true, 3},
  };
  for (const table_case& c : cases) {
    const read_table t = read(c.bytes);
    EXPECT_EQ(t.dialect.separator, c.separator) << c.what;
    EXPECT_EQ(t.dialect.decimal_mark, c.mark) << c.what;
    EXPECT_EQ(t.dialect.title, c.title) << c.what;
    EXPECT_EQ(t.dialect.columns, c.columns) << c.what;
    EXPECT_EQ(t.dialect.crlf, c.crlf) << c.what;
  }
}

TEST(TableFile, ForcedDialect) {
  som::dialect_request request;
  request.title = 1;
  EXPECT_EQ(read("1990,1991\n4,5\n", request).title, (std::vector<std::string>{"1990", "1991"}));
  request = {};
  request.title = 0;
  EXPECT_EQ(read("a,b\n1,2\n", request).rows, (rows{{"a", "b"}, {"1", "2"}}));
  request = {};
  request.separator = ';';
  request.decimal_mark = ',';
  EXPECT_EQ(read("a;b\n1,5;2\n", request).dialect.decimal_mark, ',');
}

TEST(TableFile, CellsRowsAndQuotes) {
  struct cells_case {
    const char* what;
    std::string bytes;
    std::vector<std::string> title;
    rows data;
    std::vector<std::uint64_t> numbers;
  };
  const cells_case cases[] = {
      {"quotes, doubled quotes, separators and line breaks inside",
       "name,v\n\"a \"\"b\"\", c\",1\n\"two\nlines\",2\n", {"name", "v"},
       rows{{"a \"b\", c", "1"}, {"two\nlines", "2"}}, {2, 3}},
      {"CR LF, blanks around cells and around quotes", "a , b\r\n 1 , \"x y\" \r\n", {"a", "b"},
       rows{{"1", "x y"}}, {2}},
      {"blank rows passed over but counted", "a,b\n\n1,2\n,\n3,4", {"a", "b"},
       rows{{"1", "2"}, {"3", "4"}}, {3, 5}},
      {"missing cells at the end are empty", "a,b,c\n1\n2,3,4\n", {"a", "b", "c"},
       rows{{"1", "", ""}, {"2", "3", "4"}}, {2, 3}},
      {"CR alone ends lines", "a,b\r1,2\r3,4\r", {"a", "b"}, rows{{"1", "2"}, {"3", "4"}}, {2, 3}},
      {"a CR inside a cell stays", "a,b\n1,x\ry\n", {"a", "b"}, rows{{"1", "x\ry"}}, {2}},
      {"R's write.table: the title one cell short", "\"x\" \"y\"\n\"r1\" 1 2\n\"r2\" 3 4\n",
       {"", "x", "y"}, rows{{"r1", "1", "2"}, {"r2", "3", "4"}}, {2, 3}},
      {"a quote inside an unquoted cell is a character", "a,b\n1,2\"3\n", {"a", "b"},
       rows{{"1", "2\"3"}}, {2}},
  };
  for (const cells_case& c : cases) {
    for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
      const read_table t = read(c.bytes, {}, piece);
      EXPECT_EQ(t.title, c.title) << c.what;
      EXPECT_EQ(t.rows, c.data) << c.what << ", pieces of " << piece;
      EXPECT_EQ(t.row_numbers, c.numbers) << c.what;
      EXPECT_EQ(t.problem.fault, som::table_fault::none) << c.what;
    }
  }
}

TEST(TableFile, FaultsNameRowAndColumn) {
  struct fault_case {
    std::string bytes;
    som::table_fault fault;
    std::uint64_t row;
    std::uint32_t column;
  };
  const fault_case cases[] = {
      {"a,b\n1,\"2\n3,4\n", som::table_fault::open_quote, 2, 2},
      {"a,b\n1,2\n\"3\"x,4\n", som::table_fault::text_after_quote, 3, 1},
      {"a,b\n1,2\n3,4,5\n", som::table_fault::too_many_cells, 3, 3},
  };
  for (const fault_case& c : cases) {
    const read_table t = read(c.bytes);
    EXPECT_EQ(t.problem.fault, c.fault) << c.bytes;
    EXPECT_EQ(t.problem.row, c.row) << c.bytes;
    EXPECT_EQ(t.problem.column, c.column) << c.bytes;
  }
  // Empty cells beyond the columns are no fault.
  EXPECT_EQ(read("a,b\n1,2,,\n").problem.fault, som::table_fault::none);
}

TEST(TableFile, Encodings) {
  // UTF-16 with either mark reads as UTF-8; without one it is not read.
  const std::string le = std::string("\xFF\xFE", 2) + std::string("a\0,\0\x0D\x01\n\0" "1\0,\0" "2\0\n\0", 16);
  const read_table from_le = read(le);
  ASSERT_TRUE(from_le.readable);
  EXPECT_EQ(from_le.title, (std::vector<std::string>{"a", "\xC4\x8D"}));  // č
  EXPECT_EQ(from_le.rows, (rows{{"1", "2"}}));
  const std::string be = std::string("\xFE\xFF", 2) + std::string("\0a\0,\x01\x0D\0\n\0" "1\0,\0" "2\0\n", 16);
  EXPECT_EQ(read(be).title, (std::vector<std::string>{"a", "\xC4\x8D"}));
  EXPECT_FALSE(read(std::string("a\0,\0b\0\n\0", 8)).readable);
  // A surrogate pair, and a lone one replaced.
  const std::string pair = std::string("\xFF\xFEx\0\n\0", 6) + std::string("\x3D\xD8\x00\xDE\n\0", 6);
  EXPECT_EQ(read(pair).rows, (rows{{"x"}, {"\xF0\x9F\x98\x80"}}));  // U+1F600
  // A UTF-8 mark is skipped.
  EXPECT_EQ(read("\xEF\xBB\xBF" "a,b\n1,2\n").title, (std::vector<std::string>{"a", "b"}));
  // Windows-1250 bytes are not UTF-8; converted they are.
  const read_table cp = read("\xE8\xED\x73lo,b\n1,2\n");
  EXPECT_FALSE(cp.utf8);
  EXPECT_EQ(som::text_as_utf8(cp.title[0], false), "\xC4\x8D\xC3\xADslo");  // číslo
  EXPECT_TRUE(read("\xC4\x8D,b\n1,2\n").utf8);
}

TEST(TableFile, Utf8CheckAcrossPieces) {
  struct utf8_case {
    std::string bytes;
    bool valid;
  };
  const utf8_case cases[] = {
      {"plain", true},          {"\xC4\x8D", true},          {"\xF0\x9F\x98\x80", true},
      {"\xC4", false},          {"\xC0\xAF", false},         {"\xE0\x80\xAF", false},
      {"\xED\xA0\x80", false},  {"\xF4\x90\x80\x80", false}, {"\x80", false},
      {"\xEF\xBB\xBF" "a", true},
  };
  for (const utf8_case& c : cases) {
    EXPECT_EQ(som::is_valid_utf8(c.bytes), c.valid) << c.bytes;
    // Fed a byte at a time, with plain text around it.
    som::utf8_check check;
    const std::string text = "0123456789" + c.bytes + "0123456789";
    for (char byte : text) check.feed(&byte, 1);
    check.finish();
    EXPECT_EQ(check.valid(), c.valid) << c.bytes;
  }
}

TEST(TableFile, CellsAsNumbers) {
  struct number_case {
    const char* text;
    char mark;
    som::cell_kind kind;
    double value;
  };
  const number_case cases[] = {
      {"1.5", '.', som::cell_kind::number, 1.5},   {" -2e3 ", '.', som::cell_kind::number, -2000},
      {"+.5", '.', som::cell_kind::number, 0.5},   {"5.", '.', som::cell_kind::number, 5.0},
      {"1,5", ',', som::cell_kind::number, 1.5},   {"1,5", '.', som::cell_kind::text, 0},
      {"1.5", ',', som::cell_kind::text, 0},       {"1.234,5", ',', som::cell_kind::text, 0},
      {"inf", '.', som::cell_kind::text, 0},       {"nan", '.', som::cell_kind::missing, 0},
      {"NA", '.', som::cell_kind::missing, 0},     {"", '.', som::cell_kind::missing, 0},
      {"?", '.', som::cell_kind::missing, 0},      {"-", '.', som::cell_kind::missing, 0},
      {"+-1", '.', som::cell_kind::text, 0},       {"1e", '.', som::cell_kind::text, 0},
      {"0x10", '.', som::cell_kind::text, 0},      {"12abc", '.', som::cell_kind::text, 0},
  };
  for (const number_case& c : cases) {
    double value = 0;
    EXPECT_EQ(som::read_cell(c.text, c.mark, value), c.kind) << c.text;
    if (c.kind == som::cell_kind::number) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// The one-step reading of a word is the scan and the conversion of the
// values pass, whatever the word.
TEST(TableFile, WholeWordNumbersAreTheScanAndConversion) {
  const char* words[] = {"0",     "-0",      "+1",     "1.",       ".5",      "-.5e-3",
                         "1e",    "1e+",     "1e5",    "1E-05",    "1e400",   "-1e400",
                         "1e-400", "4.9e-324", "+",   "-",        ".",       "e5",
                         "1.2.3", "--1",     "+-1",    "1,5",      "0x1p3",   "infinity",
                         "00012", "1e0010",  "123456789012345678901234567890", "9.999999999999999e22"};
  for (const char* word : words) {
    const std::string text(word);
    const std::ptrdiff_t length = som::scan_decimal(text.data(), text.data() + text.size(), true);
    const bool whole = length > 0 && static_cast<std::size_t>(length) == text.size();
    double value = 0;
    EXPECT_EQ(som::parse_decimal(text.data(), text.size(), value), whole) << word;
    if (whole) {
      const double expected = som::convert_decimal(text.data(), text.size());
      EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << word;
    }
  }
}

TEST(TableFile, FoldedText) {
  EXPECT_EQ(som::ascii_folded("D\xC3\xA9lka \xC5\xA1\xC3\xAD\xC5\x99ka"), "Delka sirka");
  EXPECT_EQ(som::ascii_folded("Temperature (\xC2\xB0" "C) \xC2\xB5m \xE2\x80\x93 \xE6\x97\xA5"),
            "Temperature (oC) um - ?");
  EXPECT_EQ(som::ascii_folded("\xFF"), "?");
  EXPECT_EQ(som::loose_key("T\xC5\x99\xC3\xAD" "da"), som::loose_key("trida"));
}

}  // namespace
