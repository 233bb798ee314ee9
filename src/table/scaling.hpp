// How each component is scaled: the centre and scale that turn a table's
// value x into (x - centre) / scale in data.txt, chosen from the statistics
// of the first pass.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/columns_file.hpp"
#include "table/table_options.hpp"
#include "table/table_survey.hpp"

namespace som {

struct scaling_choice {
  std::vector<column_scaling> columns;       // one per component
  std::vector<std::size_t> without_spread;   // components whose values are all alike: scale 1
  std::string refusal;                       // a line, when a scaled value would not be finite
};

// z: the mean and the sample standard deviation (table/exact_moments.hpp);
// 01: the minimum and the range, max - min (one rounding); ne: 0 and 1. A
// component without spread keeps the scale 1 (its values all become 0, or
// stay as they are with ne). Since x - centre and the division are each
// rounded monotonically, the scaled values lie between those of the
// minimum and the maximum: when these two are finite, all are.
scaling_choice choose_scaling(const table_survey& survey, scaling_kind kind,
                              const std::string& table_name);

}  // namespace som
