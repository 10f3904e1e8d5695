// Path helpers, the file search that scripts and language files are found by, and the file functions that
// the others are made of.
#include <cstring>
#include <string>
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/system.h"
#include "platform/text.h"

namespace plat {

char path_list_separator() { return os::path_list_separator(); }

bool path_has_directory(const char* name) {
  if (os::path_has_drive(name)) return true;
  for (const char* p = name; *p; p = next_char(p))
    if (is_path_separator(*p)) return true;
  return false;
}

size_t path_directory_length(const char* path) {
  size_t length = os::path_has_drive(path) ? 2 : 0;
  // Stepping by characters keeps a trail byte of a double-byte character from counting as a separator.
  for (const char* p = path; *p; p = next_char(p))
    if (is_path_separator(*p)) length = static_cast<size_t>(p - path) + 1;
  return length;
}

namespace {

bool copy_bounded(const std::string& text, char* out, size_t out_cap) {
  if (text.size() >= out_cap) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

// Writes the absolute form of a found file; a name too long for the caller counts as not found.
FileCheck found_at(const std::string& path, FileCheck check, char* out, size_t out_cap) {
  if (check == FileCheck::NotFound) return check;
  if (full_path(path.c_str(), out, out_cap) == 0 && !copy_bounded(path, out, out_cap)) {
    if (out_cap) out[0] = 0;
    return FileCheck::NotFound;
  }
  return check;
}

FileCheck search_path_variable(const char* name, char* out, size_t out_cap, bool open_check) {
  const int length = env_get("PATH", nullptr, 0);
  if (length <= 0) return FileCheck::NotFound;
  std::string list(static_cast<size_t>(length) + 1, '\0');
  env_get("PATH", list.data(), list.size());
  list.resize(static_cast<size_t>(length));
  const char separator = os::path_list_separator();
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(separator, start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    start = end + 1;
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);
    if (dir.empty()) continue;
    if (!is_path_separator(dir.back())) dir += os::path_separator();
    const std::string candidate = dir + name;
    const FileCheck check = found_at(candidate, file_check(candidate.c_str(), open_check), out, out_cap);
    if (check != FileCheck::NotFound) return check;
  }
  return FileCheck::NotFound;
}

}  // namespace

FileCheck search_file(const char* name, char* out, size_t out_cap, bool open_check) {
  if (out_cap) out[0] = 0;
  while (*name == ' ' || *name == '\t') ++name;
  if (*name == 0 || out_cap == 0) return FileCheck::NotFound;
  if (!path_has_directory(name)) {
    FileCheck check = search_path_variable(name, out, out_cap, open_check);
    if (check != FileCheck::NotFound) return check;
    if (os::system_search(name, out, out_cap) != FileCheck::NotFound) {
      check = file_check(out, open_check);
      if (check != FileCheck::NotFound) return check;
    }
  }
  if (full_path(name, out, out_cap) != 0) {
    const FileCheck check = file_check(out, open_check);
    if (check != FileCheck::NotFound) return check;
  }
  out[0] = 0;
  return FileCheck::NotFound;
}

char path_separator() { return os::path_separator(); }

bool file_seek(FileHandle f, uint64_t offset) {
  return offset <= uint64_t(INT64_MAX) && file_seek(f, int64_t(offset), SeekFrom::Begin) >= 0;
}

FileHandle file_open_read_w(const char16_t* path, uint32_t* system_error) {
  return file_open_w(path, ACCESS_READ, SHARE_READ, FileCreate::OpenExisting, system_error);
}
FileHandle file_create_w(const char16_t* path, uint32_t* system_error) {
  return file_open_w(path, ACCESS_WRITE, SHARE_NONE, FileCreate::CreateAlways, system_error);
}
FileHandle file_open_write_w(const char16_t* path, uint32_t* system_error) {
  return file_open_w(path, ACCESS_WRITE, SHARE_NONE, FileCreate::OpenAlways, system_error);
}

}  // namespace plat
