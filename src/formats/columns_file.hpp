// sloupce.txt: what each component of data.txt was in the user's table. One
// line per component, in component order, under a header line:
//
//   nazev<TAB>stred<TAB>meritko
//   sepal length<TAB>5.843333333333334<TAB>0.828066127977863
//
// the column's name (any text without a tab or line break), its centre and
// its scale, each number the shortest decimal that reads back to the same
// double. A value of the table becomes (x - centre) / scale in data.txt, and
// a component's value v stands for v * scale + centre in the table's units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"

namespace som {

inline constexpr const char* columns_header = "nazev\tstred\tmeritko";

struct column_scaling {
  std::string name;
  double centre = 0.0;
  double scale = 1.0;
};

// The table's value x as a component: the difference first, then the
// quotient, each one binary64 operation.
inline double scaled_value(const column_scaling& column, double x) {
  return (x - column.centre) / column.scale;
}

// A component's value back in the table's units.
inline double unscaled_value(const column_scaling& column, double v) {
  return v * column.scale + column.centre;
}

struct columns_reading {
  std::vector<column_scaling> columns;
  // The first line (1-based, the header is line 1) that is not what the
  // format says, 0 when every line is; on a bad line the columns read so far
  // stay.
  std::uint64_t bad_line = 0;
  bool ok() const { return bad_line == 0; }
};

// Reads the header and the lines up to the end of the file (LF or CR LF;
// blank lines after the last column are allowed). A centre or scale must be a
// whole decimal number (common/decimal.hpp) and finite, a scale not zero.
columns_reading read_columns(byte_reader& reader);

// Writes the header and one line per column; false as soon as the sink
// fails. Names must hold no tab or line break, and the numbers be finite.
bool write_columns(const std::vector<column_scaling>& columns, byte_sink& sink);

}  // namespace som
