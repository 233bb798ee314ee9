#include "table/table_writing.hpp"

#include <algorithm>

#include "formats/labels_file.hpp"
#include "formats/sample_data.hpp"
#include "som/map/principal_components.hpp"

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

// How each row becomes a line.
struct row_writing {
  const table_options* options = nullptr;
  const table_survey* survey = nullptr;
  const scaling_choice* scaling = nullptr;
  std::size_t label_column = 0;  // the columns' count without labels
  bool with_labels = false;
  bool keep_values = false;  // the scaled values too (rows are selected from them)
};

// The lines of a stretch of the table's rows (a block, or a piece of a
// plain reading).
struct sample_batch {
  std::string data_text;
  std::string label_text;
  std::vector<double> scaled;  // k per kept row, with keep_values
  std::uint64_t rows = 0;
  std::uint64_t kept = 0;
  bool changed = false;  // a row the first pass did not find
  // Room for one row.
  std::vector<double> values;
  std::vector<component_cell> kinds;

  void start(std::size_t k) {
    data_text.clear();
    label_text.clear();
    scaled.clear();
    rows = kept = 0;
    changed = false;
    values.resize(k);
    kinds.resize(k);
  }

  void add(const std::vector<table_cell>& cells, const row_writing& w) {
    const table_survey& survey = *w.survey;
    const std::size_t k = survey.components.size();
    ++rows;
    if (!read_components(cells, survey.components, survey.dialect.decimal_mark, values.data(),
                         kinds.data())) {
      // Only a missing value may leave a row out, and only when asked.
      const bool only_missing = std::all_of(kinds.begin(), kinds.end(), [](component_cell c) {
        return c == component_cell::number || c == component_cell::missing;
      });
      if (!w.options->drop_incomplete || !only_missing) changed = true;
      return;
    }
    const std::size_t at = scaled.size();
    scaled.resize(at + k);
    double* const row = scaled.data() + at;
    for (std::size_t c = 0; c < k; ++c) row[c] = scaled_value(w.scaling->columns[c], values[c]);
    append_sample_line(data_text, row, static_cast<std::uint32_t>(k));
    if (!w.keep_values) scaled.resize(at);
    if (w.with_labels) {
      const std::string_view label = cells[w.label_column].text;
      if (survey.utf8) {
        append_label_line(label_text, label);
      } else {
        append_label_line(label_text, text_as_utf8(label, false));
      }
    }
    ++kept;
  }
};

// The table's lines, batch after batch in table order: written out, and
// every `stride`-th kept row's values selected.
class sample_output {
 public:
  sample_output(table_writing& out, std::size_t k, std::uint64_t stride, byte_sink& data,
                byte_sink* labels)
      : out_(out), k_(k), stride_(stride), data_(data), labels_(labels) {}

  // False when the reading must stop: a sink failed, or a row was not the
  // first pass's.
  bool take(const sample_batch& batch) {
    if (batch.changed) {
      out_.failure = writing_failure::changed;
      return false;
    }
    if (!batch.data_text.empty() && !data_.put(batch.data_text)) {
      out_.failure = writing_failure::data_sink;
      return false;
    }
    if (labels_ != nullptr && !batch.label_text.empty() && !labels_->put(batch.label_text)) {
      out_.failure = writing_failure::labels_sink;
      return false;
    }
    if (stride_ != 0) {
      for (std::uint64_t j = 0; j < batch.kept; ++j) {
        if ((kept_ + j) % stride_ != 0) continue;
        const double* row = batch.scaled.data() + j * k_;
        out_.selection.insert(out_.selection.end(), row, row + k_);
        ++out_.selected;
      }
    }
    rows_ += batch.rows;
    kept_ += batch.kept;
    return true;
  }
  std::uint64_t rows() const { return rows_; }
  std::uint64_t kept() const { return kept_; }

 private:
  table_writing& out_;
  std::size_t k_;
  std::uint64_t stride_;
  byte_sink& data_;
  byte_sink* labels_;
  std::uint64_t rows_ = 0;
  std::uint64_t kept_ = 0;
};

// The writing's pass over the blocks of a table: a batch per block, taken
// in table order.
class writing_blocks : public block_pass {
 public:
  writing_blocks(sample_output& output, const row_writing& writing)
      : output_(output), writing_(writing) {}
  void prepare(unsigned slots) override { batches_.resize(slots); }
  void start(unsigned slot) override { batches_[slot].start(writing_.survey->components.size()); }
  void row(unsigned slot, const std::vector<table_cell>& cells, std::uint64_t) override {
    batches_[slot].add(cells, writing_);
  }
  bool take(unsigned slot, std::uint64_t) override { return output_.take(batches_[slot]); }

 private:
  sample_output& output_;
  const row_writing& writing_;
  std::vector<sample_batch> batches_;
};

}  // namespace

table_writing write_samples(byte_source raw, const table_options& options,
                            const table_survey& survey, const scaling_choice& scaling,
                            byte_sink& data, byte_sink* labels, const table_split& split) {
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
  row_writing writing;
  writing.options = &options;
  writing.survey = &survey;
  writing.scaling = &scaling;
  writing.label_column = survey.columns.size();
  for (std::size_t j = 0; j < survey.columns.size(); ++j)
    if (survey.columns[j].role == column_role::labels) writing.label_column = j;
  writing.with_labels = labels != nullptr && writing.label_column < survey.columns.size();

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
  writing.keep_values = stride != 0;
  sample_output output(out, k, stride, data, labels);

  table_problem problem;
  if (split.blocks) {
    writing_blocks pass(output, writing);
    const blocks_read read = read_table_blocks(table, split, pass);
    if (read.stopped) return out;
    problem = read.problem;
  } else {
    sample_batch batch;
    batch.start(k);
    std::vector<table_cell> cells;
    while (table.next_row(cells)) {
      batch.add(cells, writing);
      if (batch.changed || batch.data_text.size() >= flush_size ||
          batch.label_text.size() >= flush_size) {
        if (!output.take(batch)) return out;
        batch.start(k);
      }
    }
    if (!output.take(batch)) return out;
    problem = table.problem();
  }
  if (problem.fault != table_fault::none || output.rows() != survey.data_rows ||
      output.kept() != survey.samples || table.raw_bytes() != survey.raw_bytes ||
      table.raw_hash() != survey.raw_hash || table.valid_utf8() != survey.utf8) {
    out.failure = writing_failure::changed;
  }
  return out;
}

}  // namespace som
