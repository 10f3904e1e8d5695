// The folder of the Engine's own files on POSIX, which stands in for the Windows directory: it holds
// WIN.INI, the profile files named without a directory, and the registry store.
#pragma once
#include <string>

namespace plat {

// $XDG_CONFIG_HOME/tov, else ~/.config/tov; "" when no home folder is known.
std::string tov_config_dir();
// Makes the folder of a file's path, and the folders above it, where they are missing.
bool make_parent_directories(const std::string& file_path);

}  // namespace plat
