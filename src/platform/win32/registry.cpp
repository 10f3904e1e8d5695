// The registry on Windows, through the system's wide-character registry functions. The key handles handed
// out are numbers of a process-wide table: they fit a script's 32-bit integers in every build, and a
// number that names no opened key is refused instead of reaching the system as some other handle.
#include <windows.h>

#include <mutex>
#include <unordered_map>

#include "platform/registry.h"

namespace plat {
namespace {

class KeyTable {
 public:
  // The system's handle of a key handle, or nullptr.
  HKEY native(RegKey key) {
    switch (key) {
      case REGROOT_CLASSES: return HKEY_CLASSES_ROOT;
      case REGROOT_CURRENT_USER: return HKEY_CURRENT_USER;
      case REGROOT_LOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
      case REGROOT_USERS: return HKEY_USERS;
      case REGROOT_CURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
      default: break;
    }
    std::lock_guard<std::mutex> guard(lock_);
    auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : it->second;
  }
  RegKey add(HKEY h) {
    std::lock_guard<std::mutex> guard(lock_);
    while (next_ == 0 || next_ >= 0x80000000u || keys_.count(next_)) next_ = next_ >= 0x80000000u ? 1 : next_ + 1;
    keys_[next_] = h;
    return next_++;
  }
  // Takes the handle out of the table; nullptr when it names no opened key.
  HKEY remove(RegKey key) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = keys_.find(key);
    if (it == keys_.end()) return nullptr;
    HKEY h = it->second;
    keys_.erase(it);
    return h;
  }

 private:
  std::mutex lock_;
  std::unordered_map<RegKey, HKEY> keys_;
  RegKey next_ = 0x100;
};

KeyTable& table() {
  static KeyTable t;
  return t;
}

bool is_root(RegKey key) { return key >= REGROOT_CLASSES && key <= REGROOT_CURRENT_CONFIG; }

REGSAM view_flag(RegView view) {
  switch (view) {
    case RegView::Wow32: return KEY_WOW64_32KEY;
    case RegView::Wow64: return KEY_WOW64_64KEY;
    default: return 0;
  }
}

const wchar_t* w(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s ? s : u""); }

uint32_t opened(LONG r, HKEY h, RegKey* out) {
  if (r == ERROR_SUCCESS) *out = table().add(h);
  return uint32_t(r);
}

// The names of an enumeration: next(index, buffer, length in-out) until it reports no more items.
template <typename Next>
uint32_t enumerate(std::vector<std::u16string>* names, Next next) {
  names->clear();
  std::vector<wchar_t> buffer(256);
  for (DWORD index = 0;;) {
    DWORD length = DWORD(buffer.size());
    const LONG r = next(index, buffer.data(), &length);
    if (r == ERROR_NO_MORE_ITEMS) return 0;
    if (r == ERROR_MORE_DATA && buffer.size() < 65536) {
      buffer.resize(buffer.size() * 4);
      continue;
    }
    if (r != ERROR_SUCCESS) return uint32_t(r);
    names->emplace_back(reinterpret_cast<const char16_t*>(buffer.data()), length);
    ++index;
  }
}

// Enables the backup and restore privileges that loading and unloading hives need.
bool enable_hive_privileges() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  bool ok = true;
  for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ok = ok && LookupPrivilegeValueW(nullptr, name, &p.Privileges[0].Luid) &&
         AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return ok;
}

}  // namespace

uint32_t reg_open_key(RegKey parent, const char16_t* subkey, RegAccess access, RegView view, RegKey* out) {
  *out = 0;
  HKEY p = table().native(parent), h = nullptr;
  if (!p) return REGERR_INVALID_HANDLE;
  const REGSAM flag = view_flag(view);
  LONG r = ERROR_ACCESS_DENIED;
  if (access == RegAccess::ReadWrite) r = RegOpenKeyExW(p, w(subkey), 0, KEY_READ | KEY_WRITE | flag, &h);
  // A key the user may only read is opened for reading; writing to it fails when it is tried.
  if (r == ERROR_ACCESS_DENIED) r = RegOpenKeyExW(p, w(subkey), 0, KEY_READ | flag, &h);
  return opened(r, h, out);
}

uint32_t reg_create_key(RegKey parent, const char16_t* subkey, RegView view, RegKey* out) {
  *out = 0;
  HKEY p = table().native(parent), h = nullptr;
  if (!p) return REGERR_INVALID_HANDLE;
  const LONG r =
      RegCreateKeyExW(p, w(subkey), 0, nullptr, 0, KEY_READ | KEY_WRITE | view_flag(view), nullptr, &h, nullptr);
  return opened(r, h, out);
}

uint32_t reg_close_key(RegKey key) {
  if (is_root(key)) return 0;
  HKEY h = table().remove(key);
  return h ? uint32_t(RegCloseKey(h)) : REGERR_INVALID_HANDLE;
}

uint32_t reg_delete_key(RegKey parent, const char16_t* subkey, RegView view) {
  HKEY p = table().native(parent);
  if (!p) return REGERR_INVALID_HANDLE;
  const bool itself = !subkey || !*subkey;
  if (itself && is_root(parent)) return REGERR_ACCESS_DENIED;
  const REGSAM flag = view_flag(view);
  HKEY h = p;
  if (!itself) {
    const LONG r = RegOpenKeyExW(p, w(subkey), 0, DELETE | KEY_READ | KEY_SET_VALUE | flag, &h);
    if (r != ERROR_SUCCESS) return uint32_t(r);
  }
  LONG r = RegDeleteTreeW(h, nullptr);
  if (!itself) RegCloseKey(h);
  if (r == ERROR_SUCCESS) r = RegDeleteKeyExW(p, w(subkey), flag, 0);
  return uint32_t(r);
}

uint32_t reg_query_value(RegKey key, const char16_t* name, uint32_t* type, std::string* data) {
  data->clear();
  *type = REG_NONE;
  HKEY h = table().native(key);
  if (!h) return REGERR_INVALID_HANDLE;
  DWORD t = 0, size = 0;
  LONG r = RegQueryValueExW(h, w(name), nullptr, &t, nullptr, &size);
  // The value may grow between the two calls: read again with the size it has then.
  while (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
    data->resize(size);
    DWORD got = size;
    r = RegQueryValueExW(h, w(name), nullptr, &t, reinterpret_cast<BYTE*>(data->data()), &got);
    if (r == ERROR_SUCCESS) {
      data->resize(got);
      *type = t;
      return 0;
    }
    size = got;
  }
  data->clear();
  return uint32_t(r);
}

uint32_t reg_set_value(RegKey key, const char16_t* name, uint32_t type, const void* data, size_t size) {
  HKEY h = table().native(key);
  if (!h) return REGERR_INVALID_HANDLE;
  if (size > 0xFFFFFFFFu) return REGERR_INVALID_PARAMETER;
  return uint32_t(RegSetValueExW(h, w(name), 0, type, static_cast<const BYTE*>(data), DWORD(size)));
}

uint32_t reg_delete_value(RegKey key, const char16_t* name) {
  HKEY h = table().native(key);
  return h ? uint32_t(RegDeleteValueW(h, w(name))) : REGERR_INVALID_HANDLE;
}

uint32_t reg_subkey_names(RegKey key, std::vector<std::u16string>* names) {
  HKEY h = table().native(key);
  if (!h) return REGERR_INVALID_HANDLE;
  return enumerate(names, [h](DWORD i, wchar_t* buf, DWORD* n) {
    return RegEnumKeyExW(h, i, buf, n, nullptr, nullptr, nullptr, nullptr);
  });
}

uint32_t reg_value_names(RegKey key, std::vector<std::u16string>* names) {
  HKEY h = table().native(key);
  if (!h) return REGERR_INVALID_HANDLE;
  return enumerate(names, [h](DWORD i, wchar_t* buf, DWORD* n) {
    return RegEnumValueW(h, i, buf, n, nullptr, nullptr, nullptr, nullptr);
  });
}

uint32_t reg_last_write_time(RegKey key, LocalTime* when) {
  HKEY h = table().native(key);
  if (!h) return REGERR_INVALID_HANDLE;
  FILETIME utc, local;
  SYSTEMTIME st;
  const LONG r = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, &utc);
  if (r != ERROR_SUCCESS) return uint32_t(r);
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return GetLastError();
  *when = LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek};
  return 0;
}

uint32_t reg_connect(const char16_t* computer, RegKey root, RegKey* out) {
  *out = 0;
  if (!is_root(root)) return REGERR_INVALID_HANDLE;
  HKEY h = nullptr;
  const LONG r = RegConnectRegistryW(computer && *computer ? w(computer) : nullptr, table().native(root), &h);
  return opened(r, h, out);
}

uint32_t reg_load_hive(RegKey key, const char16_t* subkey, const char16_t* file, bool* privilege_failed) {
  HKEY h = table().native(key);
  *privilege_failed = false;
  if (!h) return REGERR_INVALID_HANDLE;
  if (!enable_hive_privileges()) {
    *privilege_failed = true;
    return GetLastError();
  }
  return uint32_t(RegLoadKeyW(h, w(subkey), w(file)));
}

uint32_t reg_unload_hive(RegKey key, const char16_t* subkey, bool* privilege_failed) {
  HKEY h = table().native(key);
  *privilege_failed = false;
  if (!h) return REGERR_INVALID_HANDLE;
  if (!enable_hive_privileges()) {
    *privilege_failed = true;
    return GetLastError();
  }
  return uint32_t(RegUnLoadKeyW(h, w(subkey)));
}

}  // namespace plat
