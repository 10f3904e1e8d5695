// Settings: the machine-wide settings key and profile (INI) files.
#pragma once
#include <cstddef>

namespace plat {

// Reads an integer setting: the registry value named key under HKEY_LOCAL_MACHINE
// "Software\Marrowgate\Settings\<file base name>\<section>"; a missing key or value gives def.
// POSIX: the registry store, once it exists; until then the default.
int settings_get_int(const char* file_name, const char* section, const char* key, int def);

// Reads a value of a profile (INI) file by the Windows profile rules. Returns the length copied
// (the value is cut to out_cap - 1 bytes and NUL-terminated). A missing file, section or key gives def
// (without its trailing blanks). With key nullptr the result is the list of the section's key names,
// with section nullptr the list of all section names: each name ends with a NUL and the list with a
// second one; the result is the length without the final NUL, or out_cap - 2 when the list was cut.
// POSIX: "[name]" starts a section, "key=value" lines follow; names compare without regard to case;
// blanks around names and values go, as do quotes (" or ') that enclose a whole value; lines starting
// with ";" are comments; only the first section of a name is read, and its first key of a name.
size_t profile_get_string(const char* file, const char* section, const char* key, const char* def,
                          char* out, size_t out_cap);
// Writes a value of a profile file by the Windows profile rules: the key's line is replaced, or added at
// the end of its section (the section is added at the end of the file when it is missing; the file is
// created when needed). A null value removes the key, a null key the whole section.
bool profile_write_string(const char* file, const char* section, const char* key, const char* value);

// The same for the system's own profile (WIN.INI; POSIX: $XDG_CONFIG_HOME/tov/win.ini).
size_t system_profile_get_string(const char* section, const char* key, const char* def,
                                 char* out, size_t out_cap);

}  // namespace plat
