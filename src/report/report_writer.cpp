#include "report/report_writer.hpp"

#include <chrono>
#include <utility>

#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/output_file.hpp"
#include "common/platform.hpp"
#include "report/data_columns.hpp"
#include "report/folder_name.hpp"
#include "report/progress.hpp"
#include "report/report_html.hpp"
#include "state/map_reading.hpp"

namespace som {

std::string shape_mismatch_message(image_shape shape, std::uint32_t dimension) {
  return "Obraz " + std::to_string(shape.width) + "x" + std::to_string(shape.height) + " ma " +
         std::to_string(std::uint64_t{shape.width} * shape.height) +
         " bodu, ale vzorky v souboru setup.txt maji dimenzi " + std::to_string(dimension) + ".\n";
}

namespace {

// zarazeni.txt, where it is there, into `extras`.
void read_placements_file(placement_table& table, page_extras& extras) {
  if (find_file(placement_file_name) == file_presence::absent) return;
  extras.placements_present = true;
  std::string bytes;
  if (read_whole_file(placement_file_name, bytes) != file_read::done) return;
  byte_reader reader(bytes);
  placements_reading read = read_placements(reader);
  if (!read.ok()) {
    extras.placements_bad_line = read.bad_line;
    return;
  }
  table = std::move(read.table);
  extras.placements = &table;
}

}  // namespace

report_outcome write_report(std::FILE* console, saved_map_bytes& map, std::string& progress,
                            image_shape shape, pace_history* pace, std::uint32_t clusters) {
  run_state run;
  std::string message;
  const load_result loaded = load_run(run, message, map);
  if (loaded != load_result::loaded) {
    print(console, message);
    return loaded == load_result::not_started ? report_outcome::not_started
                                              : report_outcome::failed;
  }
  sample_labels labels;
  data_columns columns;
  if (shape.given() && std::uint64_t{shape.width} * shape.height != run.setup.dimension) {
    message = shape_mismatch_message(shape, run.setup.dimension);
  } else if (failure refused = cluster_count_refusal(
                 clusters, std::uint64_t{run.setup.map_rows} * run.setup.map_cols)) {
    message = message_of(refused);
  } else if (!run.save_interrupted) {
    // After a cut-off save no samples are read, so there is nothing to label.
    failure problem = read_labels_file(run.samples->count, labels);
    if (!problem) problem = read_columns_file(run.setup.dimension, columns);
    message = message_of(problem);
  }
  if (!message.empty()) {
    print(console, message);
    return report_outcome::failed;
  }
  const bool finished = run.finished;
  const bool interrupted = run.save_interrupted;
  page_extras extras{&labels, shape, pace != nullptr, {}, &columns, working_folder_name()};
  extras.clusters = clusters;
  placement_table placements;
  if (run.has_map && !interrupted) read_placements_file(placements, extras);
  if (!finished && !interrupted) {
    const run_progress counts = progress_of(run.setup, run.log);
    progress = progress_text(counts);
    if (pace != nullptr && counts.total != 0) {
      const auto now =
          std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch());
      note_progress(*pace, now.count(), counts.done);
      const double left = seconds_left(*pace, counts.total);
      if (left >= 0.0) extras.time_left = time_left_text(left);
      if (left >= 0.0) progress += ", " + extras.time_left;
    }
  }
  const std::string page = render_report(run, extras);
  free_run(run);

  output_file out;
  if (!open_private_output(out, report_file_name)) {
    print(console, open_failed_message(report_file_name));
    return report_outcome::failed;
  }
  if (!write_output(out, page)) {
    discard_output(out);
    print_line(console, write_failed_text);
    return report_outcome::failed;
  }
  if (!commit_output(out)) {
    print(console, close_failed_message(report_file_name));
    return report_outcome::failed;
  }
  if (interrupted) return report_outcome::save_interrupted;
  return finished ? report_outcome::finished : report_outcome::in_progress;
}

}  // namespace som
