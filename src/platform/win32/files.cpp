// Files, paths and directories on Windows.
#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/win32/module.h"

namespace plat {
namespace {

// The length of a path that a system call wrote, 0 when it failed or did not fit.
size_t fitted(DWORD n, char* out, size_t out_cap) {
  if (n == 0 || n >= out_cap) {
    if (out_cap) out[0] = 0;
    return 0;
  }
  return n;
}

DWORD capacity(size_t out_cap) { return out_cap > MAXDWORD ? MAXDWORD : static_cast<DWORD>(out_cap); }

HANDLE open_shared_read(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

namespace os {
char path_list_separator() { return ';'; }
char path_separator() { return '\\'; }
bool path_has_drive(const char* name) { return name[0] && name[1] == ':'; }

FileCheck system_search(const char* name, char* out, size_t out_cap) {
  return fitted(SearchPathA(nullptr, name, nullptr, capacity(out_cap), out, nullptr), out, out_cap)
             ? FileCheck::Found
             : FileCheck::NotFound;
}
}  // namespace os

FileHandle file_open_read(const char* path, uint32_t* system_error) {
  HANDLE h = open_shared_read(path);
  if (h == INVALID_HANDLE_VALUE && system_error) *system_error = GetLastError();
  return reinterpret_cast<FileHandle>(h);
}

bool file_size(FileHandle f, uint64_t* size) {
  LARGE_INTEGER n;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(f), &n)) return false;
  *size = static_cast<uint64_t>(n.QuadPart);
  return true;
}

int64_t file_read(FileHandle f, void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const DWORD want = n - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n - done);
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(f), static_cast<char*>(buffer) + done, want, &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

void file_close(FileHandle f) {
  if (f != INVALID_FILE) CloseHandle(reinterpret_cast<HANDLE>(f));
}

FileCheck file_check(const char* path, bool open_check) {
  if (!open_check) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD err = GetLastError();
      return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION ? FileCheck::Found : FileCheck::NotFound;
    }
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? FileCheck::NotFound : FileCheck::Found;
  }
  HANDLE h = open_shared_read(path);
  if (h == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? FileCheck::InUse : FileCheck::NotFound;
  CloseHandle(h);
  return FileCheck::Found;
}

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

bool path_is_absolute(const char* name) {
  return (name[0] && name[1] == ':' && name[2] == '\\') || (name[0] == '\\' && name[1] == '\\');
}

size_t full_path(const char* name, char* out, size_t out_cap) {
  if (!name || !*name) return fitted(0, out, out_cap);
  return fitted(GetFullPathNameA(name, capacity(out_cap), out, nullptr), out, out_cap);
}

size_t current_directory(char* out, size_t out_cap) {
  return fitted(GetCurrentDirectoryA(capacity(out_cap), out), out, out_cap);
}

bool set_current_directory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

size_t engine_module_directory(char* out, size_t out_cap) {
  char name[MAX_PATH * 4];
  if (!fitted(GetModuleFileNameA(win32::engine_module(), name, sizeof name), name, sizeof name)) return 0;
  const size_t n = path_directory_length(name);
  if (n == 0 || n >= out_cap) return fitted(0, out, out_cap);
  std::memcpy(out, name, n);
  out[n] = 0;
  return n;
}

size_t app_data_directory(char* out, size_t out_cap) {
  char folder[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder) != S_OK &&
      !fitted(GetWindowsDirectoryA(folder, sizeof folder), folder, sizeof folder))
    return fitted(0, out, out_cap);
  const size_t n = std::strlen(folder);
  if (n >= out_cap) return fitted(0, out, out_cap);
  std::memcpy(out, folder, n + 1);
  return n;
}

}  // namespace plat

namespace plat {

FileHandle file_create(const char* path, uint32_t* system_error) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && system_error) *system_error = GetLastError();
  return reinterpret_cast<FileHandle>(h);
}

bool file_write(FileHandle f, const void* data, size_t n, uint32_t* system_error) {
  const char* p = static_cast<const char*>(data);
  while (n) {
    const DWORD chunk = n > 0x40000000u ? 0x40000000u : DWORD(n);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(f), p, chunk, &written, nullptr) || !written) {
      if (system_error) *system_error = GetLastError();
      return false;
    }
    p += written;
    n -= written;
  }
  return true;
}

namespace {

FileHandle opened(HANDLE h, uint32_t* system_error) {
  if (h == INVALID_HANDLE_VALUE && system_error) *system_error = GetLastError();
  return reinterpret_cast<FileHandle>(h);
}

}  // namespace

FileHandle file_open_write(const char* path, uint32_t* system_error) {
  return opened(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                system_error);
}

bool file_append(const char* path, const void* data, size_t n) {
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (n) {
    DWORD chunk = n > 0x40000000u ? 0x40000000u : DWORD(n), written = 0;
    if (!WriteFile(h, p, chunk, &written, nullptr) || !written) {
      ok = false;
      break;
    }
    p += written;
    n -= written;
  }
  CloseHandle(h);
  return ok;
}

}  // namespace plat
