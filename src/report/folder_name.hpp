// The name of the working folder (the run's folder), for the page's title.
#pragma once

#include <string>

namespace som {

// The last part of the working folder's path as UTF-8 text; empty where it
// cannot be found or the folder is a root ("/", "C:\").
std::string working_folder_name();

}  // namespace som
