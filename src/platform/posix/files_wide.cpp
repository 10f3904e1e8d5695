// Files and directories by UTF-16 names on POSIX. Names become UTF-8 with "\" read as "/". Where Windows
// refuses what POSIX would allow (deleting or replacing a read-only file, opening a directory as a file,
// a second open against the sharing of the first), the Windows rule is kept, so scripts behave alike.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "platform/files.h"
#include "platform/posix/common.h"

namespace plat {

namespace {

using posix::windows_error_of;
using posix::utf16_of;

// The attributes that Windows keeps and POSIX does not, stored with the file where the file system allows.
constexpr char ATTRIBUTES_XATTR[] = "user.tov.attributes";
constexpr uint32_t KEPT_ATTRIBUTES = ATTR_HIDDEN | ATTR_SYSTEM | ATTR_ARCHIVE;
// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t UNIX_EPOCH_FILE_TIME = 116444736000000000LL;
constexpr int64_t TICKS_PER_SECOND = 10000000;

std::string native(const char16_t* path) {
  std::string s = posix::utf8_of(path);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

bool fail(uint32_t* system_error, uint32_t code) {
  if (system_error) *system_error = code;
  return false;
}

bool fail_errno(uint32_t* system_error) { return fail(system_error, windows_error_of(errno)); }

FileHandle no_file(uint32_t* system_error, uint32_t code) {
  fail(system_error, code);
  return INVALID_FILE;
}

// Windows keeps a read-only file from being written, replaced or deleted, whoever asks; POSIX lets the
// owner (and root) do it. The owner's write permission stands for the attribute.
bool is_read_only(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

FileTime file_time_of(const struct timespec& ts) {
  return (int64_t(ts.tv_sec) * TICKS_PER_SECOND + ts.tv_nsec / 100) + UNIX_EPOCH_FILE_TIME;
}

struct timespec timespec_of(FileTime t) {
  int64_t ticks = t - UNIX_EPOCH_FILE_TIME;
  int64_t seconds = ticks / TICKS_PER_SECOND, rest = ticks % TICKS_PER_SECOND;
  if (rest < 0) {
    rest += TICKS_PER_SECOND;
    --seconds;
  }
  struct timespec ts{};
  ts.tv_sec = time_t(seconds);
  ts.tv_nsec = long(rest * 100);
  return ts;
}

const char* last_component(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end - 1);
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

bool dot_name(const std::string& path) {
  const char* name = last_component(path);
  return name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// The kept attributes: from the extended attribute when the file has one, else what Windows gives a new
// file (archive for files; hidden for a name beginning with ".").
uint32_t kept_attributes(const std::string& path, bool directory) {
  char text[16] = {};
  const ssize_t n = getxattr(path.c_str(), ATTRIBUTES_XATTR, text, sizeof text - 1);
  if (n > 0) return uint32_t(std::strtoul(text, nullptr, 16)) & KEPT_ATTRIBUTES;
  return (directory ? 0u : uint32_t(ATTR_ARCHIVE)) | (dot_name(path) ? uint32_t(ATTR_HIDDEN) : 0u);
}

uint32_t attributes_of(const std::string& path, const struct stat& st) {
  const bool directory = S_ISDIR(st.st_mode);
  uint32_t a = kept_attributes(path, directory);
  if (directory) a |= ATTR_DIRECTORY;
  if (is_read_only(st)) a |= ATTR_READONLY;
  return a ? a : ATTR_NORMAL;
}

int lock_of(uint32_t share) {
  if (share & SHARE_WRITE) return 0;
  return share & SHARE_READ ? LOCK_SH : LOCK_EX;
}

bool copy_data(int from, int to, uint32_t* system_error) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail_errno(system_error);
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t w = write(to, buffer + done, size_t(got - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return fail_errno(system_error);
      done += w;
    }
  }
}

}  // namespace

FileHandle file_open_w(const char16_t* path, uint32_t access, uint32_t share, FileCreate how, uint32_t* system_error) {
  const std::string name = native(path);
  struct stat st;
  const bool exists = stat(name.c_str(), &st) == 0;
  if (exists && (S_ISDIR(st.st_mode) || ((access & ACCESS_WRITE) && is_read_only(st))))
    return no_file(system_error, 5);
  // Without waiting: opening a FIFO would otherwise wait for the other end without end.
  int flags = O_CLOEXEC | O_NONBLOCK |
              ((access & ACCESS_WRITE) ? ((access & ACCESS_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
  if (how != FileCreate::OpenExisting) flags |= O_CREAT;
  int fd = open(name.c_str(), flags, 0666);
  if (fd < 0) return no_file(system_error, windows_error_of(errno));
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // Descriptor 0 is no handle the Engine can give out (standard input was closed).
  if (fd == 0) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    if (moved < 0) return no_file(system_error, windows_error_of(errno));
    fd = moved;
  }
  const int lock = lock_of(share);
  if (lock && flock(fd, lock | LOCK_NB) != 0) {
    close(fd);
    return no_file(system_error, SYSTEM_ERROR_SHARING);
  }
  // Emptied only once the sharing allows it.
  if (how == FileCreate::CreateAlways && ftruncate(fd, 0) != 0) {
    const int err = errno;
    close(fd);
    return no_file(system_error, windows_error_of(err));
  }
  return fd;
}

int64_t file_seek(FileHandle f, int64_t offset, SeekFrom from) {
  const int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
  return int64_t(lseek(int(f), off_t(offset), whence));
}

FileTime file_time_now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return file_time_of(ts);
}

LocalTime file_time_to_local(FileTime t) {
  const struct timespec ts = timespec_of(t);
  struct tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                   int(ts.tv_nsec / 1000000), tm.tm_wday};
}

bool local_to_file_time(const LocalTime& local, FileTime* t) {
  struct tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  errno = 0;
  const time_t seconds = mktime(&tm);
  if (seconds == time_t(-1) && errno != 0) return false;
  struct timespec ts{};
  ts.tv_sec = seconds;
  ts.tv_nsec = long(local.millisecond) * 1000000L;
  *t = file_time_of(ts);
  return true;
}

bool file_info_w(const char16_t* path, FileInfo* info, uint32_t* system_error) {
  const std::string name = native(path);
  struct statx sx;
  if (statx(AT_FDCWD, name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return fail_errno(system_error);
  struct stat st{};
  st.st_mode = sx.stx_mode;
  info->size = S_ISDIR(st.st_mode) ? 0 : sx.stx_size;
  auto time_of = [](const struct statx_timestamp& s) {
    struct timespec ts{};
    ts.tv_sec = time_t(s.tv_sec);
    ts.tv_nsec = long(s.tv_nsec);
    return file_time_of(ts);
  };
  info->modified = time_of(sx.stx_mtime);
  info->accessed = time_of(sx.stx_atime);
  info->created = (sx.stx_mask & STATX_BTIME) ? time_of(sx.stx_btime) : 0;
  info->attributes = attributes_of(name, st);
  return true;
}

bool file_set_attributes_w(const char16_t* path, uint32_t attributes, uint32_t* system_error) {
  const std::string name = native(path);
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return fail_errno(system_error);
  const bool directory = S_ISDIR(st.st_mode);
  const uint32_t kept = attributes & KEPT_ATTRIBUTES;
  if (kept != kept_attributes(name, directory)) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%x", unsigned(kept));
    if (setxattr(name.c_str(), ATTRIBUTES_XATTR, text, size_t(n), 0) != 0) return fail_errno(system_error);
  }
  if (!directory) {
    const mode_t mode = (attributes & ATTR_READONLY) ? st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)
                                                     : st.st_mode | S_IWUSR;
    if (mode != st.st_mode && chmod(name.c_str(), mode & 07777) != 0) return fail_errno(system_error);
  }
  return true;
}

bool file_set_times_w(const char16_t* path, const FileTime* created, const FileTime* modified,
                      const FileTime* accessed, uint32_t* system_error) {
  if (created) return fail(system_error, SYSTEM_ERROR_NOT_SUPPORTED);
  struct timespec times[2];
  times[0] = accessed ? timespec_of(*accessed) : timespec{0, UTIME_OMIT};
  times[1] = modified ? timespec_of(*modified) : timespec{0, UTIME_OMIT};
  return utimensat(AT_FDCWD, native(path).c_str(), times, 0) == 0 || fail_errno(system_error);
}

bool same_file_w(const char16_t* a, const char16_t* b) {
  struct stat sa, sb;
  return stat(native(a).c_str(), &sa) == 0 && stat(native(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool file_delete_w(const char16_t* path, uint32_t* system_error) {
  const std::string name = native(path);
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return fail_errno(system_error);
  if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && is_read_only(st))) return fail(system_error, 5);
  return unlink(name.c_str()) == 0 || fail_errno(system_error);
}

bool file_copy_w(const char16_t* from, const char16_t* to, uint32_t* system_error) {
  const FileHandle in = file_open_w(from, ACCESS_READ, SHARE_READ, FileCreate::OpenExisting, system_error);
  if (in == INVALID_FILE) return false;
  struct stat st;
  fstat(int(in), &st);
  const FileHandle out = file_open_w(to, ACCESS_WRITE, SHARE_NONE, FileCreate::CreateAlways, system_error);
  if (out == INVALID_FILE) {
    close(int(in));
    return false;
  }
  bool ok = copy_data(int(in), int(out), system_error);
  if (ok) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    futimens(int(out), times);
    fchmod(int(out), st.st_mode & 07777);
  }
  close(int(out));
  close(int(in));
  if (ok) {
    // The kept attributes travel with the data, as Windows copies them.
    char text[16];
    const ssize_t n = getxattr(native(from).c_str(), ATTRIBUTES_XATTR, text, sizeof text);
    const std::string target = native(to);
    if (n > 0) setxattr(target.c_str(), ATTRIBUTES_XATTR, text, size_t(n), 0);
    else removexattr(target.c_str(), ATTRIBUTES_XATTR);
  }
  return ok;
}

bool file_move_w(const char16_t* from, const char16_t* to, bool replace, bool across_volumes,
                 uint32_t* system_error) {
  const std::string source = native(from), target = native(to);
  struct stat ss, ts;
  if (lstat(source.c_str(), &ss) != 0) return fail_errno(system_error);
  const bool target_exists = lstat(target.c_str(), &ts) == 0;
  if (target_exists && !(ss.st_dev == ts.st_dev && ss.st_ino == ts.st_ino)) {
    if (!replace || S_ISDIR(ts.st_mode) || S_ISDIR(ss.st_mode))
      return fail(system_error, SYSTEM_ERROR_ALREADY_EXISTS);
    if (!S_ISLNK(ts.st_mode) && is_read_only(ts)) return fail(system_error, 5);
  }
  if (rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV || !across_volumes || S_ISDIR(ss.st_mode)) return fail_errno(system_error);
  return file_copy_w(from, to, system_error) && file_delete_w(from, system_error);
}

bool dir_make_w(const char16_t* path, uint32_t* system_error) {
  return mkdir(native(path).c_str(), 0777) == 0 || fail_errno(system_error);
}

bool dir_remove_w(const char16_t* path, uint32_t* system_error) {
  return rmdir(native(path).c_str()) == 0 || fail_errno(system_error);
}

bool dir_list_w(const char16_t* dir, std::vector<DirEntry>* entries, uint32_t* system_error) {
  std::string name = native(dir);
  if (name.empty()) name = ".";
  DIR* d = opendir(name.c_str());
  if (!d) return fail_errno(system_error);
  if (name.back() != '/') name += '/';
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    bool directory = e->d_type == DT_DIR, link = e->d_type == DT_LNK;
    if (e->d_type == DT_UNKNOWN || link) {
      struct stat st;
      const std::string entry = name + e->d_name;
      directory = stat(entry.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      link = lstat(entry.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    entries->push_back(DirEntry{utf16_of(e->d_name, std::strlen(e->d_name)), directory, link});
  }
  closedir(d);
  return true;
}

bool current_directory_w(std::u16string* out) {
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return false;
  *out = utf16_of(cwd, std::strlen(cwd));
  return true;
}

bool set_current_directory_w(const char16_t* path, uint32_t* system_error) {
  return chdir(native(path).c_str()) == 0 || fail_errno(system_error);
}

std::u16string full_path_w(const char16_t* name) {
  char out[PATH_MAX];
  const size_t n = full_path(native(name).c_str(), out, sizeof out);
  return n ? utf16_of(out, n) : std::u16string();
}

std::u16string temp_directory_w() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = dir && dir[0] == '/' ? dir : "/tmp";
  if (d.back() != '/') d += '/';
  return utf16_of(d.c_str(), d.size());
}

bool temp_file_w(const char16_t* dir, const char16_t* prefix, std::u16string* path, uint32_t* system_error) {
  std::string base = native(dir);
  if (!base.empty() && base.back() != '/') base += '/';
  std::u16string p16(prefix);
  if (p16.size() > 3) p16.resize(3);
  const std::string pre = native(p16.c_str());
  // Numbers from the clock, as Windows starts from its tick count, tried in turn.
  unsigned start = unsigned(file_time_now() / TICKS_PER_SECOND) & 0xFFFF;
  for (unsigned i = 0; i < 0x10000; ++i) {
    const unsigned number = (start + i) & 0xFFFF;
    if (!number) continue;
    char name[32];
    std::snprintf(name, sizeof name, "%X.tmp", number);
    const std::string candidate = base + pre + name;
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      *path = utf16_of(candidate.c_str(), candidate.size());
      return true;
    }
    if (errno != EEXIST) return fail_errno(system_error);
  }
  return fail(system_error, SYSTEM_ERROR_EXISTS);
}

bool disk_space_w(const char16_t* path, uint64_t* free_bytes, uint64_t* total_bytes, uint32_t* system_error) {
  std::string name = native(path);
  if (name.empty()) name = ".";
  struct statvfs sv;
  if (statvfs(name.c_str(), &sv) != 0) return fail_errno(system_error);
  *free_bytes = uint64_t(sv.f_bavail) * sv.f_frsize;
  *total_bytes = uint64_t(sv.f_blocks) * sv.f_frsize;
  return true;
}

bool volume_exists_w(const char16_t* root) {
  struct stat st;
  return stat(native(root).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool has_drive_letters() { return false; }

}  // namespace plat
