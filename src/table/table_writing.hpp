// The second pass over a table: every kept row scaled and written as a line
// of data.txt (and its label as a line of popisky.txt), with an evenly spaced
// selection of the scaled samples kept for the map's proportions. The pass
// must find the table exactly as the first one did.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "table/scaling.hpp"
#include "table/table_blocks.hpp"
#include "table/table_survey.hpp"

namespace som {

enum class writing_failure { none, changed, data_sink, labels_sink };

struct table_writing {
  writing_failure failure = writing_failure::none;
  // Scaled samples, every `stride`-th kept row, row after row.
  std::vector<double> selection;
  std::uint32_t selected = 0;
};

// Reads the table from `raw` again and writes its samples to `data` and,
// with a label column, the labels to `labels`: the same bytes however
// `split` reads the table.
table_writing write_samples(byte_source raw, const table_options& options,
                            const table_survey& survey, const scaling_choice& scaling,
                            byte_sink& data, byte_sink* labels, const table_split& split = {});

}  // namespace som
