// Keystroke sending: reading key strings unit by unit, and the order and pacing of the injected events.
#include "win/keys.h"

#include <cstring>

#include "engine/context.h"
#include "engine/pump.h"
#include "platform/desktop.h"
#include "platform/process.h"
#include "platform/text.h"
#include "win/lookup.h"

namespace tov {

namespace {

constexpr int VK_ENTER = 13, VK_CAPSLOCK = 20, VK_NUMLOCK = 144;
constexpr uint32_t IDLE_SLICE_MS = 100;
constexpr size_t TITLE_SEEN_CHARS = sizeof WindowState::lastTitle;

struct KeyName {
  const char* name;
  int code;
  uint32_t hold;    // a "*" name holds this modifier for the next unit instead of pressing a key
};

// Looked up in this order, without regard to case; the last entry is a filler that is found like any.
const KeyName kKeyNames[] = {
    {"BACKSPACE", 8, 0}, {"BS", 8, 0}, {"CANCEL", 3, 0}, {"CAPSLOCK", 20, 0}, {"CLEAR", 12, 0},
    {"DELETE", 46, 0}, {"DEL", 46, 0}, {"DOWN", 40, 0}, {"END", 35, 0}, {"ENTER", 13, 0},
    {"ESCAPE", 27, 0}, {"ESC", 27, 0}, {"HELP", 47, 0}, {"HOME", 36, 0}, {"INSERT", 45, 0},
    {"INS", 45, 0}, {"LEFT", 37, 0}, {"NUMLOCK", 144, 0}, {"PAUSE", 19, 0}, {"PGDN", 34, 0},
    {"PGUP", 33, 0}, {"PRTSC", 44, 0}, {"RIGHT", 39, 0}, {"TAB", 9, 0}, {"UP", 38, 0},
    {"F1", 112, 0}, {"F2", 113, 0}, {"F3", 114, 0}, {"F4", 115, 0}, {"F5", 116, 0}, {"F6", 117, 0},
    {"F7", 118, 0}, {"F8", 119, 0}, {"F9", 120, 0}, {"F10", 121, 0}, {"F11", 122, 0}, {"F12", 123, 0},
    {"F13", 124, 0}, {"F14", 125, 0}, {"F15", 126, 0}, {"F16", 127, 0},
    {"SPACE", 32, 0}, {"SP", 32, 0}, {"SHIFT", 16, 0}, {"CTRL", 17, 0}, {"MENU", 18, 0}, {"ALT", 18, 0},
    {"NUMPAD0", 96, 0}, {"NUMPAD1", 97, 0}, {"NUMPAD2", 98, 0}, {"NUMPAD3", 99, 0}, {"NUMPAD4", 100, 0},
    {"NUMPAD5", 101, 0}, {"NUMPAD6", 102, 0}, {"NUMPAD7", 103, 0}, {"NUMPAD8", 104, 0}, {"NUMPAD9", 105, 0},
    {"NUMPAD*", 106, 0}, {"NUMPAD+", 107, 0}, {"NUMPAD-", 109, 0}, {"NUMPAD.", 110, 0}, {"NUMPAD/", 111, 0},
    {"NUMPAD~", 0, 0},
    {"LALT", 164, 0}, {"RALT", 165, 0}, {"LCONTROL", 162, 0}, {"RCONTROL", 163, 0}, {"LSHIFT", 160, 0},
    {"RSHIFT", 161, 0}, {"LWIN", 91, 0}, {"RWIN", 92, 0}, {"APPS", 93, 0},
    {"*LALT", 164, MOD_LALT}, {"*RALT", 165, MOD_RALT}, {"*LCONTROL", 162, MOD_LCONTROL},
    {"*RCONTROL", 163, MOD_RCONTROL}, {"*LSHIFT", 160, MOD_LSHIFT}, {"*RSHIFT", 161, MOD_RSHIFT},
    {"*LWIN", 91, MOD_LWIN}, {"*RWIN", 92, MOD_RWIN}, {"*APPS", 93, MOD_APPS},
    {"xyz", 255, 0},
};

// Modifier keys in the order they are pressed; they are released in the opposite order, the Alt keys
// (the last three) before the key itself and the others after it.
struct ModifierKey {
  uint32_t flag;
  int code;
};
const ModifierKey kModifierKeys[] = {
    {MOD_SHIFT, 16}, {MOD_LSHIFT, 160}, {MOD_RSHIFT, 161}, {MOD_CONTROL, 17}, {MOD_LCONTROL, 162},
    {MOD_RCONTROL, 163}, {MOD_LWIN, 91}, {MOD_RWIN, 92}, {MOD_APPS, 93}, {MOD_ALT, 18},
    {MOD_LALT, 164}, {MOD_RALT, 165},
};
constexpr size_t ALT_KEYS = 3;
constexpr size_t MODIFIER_KEYS = sizeof kModifierKeys / sizeof kModifierKeys[0];

struct Unit {
  enum Kind { Hold, Key, Char, Error } kind;
  uint32_t hold;
  int code;
  unsigned char ch;
  int32_t count;
  const char* next;
};

bool same_name(const char* a, size_t n, const char* name) {
  if (std::strlen(name) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (plat::upper_ascii(a[i]) != plat::upper_ascii(name[i])) return false;
  return true;
}

// A repeat count "n" after the last blank of a brace's text: its value, saturated; false when none.
bool read_count(const char* p, const char* end, int32_t* count) {
  bool negative = false;
  if (p < end && *p == '-') {
    negative = true;
    ++p;
  }
  if (p == end) return false;
  int64_t n = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    if (n < INT32_MAX) n = n * 10 + (*p - '0');
  }
  *count = negative ? 0 : n > INT32_MAX ? INT32_MAX : int32_t(n);
  return true;
}

// The text between braces: one character, or a name, either with " n" to repeat it.
Unit read_braces(const char* open) {
  Unit u{Unit::Error, 0, 0, 0, 1, nullptr};
  // The text has at least one character, so "{}}" is the closing brace itself.
  const char* close = open[1] ? std::strchr(open + 2, '}') : nullptr;
  if (!close) return u;
  u.next = close + 1;
  const char* name = open + 1;
  const char* name_end = close;
  for (const char* blank = close - 1; blank > name; --blank) {
    if (*blank != ' ') continue;
    if (read_count(blank + 1, close, &u.count)) name_end = blank;
    break;
  }
  const size_t n = size_t(name_end - name);
  if (n == 1) {
    u.kind = Unit::Char;
    u.ch = static_cast<unsigned char>(*name);
    return u;
  }
  for (const KeyName& k : kKeyNames) {
    if (!same_name(name, n, k.name)) continue;
    u.kind = k.hold ? Unit::Hold : Unit::Key;
    u.hold = k.hold;
    u.code = k.code;
    return u;
  }
  return u;
}

Unit read_unit(const char* p) {
  switch (*p) {
    case '!': return {Unit::Hold, MOD_ALT, 0, 0, 1, p + 1};
    case '+': return {Unit::Hold, MOD_SHIFT, 0, 0, 1, p + 1};
    case '^': return {Unit::Hold, MOD_CONTROL, 0, 0, 1, p + 1};
    case '~': return {Unit::Key, 0, VK_ENTER, 0, 1, p + 1};
    case '{': return read_braces(p);
    default: return {Unit::Char, 0, 0, static_cast<unsigned char>(*p), 1, p + 1};
  }
}

// Keys outside these ranges carry the extended-key flag: the cursor and editing block, the Windows and
// Applications keys, the keypad's division key and Enter, and the right-hand Control and Alt. The
// left-hand modifiers and right Shift are not extended keys: the flag would make Control and Alt right.
bool extended_key(int code) {
  static const int kPlain[][2] = {{8, 32}, {48, 90}, {112, 135}, {186, 192}, {219, 222}, {160, 162}, {164, 164}};
  for (const auto& range : kPlain)
    if (code >= range[0] && code <= range[1]) return false;
  return true;
}

void pump_twice(RunContext* ctx) {
  PumpMessages(ctx);
  PumpMessages(ctx);
}

void inject(RunContext* ctx, int code, bool up) {
  // Code 0 is the keypad's Enter: Enter with the extended flag.
  if (code == 0) plat::inject_key(VK_ENTER, up, true);
  else plat::inject_key(code, up, extended_key(code));
  if (!ctx->win.consoleActive) pump_twice(ctx);
}

void press_key(RunContext* ctx, int code, uint32_t flags) {
  for (size_t i = 0; i < MODIFIER_KEYS; ++i)
    if (flags & kModifierKeys[i].flag) inject(ctx, kModifierKeys[i].code, false);
  inject(ctx, code, false);
  for (size_t i = MODIFIER_KEYS; i-- > MODIFIER_KEYS - ALT_KEYS;)
    if (flags & kModifierKeys[i].flag) inject(ctx, kModifierKeys[i].code, true);
  inject(ctx, code, true);
  for (size_t i = MODIFIER_KEYS - ALT_KEYS; i-- > 0;)
    if (flags & kModifierKeys[i].flag) inject(ctx, kModifierKeys[i].code, true);
}

// Sends the unit at p with the modifiers held before it; the position after it, or null on an error.
const char* send_unit(RunContext* ctx, const char* p) {
  uint32_t flags = 0;
  size_t holds = 0;
  Unit u = read_unit(p);
  for (; u.kind == Unit::Hold; u = read_unit(u.next), ++holds) {
    flags |= u.hold;
    // A modifier at the end of the string sends nothing.
    if (!*u.next) return u.next;
  }
  if (u.kind == Unit::Error) return nullptr;
  int code = u.code;
  if (u.kind == Unit::Char) {
    const int32_t key = plat::char_to_key(u.ch);
    // A character the keyboard layout cannot type is left out.
    if (key < 0) return u.next;
    code = key & 0xFF;
    flags |= uint32_t(key >> 8) & 0xFF;
  }
  for (int32_t i = 0; i < u.count && !ctx->hdr.bCancel; ++i) press_key(ctx, code, flags);
  if (!ctx->win.consoleActive)
    for (size_t i = 0; i < holds; ++i) pump_twice(ctx);
  return u.next;
}

// Notices a change of the foreground window and what it means for the pacing.
void observe_foreground(RunContext* ctx) {
  WindowState& s = ctx->win;
  if (!s.idleWait && !s.consoleMode) {
    s.consoleActive = s.idleActive = 0;
    return;
  }
  const plat::WindowHandle front = plat::foreground_window();
  char title[TITLE_SEEN_CHARS];
  plat::window_text(front, title, sizeof title);
  if (front == s.lastForeground && std::strcmp(title, s.lastTitle) == 0) return;
  s.lastForeground = front;
  std::memcpy(s.lastTitle, title, sizeof title);
  s.consoleActive = s.idleActive = 0;
  if (!front) return;
  s.consoleActive = s.consoleMode && is_console_window(front);
  const uint32_t pid = plat::window_process_id(front);
  // The Engine's own program is never idle while it sends.
  s.idleActive = !s.consoleActive && s.idleWait && pid && pid != plat::current_process_id();
}

void wait_until_idle(RunContext* ctx) {
  while (!ctx->hdr.bCancel && plat::wait_window_idle(ctx->win.lastForeground, IDLE_SLICE_MS) == plat::IdleState::Busy)
    PumpMessages(ctx);
}

}  // namespace

bool set_lock_key(RunContext* ctx, int virtual_key, bool on) {
  const bool was = plat::key_toggled(virtual_key);
  if (was != on) {
    plat::inject_key(virtual_key, false, true);
    plat::inject_key(virtual_key, true, true);
    if (!ctx->win.consoleActive) pump_twice(ctx);
  }
  return was;
}

int32_t send_key_string(RunContext* ctx, const char* keys) {
  WindowState& s = ctx->win;
  const bool unblocked = ctx->bIgnoreInput && plat::block_input(false, nullptr);
  const bool numlock_was_on = is_console_window(plat::foreground_window()) && set_lock_key(ctx, VK_NUMLOCK, false);
  const bool capslock_was_on = set_lock_key(ctx, VK_CAPSLOCK, false);
  int32_t status = 0;
  for (const char* p = keys; *p && !ctx->hdr.bCancel;) {
    observe_foreground(ctx);
    if (s.idleActive) wait_until_idle(ctx);
    if (!s.consoleActive) pump_twice(ctx);
    p = send_unit(ctx, p);
    if (!p) {
      status = -1;
      break;
    }
    if (!s.consoleActive) {
      pump_twice(ctx);
      if (s.sendKeyDelay > 0) Wait(ctx, uint32_t(s.sendKeyDelay));
    }
  }
  if (s.consoleActive) pump_twice(ctx);
  if (numlock_was_on) set_lock_key(ctx, VK_NUMLOCK, true);
  if (capslock_was_on) set_lock_key(ctx, VK_CAPSLOCK, true);
  if (unblocked) plat::block_input(true, nullptr);
  return status;
}

bool parse_single_key(const char* text, int* virtual_key, uint32_t* modifiers) {
  uint32_t flags = 0;
  Unit u = read_unit(text);
  for (; u.kind == Unit::Hold && *u.next; u = read_unit(u.next)) flags |= u.hold;
  if (u.kind == Unit::Error || u.kind == Unit::Hold || *u.next) return false;
  int code = u.code;
  if (u.kind == Unit::Char) {
    const int32_t key = plat::char_to_key(u.ch);
    if (key < 0) return false;
    code = key & 0xFF;
    flags |= uint32_t(key >> 8) & (MOD_SHIFT | MOD_CONTROL | MOD_ALT);
  }
  // A side-specific modifier counts as its key on either side.
  if (flags & (MOD_LSHIFT | MOD_RSHIFT)) flags |= MOD_SHIFT;
  if (flags & (MOD_LCONTROL | MOD_RCONTROL)) flags |= MOD_CONTROL;
  if (flags & (MOD_LALT | MOD_RALT)) flags |= MOD_ALT;
  *virtual_key = code ? code : VK_ENTER;
  *modifiers = flags & (MOD_SHIFT | MOD_CONTROL | MOD_ALT);
  return true;
}

}  // namespace tov
