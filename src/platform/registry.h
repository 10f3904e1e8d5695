// The registry: a tree of keys below a few predefined roots, each key holding named, typed values.
//
// Windows: the system's registry. POSIX: a persistent store with the same model, kept in a SQLite database
// ($TOV_REGISTRY, else $XDG_CONFIG_HOME/tov/registry.db, else ~/.config/tov/registry.db). Every change is one
// transaction, so a process killed at any moment leaves every key whole, and processes that share the store
// lose nothing when they write at once. The store is created by the first change; until then it reads as
// empty. On POSIX the classes root is the key Software\Classes of the local machine, as on Windows when
// no user has classes of their own.
//
// Names of keys and values compare without regard to case. Subkey paths separate their keys with "\".
// Results of the functions that return uint32_t are Windows error numbers: 0 success, 2 not found, 5 access
// denied, 6 invalid handle, 87 invalid parameter, 161 bad path, 1018 the key was deleted since it was opened.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

namespace plat {

// A key handle: one of the predefined roots, or a number this interface handed out for an opened key
// (never 0, always below 0x80000000), valid in the whole process until reg_close_key.
using RegKey = uint32_t;
constexpr RegKey REGROOT_CLASSES = 0x80000000u;
constexpr RegKey REGROOT_CURRENT_USER = 0x80000001u;
constexpr RegKey REGROOT_LOCAL_MACHINE = 0x80000002u;
constexpr RegKey REGROOT_USERS = 0x80000003u;
constexpr RegKey REGROOT_CURRENT_CONFIG = 0x80000005u;

// Value types, numbered as the registry numbers them. Strings are stored as UTF-16 (little-endian) with
// their terminating NUL, multi-strings as NUL-separated UTF-16 strings ending in a double NUL.
enum RegType : uint32_t {
  REGT_NONE = 0,
  REGT_SZ = 1,
  REGT_EXPAND_SZ = 2,
  REGT_BINARY = 3,
  REGT_DWORD = 4,              // little-endian
  REGT_DWORD_BIG_ENDIAN = 5,
  REGT_LINK = 6,
  REGT_MULTI_SZ = 7,
  REGT_QWORD = 11,
};

// Windows error numbers the registry functions return.
constexpr uint32_t REGERR_NOT_FOUND = 2;
constexpr uint32_t REGERR_ACCESS_DENIED = 5;
constexpr uint32_t REGERR_INVALID_HANDLE = 6;
constexpr uint32_t REGERR_NOT_SUPPORTED = 50;
constexpr uint32_t REGERR_BAD_NETPATH = 53;
constexpr uint32_t REGERR_INVALID_PARAMETER = 87;
constexpr uint32_t REGERR_BAD_PATHNAME = 161;
constexpr uint32_t REGERR_KEY_DELETED = 1018;

// Read only, or read and write. On Windows a key that denies writing is opened for reading only instead.
enum class RegAccess { Read, ReadWrite };
// Which registry a 64-bit Windows shows: the process's own view, or the 32-bit or 64-bit one explicitly.
// POSIX has one registry: every view shows it.
enum class RegView { Native, Wow32, Wow64 };

uint32_t reg_open_key(RegKey parent, const char16_t* subkey, RegAccess access, RegView view, RegKey* out);
// Opens the subkey for reading and writing, creating it and any missing keys on its path.
uint32_t reg_create_key(RegKey parent, const char16_t* subkey, RegView view, RegKey* out);
// Closing a predefined root does nothing and succeeds.
uint32_t reg_close_key(RegKey key);
// Deletes the subkey with all its subkeys and values. An empty subkey deletes the key itself (not a root).
uint32_t reg_delete_key(RegKey parent, const char16_t* subkey, RegView view);

// A value of the key; the empty name is the key's default value. data receives the stored bytes.
uint32_t reg_query_value(RegKey key, const char16_t* name, uint32_t* type, std::string* data);
uint32_t reg_set_value(RegKey key, const char16_t* name, uint32_t type, const void* data, size_t size);
uint32_t reg_delete_value(RegKey key, const char16_t* name);
// Opens the subkey for reading, queries the value and closes the subkey again.
uint32_t reg_get_value(RegKey parent, const char16_t* subkey, const char16_t* name, uint32_t* type,
                       std::string* data);

// The names of the key's subkeys and of its values (the default value, when it is set, has the empty
// name). Subkeys come in the order of their names without regard to case; values in the order the
// registry keeps them (the POSIX store: by name, as for subkeys).
uint32_t reg_subkey_names(RegKey key, std::vector<std::u16string>* names);
uint32_t reg_value_names(RegKey key, std::vector<std::u16string>* names);
// When the key, one of its values or the list of its subkeys last changed, in local time.
uint32_t reg_last_write_time(RegKey key, LocalTime* when);

// A predefined root of another computer's registry (Windows serves the local machine and the users). An
// empty name, "." or this computer's own name (with or without a leading "\\") gives a handle of this
// computer's root. POSIX reaches no other computer: 53 (bad network path).
uint32_t reg_connect(const char16_t* computer, RegKey root, RegKey* out);

// Loads a hive file as the subkey of a root, and unloads it again. The backup and restore privileges are
// enabled first; privilege_failed tells that this step failed. POSIX: not supported (50).
uint32_t reg_load_hive(RegKey key, const char16_t* subkey, const char16_t* file, bool* privilege_failed);
uint32_t reg_unload_hive(RegKey key, const char16_t* subkey, bool* privilege_failed);

}  // namespace plat
