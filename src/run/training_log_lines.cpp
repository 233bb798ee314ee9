#include "run/training_log_lines.hpp"

#include "common/file_names.hpp"
#include "formats/training_log.hpp"

namespace som {

namespace {

// "%u\t%f" and a line end fit many times over.
constexpr std::size_t line_capacity = 64;

}  // namespace

training_log_lines::~training_log_lines() {
  if (!file_.file.is_open()) return;
  bool whole = false;
  close(whole);
}

failure training_log_lines::open() {
  const failure failed = failure::of(failure_kind::open_failed, training_log_file_name);
  std::string target;
  unsigned permissions = default_permissions;
  if (!resolve_links(training_log_file_name, target) ||
      check_writable(target, permissions) == write_check::refused ||
      !open_output(file_, target, permissions)) {
    return failed;
  }
  // The header is in the file before it takes the log's name.
  const std::string header = training_log_header();
  std::size_t written = 0;
  write_file(file_.file, header.data(), header.size(), &written);
  if (!rename_file(file_.temp_name, file_.name)) {
    discard_output(file_);
    return failed;
  }
  line_.reserve(line_capacity);
  writer_.emplace(file_.file);
  // What a failing disk kept out of the file waits for the epochs' lines.
  if (written != header.size()) writer_->write(std::string_view(header).substr(written));
  return {};
}

epoch_sink training_log_lines::sink() {
  epoch_sink sink;
  sink.context = this;
  sink.record = [](void* context, std::uint32_t Rozdil, double Radius) {
    auto& self = *static_cast<training_log_lines*>(context);
    self.line_.clear();
    append_log_line(self.line_, Rozdil, Radius);
    self.writer_->write(self.line_);
  };
  return sink;
}

failure training_log_lines::close(bool& whole) {
  whole = writer_.has_value() && writer_->finish();
  writer_.reset();
  if (const system_result closed = close_file(file_.file); !closed)
    return failure::of(failure_kind::close_failed, training_log_file_name, closed.error);
  return {};
}

}  // namespace som
