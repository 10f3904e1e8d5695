#include "builtins/reg_support.h"

#include <algorithm>
#include <cstdio>

#include "builtins/args.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr size_t SUBKEY_MAX = 2050;

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::u16string wide_of_ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

RegKeyList& key_list(RunContext* ctx) {
  if (!ctx->pRegKeys) ctx->pRegKeys = new RegKeyList;
  return *ctx->pRegKeys;
}

}  // namespace

void registry_run_start(RunContext* ctx) {
  // A 32-bit Engine on a 64-bit Windows sees the 64-bit registry unless the script asks otherwise.
  const bool wow64 = sizeof(void*) == 4 && plat::os_info().windows_64bit;
  ctx->nRegOpenFlags = wow64 ? REG_VIEW_SETTING_64 : 0;
}

void registry_shutdown(RunContext* ctx) {
  if (!ctx->pRegKeys) return;
  for (const RegKeyList::Entry& e : ctx->pRegKeys->entries) plat::reg_close_key(e.key);
  delete ctx->pRegKeys;
  ctx->pRegKeys = nullptr;
}

void remember_key(RunContext* ctx, plat::RegKey key, RegMark mark) { key_list(ctx).entries.push_back({key, mark}); }

void forget_key(RunContext* ctx, plat::RegKey key) {
  if (!ctx->pRegKeys) return;
  auto& v = ctx->pRegKeys->entries;
  v.erase(std::remove_if(v.begin(), v.end(), [key](const RegKeyList::Entry& e) { return e.key == key; }), v.end());
}

RegMark mark_of(RunContext* ctx, plat::RegKey key) {
  if (ctx->pRegKeys)
    for (const RegKeyList::Entry& e : ctx->pRegKeys->entries)
      if (e.key == key) return e.mark;
  return MARK_LOCAL;
}

bool choose_view(RunContext* ctx, plat::RegKey parent, int32_t view_arg, ViewChoice* choice) {
  bool wow32;
  switch (view_arg) {
    case 32: wow32 = true, choice->explicit_view = true; break;
    case 64: wow32 = false, choice->explicit_view = true; break;
    case 0:
      wow32 = ctx->nRegOpenFlags == REG_VIEW_SETTING_32 || ctx->nRegOpenFlags == 32;
      choice->explicit_view = ctx->nRegOpenFlags == 32 || ctx->nRegOpenFlags == 64;
      break;
    default: ctx->err = ERR_INVALID_FLAGS; return false;
  }
  // Only a 64-bit registry has views: that of this Windows, or of a remote 64-bit one.
  const RegMark mark = mark_of(ctx, parent);
  const bool has_views = mark == MARK_REMOTE64 || (mark == MARK_LOCAL && plat::os_info().windows_64bit);
  choice->view = !has_views ? plat::RegView::Native : wow32 ? plat::RegView::Wow32 : plat::RegView::Wow64;
  return true;
}

bool check_subkey(RunContext* ctx, const std::u16string& subkey, const ViewChoice& choice) {
  if (subkey.size() > SUBKEY_MAX) {
    ctx->err = ERR_REG_SUBKEY_TOO_LONG;
    return false;
  }
  if (choice.explicit_view) {
    std::u16string upper = subkey;
    plat::upper_wide(upper.data(), upper.size());
    if (upper.find(u"WOW6432NODE") != std::u16string::npos) {
      ctx->err = ERR_REG_WOW6432NODE;
      return false;
    }
  }
  return true;
}

bool subkey_args(RunContext* ctx, ArgBlock& a, int32_t view_arg, SubkeyArgs* out) {
  out->parent = plat::RegKey(arg_int(a, 1));
  if (!choose_view(ctx, out->parent, view_arg, &out->choice)) return false;
  out->subkey = arg_wide(ctx, a, 2);
  return check_subkey(ctx, out->subkey, out->choice);
}

void api_failure(RunContext* ctx, uint32_t code, const char* api, uint16_t error) {
  ReportApiError(ctx, code, api, true);
  ctx->err = error;
}

bool split_key_value(RunContext* ctx, const std::u16string& text, const ViewChoice& choice, KeyAndValue* out) {
  out->subkey.clear();
  out->value.clear();
  const size_t open = text.find(u'[');
  if (open == std::u16string::npos) {
    out->subkey = text;
  } else {
    if (text.back() != u']') {
      ctx->err = ERR_REG_BAD_DATA_ITEM;
      return false;
    }
    out->subkey = text.substr(0, open);
    if (!out->subkey.empty() && out->subkey.back() == u'\\') out->subkey.pop_back();
    out->value = text.substr(open + 1, text.size() - open - 2);
  }
  return check_subkey(ctx, out->subkey, choice);
}

ScopedKey::~ScopedKey() {
  if (owned_) plat::reg_close_key(key_);
}

uint32_t ScopedKey::open(plat::RegKey parent, const std::u16string& subkey, plat::RegAccess access, bool create,
                         plat::RegView view) {
  if (subkey.empty()) {
    key_ = parent;
    return 0;
  }
  const uint32_t e = create ? plat::reg_create_key(parent, subkey.c_str(), view, &key_)
                            : plat::reg_open_key(parent, subkey.c_str(), access, view, &key_);
  owned_ = e == 0;
  return e;
}

std::string bytes_of_text(const std::u16string& text, bool terminator) {
  std::string bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
  if (terminator) bytes.append(2, '\0');
  return bytes;
}

namespace {

std::u16string units_of_bytes(const std::string& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = char16_t(uint8_t(data[2 * i]) | uint8_t(data[2 * i + 1]) << 8);
  return units;
}

}  // namespace

std::u16string text_of_bytes(const std::string& data) {
  std::u16string units = units_of_bytes(data);
  const size_t nul = units.find(u'\0');
  if (nul != std::u16string::npos) units.resize(nul);
  return units;
}

std::string bytes_of_multi(const std::u16string& text, char16_t delimiter) {
  std::u16string units = text;
  std::replace(units.begin(), units.end(), delimiter, u'\0');
  units.append(2, u'\0');
  return bytes_of_text(units, false);
}

std::u16string multi_of_bytes(const std::string& data, char16_t delimiter) {
  std::u16string units = units_of_bytes(data);
  // The list ends with an empty string's NUL after the last string's own.
  if (units.size() >= 2 && units[units.size() - 1] == 0 && units[units.size() - 2] == 0) units.resize(units.size() - 2);
  else if (!units.empty() && units.back() == 0) units.pop_back();
  std::replace(units.begin(), units.end(), u'\0', delimiter);
  return units;
}

std::u16string spaced_hex(const std::string& data) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  text.reserve(data.size() * 3);
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) text += u' ';
    text += kDigits[uint8_t(data[i]) >> 4];
    text += kDigits[uint8_t(data[i]) & 15];
  }
  return text;
}

bool bytes_of_spaced_hex(const std::u16string& text, std::string* out) {
  out->clear();
  size_t i = 0;
  for (;;) {
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i == text.size()) return true;
    size_t end = i;
    while (end < text.size() && !is_blank(text[end])) ++end;
    if (end - i != 2) return false;
    const int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += char(hi << 4 | lo);
    i = end;
  }
}

bool dword_of_text(const std::u16string& text, bool hex, uint32_t* out) {
  size_t i = 0, end = text.size();
  while (i < end && is_blank(text[i])) ++i;
  while (end > i && is_blank(text[end - 1])) --end;
  uint64_t value = 0;
  if (hex) {
    if (end - i > 2 && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) i += 2;
    if (i == end || end - i > 8) return false;
    for (; i < end; ++i) {
      const int d = hex_digit(text[i]);
      if (d < 0) return false;
      value = value << 4 | uint64_t(d);
    }
    *out = uint32_t(value);
    return true;
  }
  const bool negative = i < end && text[i] == u'-';
  if (negative) ++i;
  if (i == end) return false;
  for (; i < end; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    value = value * 10 + uint64_t(text[i] - u'0');
    if (value > (negative ? 0x80000000ull : 0xFFFFFFFFull)) return false;
  }
  *out = negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
  return true;
}

std::u16string dword_text(const std::string& data, bool big_endian, bool hex) {
  uint8_t b[4] = {};
  for (size_t i = 0; i < 4 && i < data.size(); ++i) b[i] = uint8_t(data[i]);
  const uint32_t value = big_endian ? uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]
                                    : uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
  char text[16];
  std::snprintf(text, sizeof text, hex ? "%lX" : "%lu", static_cast<unsigned long>(value));
  return wide_of_ascii(text);
}

std::u16string expand_environment(const std::u16string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(u'%', i);
    const size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    out.append(text, i, open - i);
    std::u16string value;
    const std::u16string name = text.substr(open + 1, close - open - 1);
    if (!name.empty() && plat::env_get_w(name.c_str(), &value)) {
      out += value;
      i = close + 1;
    } else {
      // Not a variable: the "%" stays, and the second one may open a reference of its own.
      out += u'%';
      i = open + 1;
      if (name.empty()) {
        out += u'%';
        i = close + 1;
      }
    }
  }
  out.append(text, i, std::u16string::npos);
  return out;
}

}  // namespace tov
