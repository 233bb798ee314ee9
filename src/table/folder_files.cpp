#include "table/folder_files.hpp"

#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"

namespace som {

namespace {

bool present(const char* name) { return find_file(name) != file_presence::absent; }

}  // namespace

std::string write_failed_message(const std::string& name) {
  return "Soubor " + name + " se nepodarilo zapsat.\n";
}

folder_plan plan_folder(const table_options& options) {
  folder_plan plan;
  plan.labels = !options.labels.empty();
  const bool setup_there = present(setup_file_name);
  plan.setup = !setup_there || options.replace;
  plan.setup_kept = setup_there && !options.replace;
  if (present(weights_file_name)) {
    plan.refusal = std::string("Ve slozce je ulozena mapa (") + weights_file_name +
                   ") natrenovana na dosavadnich datech, proto se " + data_file_name +
                   " nenahradi. Nova data patri do nove slozky (nebo presunte " +
                   weights_file_name + " a " + assignments_file_name + " jinam).\n";
    return plan;
  }
  std::vector<const char*> there;
  for (const char* name : {data_file_name, columns_file_name}) {
    if (present(name)) there.push_back(name);
  }
  if (present(labels_file_name)) {
    there.push_back(labels_file_name);
    plan.stale_labels = !plan.labels;
  }
  if (!there.empty() && !options.replace) {
    std::string names;
    for (std::size_t i = 0; i < there.size(); ++i) names += (i == 0 ? "" : ", ") + std::string(there[i]);
    plan.refusal = "Ve slozce uz je " + names + "; nahradi je jen --prepsat.\n";
    if (plan.stale_labels)
      plan.refusal += std::string("(") + labels_file_name +
                      " by k novym datum nepatril: --prepsat ho odstrani, --popisky ho nahradi.)\n";
    return plan;
  }
  // Each name must be one that a file can be written under (not a folder,
  // not read-only).
  std::vector<const char*> targets = {data_file_name, columns_file_name};
  if (plan.labels || plan.stale_labels) targets.push_back(labels_file_name);
  if (plan.setup) targets.push_back(setup_file_name);
  for (const char* name : targets) {
    unsigned permissions = default_permissions;
    if (check_writable(name, permissions) == write_check::refused) {
      plan.refusal = open_failed_message(name);
      return plan;
    }
  }
  return plan;
}

folder_outputs::~folder_outputs() { discard(); }

std::string folder_outputs::open() {
  if (!open_output(data_, data_file_name)) {
    discard_output(data_);
    return open_failed_message(data_file_name);
  }
  open_.push_back(&data_);
  if (plan_.labels) {
    if (!open_output(labels_, labels_file_name)) {
      discard_output(labels_);
      discard();
      return open_failed_message(labels_file_name);
    }
    open_.push_back(&labels_);
  }
  return {};
}

std::string folder_outputs::finish(const std::vector<column_scaling>& columns,
                                   const setup_params& setup) {
  if (!open_output(columns_, columns_file_name)) {
    discard_output(columns_);
    discard();
    return open_failed_message(columns_file_name);
  }
  open_.push_back(&columns_);
  byte_sink columns_sink = output_sink(columns_);
  write_columns(columns, columns_sink);
  if (plan_.setup) {
    if (!open_output(setup_, setup_file_name)) {
      discard_output(setup_);
      discard();
      return open_failed_message(setup_file_name);
    }
    open_.push_back(&setup_);
    write_output(setup_, format_setup(setup));
  }
  // Every file whole on disk before any takes its place.
  for (output_file* out : open_) {
    if (!close_output(*out)) {
      const std::string message = write_failed_message(out->name);
      discard();
      return message;
    }
  }
  // Then the renames, one after the other (a rename that fails, which is
  // rare once the files are written, is said with what was replaced).
  std::vector<std::string> replaced;
  for (std::size_t i = 0; i < open_.size(); ++i) {
    output_file& out = *open_[i];
    if (!rename_file(out.temp_name, out.name)) {
      std::string message = close_failed_message(out.name);
      if (!replaced.empty()) {
        message += "Uz nahrazeno:";
        for (const std::string& name : replaced) message += " " + name;
        message += "; zbytek zustal, jak byl.\n";
      }
      discard();
      return message;
    }
    replaced.push_back(out.name);
    out.temp_name.clear();
  }
  if (plan_.stale_labels && !plan_.labels) remove_file(labels_file_name);
  sync_folder_of(data_file_name);
  open_.clear();
  return {};
}

std::vector<std::string> folder_outputs::written() const {
  std::vector<std::string> names = {data_file_name};
  if (plan_.labels) names.emplace_back(labels_file_name);
  names.emplace_back(columns_file_name);
  if (plan_.setup) names.emplace_back(setup_file_name);
  return names;
}

void folder_outputs::discard() {
  for (output_file* out : open_)
    if (!out->temp_name.empty()) discard_output(*out);
  open_.clear();
}

}  // namespace som
