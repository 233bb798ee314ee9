// New samples from a table exported as som_data reads it (the same
// encodings, dialect detection and cells), in the units of the user's
// table: each component's column found by its name in sloupce.txt and
// scaled by that column's centre and scale, exactly as som_data scaled the
// training's samples into data.txt.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/columns_file.hpp"
#include "formats/table_file.hpp"
#include "mapping/new_samples.hpp"

namespace som {

// Reads the table at `path`. Every column of `columns` must be in it, found
// by its exact name, or else by the name without regard to case and
// diacritics (as som_data's options find columns); other columns are left
// alone, and `labels` (--popisky: a column's name or number) names the
// column of the true labels. A row whose component is missing or not a
// number is refused with its row and column, as is a value that is no
// longer finite once scaled; blank rows are passed over. Returns the
// refusal, ending in a line end, or nothing.
std::string read_table_samples(const std::string& path, const std::vector<column_scaling>& columns,
                               const dialect_request& dialect,
                               const std::optional<std::string>& labels, new_samples& out);

}  // namespace som
