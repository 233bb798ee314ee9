#include "report/sample_labels.hpp"

#include <filesystem>
#include <system_error>
#include <utility>

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"

namespace som {

bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message) {
  labels = sample_labels{};
  std::error_code error;
  if (!std::filesystem::exists(labels_file_name, error) && !error) return true;
  std::string bytes;
  message = file_read_message(read_whole_file(labels_file_name, bytes), labels_file_name);
  if (!message.empty()) return false;
  labels_reading read = read_labels(bytes, samples);
  if (!read.ok()) {
    message = std::move(read.message);
    return false;
  }
  labels = std::move(read.labels);
  return true;
}

}  // namespace som
