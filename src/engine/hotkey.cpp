// Menu hotkeys: matching a key message against the host's hotkey table.
#include <cstring>

#include "engine/context.h"
#include "engine/lifecycle.h"
#include "engine/pump.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tov {

namespace {
constexpr uint32_t WM_KEYDOWN_MSG = 256;
constexpr uint16_t KEY_VIRTUAL = 0x1000;
constexpr uint16_t MOD_SHIFT = 0x80 << 8, MOD_CONTROL = 0x40 << 8, MOD_ALT = 0x20 << 8;
constexpr size_t TABLE_COUNT_OFFSET = 16, TABLE_PAIRS_OFFSET = 20;
}  // namespace

uint32_t hotkey_check(void* hContext, void* hwnd, uint32_t message, uint32_t key, const void* table) {
  uint16_t code;
  if (message == WM_KEYDOWN_MSG) {
    if (key == plat::VK_SHIFT_KEY || key == plat::VK_CONTROL_KEY || key == plat::VK_MENU_KEY) return 0;
    code = uint16_t(key | KEY_VIRTUAL);
  } else {
    uint32_t ch = key;
    if (plat::key_down(plat::VK_CONTROL_KEY) && ch >= 1 && ch <= 26) ch |= 64;
    code = uint8_t(plat::upper_ascii(char(ch)));
  }
  if (plat::key_down(plat::VK_SHIFT_KEY)) code |= MOD_SHIFT;
  if (plat::key_down(plat::VK_CONTROL_KEY)) code |= MOD_CONTROL;
  if (plat::key_down(plat::VK_MENU_KEY)) code |= MOD_ALT;
  if (!table) return 0;

  const auto* bytes = static_cast<const uint8_t*>(table);
  uint32_t count;
  std::memcpy(&count, bytes + TABLE_COUNT_OFFSET, sizeof count);
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t pair[2];
    std::memcpy(pair, bytes + TABLE_PAIRS_OFFSET + 4 * size_t(i), sizeof pair);
    if (pair[0] != code) continue;
    if (plat::window_enabled(hwnd)) {
      plat::post_command(hwnd, pair[1]);
      auto* ctx = hContext ? static_cast<RunContext*>(plat::host_lock(hContext)) : nullptr;
      if (ctx) {
        if (ctx->nHotkeyDelay) Wait(ctx, ctx->nHotkeyDelay);
        plat::host_unlock(hContext);
      }
    }
    return 1;
  }
  return 0;
}

}  // namespace tov
