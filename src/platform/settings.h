// Settings: the machine-wide settings key and profile (INI) files.
#pragma once
#include <cstddef>

namespace plat {

// Reads an integer setting: the registry value named key under HKEY_LOCAL_MACHINE
// "Software\Marrowgate\Settings\<file base name>\<section>" (a number, or a string holding one); a missing
// key or value gives def. POSIX: the registry store (platform/registry.h).
int settings_get_int(const char* file_name, const char* section, const char* key, int def);

// Profile (INI) files follow the Windows profile rules. A file named without any directory ("x.ini") is
// one of the Windows directory (POSIX: the folder of WIN.INI, $XDG_CONFIG_HOME/tov).
//
// Reads a value of a profile file. Returns the length copied
// (the value is cut to out_cap - 1 bytes and NUL-terminated). A missing file, section or key gives def
// (without its trailing blanks). With key nullptr the result is the list of the section's key names,
// with section nullptr the list of all section names: each name ends with a NUL and the list with a
// second one; the result is the length without the final NUL, or out_cap - 2 when the list was cut.
// POSIX: "[name]" starts a section, "key=value" lines follow; names compare without regard to case;
// blanks around names and values go, as do quotes (" or ') that enclose a whole value; lines starting
// with ";" are comments; only the first section of a name is read, and its first key of a name; lists
// name every section and key line, repeated names too.
size_t profile_get_string(const char* file, const char* section, const char* key, const char* def,
                          char* out, size_t out_cap);
// Writes a value of a profile file by the Windows profile rules: the key's line is replaced, or added at
// the end of its section (the section is added at the end of the file when it is missing; the file is
// created when needed). A null value removes the key, a null key the whole section; removing what is not
// there leaves the file as it is. A null section only flushes the system's cache of the file (POSIX keeps
// none). False when the file cannot be written.
bool profile_write_string(const char* file, const char* section, const char* key, const char* value);
// Whether the file exists, found as the functions above find it.
bool profile_file_exists(const char* file);

// The same for the system's own profile (WIN.INI; POSIX: $XDG_CONFIG_HOME/tov/win.ini).
size_t system_profile_get_string(const char* section, const char* key, const char* def,
                                 char* out, size_t out_cap);
bool system_profile_write_string(const char* section, const char* key, const char* value);

// Tells the programs of the session that a section of the system's profile changed (Windows: the
// settings-changed message to all top-level windows; a window that does not answer within a second is
// not waited for). POSIX: nothing to tell.
void broadcast_profile_change(const char* section);

}  // namespace plat
