// The keyboard built-ins: sending key strings (SendKey, SendKeysTo, SendKeysChild), the state of keys
// (IsKeyDown, KeyToggleGet, KeyToggleSet), and waiting for a key (WaitForKey, WaitForKeyEx).
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "win/keys.h"
#include "win/lookup.h"

namespace tov {

namespace {

// IsKeyDown flags, the values of @CTRL and @SHIFT.
constexpr int32_t KEY_FLAG_CTRL = 1, KEY_FLAG_SHIFT = 2;
constexpr int VK_CAPSLOCK = 20, VK_NUMLOCK = 144, VK_SCROLLLOCK = 145;
constexpr uint32_t KEY_POLL_MS = 50;
constexpr int32_t MAX_WAIT_SECONDS = 86400;
constexpr size_t WAITFORKEYEX_MAX_KEYS = 100;

// --- sending -------------------------------------------------------------------------------------------

void bi_sendkey(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_integer(ctx, result->c, send_key_string(ctx, arg_str(ctx, a, 1)));
}

void bi_sendkeysto(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const WinName name = win_name_arg(ctx, a, 1, wide);
  if (!name.empty()) {
    plat::WindowHandle w = find_top_window(ctx, name, ctx->win.retries);
    if (!w) {
      if (!ctx->hdr.bCancel) ctx->err = ERR_WINACTIVATE_NOT_FOUND;
      return;
    }
    activate_window(ctx, w);
  }
  set_integer(ctx, result->c, send_key_string(ctx, arg_str(ctx, a, 2)));
}

void bi_sendkeyschild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle parent = find_top_window(ctx, win_name_arg(ctx, a, 1, wide), ctx->win.retries);
  if (!parent) {
    if (!ctx->hdr.bCancel) ctx->err = ERR_WINACTIVATE_NOT_FOUND;
    return;
  }
  plat::WindowHandle child = find_child_window(ctx, parent, win_name_arg(ctx, a, 2, wide));
  if (!child) {
    ctx->err = ERR_CHILD_NOT_FOUND;
    return;
  }
  activate_child(ctx, parent, child);
  set_integer(ctx, result->c, send_key_string(ctx, arg_str(ctx, a, 3)));
}

// --- the state of keys ---------------------------------------------------------------------------------

void bi_iskeydown(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t keys = arg_int(a, 1);
  if (keys <= 0 || (keys & ~(KEY_FLAG_CTRL | KEY_FLAG_SHIFT))) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  const bool down = (!(keys & KEY_FLAG_CTRL) || plat::key_down(plat::VK_CONTROL_KEY)) &&
                    (!(keys & KEY_FLAG_SHIFT) || plat::key_down(plat::VK_SHIFT_KEY));
  set_integer(ctx, result->c, down ? 1 : 0);
}

void bi_keytoggleget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t key = arg_int(a, 1);
  if (key < 1 || key > 254) {
    ctx->err = ERR_KEY_CODE;
    return;
  }
  set_integer(ctx, result->c, plat::key_toggled(key) ? 1 : 0);
}

// Switches @CAPSLOCK, @NUMLOCK or @SCROLLLOCK on (any state but 0) or off; returns the previous state.
void bi_keytoggleset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t key = arg_int(a, 1);
  if (key != VK_CAPSLOCK && key != VK_NUMLOCK && key != VK_SCROLLLOCK) {
    ctx->err = ERR_KEYTOGGLESET_KEY;
    return;
  }
  set_integer(ctx, result->c, set_lock_key(ctx, key, arg_int(a, 2) != 0) ? 1 : 0);
}

// --- waiting for a key -----------------------------------------------------------------------------------

struct WatchedKey {
  int code;
  uint32_t modifiers;
};

bool read_watched(RunContext* ctx, const std::string& text, std::vector<WatchedKey>* keys) {
  WatchedKey k{};
  if (!parse_single_key(text.c_str(), &k.code, &k.modifiers)) {
    ctx->err = ERR_WAITFORKEY_KEY;
    return false;
  }
  keys->push_back(k);
  return true;
}

bool modifiers_held(uint32_t wanted) {
  return plat::key_down(plat::VK_SHIFT_KEY) == bool(wanted & MOD_SHIFT) &&
         plat::key_down(plat::VK_CONTROL_KEY) == bool(wanted & MOD_CONTROL) &&
         plat::key_down(plat::VK_MENU_KEY) == bool(wanted & MOD_ALT);
}

// Waits for one of the keys to be pressed with exactly its modifiers: its 1-based place in the list
// (slots[i] for the i-th key), or 0 when the time (ms, -1 without limit) ends or a stop is requested.
int32_t wait_for_keys(RunContext* ctx, const std::vector<WatchedKey>& keys, const std::vector<int32_t>& slots,
                      int64_t timeout_ms) {
  std::vector<bool> was_down;
  for (const WatchedKey& k : keys) was_down.push_back(plat::key_down(k.code));
  const uint32_t start = plat::tick_count();
  while (!ctx->hdr.bCancel) {
    for (size_t i = 0; i < keys.size(); ++i) {
      const bool down = plat::key_down(keys[i].code);
      if (down && !was_down[i] && modifiers_held(keys[i].modifiers)) return slots[i];
      was_down[i] = down;
    }
    if (timeout_ms >= 0 && int64_t(plat::tick_count() - start) >= timeout_ms) break;
    PumpMessages(ctx);
    Wait(ctx, KEY_POLL_MS);
  }
  return 0;
}

// WaitForKey: up to five keys in key-string form ("" for an unused one).
void bi_waitforkey(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  std::vector<WatchedKey> keys;
  std::vector<int32_t> slots;
  for (int n = 1; n <= 5; ++n) {
    const std::string text = arg_str(ctx, a, n);
    if (text.empty()) continue;
    if (!read_watched(ctx, text, &keys)) return;
    slots.push_back(n);
  }
  if (keys.empty()) {
    ctx->err = ERR_WAITFORKEY_KEY;
    return;
  }
  set_integer(ctx, result->c, wait_for_keys(ctx, keys, slots, -1));
}

// WaitForKeyEx: a TAB-separated list of up to 100 keys and a time-out in seconds (-1: none).
void bi_waitforkeyex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::string list = arg_str(ctx, a, 1);
  std::vector<WatchedKey> keys;
  std::vector<int32_t> slots;
  for (size_t from = 0, n = 1;; ++n) {
    const size_t tab = list.find('\t', from);
    const std::string text = list.substr(from, tab == std::string::npos ? tab : tab - from);
    if (n > WAITFORKEYEX_MAX_KEYS || (!text.empty() && !read_watched(ctx, text, &keys))) {
      if (!ctx->err) ctx->err = ERR_WAITFORKEY_KEY;
      return;
    }
    if (!text.empty()) slots.push_back(int32_t(n));
    if (tab == std::string::npos) break;
    from = tab + 1;
  }
  if (keys.empty()) {
    ctx->err = ERR_WAITFORKEY_KEY;
    return;
  }
  int32_t seconds = arg_int(a, 2);
  if (seconds < -1) seconds = 0;
  if (seconds > MAX_WAIT_SECONDS) seconds = MAX_WAIT_SECONDS;
  set_integer(ctx, result->c, wait_for_keys(ctx, keys, slots, seconds < 0 ? -1 : int64_t(seconds) * 1000));
}

// --- IntControl ----------------------------------------------------------------------------------------

// 35: the pause after each unit of a key string (negative: unchanged).
void ic_sendkey_delay(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = ctx->win.sendKeyDelay, wanted = intcontrol_number(p[0]);
  if (wanted >= 0) ctx->win.sendKeyDelay = wanted;
  intcontrol_result(ctx, result, previous);
}

// 43 and 45: the input-idle wait and the console mode, 0 or 1 (others: unchanged). A change makes the
// next key string look at the foreground window afresh.
void switch_setting(RunContext* ctx, Value* result, uint32_t& setting, const char* p) {
  const int32_t previous = int32_t(setting), wanted = intcontrol_number(p);
  if (wanted == 0 || wanted == 1) setting = uint32_t(wanted);
  ctx->win.lastForeground = nullptr;
  ctx->win.lastTitle[0] = 0;
  intcontrol_result(ctx, result, previous);
}
void ic_idle_wait(RunContext* ctx, Value* result, const char* const p[4]) {
  switch_setting(ctx, result, ctx->win.idleWait, p[0]);
}
void ic_console_mode(RunContext* ctx, Value* result, const char* const p[4]) {
  switch_setting(ctx, result, ctx->win.consoleMode, p[0]);
}

const BuiltinEntry kEntries[] = {
    {KW_SENDKEY, bi_sendkey},           {KW_SENDKEYSTO, bi_sendkeysto},
    {KW_SENDKEYSCHILD, bi_sendkeyschild}, {KW_ISKEYDOWN, bi_iskeydown},
    {KW_KEYTOGGLEGET, bi_keytoggleget}, {KW_KEYTOGGLESET, bi_keytoggleset},
    {KW_WAITFORKEY, bi_waitforkey},     {KW_WAITFORKEYEX, bi_waitforkeyex},
};

const IntControlEntry kRequests[] = {
    {35, ic_sendkey_delay},
    {43, ic_idle_wait},
    {45, ic_console_mode},
};

}  // namespace

extern const BuiltinFamily kKeyBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kKeyIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
