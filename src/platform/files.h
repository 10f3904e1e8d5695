// Files, paths, directories and the script-file search.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/system.h"

namespace plat {

constexpr size_t MAX_PATH_CHARS = 260;

using FileHandle = intptr_t;
constexpr FileHandle INVALID_FILE = -1;

// Opens an existing file for reading, sharing read access with others. A directory is refused.
// system_error (may be null) receives the Windows error number of a failure (2 not found, 5 denied).
FileHandle file_open_read(const char* path, uint32_t* system_error);
bool file_size(FileHandle f, uint64_t* size);
// Reads up to n bytes; returns the number read, or -1 on failure.
int64_t file_read(FileHandle f, void* buffer, size_t n);
void file_close(FileHandle f);

// Creates a file for writing, emptying one that exists; no other process may open it until it is closed.
FileHandle file_create(const char* path, uint32_t* system_error);
// Writes all n bytes; false on failure, with the Windows error number in system_error (may be null).
bool file_write(FileHandle f, const void* data, size_t n, uint32_t* system_error);

// Opens a file for writing anywhere in it without emptying it, creating it when it is missing; no other
// process may open it until it is closed.
FileHandle file_open_write(const char* path, uint32_t* system_error);
// Moves the position of an open file to an offset from its start.
bool file_seek(FileHandle f, uint64_t offset);

// The opens above for UTF-16 names, which reach the system unchanged (POSIX: as UTF-8); file_open_w
// below with the same access and sharing.
FileHandle file_open_read_w(const char16_t* path, uint32_t* system_error);
FileHandle file_create_w(const char16_t* path, uint32_t* system_error);
FileHandle file_open_write_w(const char16_t* path, uint32_t* system_error);

// Appends bytes to a file opened for writing without sharing, creating it when it is missing.
bool file_append(const char* path, const void* data, size_t n);

enum class FileCheck { NotFound, Found, InUse };
// Existence of a file, not a directory (a file that exists but denies access counts as found); with
// open_check the file is also
// opened for reading: a sharing violation means found but in use, any other failure not found.
FileCheck file_check(const char* path, bool open_check);

bool is_path_separator(char c);
char path_list_separator();     // between the directories of PATH
char path_separator();          // the separator full paths are written with
// True for a name that names its own drive or root: "C:\x", "\\server\x" on Windows, "/x" on POSIX.
bool path_is_absolute(const char* name);
// True when the name carries a drive or a directory part.
bool path_has_directory(const char* name);
// Length of the directory part including its final separator (0 when there is none).
size_t path_directory_length(const char* path);

// Makes a name absolute against the current directory. Returns the length, 0 on failure or overflow.
size_t full_path(const char* name, char* out, size_t out_cap);
// The file search of scripts and language files: a bare name is looked for along the directories of
// PATH, then (Windows) by the system's own search order; a name with a directory, or one not found that
// way, is made absolute against the current directory and found when it exists. Leading blanks are
// skipped; an empty name is not found. The found full path is written to out (empty when not found).
FileCheck search_file(const char* name, char* out, size_t out_cap, bool open_check);

size_t current_directory(char* out, size_t out_cap);   // length, 0 on failure
bool set_current_directory(const char* path);

// Directory of the Engine's own module file, with its final separator.
size_t engine_module_directory(char* out, size_t out_cap);
// The per-user application-data folder (Windows: the folder id 26 of the shell, else the Windows
// directory; POSIX: $XDG_CONFIG_HOME, else ~/.config).
size_t app_data_directory(char* out, size_t out_cap);


// --- Files and directories by UTF-16 names ------------------------------------------------------------
// The names reach the system exactly (Windows: its wide functions; POSIX: UTF-8, where "\\" separates
// like "/"). Failures give the Windows error number in system_error (may be null): 2 file not found,
// 3 path not found, 5 access denied, 32 sharing violation, 80 file exists, 112 disk full, 145 directory
// not empty, 183 already exists.

constexpr uint32_t SYSTEM_ERROR_NOT_FOUND = 2;
constexpr uint32_t SYSTEM_ERROR_SHARING = 32;
constexpr uint32_t SYSTEM_ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t SYSTEM_ERROR_EXISTS = 80;
constexpr uint32_t SYSTEM_ERROR_ALREADY_EXISTS = 183;

enum FileAccess : uint32_t { ACCESS_READ = 1, ACCESS_WRITE = 2 };
// What other opens of the file may do while this one lasts. POSIX keeps the rule with advisory locks
// that other programs may ignore: no sharing takes an exclusive lock, read sharing a shared one, and
// write sharing none.
enum FileShare : uint32_t { SHARE_NONE = 0, SHARE_READ = 1, SHARE_WRITE = 2 };
enum class FileCreate {
  OpenExisting,   // fails when the file does not exist
  CreateAlways,   // creates the file or empties the one that exists
  OpenAlways,     // opens the file, creating it empty when it does not exist
};
FileHandle file_open_w(const char16_t* path, uint32_t access, uint32_t share, FileCreate how, uint32_t* system_error);
enum class SeekFrom { Begin, Current, End };
// Moves the file position; the new position, or -1 on failure.
int64_t file_seek(FileHandle f, int64_t offset, SeekFrom from);

// File times: 100-nanosecond intervals since 1601-01-01 00:00 UTC. 0 means unknown.
using FileTime = int64_t;
FileTime file_time_now();
// The local time of a file time, and back (false for a local time the system cannot represent).
LocalTime file_time_to_local(FileTime t);
bool local_to_file_time(const LocalTime& local, FileTime* t);

// Attribute bits, as Windows numbers them. POSIX: read-only is the lack of the owner's write permission,
// a name beginning with "." is hidden, and archive, system and hidden can be kept in an extended
// attribute of the file where the file system has them.
enum FileAttribute : uint32_t {
  ATTR_READONLY = 0x1,
  ATTR_HIDDEN = 0x2,
  ATTR_SYSTEM = 0x4,
  ATTR_DIRECTORY = 0x10,
  ATTR_ARCHIVE = 0x20,
  ATTR_NORMAL = 0x80,          // only when no other bit is set
  ATTR_TEMPORARY = 0x100,
  ATTR_COMPRESSED = 0x800,
  ATTR_OFFLINE = 0x1000,
  ATTR_NOT_INDEXED = 0x2000,
};

struct FileInfo {
  uint64_t size;
  FileTime created, modified, accessed;   // created is 0 where the file system does not keep it
  uint32_t attributes;
};
// Information about a file or directory (a symbolic link is followed).
bool file_info_w(const char16_t* path, FileInfo* info, uint32_t* system_error);
bool file_set_attributes_w(const char16_t* path, uint32_t attributes, uint32_t* system_error);
// Sets the times that are not null; the creation time cannot be set on POSIX (error 50).
bool file_set_times_w(const char16_t* path, const FileTime* created, const FileTime* modified,
                      const FileTime* accessed, uint32_t* system_error);
// True when both names exist and are the same file (also through links or another spelling).
bool same_file_w(const char16_t* a, const char16_t* b);

// A read-only file cannot be deleted, replaced or written to, on POSIX as well.
bool file_delete_w(const char16_t* path, uint32_t* system_error);
// Copies a file's data, attributes and modification time over the target, replacing it.
bool file_copy_w(const char16_t* from, const char16_t* to, uint32_t* system_error);
// Renames or moves a file or directory. replace: an existing target file is replaced, else the move fails
// (183). across_volumes: a file may be copied to another volume and deleted, else that fails.
bool file_move_w(const char16_t* from, const char16_t* to, bool replace, bool across_volumes,
                 uint32_t* system_error);

bool dir_make_w(const char16_t* path, uint32_t* system_error);     // one level
bool dir_remove_w(const char16_t* path, uint32_t* system_error);   // an empty directory
struct DirEntry {
  std::u16string name;
  bool directory;
  bool link;        // a symbolic link or other reparse point
};
// The entries of a directory ("" is the current one), without "." and "..", in no particular order.
bool dir_list_w(const char16_t* dir, std::vector<DirEntry>* entries, uint32_t* system_error);

bool current_directory_w(std::u16string* out);
bool set_current_directory_w(const char16_t* path, uint32_t* system_error);
// The absolute form of a name: against the current directory, "." and ".." resolved, the system's
// separators. Empty on failure.
std::u16string full_path_w(const char16_t* name);
// The folder for temporary files, with its final separator.
std::u16string temp_directory_w();
// Creates an empty file of a new name in dir: the prefix (at most three characters), a number in
// hexadecimal and ".tmp".
bool temp_file_w(const char16_t* dir, const char16_t* prefix, std::u16string* path, uint32_t* system_error);
// Free and total bytes of the volume that holds path, as far as the caller may use them.
bool disk_space_w(const char16_t* path, uint64_t* free_bytes, uint64_t* total_bytes, uint32_t* system_error);
// True when the root ("C:\", "\\server\share\"; POSIX: any directory) names a volume that exists.
bool volume_exists_w(const char16_t* root);
// True when names of this system begin with a drive letter ("C:").
bool has_drive_letters();

}  // namespace plat
