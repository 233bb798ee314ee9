#include "report/report_writer.hpp"

#include "common/messages.hpp"
#include "common/output_file.hpp"
#include "report/progress.hpp"
#include "report/report_html.hpp"

namespace som {

report_outcome write_report(std::FILE* console, saved_map_bytes& map, std::string& progress) {
  run_state run;
  const load_result loaded = load_run(run, console, map);
  if (loaded != load_result::loaded) {
    free_run(run);
    return loaded == load_result::not_started ? report_outcome::not_started
                                              : report_outcome::failed;
  }
  const bool finished = run.finished;
  const bool interrupted = run.save_interrupted;
  if (!finished && !interrupted) progress = progress_text(progress_of(run.setup, run.log));
  const std::string page = render_report(run);
  free_run(run);

  output_file out;
  if (!open_output(out, report_file_name)) {
    print(console, open_failed_message(report_file_name));
    return report_outcome::failed;
  }
  if (!write_output(out, page)) {
    discard_output(out);
    print_line(console, "Nepodarila se zapsat data!");
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
