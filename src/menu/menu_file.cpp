// Menu files: line kinds, title lines, hotkey texts and the walk through a menu file's structure.
#include "menu/menu_file.h"

#include <cstring>

#include "diag/errors.h"
#include "engine/context.h"
#include "platform/text.h"

namespace tov {

namespace {

// Names of keys in hotkey texts, in lookup order; 0x10nn is virtual key nn.
struct KeyName {
  const char* name;
  uint16_t code;
};
constexpr KeyName KEY_NAMES[] = {
    {"BACKSPACE", 0x08}, {"BS", 0x08},        {"CLEAR", 0x100C},   {"DELETE", 0x102E},  {"DEL", 0x102E},
    {"DOWN", 0x1028},    {"END", 0x1023},     {"ENTER", 0x0D},     {"ESCAPE", 0x1B},    {"ESC", 0x1B},
    {"HELP", 0x102F},    {"HOME", 0x1024},    {"INSERT", 0x102D},  {"INS", 0x102D},     {"LEFT", 0x1025},
    {"PGDN", 0x1022},    {"PGUP", 0x1021},    {"PRTSC", 0x102C},   {"RIGHT", 0x1027},   {"TAB", 0x1009},
    {"UP", 0x1026},      {"F1", 0x1070},      {"F2", 0x1071},      {"F3", 0x1072},      {"F4", 0x1073},
    {"F5", 0x1074},      {"F6", 0x1075},      {"F7", 0x1076},      {"F8", 0x1077},      {"F9", 0x1078},
    {"F10", 0x1079},     {"F11", 0x107A},     {"F12", 0x107B},     {"F13", 0x107C},     {"F14", 0x107D},
    {"F15", 0x107E},     {"F16", 0x107F},     {"SPACE", 0x20},     {"SP", 0x20},        {"NUMPAD0", 0x1060},
    {"NUMPAD1", 0x1061}, {"NUMPAD2", 0x1062}, {"NUMPAD3", 0x1063}, {"NUMPAD4", 0x1064}, {"NUMPAD5", 0x1065},
    {"NUMPAD6", 0x1066}, {"NUMPAD7", 0x1067}, {"NUMPAD8", 0x1068}, {"NUMPAD9", 0x1069}, {"NUMPAD*", 0x106A},
    {"NUMPAD+", 0x106B}, {"NUMPAD-", 0x106D}, {"NUMPAD.", 0x106E}, {"NUMPAD/", 0x106F},
};
constexpr size_t KEY_NAME_MAX = 16;   // longer than every name: such a name matches none

uint16_t key_by_name(const char* name) {
  for (const KeyName& k : KEY_NAMES)
    if (std::strcmp(k.name, name) == 0) return k.code;
  return 0;
}

// Appends text to a bounded buffer, never past its end.
void put(char* out, size_t cap, size_t* n, const char* text, size_t len) {
  if (*n + len >= cap) len = cap - 1 - *n;
  std::memcpy(out + *n, text, len);
  *n += len;
  out[*n] = 0;
}

// Bytes of at most max characters of text (n bytes), never splitting a character.
size_t prefix_of_chars(const char* text, size_t n, size_t max) {
  size_t bytes = 0;
  for (size_t chars = 0; bytes < n && chars < max; ++chars) bytes += plat::char_size(text + bytes, n - bytes);
  return bytes;
}

// The first occurrence of an ASCII character that is a character of its own (not part of a double-byte one).
const char* find_char(const char* text, size_t n, char c) {
  for (size_t i = 0; i < n; i += plat::char_size(text + i, n - i))
    if (text[i] == c) return text + i;
  return nullptr;
}

}  // namespace

MenuLineKind classify_menu_line(const char* raw, size_t n, int* level) {
  size_t i = 0;
  while (i < n && is_blank(raw[i])) ++i;
  if (i == n || raw[i] == ';' || raw[i] == '\'') return MenuLineKind::Skip;
  size_t spaces = 0;
  while (spaces < n && spaces < MENU_LEVELS && raw[spaces] == ' ') ++spaces;
  if (spaces == MENU_LEVELS || raw[spaces] == '\t') return MenuLineKind::Code;
  *level = int(spaces) + 1;
  return MenuLineKind::Title;
}

uint16_t hotkey_code(const char* text, size_t n) {
  uint16_t code = 0;
  size_t i = 0;
  for (; i < n; ++i) {
    const char c = text[i];
    if (is_blank(c)) continue;   // blanks are dropped from the shown text, and from the key too
    if (c == '!') code |= HOTKEY_ALT | HOTKEY_VIRTUAL;
    else if (c == '+') code |= HOTKEY_SHIFT;
    else if (c == '^') code |= HOTKEY_CONTROL;
    else break;
  }
  if (i == n) return 0;
  uint16_t key = uint8_t(plat::upper_ascii(text[i]));
  if (text[i] == '{') {
    char name[KEY_NAME_MAX + 1];
    size_t len = 0;
    for (++i; i < n && text[i] != '}'; ++i) {
      if (is_blank(text[i])) continue;
      if (len < KEY_NAME_MAX) name[len] = plat::upper_ascii(text[i]);
      ++len;
    }
    if (len > KEY_NAME_MAX) return 0;
    name[len] = 0;
    key = len == 1 ? uint8_t(name[0]) : len ? key_by_name(name) : 0;
  }
  if (!key) return 0;
  // Control with a letter comes as a control character; Control with any other key as a key press.
  if ((code & HOTKEY_CONTROL) && !(key >= '@' && key <= 'Z')) key |= HOTKEY_VIRTUAL;
  return uint16_t(code | key);
}

void parse_menu_title(const char* line, bool barTitle, bool breaks, MenuTitle* out) {
  *out = MenuTitle{};
  const char* p = line;
  if (*p == '_') {
    out->separator = true;
    ++p;
  } else if (*p == '|') {
    out->columnBreak = breaks;
    ++p;
  }
  const size_t rest = std::strlen(p);
  const char* semicolon = find_char(p, rest, ';');
  size_t title_len = semicolon ? size_t(semicolon - p) : rest;
  if (semicolon) {
    const char* d = semicolon + 1;
    const char* e = p + rest;
    out->descriptionFromCode = d[0] == '^';
    while (d < e && is_blank(*d)) ++d;
    while (e > d && is_blank(e[-1])) --e;
    out->description = d;
    out->descriptionLength = size_t(e - d);
    out->descriptionFromCode = out->descriptionFromCode && out->descriptionLength == 1;
  }
  title_len = prefix_of_chars(p, title_len, MENU_TITLE_CHARS);
  while (title_len && is_blank(p[title_len - 1])) --title_len;

  const char* backslash = find_char(p, title_len, '\\');
  const size_t shown = backslash ? size_t(backslash - p) : title_len;
  size_t n = 0;
  out->text[0] = 0;
  for (size_t i = 0; i < shown; ++i) put(out->text, sizeof out->text, &n, p[i] == '\t' ? " " : p + i, 1);
  out->hidden = out->text[0] == '@';
  if (!backslash) return;
  const char* key = backslash + 1;
  const size_t key_len = title_len - shown - 1;
  out->hotkey = hotkey_code(key, key_len);
  if (!barTitle) put(out->text, sizeof out->text, &n, "\t", 1);
  for (size_t i = 0; i < key_len; ++i) {
    switch (key[i]) {
      case '!': put(out->text, sizeof out->text, &n, "Alt+", 4); break;
      case '+': put(out->text, sizeof out->text, &n, "Shift+", 6); break;
      case '^': put(out->text, sizeof out->text, &n, "Ctrl+", 5); break;
      case ' ':
      case '\t': break;
      default: put(out->text, sizeof out->text, &n, key + i, 1); break;
    }
  }
}

// --- The walk ---------------------------------------------------------------------------------------------

namespace {

// The message of a line that the state after a title of this level does not accept.
constexpr uint16_t AFTER_TITLE_ERRORS[MENU_LEVELS + 1] = {0, 514, 519, 521, 580};
// The message of a line that the code of an item of this level does not accept.
constexpr uint16_t IN_CODE_ERRORS[MENU_LEVELS + 1] = {0, 515, 520, 579, 581};
constexpr uint16_t NEED_FIRST_TITLE = 512;

}  // namespace

void menu_scan_begin(MenuScan* s, RunContext* ctx, const HeldScript* hs) {
  s->ctx = ctx;
  s->hs = hs;
  s->pos = s->lineStart = 0;
  s->state = MenuScan::START;
  s->level = 0;
  s->line[0] = 0;
  for (auto& t : s->titles) t[0] = 0;
}

MenuStep menu_scan_next(MenuScan* s) {
  MenuStep step{};
  // Lines of a menu file are read as script lines are; a long line is cut here, not reported.
  const uint16_t deferred = s->ctx->nDeferredError;
  for (;;) {
    const uint32_t begin = s->pos;
    if (!FetchLine(s->ctx, s->line, sizeof s->line, s->hs, &s->lineStart, &s->pos)) {
      step.kind = MenuStepKind::End;
      step.pendingTitle = s->state == MenuScan::AFTER_TITLE;
      step.itemLevel = s->level;
      step.lineOffset = s->hs->length;
      break;
    }
    int level = 0;
    const size_t raw = s->lineStart - begin + (s->line[0] ? 1 : 0);
    const MenuLineKind kind = classify_menu_line(s->hs->text + begin, raw, &level);
    if (kind == MenuLineKind::Skip) continue;
    step.lineOffset = begin;
    if (kind == MenuLineKind::Code) {
      if (s->state == MenuScan::START) {
        step.kind = MenuStepKind::LeadingCode;
        break;
      }
      step.kind = MenuStepKind::Code;
      step.firstCode = s->state == MenuScan::AFTER_TITLE;
      step.itemLevel = s->level;
      s->state = MenuScan::IN_CODE;
      break;
    }
    // A title: the first one must be of level 1; after a title only a title one level deeper may follow
    // (its submenu opens); in code, a title of the item's level or higher.
    const bool deeper = s->state == MenuScan::AFTER_TITLE && level == s->level + 1;
    const bool ok = s->state == MenuScan::START ? level == 1
                    : s->state == MenuScan::AFTER_TITLE ? deeper
                                                        : level <= s->level;
    if (!ok) {
      step.kind = MenuStepKind::Error;
      step.error = s->state == MenuScan::START         ? NEED_FIRST_TITLE
                   : s->state == MenuScan::AFTER_TITLE ? AFTER_TITLE_ERRORS[s->level]
                                                       : IN_CODE_ERRORS[s->level];
      break;
    }
    step.kind = MenuStepKind::Title;
    step.level = level;
    step.opensSubmenu = deeper;
    std::memcpy(s->titles[level], s->line, sizeof s->line);
    s->level = level;
    s->state = MenuScan::AFTER_TITLE;
    break;
  }
  s->ctx->nDeferredError = deferred;
  return step;
}

}  // namespace tov
