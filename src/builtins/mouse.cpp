// The mouse built-ins: moving the pointer, clicking, and what is under the pointer. Positions are screen
// pixels, or pixels from a window's top-left corner where a window is named.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/desktop.h"
#include "win/lookup.h"

namespace tov {

namespace {

// Click types: the numbers of the button-down messages (@LCLICK, @LDBLCLICK, @RCLICK ...).
enum ClickType : int32_t {
  CLICK_LEFT = 513, CLICK_LEFT_DOUBLE = 515, CLICK_RIGHT = 516, CLICK_RIGHT_DOUBLE = 518,
  CLICK_MIDDLE = 519, CLICK_MIDDLE_DOUBLE = 521,
};
// MouseClick modifiers: @CTRL, @SHIFT held on the keyboard; @LBUTTON, @RBUTTON, @MBUTTON held down.
constexpr int32_t HOLD_CTRL = 1, HOLD_SHIFT = 2, HOLD_LEFT = 4, HOLD_RIGHT = 8, HOLD_MIDDLE = 16;
constexpr int32_t HOLD_ALL = HOLD_CTRL | HOLD_SHIFT | HOLD_LEFT | HOLD_RIGHT | HOLD_MIDDLE;
// Pause between the events of a click, so that programs see a click and not a stray press.
constexpr uint32_t CLICK_PAUSE_MS = 10;
constexpr int32_t GRID = 1000;
// MousePlay buttons: held during the move (@MPLAYLBUTTON, @MPLAYRBUTTON, @MPLAYMBUTTON, the values of
// HOLD_LEFT, HOLD_RIGHT, HOLD_MIDDLE), and clicks at the end.
constexpr int32_t PLAY_LEFT_CLICK = 32, PLAY_LEFT_DOUBLE = 64, PLAY_MIDDLE_CLICK = 128, PLAY_MIDDLE_DOUBLE = 256,
                  PLAY_RIGHT_CLICK = 512, PLAY_RIGHT_DOUBLE = 1024;
constexpr int32_t PLAY_ALL = HOLD_LEFT | HOLD_RIGHT | HOLD_MIDDLE | 0x7E0;
constexpr uint32_t PLAY_STEP_MS = 20;
constexpr int32_t PLAY_MAX_SECONDS = 60;

// The window of a parent and child argument pair: the parent alone when the child is "", the child of
// the parent otherwise. Null with 1857 when either is missing.
plat::WindowHandle window_pair(RunContext* ctx, ArgBlock& a, int parent_n, int child_n, bool wide) {
  plat::WindowHandle w = find_top_window(ctx, win_name_arg(ctx, a, parent_n, wide), ctx->win.retries);
  const WinName child = win_name_arg(ctx, a, child_n, wide);
  if (w && !child.empty()) w = find_child_window(ctx, w, child);
  if (!w && !ctx->hdr.bCancel) ctx->err = ERR_MOUSE_NOT_FOUND;
  return w;
}

bool click_button(int32_t type, plat::MouseButton* button, int* clicks) {
  switch (type) {
    case CLICK_LEFT: *button = plat::MouseButton::Left, *clicks = 1; return true;
    case CLICK_LEFT_DOUBLE: *button = plat::MouseButton::Left, *clicks = 2; return true;
    case CLICK_RIGHT: *button = plat::MouseButton::Right, *clicks = 1; return true;
    case CLICK_RIGHT_DOUBLE: *button = plat::MouseButton::Right, *clicks = 2; return true;
    case CLICK_MIDDLE: *button = plat::MouseButton::Middle, *clicks = 1; return true;
    case CLICK_MIDDLE_DOUBLE: *button = plat::MouseButton::Middle, *clicks = 2; return true;
    default: return false;
  }
}

void pause(RunContext* ctx) { Wait(ctx, CLICK_PAUSE_MS); }

// Clicks where the pointer is, with keys and buttons held around the click; between them `during` runs.
template <class During>
void click(RunContext* ctx, plat::MouseButton button, int clicks, int32_t holds, During&& during) {
  static const struct {
    int32_t flag;
    int key;
  } kKeys[] = {{HOLD_CTRL, plat::VK_CONTROL_KEY}, {HOLD_SHIFT, plat::VK_SHIFT_KEY}};
  static const struct {
    int32_t flag;
    plat::MouseButton button;
  } kButtons[] = {{HOLD_LEFT, plat::MouseButton::Left}, {HOLD_RIGHT, plat::MouseButton::Right},
                  {HOLD_MIDDLE, plat::MouseButton::Middle}};
  for (const auto& k : kKeys)
    if (holds & k.flag) plat::inject_key(k.key, false, false);
  for (const auto& b : kButtons)
    if (holds & b.flag) plat::inject_mouse_button(b.button, false);
  during();
  for (int i = 0; i < clicks; ++i) {
    plat::inject_mouse_button(button, false);
    pause(ctx);
    plat::inject_mouse_button(button, true);
    pause(ctx);
  }
  for (size_t i = sizeof kButtons / sizeof kButtons[0]; i-- > 0;)
    if (holds & kButtons[i].flag) plat::inject_mouse_button(kButtons[i].button, true);
  for (size_t i = sizeof kKeys / sizeof kKeys[0]; i-- > 0;)
    if (holds & kKeys[i].flag) plat::inject_key(kKeys[i].key, true, false);
  PumpMessages(ctx);
}
void click(RunContext* ctx, plat::MouseButton button, int clicks, int32_t holds) {
  click(ctx, button, clicks, holds, [] {});
}

// MouseMove: x and y from the named window's top-left corner, or on the screen when both names are "".
void bi_mousemove(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  int32_t x = arg_int(a, 1), y = arg_int(a, 2);
  if (!win_name_arg(ctx, a, 3, wide).empty() || !win_name_arg(ctx, a, 4, wide).empty()) {
    plat::WindowHandle w = window_pair(ctx, a, 3, 4, wide);
    plat::Rect r{};
    if (!w || !plat::window_rect(w, &r)) return;
    x += r.left;
    y += r.top;
  }
  plat::inject_mouse_move(x, y);
  PumpMessages(ctx);
  set_integer(ctx, result->c, 1);
}

void bi_mouseclick(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  plat::MouseButton button;
  int clicks;
  if (!click_button(arg_int(a, 1), &button, &clicks)) {
    ctx->err = ERR_MOUSE_CLICK_TYPE;
    return;
  }
  const int32_t holds = arg_int(a, 2);
  if (holds & ~HOLD_ALL) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  click(ctx, button, clicks, holds);
  set_integer(ctx, result->c, 1);
}

// MouseClickBtn: moves the pointer to the middle of a child window (a button) and clicks it.
void bi_mouseclickbtn(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::MouseButton button;
  int clicks;
  if (!click_button(arg_int(a, 3), &button, &clicks)) {
    ctx->err = ERR_MOUSE_CLICK_TYPE;
    return;
  }
  plat::WindowHandle w = window_pair(ctx, a, 1, 2, wide);
  plat::Rect r{};
  if (!w || !plat::window_rect(w, &r)) return;
  plat::inject_mouse_move((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  pause(ctx);
  click(ctx, button, clicks, 0);
  set_integer(ctx, result->c, 1);
}

// MouseCoords: "left top right bottom" of the window in screen pixels.
void bi_mousecoords(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_pair(ctx, a, 1, 2, wide);
  plat::Rect r{};
  if (!w || !plat::window_rect(w, &r)) return;
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %d %d", int(r.left), int(r.top), int(r.right), int(r.bottom));
  set_string(ctx, result->c, text, std::strlen(text));
}

// MouseInfo: 0 the title of the top-level window under the pointer, 1 of the child window there; 2 the
// position "x y" in a grid of 1000 by 1000 over the screen, 3 in pixels; 4 the buttons held (@LBUTTON,
// @RBUTTON, @MBUTTON); 5 and 6 the WinIds of the top-level and the child window ("" for none).
void bi_mouseinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  int32_t x = 0, y = 0;
  plat::cursor_position(&x, &y);
  char text[48];
  switch (arg_int(a, 1)) {
    case 0: set_text_result(ctx, result, window_title(plat::top_window_at(x, y)), false); return;
    case 1: set_text_result(ctx, result, window_title(plat::child_window_at(x, y)), false); return;
    case 2: {
      const plat::Rect s = plat::screen_rect();
      const int32_t w = s.right - s.left, h = s.bottom - s.top;
      std::snprintf(text, sizeof text, "%d %d", w > 0 ? int(int64_t(x - s.left) * GRID / w) : 0,
                    h > 0 ? int(int64_t(y - s.top) * GRID / h) : 0);
      break;
    }
    case 3: std::snprintf(text, sizeof text, "%d %d", int(x), int(y)); break;
    case 4: set_integer(ctx, result->c, int32_t(plat::mouse_buttons_down())); return;
    case 5:
    case 6: {
      plat::WindowHandle w = arg_int(a, 1) == 5 ? plat::top_window_at(x, y) : plat::child_window_at(x, y);
      set_text_result(ctx, result, w ? winid_of(w) : std::u16string(), false);
      return;
    }
    default: ctx->err = ERR_MOUSEINFO_REQUEST; return;
  }
  set_string(ctx, result->c, text, std::strlen(text));
}

// MousePlay: moves the pointer to "x y" (pixels from the window's corner, or on the screen) over the
// given seconds, with buttons held down during the move (a drag), then clicks there.
void bi_mouseplay(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  static const struct {
    int32_t flag;
    plat::MouseButton button;
    int clicks;
  } kClicks[] = {{PLAY_LEFT_CLICK, plat::MouseButton::Left, 1},      {PLAY_LEFT_DOUBLE, plat::MouseButton::Left, 2},
                 {PLAY_MIDDLE_CLICK, plat::MouseButton::Middle, 1},  {PLAY_MIDDLE_DOUBLE, plat::MouseButton::Middle, 2},
                 {PLAY_RIGHT_CLICK, plat::MouseButton::Right, 1},    {PLAY_RIGHT_DOUBLE, plat::MouseButton::Right, 2}};
  int x = 0, y = 0;
  char tail;
  if (std::sscanf(arg_str(ctx, a, 1), "%d %d %c", &x, &y, &tail) != 2) {
    ctx->err = ERR_MOUSEPLAY_POSITION;
    return;
  }
  const int32_t buttons = arg_int(a, 4);
  if (buttons & ~PLAY_ALL) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  if (!win_name_arg(ctx, a, 2, wide).empty() || !win_name_arg(ctx, a, 3, wide).empty()) {
    plat::WindowHandle w = window_pair(ctx, a, 2, 3, wide);
    plat::Rect r{};
    if (!w || !plat::window_rect(w, &r)) return;
    x += r.left;
    y += r.top;
  }
  const double seconds = arg_float(a, 5);
  const int64_t ms = seconds > 0 ? int64_t(std::min(seconds, double(PLAY_MAX_SECONDS)) * 1000.0) : 0;
  const int64_t steps = ms / PLAY_STEP_MS > 0 ? ms / PLAY_STEP_MS : 1;
  int32_t from_x = 0, from_y = 0;
  plat::cursor_position(&from_x, &from_y);
  click(ctx, plat::MouseButton::Left, 0, buttons & (HOLD_LEFT | HOLD_RIGHT | HOLD_MIDDLE), [&] {
    for (int64_t i = 1; i <= steps && !ctx->hdr.bCancel; ++i) {
      plat::inject_mouse_move(int32_t(from_x + (x - from_x) * i / steps), int32_t(from_y + (y - from_y) * i / steps));
      if (i < steps) Wait(ctx, PLAY_STEP_MS);
    }
  });
  for (const auto& c : kClicks)
    if (buttons & c.flag) click(ctx, c.button, c.clicks, 0);
  set_integer(ctx, result->c, 1);
}

const BuiltinEntry kEntries[] = {
    {KW_MOUSEMOVE, bi_mousemove},   {KW_MOUSECLICK, bi_mouseclick}, {KW_MOUSECLICKBTN, bi_mouseclickbtn},
    {KW_MOUSECOORDS, bi_mousecoords}, {KW_MOUSEINFO, bi_mouseinfo},   {KW_MOUSEPLAY, bi_mouseplay},
};

}  // namespace

extern const BuiltinFamily kMouseBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
