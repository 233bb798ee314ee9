#include "run/training_log_lines.hpp"

#include "formats/training_log.hpp"

namespace som {

epoch_sink training_log_lines::sink() {
  epoch_sink sink;
  sink.context = this;
  sink.record = [](void* context, std::uint32_t Rozdil, double Radius) {
    auto& self = *static_cast<training_log_lines*>(context);
    self.line_.clear();
    append_log_line(self.line_, Rozdil, Radius);
    self.writer_.write(self.line_);
  };
  return sink;
}

}  // namespace som
