// The files som_data puts in the folder (data.txt, sloupce.txt, popisky.txt,
// a suggested setup.txt) and the rules that keep the user's files safe:
// nothing is replaced without --prepsat, data.txt never while a saved map
// (vahy.bin) belongs to the old data, and every file is written under a
// temporary name, forced to disk and only then renamed into place, all of
// them after all of them were written, so that a failure leaves the folder
// as it was.
#pragma once

#include <string>
#include <vector>

#include "common/output_file.hpp"
#include "formats/columns_file.hpp"
#include "formats/setup_file.hpp"
#include "table/table_options.hpp"

namespace som {

struct folder_plan {
  bool labels = false;        // writes popisky.txt
  bool setup = false;         // writes setup.txt (none there, or --prepsat)
  bool setup_kept = false;    // a setup.txt is there and stays
  bool stale_labels = false;  // a popisky.txt of older data, which --prepsat removes
  std::string refusal;        // why nothing may be written (lines)
};

// Looks at the folder (run with its lock held) before anything is read.
folder_plan plan_folder(const table_options& options);

class folder_outputs {
 public:
  explicit folder_outputs(const folder_plan& plan) : plan_(plan) {}
  ~folder_outputs();
  folder_outputs(const folder_outputs&) = delete;
  folder_outputs& operator=(const folder_outputs&) = delete;

  // Creates the temporary files of data.txt and popisky.txt; a message
  // (line) when one cannot be created, and then nothing is left.
  std::string open();
  output_file& data() { return data_; }
  output_file* labels() { return plan_.labels ? &labels_ : nullptr; }

  // Writes sloupce.txt and setup.txt (with `setup`) beside the others,
  // forces them all to disk and renames them into place; removes a stale
  // popisky.txt. A message (lines) when anything fails, saying what was
  // and was not replaced.
  std::string finish(const std::vector<column_scaling>& columns, const setup_params& setup);

  // The files written, in the order the console names them.
  std::vector<std::string> written() const;

  // Removes whatever temporary file is left.
  void discard();

 private:
  folder_plan plan_;
  output_file data_;
  output_file labels_;
  output_file columns_;
  output_file setup_;
  std::vector<output_file*> open_;
};

// "Soubor <name> se nepodarilo zapsat." as a line: a write or a sync failed
// (a full disk, an I/O error).
std::string write_failed_message(const std::string& name);

}  // namespace som
