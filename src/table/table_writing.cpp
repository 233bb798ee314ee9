#include "table/table_writing.hpp"

#include <algorithm>

#include "formats/labels_file.hpp"
#include "formats/sample_data.hpp"
#include "som/principal_components.hpp"

namespace som {

namespace {

// What is written goes out in pieces of about this size.
constexpr std::size_t flush_size = std::size_t{1} << 20;
// The most values kept for the principal plane, and the most rows: as many
// as its analysis takes (about 2 x 10^7 multiplications), at most 8 MB.
constexpr std::uint64_t most_selected_values = std::uint64_t{1} << 20;
constexpr double analysis_budget = 2e7;

bool same_dialect(const table_dialect& a, const table_dialect& b) {
  return a.separator == b.separator && a.decimal_mark == b.decimal_mark && a.title == b.title &&
         a.row_names == b.row_names && a.line_end == b.line_end && a.columns == b.columns;
}

}  // namespace

table_writing write_samples(byte_source raw, const table_options& options,
                            const table_survey& survey, const scaling_choice& scaling,
                            byte_sink& data, byte_sink* labels) {
  table_writing out;
  // The dialect the first pass found, forced, so that nothing is decided
  // anew.
  dialect_request request;
  request.separator = survey.dialect.separator;
  request.decimal_mark = survey.dialect.decimal_mark;
  request.title = survey.dialect.title ? 1 : 0;
  table_reader table(raw, request);
  if (!table.readable() || table.mark() != survey.mark ||
      !same_dialect(table.dialect(), survey.dialect)) {
    out.failure = writing_failure::changed;
    return out;
  }
  std::size_t label_column = survey.columns.size();
  for (std::size_t j = 0; j < survey.columns.size(); ++j)
    if (survey.columns[j].role == column_role::labels) label_column = j;

  const std::size_t k = survey.components.size();
  const std::uint64_t samples = survey.samples;
  std::uint64_t stride = 0;  // 0: no selection
  if (k >= 2 && k <= max_principal_dimension) {
    const auto analysed = static_cast<std::uint64_t>(analysis_budget / static_cast<double>(k * k));
    const std::uint64_t room =
        std::max<std::uint64_t>(2, std::min(most_selected_values / k, analysed));
    stride = std::max<std::uint64_t>(1, (samples + room - 1) / room);
    out.selection.reserve(static_cast<std::size_t>((samples + stride - 1) / stride * k));
  }

  std::vector<double> values(k);
  std::vector<double> scaled(k);
  std::vector<component_cell> kinds(k);
  std::vector<table_cell> cells;
  std::string data_text;
  std::string label_text;
  std::uint64_t rows = 0;
  std::uint64_t kept = 0;
  const auto flush = [&](bool all) {
    if (data_text.size() >= flush_size || (all && !data_text.empty())) {
      if (!data.put(data_text)) {
        out.failure = writing_failure::data_sink;
        return false;
      }
      data_text.clear();
    }
    if (labels != nullptr && (label_text.size() >= flush_size || (all && !label_text.empty()))) {
      if (!labels->put(label_text)) {
        out.failure = writing_failure::labels_sink;
        return false;
      }
      label_text.clear();
    }
    return true;
  };
  while (table.next_row(cells)) {
    ++rows;
    if (!read_components(cells, survey.components, survey.dialect.decimal_mark, values.data(),
                         kinds.data())) {
      // Only a missing value may leave a row out, and only when asked.
      const bool only_missing = std::all_of(kinds.begin(), kinds.end(), [](component_cell c) {
        return c == component_cell::number || c == component_cell::missing;
      });
      if (!options.drop_incomplete || !only_missing) {
        out.failure = writing_failure::changed;
        return out;
      }
      continue;
    }
    for (std::size_t c = 0; c < k; ++c) scaled[c] = scaled_value(scaling.columns[c], values[c]);
    append_sample_line(data_text, scaled.data(), static_cast<std::uint32_t>(k));
    if (labels != nullptr) {
      const std::string_view label = cells[label_column].text;
      if (survey.utf8) {
        append_label_line(label_text, label);
      } else {
        append_label_line(label_text, text_as_utf8(label, false));
      }
    }
    if (stride != 0 && kept % stride == 0) {
      out.selection.insert(out.selection.end(), scaled.begin(), scaled.end());
      ++out.selected;
    }
    ++kept;
    if (!flush(false)) return out;
  }
  if (table.problem().fault != table_fault::none || rows != survey.data_rows ||
      kept != survey.samples || table.raw_bytes() != survey.raw_bytes ||
      table.raw_hash() != survey.raw_hash || table.valid_utf8() != survey.utf8) {
    out.failure = writing_failure::changed;
    return out;
  }
  flush(true);
  return out;
}

}  // namespace som
