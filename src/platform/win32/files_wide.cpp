// Files and directories by UTF-16 names on Windows: the system's wide functions.
#include <windows.h>
#include <string>
#include <vector>
#include "platform/files.h"

namespace plat {

namespace {

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
std::u16string text16(const wchar_t* s, size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }

bool fail(uint32_t* system_error) {
  if (system_error) *system_error = GetLastError();
  return false;
}

FileTime file_time_of(const FILETIME& ft) { return FileTime((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime); }

FILETIME filetime_of(FileTime t) {
  FILETIME ft;
  ft.dwLowDateTime = DWORD(uint64_t(t));
  ft.dwHighDateTime = DWORD(uint64_t(t) >> 32);
  return ft;
}

// Critical-error boxes of the system ("insert a disk") are not shown while a file is reached.
class QuietErrors {
 public:
  QuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietErrors() { SetThreadErrorMode(old_, nullptr); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD old_ = 0;
};

// A handle to read a file's identity or set its times (directories too).
HANDLE open_for_attributes(const char16_t* path, DWORD access) {
  return CreateFileW(wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

FileHandle file_open_w(const char16_t* path, uint32_t access, uint32_t share, FileCreate how, uint32_t* system_error) {
  QuietErrors quiet;
  const DWORD desired = ((access & ACCESS_READ) ? GENERIC_READ : 0) | ((access & ACCESS_WRITE) ? GENERIC_WRITE : 0);
  const DWORD sharing = ((share & SHARE_READ) ? FILE_SHARE_READ : 0) | ((share & SHARE_WRITE) ? FILE_SHARE_WRITE : 0);
  const DWORD disposition = how == FileCreate::OpenExisting  ? OPEN_EXISTING
                            : how == FileCreate::CreateAlways ? CREATE_ALWAYS
                                                              : OPEN_ALWAYS;
  HANDLE h = CreateFileW(wide(path), desired, sharing, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) fail(system_error);
  return reinterpret_cast<FileHandle>(h);
}

int64_t file_seek(FileHandle f, int64_t offset, SeekFrom from) {
  const DWORD method = from == SeekFrom::Begin ? FILE_BEGIN : from == SeekFrom::Current ? FILE_CURRENT : FILE_END;
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(f), distance, &position, method)) return -1;
  return position.QuadPart;
}

FileTime file_time_now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return file_time_of(ft);
}

LocalTime file_time_to_local(FileTime t) {
  const FILETIME ft = filetime_of(t);
  SYSTEMTIME utc{}, local{};
  FileTimeToSystemTime(&ft, &utc);
  // The daylight-saving rule of that date, not of today.
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                   local.wMilliseconds, local.wDayOfWeek};
}

bool local_to_file_time(const LocalTime& local, FileTime* t) {
  SYSTEMTIME st{}, utc{};
  st.wYear = WORD(local.year);
  st.wMonth = WORD(local.month);
  st.wDay = WORD(local.day);
  st.wHour = WORD(local.hour);
  st.wMinute = WORD(local.minute);
  st.wSecond = WORD(local.second);
  st.wMilliseconds = WORD(local.millisecond);
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc) || !SystemTimeToFileTime(&utc, &ft)) return false;
  *t = file_time_of(ft);
  return true;
}

bool file_info_w(const char16_t* path, FileInfo* info, uint32_t* system_error) {
  QuietErrors quiet;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return fail(system_error);
  info->size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? 0
                   : (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->created = file_time_of(data.ftCreationTime);
  info->modified = file_time_of(data.ftLastWriteTime);
  info->accessed = file_time_of(data.ftLastAccessTime);
  info->attributes = data.dwFileAttributes;
  return true;
}

bool file_set_attributes_w(const char16_t* path, uint32_t attributes, uint32_t* system_error) {
  return SetFileAttributesW(wide(path), attributes & ~DWORD(FILE_ATTRIBUTE_DIRECTORY)) || fail(system_error);
}

bool file_set_times_w(const char16_t* path, const FileTime* created, const FileTime* modified,
                      const FileTime* accessed, uint32_t* system_error) {
  HANDLE h = open_for_attributes(path, FILE_WRITE_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return fail(system_error);
  FILETIME c{}, m{}, a{};
  if (created) c = filetime_of(*created);
  if (modified) m = filetime_of(*modified);
  if (accessed) a = filetime_of(*accessed);
  const bool ok = SetFileTime(h, created ? &c : nullptr, accessed ? &a : nullptr, modified ? &m : nullptr);
  if (!ok) fail(system_error);
  CloseHandle(h);
  return ok;
}

bool same_file_w(const char16_t* a, const char16_t* b) {
  HANDLE ha = open_for_attributes(a, 0);
  if (ha == INVALID_HANDLE_VALUE) return false;
  HANDLE hb = open_for_attributes(b, 0);
  BY_HANDLE_FILE_INFORMATION ia, ib;
  const bool same = hb != INVALID_HANDLE_VALUE && GetFileInformationByHandle(ha, &ia) &&
                    GetFileInformationByHandle(hb, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                    ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
  CloseHandle(ha);
  return same;
}

bool file_delete_w(const char16_t* path, uint32_t* system_error) {
  return DeleteFileW(wide(path)) || fail(system_error);
}

bool file_copy_w(const char16_t* from, const char16_t* to, uint32_t* system_error) {
  QuietErrors quiet;
  return CopyFileW(wide(from), wide(to), FALSE) || fail(system_error);
}

bool file_move_w(const char16_t* from, const char16_t* to, bool replace, bool across_volumes,
                 uint32_t* system_error) {
  QuietErrors quiet;
  const DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | (across_volumes ? MOVEFILE_COPY_ALLOWED : 0);
  return MoveFileExW(wide(from), wide(to), flags) || fail(system_error);
}

bool dir_make_w(const char16_t* path, uint32_t* system_error) {
  return CreateDirectoryW(wide(path), nullptr) || fail(system_error);
}

bool dir_remove_w(const char16_t* path, uint32_t* system_error) {
  return RemoveDirectoryW(wide(path)) || fail(system_error);
}

bool dir_list_w(const char16_t* dir, std::vector<DirEntry>* entries, uint32_t* system_error) {
  QuietErrors quiet;
  std::u16string pattern(dir);
  if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/' && pattern.back() != u':')
    pattern += u'\\';
  pattern += u'*';
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(wide(pattern.c_str()), &found);
  if (h == INVALID_HANDLE_VALUE) {
    // An empty directory still has "." and ".."; only a drive's root can be truly empty.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return fail(system_error);
  }
  do {
    const wchar_t* name = found.cFileName;
    if (!wcscmp(name, L".") || !wcscmp(name, L"..")) continue;
    entries->push_back(DirEntry{text16(name, wcslen(name)), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return true;
}

bool current_directory_w(std::u16string* out) {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (!n) return false;
  std::wstring buffer(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, buffer.data());
  if (!got || got >= n) return false;
  *out = text16(buffer.data(), got);
  return true;
}

bool set_current_directory_w(const char16_t* path, uint32_t* system_error) {
  return SetCurrentDirectoryW(wide(path)) || fail(system_error);
}

std::u16string full_path_w(const char16_t* name) {
  if (!name || !*name) return std::u16string();
  const DWORD n = GetFullPathNameW(wide(name), 0, nullptr, nullptr);
  if (!n) return std::u16string();
  std::wstring buffer(n, L'\0');
  const DWORD got = GetFullPathNameW(wide(name), n, buffer.data(), nullptr);
  return got && got < n ? text16(buffer.data(), got) : std::u16string();
}

std::u16string temp_directory_w() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  return n && n <= MAX_PATH + 1 ? text16(buffer, n) : std::u16string();
}

bool temp_file_w(const char16_t* dir, const char16_t* prefix, std::u16string* path, uint32_t* system_error) {
  wchar_t buffer[MAX_PATH];
  if (!GetTempFileNameW(wide(dir), wide(prefix), 0, buffer)) return fail(system_error);
  *path = text16(buffer, wcslen(buffer));
  return true;
}

bool disk_space_w(const char16_t* path, uint64_t* free_bytes, uint64_t* total_bytes, uint32_t* system_error) {
  QuietErrors quiet;
  ULARGE_INTEGER available, total;
  if (!GetDiskFreeSpaceExW(*path ? wide(path) : nullptr, &available, &total, nullptr)) return fail(system_error);
  *free_bytes = available.QuadPart;
  *total_bytes = total.QuadPart;
  return true;
}

bool volume_exists_w(const char16_t* root) {
  QuietErrors quiet;
  const UINT type = GetDriveTypeW(wide(root));
  return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

bool has_drive_letters() { return true; }

}  // namespace plat
