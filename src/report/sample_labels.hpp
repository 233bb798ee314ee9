// Reading popisky.txt (formats/labels_file.hpp) from the working folder,
// where it is there.
#pragma once

#include <cstdint>
#include <string>

#include "formats/labels_file.hpp"

namespace som {

// Reads popisky.txt from the working folder where it is there; `labels.present`
// says whether it was. False after a message (it cannot be read, or its lines
// do not match the samples).
bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message);

}  // namespace som
