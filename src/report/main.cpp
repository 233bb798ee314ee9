// som_report: run in the folder of a finished training run, it writes
// report.html with the pictures and figures of the trained map.
#include <cstdio>
#include <string>

#include "common/messages.hpp"
#include "common/output_file.hpp"
#include "report/report_html.hpp"
#include "report/run_files.hpp"

int main() {
  std::FILE* console = stdout;
  som::run_state run;
  if (!som::load_run(run, console)) {
    som::free_run(run);
    return 1;
  }
  const std::string page = som::render_report(run);
  som::free_run(run);

  som::output_file out;
  if (!som::open_output(out, som::report_file_name)) {
    som::print(console, som::open_failed_message(som::report_file_name));
    return 1;
  }
  if (!som::write_output(out, page)) {
    som::discard_output(out);
    som::print_line(console, "Nepodarila se zapsat data!");
    return 1;
  }
  if (!som::commit_output(out)) {
    som::print(console, som::close_failed_message(som::report_file_name));
    return 1;
  }
  som::print_line(console, std::string("Prehled mapy je v souboru ") + som::report_file_name + ".");
  return 0;
}
