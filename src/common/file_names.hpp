// The names of the files a run reads and writes, all in the working folder.
#pragma once

#include <array>
#include <cstddef>

namespace som {

inline constexpr const char* setup_file_name = "setup.txt";
inline constexpr const char* data_file_name = "data.txt";
inline constexpr const char* weights_file_name = "vahy.bin";
inline constexpr const char* assignments_file_name = "vystup.txt";
inline constexpr const char* final_parameters_file_name = "konecne_parametry.txt";
inline constexpr const char* training_log_file_name = "trenovani.txt";
// Read by som_report alone, beside data.txt (formats/labels_file.hpp).
inline constexpr const char* labels_file_name = "popisky.txt";

// Written by som_data beside data.txt: each component's name and the
// centre and scale that turned the table's column into it
// (formats/columns_file.hpp).
inline constexpr const char* columns_file_name = "sloupce.txt";
// Written by som_map: where each new sample falls on the map.
inline constexpr const char* placement_file_name = "zarazeni.txt";

// The saved map: the three state files, in the order a save writes them.
inline constexpr std::array<const char*, 3> saved_map_file_names = {
    assignments_file_name, final_parameters_file_name, weights_file_name};

// Locked by a run for as long as it runs (state/run_lock.hpp); it holds
// nothing and stays in the folder.
inline constexpr const char* run_lock_file_name = "som_train.zamek";

// The record of a save in progress (formats/save_record.hpp).
inline constexpr const char* save_record_file_name = "ukladani.txt";
// Beside a file being replaced: its new content while it is written, and its
// previous content while the three state files change places.
inline constexpr const char* temp_suffix = ".tmp";
inline constexpr const char* previous_suffix = ".predchozi";

}  // namespace som
