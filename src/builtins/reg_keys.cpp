// Registry keys: open, create, close, delete and test keys, list them, connect to another computer's
// registry, the default view, hives, and the App Paths entries of programs.
#include <cstdio>
#include <string>

#include "builtins/args.h"
#include "builtins/reg_support.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/keywords.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr const char16_t* APP_PATHS = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// Opens (or creates) arguments 1 and 2 in the view of argument view_arg and hands the new key to the
// script. access: read, or read and write.
void open_key(RunContext* ctx, Value* result, ArgBlock& a, int32_t view_arg, plat::RegAccess access, bool create) {
  SubkeyArgs s;
  if (!subkey_args(ctx, a, view_arg, &s)) return;
  plat::RegKey key = 0;
  const uint32_t e = create ? plat::reg_create_key(s.parent, s.subkey.c_str(), s.choice.view, &key)
                            : plat::reg_open_key(s.parent, s.subkey.c_str(), access, s.choice.view, &key);
  if (e) {
    if (create) api_failure(ctx, e, "RegCreateKey", ERR_REGCREATEKEY_FAILED);
    else api_failure(ctx, e, "RegOpenKey", ERR_REGOPENKEY_FAILED);
    return;
  }
  remember_key(ctx, key, mark_of(ctx, s.parent));
  set_integer(ctx, result->c, int32_t(key));
}

void bi_regopenkey(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  open_key(ctx, result, a, optional_int(a, argc, 3), plat::RegAccess::ReadWrite, false);
}

void bi_regcreatekey(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  open_key(ctx, result, a, optional_int(a, argc, 3), plat::RegAccess::ReadWrite, true);
}

// RegOpenKeyEx(key, subkey, mode, view, reserved): mode 0 opens for reading only, 1 for reading and
// writing; the reserved argument must be 0.
void bi_regopenkeyex(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const int32_t mode = arg_int(a, 3);
  if ((mode != 0 && mode != 1) || optional_int(a, argc, 5) != 0) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  open_key(ctx, result, a, optional_int(a, argc, 4), mode ? plat::RegAccess::ReadWrite : plat::RegAccess::Read,
           false);
}

void bi_regclosekey(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const plat::RegKey key = plat::RegKey(arg_int(a, 1));
  if (const uint32_t e = plat::reg_close_key(key)) {
    api_failure(ctx, e, "RegCloseKey", ERR_REGCLOSEKEY_FAILED);
    return;
  }
  forget_key(ctx, key);
  set_integer(ctx, result->c, 1);
}

void bi_regdeletekey(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  SubkeyArgs s;
  if (!subkey_args(ctx, a, optional_int(a, argc, 3), &s)) return;
  if (const uint32_t e = plat::reg_delete_key(s.parent, s.subkey.c_str(), s.choice.view)) {
    api_failure(ctx, e, "RegDeleteKey", ERR_REGDELETEKEY_FAILED);
    return;
  }
  set_integer(ctx, result->c, 1);
}

void bi_regexistkey(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  SubkeyArgs s;
  if (!subkey_args(ctx, a, optional_int(a, argc, 3), &s)) return;
  // Opened even without a subkey, so that a handle that names no key does not count as one.
  plat::RegKey key = 0;
  const bool exists = plat::reg_open_key(s.parent, s.subkey.c_str(), plat::RegAccess::Read, s.choice.view, &key) == 0;
  if (exists) plat::reg_close_key(key);
  set_integer(ctx, result->c, exists ? 1 : 0);
}

// Sets the result to the names, separated by tabs.
void name_list_result(RunContext* ctx, Value* result, const std::vector<std::u16string>& names, bool wide) {
  std::u16string list;
  for (const std::u16string& name : names) {
    if (name.empty()) continue;   // a value list's default value
    if (!list.empty()) list += u'\t';
    list += name;
  }
  set_text_result(ctx, result, list, wide);
}

// RegQueryKeys(key, view): the names of the key's subkeys.
void bi_regquerykeys(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const plat::RegKey parent = plat::RegKey(arg_int(a, 1));
  ViewChoice choice;
  if (!choose_view(ctx, parent, optional_int(a, argc, 2), &choice)) return;
  ScopedKey key;
  std::vector<std::u16string> names;
  uint32_t e = key.open(parent, u"", plat::RegAccess::Read, false, choice.view);
  if (!e) e = plat::reg_subkey_names(key.get(), &names);
  if (e) {
    api_failure(ctx, e, "RegEnumKeyEx", ERR_FUNCTION_FAILED);
    return;
  }
  name_list_result(ctx, result, names, wide);
}

// RegQueryKey(key, index): the name of the subkey at the index (from 0), "" past the last one.
void bi_regquerykey(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t index = arg_int(a, 2);
  if (index < 0) {
    ctx->err = ERR_REGQUERYKEY_INDEX;
    return;
  }
  std::vector<std::u16string> names;
  if (const uint32_t e = plat::reg_subkey_names(plat::RegKey(arg_int(a, 1)), &names)) {
    api_failure(ctx, e, "RegEnumKeyEx", ERR_FUNCTION_FAILED);
    return;
  }
  set_text_result(ctx, result, size_t(index) < names.size() ? names[size_t(index)] : std::u16string(), wide);
}

// Opens the subkey of arguments 1 and 2 in the view of argument 3 for reading (1452 when it does not open).
bool open_for_reading(RunContext* ctx, ArgBlock& a, int argc, ScopedKey* key) {
  SubkeyArgs s;
  if (!subkey_args(ctx, a, optional_int(a, argc, 3), &s)) return false;
  if (const uint32_t e = key->open(s.parent, s.subkey, plat::RegAccess::Read, false, s.choice.view)) {
    api_failure(ctx, e, "RegOpenKeyEx", ERR_REG_SUBKEY_OPEN);
    return false;
  }
  return true;
}

// RegQueryItem(key, subkey, view): the names of the subkey's values (the default value is not listed).
void bi_regqueryitem(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  ScopedKey key;
  if (!open_for_reading(ctx, a, argc, &key)) return;
  std::vector<std::u16string> names;
  if (const uint32_t e = plat::reg_value_names(key.get(), &names)) {
    api_failure(ctx, e, "RegEnumValue", ERR_FUNCTION_FAILED);
    return;
  }
  name_list_result(ctx, result, names, wide);
}

// RegQueryKeyLastWriteTime(key, subkey, view): when the subkey last changed, as YYYY:MM:DD:HH:MM:SS.
void bi_regquerykeylastwritetime(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ScopedKey key;
  if (!open_for_reading(ctx, a, argc, &key)) return;
  plat::LocalTime t{};
  if (const uint32_t e = plat::reg_last_write_time(key.get(), &t)) {
    api_failure(ctx, e, "RegQueryInfoKey", ERR_FUNCTION_FAILED);
    return;
  }
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%04d:%02d:%02d:%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
  set_string(ctx, result->c, text, size_t(n));
}

// RegConnect(computer, root, remote platform): a root key of another computer's registry.
void bi_regconnect(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  RegMark mark = MARK_LOCAL;
  if (argc >= 3) {
    const std::u16string platform = arg_wide(ctx, a, 3);
    if (plat::compare_wide(platform.c_str(), u"REMOTEOS32", true) == 0) mark = MARK_REMOTE32;
    else if (plat::compare_wide(platform.c_str(), u"REMOTEOS64", true) == 0) mark = MARK_REMOTE64;
    else if (!platform.empty()) {
      ctx->err = ERR_INVALID_FLAGS;
      return;
    }
  }
  const std::u16string computer = arg_wide(ctx, a, 1);
  plat::RegKey key = 0;
  if (const uint32_t e = plat::reg_connect(computer.c_str(), plat::RegKey(arg_int(a, 2)), &key)) {
    uint16_t error = ERR_REGCONNECT_FAILED;
    if (e == 1114) error = ERR_REGCONNECT_NO_SERVICE;
    else if (e == 53 || e == 1210) error = ERR_REGCONNECT_COMPUTER;
    else if (e == plat::REGERR_INVALID_HANDLE) error = ERR_REGCONNECT_HANDLE;
    api_failure(ctx, e, "RegConnectRegistry", error);
    return;
  }
  remember_key(ctx, key, mark);
  set_integer(ctx, result->c, int32_t(key));
}

// RegOpenFlags(setting): the run's default view; returns the previous setting.
void bi_regopenflags(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t setting = arg_int(a, 1);
  if (setting != 0 && setting != 1 && setting != 2 && setting != 32 && setting != 64) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  set_integer(ctx, result->c, int32_t(ctx->nRegOpenFlags));
  ctx->nRegOpenFlags = setting == 0 ? REG_VIEW_SETTING_64 : uint32_t(setting);
}

void hive_failure(RunContext* ctx, uint32_t e, bool privilege_failed, const char* api, bool unload) {
  if (privilege_failed) {
    api_failure(ctx, e, "AdjustTokenPrivileges", ERR_REGHIVE_PRIVILEGE);
    return;
  }
  uint16_t error = ERR_REGHIVE_FAILED;
  if (e == plat::REGERR_ACCESS_DENIED) error = ERR_REGHIVE_ACCESS;
  else if (e == plat::REGERR_INVALID_HANDLE) error = ERR_REGHIVE_HANDLE;
  else if (unload && e == plat::REGERR_INVALID_PARAMETER) error = ERR_REGUNLOADHIVE_SUBKEY;
  else if (unload && e == 1010) error = ERR_REGUNLOADHIVE_BAD_KEY;
  api_failure(ctx, e, api, error);
  if (e == plat::REGERR_NOT_SUPPORTED) AddErrorInfo(ctx, "Registry hives are not supported on this platform");
}

// RegLoadHive(key, subkey, file): the hive file becomes the subkey of the key (a root).
void bi_regloadhive(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string subkey = arg_wide(ctx, a, 2), file = arg_wide(ctx, a, 3);
  bool privilege_failed = false;
  if (const uint32_t e = plat::reg_load_hive(plat::RegKey(arg_int(a, 1)), subkey.c_str(), file.c_str(),
                                             &privilege_failed)) {
    hive_failure(ctx, e, privilege_failed, "RegLoadKey", false);
    return;
  }
  set_integer(ctx, result->c, 1);
}

void bi_regunloadhive(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string subkey = arg_wide(ctx, a, 2);
  bool privilege_failed = false;
  if (const uint32_t e = plat::reg_unload_hive(plat::RegKey(arg_int(a, 1)), subkey.c_str(), &privilege_failed)) {
    hive_failure(ctx, e, privilege_failed, "RegUnLoadKey", true);
    return;
  }
  set_integer(ctx, result->c, 1);
}

// RegApp(program, path): registers the program under App Paths of the local machine, so that it starts by
// its name alone: the entry's default value is the program as given, its "Path" value the folders it
// needs on PATH. An empty path removes the entry.
void bi_regapp(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string program = arg_wide(ctx, a, 1), path = arg_wide(ctx, a, 2);
  const size_t slash = program.find_last_of(u"\\/");
  const std::u16string name = slash == std::u16string::npos ? program : program.substr(slash + 1);
  ViewChoice choice;
  if (!choose_view(ctx, plat::REGROOT_LOCAL_MACHINE, 0, &choice)) return;
  const std::u16string subkey = APP_PATHS + name;
  if (name.empty()) {
    api_failure(ctx, plat::REGERR_INVALID_PARAMETER, "RegCreateKey", ERR_REGCREATEKEY_FAILED);
    return;
  }
  if (path.empty()) {
    const uint32_t e = plat::reg_delete_key(plat::REGROOT_LOCAL_MACHINE, subkey.c_str(), choice.view);
    if (e && e != plat::REGERR_NOT_FOUND) {
      api_failure(ctx, e, "RegDeleteKey", ERR_REGDELETEKEY_FAILED);
      return;
    }
    set_integer(ctx, result->c, 1);
    return;
  }
  ScopedKey key;
  if (const uint32_t e = key.open(plat::REGROOT_LOCAL_MACHINE, subkey, plat::RegAccess::ReadWrite, true, choice.view)) {
    api_failure(ctx, e, "RegCreateKey", ERR_REGCREATEKEY_FAILED);
    return;
  }
  const std::string program_data = bytes_of_text(program, true), path_data = bytes_of_text(path, true);
  uint32_t e = plat::reg_set_value(key.get(), u"", plat::REGT_SZ, program_data.data(), program_data.size());
  if (!e) e = plat::reg_set_value(key.get(), u"Path", plat::REGT_SZ, path_data.data(), path_data.size());
  if (e) {
    api_failure(ctx, e, "RegSetValueEx", ERR_REGSETVALUE_FAILED);
    return;
  }
  set_integer(ctx, result->c, 1);
}

const BuiltinEntry kEntries[] = {
    {KW_REGOPENKEY, bi_regopenkey},
    {KW_REGOPENKEYEX, bi_regopenkeyex},
    {KW_REGCREATEKEY, bi_regcreatekey},
    {KW_REGCLOSEKEY, bi_regclosekey},
    {KW_REGDELETEKEY, bi_regdeletekey},
    {KW_REGEXISTKEY, bi_regexistkey},
    {KW_REGQUERYKEYS, bi_regquerykeys},
    {KW_REGQUERYKEY, bi_regquerykey},
    {KW_REGQUERYITEM, bi_regqueryitem},
    {KW_REGQUERYKEYLASTWRITETIME, bi_regquerykeylastwritetime},
    {KW_REGCONNECT, bi_regconnect},
    {KW_REGOPENFLAGS, bi_regopenflags},
    {KW_REGLOADHIVE, bi_regloadhive},
    {KW_REGUNLOADHIVE, bi_regunloadhive},
    {KW_REGAPP, bi_regapp},
};

}  // namespace

extern const BuiltinFamily kRegistryKeyBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
