// The message loader: texts from the string table or from the language file chosen by the user's settings.
#include "resources/strings.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include "engine/context.h"
#include "engine/settings.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "resources/message_table.h"

namespace tov {
namespace {

constexpr char kNoValue[] = "XXX";     // the default that stands for "not set" in both files
constexpr size_t kCodeChars = 20;      // a language code has at most 20 characters
constexpr uint32_t kFirstTranslatedId = 100;
// A text read from the language file; longer values are cut here (every reader's buffer is smaller).
constexpr size_t kTextCap = 4096;

// Process-wide: which language file is in use. Set up on the first request and again on every request
// for id 0; requests of several threads see either the old or the new state, never a mix.
struct LanguageState {
  std::mutex lock;
  bool ready = false;
  bool in_use = false;
  char file[plat::MAX_PATH_CHARS] = {};
};
LanguageState g_language;

// Appends text to out (holding len bytes) within cap; false when it does not fit.
bool append(char* out, size_t cap, size_t& len, const char* text) {
  size_t n = std::strlen(text);
  if (len + n >= cap) return false;
  std::memcpy(out + len, text, n + 1);
  len += n;
  return true;
}

// The language code: "Language" of section MAIN in ZRKQUILL.INI of the settings folder, else the
// system profile's sLanguage of section INTL.
void read_language_code(char (&code)[kCodeChars + 1]) {
  char ini[plat::MAX_PATH_CHARS];
  const bool ok = settings_file_path(ini, sizeof ini) > 0;
  if (ok)
    plat::profile_get_string(ini, "MAIN", "Language", kNoValue, code, sizeof code);
  else
    std::memcpy(code, kNoValue, sizeof kNoValue);
  if (std::strcmp(code, kNoValue) == 0)
    plat::system_profile_get_string("INTL", "sLanguage", "enu", code, sizeof code);
}

// Finds the language file: ZRKDLANG.<code> beside the Engine, else a file named ZRKDLANG found by the
// file search. Called with the state locked.
void refresh_language(LanguageState& st) {
  char code[kCodeChars + 1];
  read_language_code(code);

  st.in_use = false;
  st.file[0] = '\0';
  char name[plat::MAX_PATH_CHARS];
  size_t len = plat::engine_module_directory(name, sizeof name);
  if (len > 0 && append(name, sizeof name, len, "ZRKDLANG.") && append(name, sizeof name, len, code))
    st.in_use = plat::search_file(name, st.file, sizeof st.file, false) != plat::FileCheck::NotFound;
  if (!st.in_use)
    st.in_use = plat::search_file("ZRKDLANG", st.file, sizeof st.file, false) != plat::FileCheck::NotFound;
  if (!st.in_use) st.file[0] = '\0';
  st.ready = true;
}

// The language file to read id from, copied out of the shared state; false when the table applies.
bool language_file_for(uint32_t id, char (&file)[plat::MAX_PATH_CHARS]) {
  std::lock_guard<std::mutex> guard(g_language.lock);
  if (!g_language.ready || id == 0) refresh_language(g_language);
  if (!g_language.in_use || id < kFirstTranslatedId) return false;
  std::memcpy(file, g_language.file, sizeof file);
  return true;
}

uint32_t code_page_of(const RunContext* ctx) { return ctx ? ctx->nCodePage : plat::CP_DEFAULT; }

// Length of the longest prefix of text (len bytes) that fits cap - 1 bytes without splitting a character.
size_t fitting_length(const char* text, size_t len, size_t cap, uint32_t cp) {
  if (len < cap) return len;
  size_t fit = 0;
  while (fit < len) {
    size_t step = plat::char_size(text + fit, len - fit, cp);
    if (fit + step > cap - 1) break;
    fit += step;
  }
  return fit;
}

// The text of id before the "~" and "|" replacements: from the language file when one is in use and
// holds the id, else from the table. Written to buf (cap bytes, cut at a character boundary).
size_t raw_text(uint32_t id, char* buf, size_t cap, uint32_t cp) {
  char file[plat::MAX_PATH_CHARS];
  if (language_file_for(id, file)) {
    char key[16];
    std::snprintf(key, sizeof key, "X%u", static_cast<unsigned>(id));
    char value[kTextCap];
    size_t n = plat::profile_get_string(file, "MAIN", key, kNoValue, value, sizeof value);
    if (std::strcmp(value, kNoValue) != 0) {
      n = fitting_length(value, n, cap, cp);
      std::memcpy(buf, value, n);
      buf[n] = '\0';
      return n;
    }
  }
  const char* text = message_text(id);
  if (!text) text = "";
  size_t n = fitting_length(text, std::strlen(text), cap, cp);
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return n;
}

// "~" becomes a line feed and "|" a tab; bytes inside multi-byte characters are left alone.
void replace_markers(char* text, uint32_t cp) {
  for (char* p = text; *p;) {
    char* next = const_cast<char*>(plat::next_char(p, cp));
    if (next == p + 1) {
      if (*p == '~') *p = '\n';
      else if (*p == '|') *p = '\t';
    }
    p = next;
  }
}

}  // namespace

int32_t load_string(RunContext* ctx, uint32_t id, char* buf, int32_t size) {
  if (!buf || size <= 0) return 0;
  uint32_t cp = code_page_of(ctx);
  size_t n = raw_text(id, buf, static_cast<size_t>(size), cp);
  replace_markers(buf, cp);
  return static_cast<int32_t>(n);
}

int32_t load_string_w(RunContext* ctx, uint32_t id, char16_t* buf, int32_t size) {
  if (!buf || size <= 0) return 0;
  uint32_t cp = code_page_of(ctx);
  char text[kTextCap];
  int len = load_string(ctx, id, text, sizeof text);
  buf[0] = u'\0';
  if (len == 0) return 0;
  int need = plat::ansi_to_wide(text, len, nullptr, 0, cp);
  if (need < size) {
    int n = plat::ansi_to_wide(text, len, buf, size, cp);
    buf[n] = u'\0';
    return n;
  }
  char16_t wide[kTextCap];
  int n = plat::ansi_to_wide(text, len, wide, static_cast<int>(kTextCap), cp);
  int keep = n < size ? n : size - 1;
  if (keep > 0 && keep < n && wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) --keep;  // whole pairs only
  std::memcpy(buf, wide, static_cast<size_t>(keep) * sizeof(char16_t));
  buf[keep] = u'\0';
  return keep;
}

size_t language_file_in_use(char* out, size_t cap) {
  if (!out || cap == 0) return 0;
  std::lock_guard<std::mutex> guard(g_language.lock);
  if (!g_language.ready) refresh_language(g_language);
  size_t n = fitting_length(g_language.file, std::strlen(g_language.file), cap, plat::CP_DEFAULT);
  std::memcpy(out, g_language.file, n);
  out[n] = '\0';
  return n;
}

}  // namespace tov
