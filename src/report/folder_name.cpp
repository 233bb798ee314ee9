#include "report/folder_name.hpp"

#include <filesystem>
#include <system_error>

namespace som {

std::string working_folder_name() {
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return {};
  // u8string: UTF-16 on Windows becomes UTF-8; POSIX names are their bytes.
  const std::u8string name = here.filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace som
