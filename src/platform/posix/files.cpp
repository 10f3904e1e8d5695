// Files, paths and directories on POSIX.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/posix/common.h"
#include "platform/system.h"
#include "platform/text.h"

namespace plat {

namespace {

bool copy_out(const std::string& text, char* out, size_t out_cap) {
  if (text.size() >= out_cap) {
    if (out_cap) out[0] = 0;
    return false;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

size_t result_of(const std::string& text, char* out, size_t out_cap) {
  return copy_out(text, out, out_cap) ? text.size() : 0;
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

namespace os {
char path_list_separator() { return ':'; }
char path_separator() { return '/'; }
bool path_has_drive(const char*) { return false; }
FileCheck system_search(const char*, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  return FileCheck::NotFound;
}
}  // namespace os

FileHandle file_open_read(const char* path, uint32_t* system_error) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  int err = errno;
  if (fd >= 0) {
    struct stat st;
    if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) return fd;
    err = EISDIR;
    close(fd);
  }
  if (system_error) *system_error = posix::windows_error_of(err);
  return INVALID_FILE;
}

bool file_size(FileHandle f, uint64_t* size) {
  struct stat st;
  if (fstat(static_cast<int>(f), &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

int64_t file_read(FileHandle f, void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = read(static_cast<int>(f), static_cast<char*>(buffer) + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

void file_close(FileHandle f) {
  if (f != INVALID_FILE) close(static_cast<int>(f));
}

FileCheck file_check(const char* path, bool open_check) {
  struct stat st;
  if (!open_check) return stat(path, &st) == 0 && !S_ISDIR(st.st_mode) ? FileCheck::Found : FileCheck::NotFound;
  // Non-blocking, so that checking a named pipe does not wait for a writer.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ETXTBSY || errno == EBUSY ? FileCheck::InUse : FileCheck::NotFound;
  const bool directory = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  close(fd);
  return directory ? FileCheck::NotFound : FileCheck::Found;
}

bool is_path_separator(char c) { return c == '/'; }
bool path_is_absolute(const char* name) { return name[0] == '/'; }

size_t full_path(const char* name, char* out, size_t out_cap) {
  if (!name || !*name) {
    if (out_cap) out[0] = 0;
    return 0;
  }
  std::string joined;
  if (name[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return 0;
    joined = cwd;
    joined += '/';
  }
  joined += name;
  // "." and empty components go, ".." removes the one before it; the file need not exist.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string& part : parts) result += '/' + part;
  if (result.empty()) result = "/";
  else if (joined.back() == '/') result += '/';
  return result_of(result, out, out_cap);
}

size_t current_directory(char* out, size_t out_cap) {
  if (out_cap == 0 || !getcwd(out, out_cap)) {
    if (out_cap) out[0] = 0;
    return 0;
  }
  return std::strlen(out);
}

bool set_current_directory(const char* path) { return chdir(path) == 0; }

size_t engine_module_directory(char* out, size_t out_cap) {
  std::string name;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&engine_module_directory), &info) && info.dli_fname)
    name = info.dli_fname;
  if (name.find('/') == std::string::npos) {
    // The main program may be reported by its bare name; the kernel knows its file.
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return result_of(std::string(), out, out_cap);
    name.assign(exe, static_cast<size_t>(n));
  }
  char absolute[PATH_MAX];
  if (full_path(name.c_str(), absolute, sizeof absolute) == 0) return 0;
  return result_of(directory_of(absolute), out, out_cap);
}

size_t app_data_directory(char* out, size_t out_cap) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return result_of(config, out, out_cap);
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else {
    struct passwd pw, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) != 0 || !found) return 0;
    home = found->pw_dir;
  }
  if (!home.empty() && home.back() == '/') home.pop_back();
  return result_of(home + "/.config", out, out_cap);
}

}  // namespace plat

namespace plat {

FileHandle file_create(const char* path, uint32_t* system_error) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd >= 0) return fd;
  if (system_error) *system_error = posix::windows_error_of(errno);
  return INVALID_FILE;
}

bool file_write(FileHandle f, const void* data, size_t n, uint32_t* system_error) {
  const char* p = static_cast<const char*>(data);
  while (n) {
    const ssize_t w = ::write(static_cast<int>(f), p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (system_error) *system_error = w < 0 ? posix::windows_error_of(errno) : 31;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

FileHandle file_open_write(const char* path, uint32_t* system_error) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) return fd;
  if (system_error) *system_error = posix::windows_error_of(errno);
  return INVALID_FILE;
}

bool file_append(const char* path, const void* data, size_t n) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // An advisory lock keeps two writers from mixing their records.
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ::fcntl(fd, F_SETLKW, &lock);
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (n) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += w;
    n -= size_t(w);
  }
  ::close(fd);
  return ok;
}

}  // namespace plat
