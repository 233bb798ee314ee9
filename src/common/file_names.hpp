// The names of the files a run reads and writes, all in the working folder.
#pragma once

namespace som {

inline constexpr const char* setup_file_name = "setup.txt";
inline constexpr const char* data_file_name = "data.txt";
inline constexpr const char* weights_file_name = "vahy.bin";
inline constexpr const char* assignments_file_name = "vystup.txt";
inline constexpr const char* final_parameters_file_name = "konecne_parametry.txt";
inline constexpr const char* training_log_file_name = "trenovani.txt";

}  // namespace som
