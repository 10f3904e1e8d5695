// Registry values: query, set, delete and test the values of keys, addressed by key-and-value strings.
#include <new>
#include <string>

#include "builtins/args.h"
#include "builtins/reg_support.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/keywords.h"

namespace tov {

namespace {

// Bit 0 of the last argument of RegQueryDword and RegSetDword: hexadecimal text.
constexpr int32_t DWORD_HEX = 1;

// The value a call addresses: the key argument, the key-and-value string, the view.
struct Target {
  plat::RegKey parent;
  KeyAndValue kv;
  ViewChoice choice;
};

bool target_of(RunContext* ctx, ArgBlock& a, int32_t view_arg, Target* t) {
  t->parent = plat::RegKey(arg_int(a, 1));
  return choose_view(ctx, t->parent, view_arg, &t->choice) &&
         split_key_value(ctx, arg_wide(ctx, a, 2), t->choice, &t->kv);
}

// Reads the addressed value. False with the error set: 1452 when the subkey does not open, 1233 when the
// value cannot be read.
bool read_value(RunContext* ctx, const Target& t, uint32_t* type, std::string* data) {
  ScopedKey key;
  if (const uint32_t e = key.open(t.parent, t.kv.subkey, plat::RegAccess::Read, false, t.choice.view)) {
    api_failure(ctx, e, "RegOpenKeyEx", ERR_REG_SUBKEY_OPEN);
    return false;
  }
  uint32_t e;
  try {
    e = plat::reg_query_value(key.get(), t.kv.value.c_str(), type, data);
  } catch (const std::bad_alloc&) {
    ctx->err = ERR_REG_MEMORY;
    return false;
  }
  if (e) api_failure(ctx, e, "RegQueryValueEx", ERR_REGQUERYVALUE_FAILED);
  return e == 0;
}

// Writes the addressed value, creating the subkey when it is missing.
void write_value(RunContext* ctx, Value* result, const Target& t, uint32_t type, const std::string& data) {
  ScopedKey key;
  if (const uint32_t e = key.open(t.parent, t.kv.subkey, plat::RegAccess::ReadWrite, true, t.choice.view)) {
    api_failure(ctx, e, "RegCreateKeyEx", ERR_REG_SUBKEY_OPEN);
    return;
  }
  if (const uint32_t e = plat::reg_set_value(key.get(), t.kv.value.c_str(), type, data.data(), data.size())) {
    api_failure(ctx, e, "RegSetValueEx", ERR_REGSETVALUE_FAILED);
    return;
  }
  set_integer(ctx, result->c, 1);
}

// The delimiter argument n: exactly one character (1487 otherwise).
bool delimiter_of(RunContext* ctx, ArgBlock& a, int n, char16_t* delimiter) {
  const std::u16string d = arg_wide(ctx, a, n);
  if (d.size() != 1) {
    ctx->err = ERR_REG_MULSZ_DELIMITER;
    return false;
  }
  *delimiter = d[0];
  return true;
}

// --- queries ----------------------------------------------------------------------------------------------

// Reads the value of arguments 1 and 2 in the view view_arg; the conversion gives the result's text, or
// sets an error (then it returns false).
template <typename Convert>
void query(RunContext* ctx, Value* result, ArgBlock& a, int32_t view_arg, bool wide, Convert convert) {
  Target t;
  uint32_t type = 0;
  std::string data;
  std::u16string text;
  if (target_of(ctx, a, view_arg, &t) && read_value(ctx, t, &type, &data) && convert(type, data, &text))
    set_text_result(ctx, result, text, wide);
}

bool type_error(RunContext* ctx, uint16_t error) {
  ctx->err = error;
  return false;
}

void bi_regqueryvalue(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  query(ctx, result, a, optional_int(a, argc, 3), wide, [ctx](uint32_t type, const std::string& data, std::u16string* text) {
    switch (type) {
      case plat::REGT_SZ: *text = text_of_bytes(data); return true;
      case plat::REGT_DWORD: case plat::REGT_DWORD_BIG_ENDIAN:
        *text = dword_text(data, type == plat::REGT_DWORD_BIG_ENDIAN, false);
        return true;
      case plat::REGT_EXPAND_SZ: return type_error(ctx, ERR_REGQUERYVALUE_EXPSZ);
      case plat::REGT_BINARY: return type_error(ctx, ERR_REGQUERYVALUE_BINARY);
      case plat::REGT_MULTI_SZ: return type_error(ctx, ERR_REGQUERYVALUE_MULSZ);
      case plat::REGT_QWORD: return type_error(ctx, ERR_REGQUERYVALUE_QWORD);
      default: return type_error(ctx, ERR_REGQUERYVALUE_OTHER);
    }
  });
}

void bi_regquerystr(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  query(ctx, result, a, optional_int(a, argc, 3), wide, [ctx](uint32_t type, const std::string& data, std::u16string* text) {
    if (type == plat::REGT_SZ) *text = text_of_bytes(data);
    else if (type == plat::REGT_EXPAND_SZ) *text = expand_environment(text_of_bytes(data));
    else return type_error(ctx, ERR_REGQUERYSTR_TYPE);
    return true;
  });
}

void bi_regqueryexpsz(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  query(ctx, result, a, optional_int(a, argc, 3), wide, [ctx](uint32_t type, const std::string& data, std::u16string* text) {
    if (type != plat::REGT_EXPAND_SZ) return type_error(ctx, ERR_REGQUERYEXPSZ_TYPE);
    *text = text_of_bytes(data);
    return true;
  });
}

void bi_regquerydword(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const int32_t flags = optional_int(a, argc, 3);
  const bool hex = flags & DWORD_HEX;
  query(ctx, result, a, flags & ~DWORD_HEX, wide, [ctx, hex](uint32_t type, const std::string& data, std::u16string* text) {
    if (type != plat::REGT_DWORD && type != plat::REGT_DWORD_BIG_ENDIAN) return type_error(ctx, ERR_REGQUERYDWORD_TYPE);
    *text = dword_text(data, type == plat::REGT_DWORD_BIG_ENDIAN, hex);
    return true;
  });
}

void bi_regqueryqword(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  query(ctx, result, a, optional_int(a, argc, 3), wide, [ctx](uint32_t type, const std::string& data, std::u16string* text) {
    if (type != plat::REGT_QWORD) return type_error(ctx, ERR_REGQUERYQWORD_TYPE);
    *text = spaced_hex(data);
    return true;
  });
}

void bi_regquerybin(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  query(ctx, result, a, optional_int(a, argc, 3), wide, [ctx](uint32_t type, const std::string& data, std::u16string* text) {
    if (type != plat::REGT_BINARY) return type_error(ctx, ERR_REGQUERYBIN_TYPE);
    *text = spaced_hex(data);
    return true;
  });
}

void bi_regquerymulsz(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  char16_t delimiter;
  if (!delimiter_of(ctx, a, 3, &delimiter)) return;
  query(ctx, result, a, optional_int(a, argc, 4), wide, [ctx, delimiter](uint32_t type, const std::string& data, std::u16string* text) {
    if (type != plat::REGT_MULTI_SZ) return type_error(ctx, ERR_REGQUERYMULSZ_TYPE);
    *text = multi_of_bytes(data, delimiter);
    return true;
  });
}

// RegQueryEx(key, key-and-value, delimiter, type, view): a value of any type as text, in the form that
// RegSetEx takes: strings as stored (unexpanded), 32-bit numbers in decimal, multi-strings joined by the
// delimiter, everything else as hexadecimal bytes. A type other than 0 is the type the value must have.
void bi_regqueryex(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const int32_t wanted = arg_int(a, 4);
  if (wanted < 0) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  query(ctx, result, a, optional_int(a, argc, 5), wide, [&](uint32_t type, const std::string& data, std::u16string* text) {
    if (wanted && uint32_t(wanted) != type) return type_error(ctx, ERR_REGQUERYEX_TYPE);
    char16_t delimiter;
    switch (type) {
      case plat::REGT_SZ: case plat::REGT_EXPAND_SZ: case plat::REGT_LINK: *text = text_of_bytes(data); return true;
      case plat::REGT_DWORD: case plat::REGT_DWORD_BIG_ENDIAN:
        *text = dword_text(data, type == plat::REGT_DWORD_BIG_ENDIAN, false);
        return true;
      case plat::REGT_MULTI_SZ:
        if (!delimiter_of(ctx, a, 3, &delimiter)) return false;
        *text = multi_of_bytes(data, delimiter);
        return true;
      default: *text = spaced_hex(data); return true;
    }
  });
}

// RegEntryType(key, key-and-value, view): the type number of the value.
void bi_regentrytype(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  Target t;
  uint32_t type = 0;
  std::string data;
  if (target_of(ctx, a, optional_int(a, argc, 3), &t) && read_value(ctx, t, &type, &data))
    set_integer(ctx, result->c, int32_t(type));
}

// --- setting ----------------------------------------------------------------------------------------------

// Builds the data of a value of the given type from the script's text (the RegSetEx forms). Errors: 1459
// for numbers, 1487 for the delimiter of a multi-string, 1743 for 64-bit numbers, 1457 for other bytes.
bool data_of_text(RunContext* ctx, uint32_t type, const std::u16string& text, ArgBlock& a, int delimiter_arg,
                  bool hex, std::string* data) {
  uint32_t number = 0;
  char16_t delimiter;
  switch (type) {
    case plat::REGT_SZ: case plat::REGT_EXPAND_SZ: *data = bytes_of_text(text, true); return true;
    case plat::REGT_LINK: *data = bytes_of_text(text, false); return true;
    case plat::REGT_DWORD: case plat::REGT_DWORD_BIG_ENDIAN:
      if (!dword_of_text(text, hex, &number)) return type_error(ctx, ERR_REGSETDWORD_VALUE);
      if (type == plat::REGT_DWORD_BIG_ENDIAN) number = __builtin_bswap32(number);
      data->assign(4, '\0');
      for (int i = 0; i < 4; ++i) (*data)[size_t(i)] = char(number >> (8 * i));
      return true;
    case plat::REGT_MULTI_SZ:
      if (!delimiter_of(ctx, a, delimiter_arg, &delimiter)) return false;
      *data = bytes_of_multi(text, delimiter);
      return true;
    case plat::REGT_QWORD:
      return bytes_of_spaced_hex(text, data) || type_error(ctx, ERR_REGSETQWORD_VALUE);
    default:
      return bytes_of_spaced_hex(text, data) || type_error(ctx, ERR_REGSETBIN_VALUE);
  }
}

// RegSet*(key, key-and-value, data, flags-and-view): a value of one type.
void set_typed(RunContext* ctx, Value* result, ArgBlock& a, int argc, uint32_t type) {
  const int32_t flags = optional_int(a, argc, 4);
  const bool hex = type == plat::REGT_DWORD && (flags & DWORD_HEX);
  Target t;
  std::string data;
  if (target_of(ctx, a, hex ? flags & ~DWORD_HEX : flags, &t) &&
      data_of_text(ctx, type, arg_wide(ctx, a, 3), a, 0, hex, &data))
    write_value(ctx, result, t, type, data);
}

void bi_regsetvalue(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  set_typed(ctx, result, a, argc, plat::REGT_SZ);
}
void bi_regsetexpsz(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  set_typed(ctx, result, a, argc, plat::REGT_EXPAND_SZ);
}
void bi_regsetdword(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  set_typed(ctx, result, a, argc, plat::REGT_DWORD);
}
void bi_regsetqword(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  set_typed(ctx, result, a, argc, plat::REGT_QWORD);
}
void bi_regsetbin(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  set_typed(ctx, result, a, argc, plat::REGT_BINARY);
}

void bi_regsetmulsz(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  Target t;
  std::string data;
  if (target_of(ctx, a, optional_int(a, argc, 5), &t) &&
      data_of_text(ctx, plat::REGT_MULTI_SZ, arg_wide(ctx, a, 3), a, 4, false, &data))
    write_value(ctx, result, t, plat::REGT_MULTI_SZ, data);
}

// RegSetEx(key, key-and-value, data, delimiter, type, view): a value of any type from its text.
void bi_regsetex(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const int32_t type = arg_int(a, 5);
  if (type < 0) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  Target t;
  std::string data;
  if (target_of(ctx, a, optional_int(a, argc, 6), &t) &&
      data_of_text(ctx, uint32_t(type), arg_wide(ctx, a, 3), a, 4, false, &data))
    write_value(ctx, result, t, uint32_t(type), data);
}

// --- deleting and testing ---------------------------------------------------------------------------------

void bi_regdelvalue(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  Target t;
  if (!target_of(ctx, a, optional_int(a, argc, 3), &t)) return;
  ScopedKey key;
  if (const uint32_t e = key.open(t.parent, t.kv.subkey, plat::RegAccess::ReadWrite, false, t.choice.view)) {
    api_failure(ctx, e, "RegOpenKeyEx", ERR_REG_SUBKEY_OPEN);
    return;
  }
  set_integer(ctx, result->c, plat::reg_delete_value(key.get(), t.kv.value.c_str()) == 0 ? 1 : 0);
}

void bi_regexistvalue(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  Target t;
  if (!target_of(ctx, a, optional_int(a, argc, 3), &t)) return;
  ScopedKey key;
  uint32_t type = 0;
  std::string data;
  const bool exists = key.open(t.parent, t.kv.subkey, plat::RegAccess::Read, false, t.choice.view) == 0 &&
                      plat::reg_query_value(key.get(), t.kv.value.c_str(), &type, &data) == 0;
  set_integer(ctx, result->c, exists ? 1 : 0);
}

const BuiltinEntry kEntries[] = {
    {KW_REGQUERYVALUE, bi_regqueryvalue},
    {KW_REGQUERYSTR, bi_regquerystr},
    {KW_REGQUERYEXPSZ, bi_regqueryexpsz},
    {KW_REGQUERYDWORD, bi_regquerydword},
    {KW_REGQUERYQWORD, bi_regqueryqword},
    {KW_REGQUERYBIN, bi_regquerybin},
    {KW_REGQUERYMULSZ, bi_regquerymulsz},
    {KW_REGQUERYEX, bi_regqueryex},
    {KW_REGENTRYTYPE, bi_regentrytype},
    {KW_REGSETVALUE, bi_regsetvalue},
    {KW_REGSETEXPSZ, bi_regsetexpsz},
    {KW_REGSETDWORD, bi_regsetdword},
    {KW_REGSETQWORD, bi_regsetqword},
    {KW_REGSETBIN, bi_regsetbin},
    {KW_REGSETMULSZ, bi_regsetmulsz},
    {KW_REGSETEX, bi_regsetex},
    {KW_REGDELVALUE, bi_regdelvalue},
    {KW_REGEXISTVALUE, bi_regexistvalue},
};

}  // namespace

extern const BuiltinFamily kRegistryValueBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
