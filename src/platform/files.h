// Files, paths, directories and the script-file search.
#pragma once
#include <cstddef>
#include <cstdint>

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

// The opens above for UTF-16 names, which reach the system unchanged (POSIX: as UTF-8).
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

}  // namespace plat
