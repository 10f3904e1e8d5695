#include "platform/posix/config_dir.h"

#include <sys/stat.h>
#include <cerrno>

#include "platform/files.h"

namespace plat {

std::string tov_config_dir() {
  char path[MAX_PATH_CHARS * 4];
  const size_t n = app_data_directory(path, sizeof path);
  return n ? std::string(path, n) + "/tov" : std::string();
}

bool make_parent_directories(const std::string& file_path) {
  const size_t end = file_path.rfind('/');
  if (end == std::string::npos || end == 0) return true;
  for (size_t slash = file_path.find('/', 1); slash != std::string::npos && slash <= end;
       slash = file_path.find('/', slash + 1)) {
    const std::string dir = file_path.substr(0, slash);
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(file_path.substr(0, end).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace plat
