// The window built-ins: finding, activating, showing, closing, placing, listing and waiting for windows
// named by title pattern or WinId, and what the system tells about its screen and itself.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "builtins/variadic.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/desktop.h"
#include "platform/system.h"
#include "win/lookup.h"
#include "win/match.h"

namespace tov {

namespace {

// Placement coordinates are in a grid of 1000 by 1000 over the screen (or a parent's client area).
constexpr int32_t GRID = 1000;
constexpr int32_t NO_RESIZE = 1000000000, ABOVE_ICONS = 1000000001;
constexpr int32_t STATE_HIDDEN = -1, STATE_ICON = 1, STATE_NORMAL = 2, STATE_ZOOMED = 3;
constexpr int32_t MAX_WAIT_SECONDS = 86400;
constexpr uint32_t POLL_MS = 250, CLOSE_FIRST_WAIT_MS = 1500;

// The top-level window of argument n after the window retries; null with the error set when none.
plat::WindowHandle window_arg(RunContext* ctx, ArgBlock& a, int n, bool wide, ErrorNumber missing) {
  plat::WindowHandle w = find_top_window(ctx, win_name_arg(ctx, a, n, wide), ctx->win.retries);
  // A stop request that cut the retries short is not a missing window.
  if (!w && !ctx->hdr.bCancel) ctx->err = missing;
  return w;
}

// The child named by argument child_n of the window named by argument parent_n.
plat::WindowHandle child_arg(RunContext* ctx, ArgBlock& a, int parent_n, int child_n, bool wide, ErrorNumber missing) {
  plat::WindowHandle parent = window_arg(ctx, a, parent_n, wide, missing);
  if (!parent) return nullptr;
  plat::WindowHandle child = find_child_window(ctx, parent, win_name_arg(ctx, a, child_n, wide));
  if (!child) ctx->err = missing;
  return child;
}

void set_true(RunContext* ctx, Value* result) { set_integer(ctx, result->c, 1); }

// --- activation and showing ----------------------------------------------------------------------------

void bi_winactivate(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINACTIVATE_NOT_FOUND)) {
    activate_window(ctx, w);
    set_true(ctx, result);
  }
}

void bi_winactivchild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle parent = window_arg(ctx, a, 1, wide, ERR_WINACTIVATE_NOT_FOUND);
  if (!parent) return;
  plat::WindowHandle child = find_child_window(ctx, parent, win_name_arg(ctx, a, 2, wide));
  if (!child) {
    ctx->err = ERR_CHILD_NOT_FOUND;
    return;
  }
  set_integer(ctx, result->c, activate_child(ctx, parent, child) ? 1 : 0);
}

// A command posted to another program's window, then the pause that lets it act.
void post_and_pause(RunContext* ctx, plat::WindowHandle w, plat::SysCommand command) {
  plat::post_sys_command(w, command);
  Wait(ctx, ctx->nHotkeyDelay);
}

void bi_winclose(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINCLOSE_NOT_FOUND);
  if (!w) return;
  if (w != ctx->hwndOwner) post_and_pause(ctx, w, plat::SysCommand::Close);
  set_true(ctx, result);
}

void bi_winhide(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINHIDE_NOT_FOUND)) {
    plat::show_window(w, plat::Show::Hide);
    set_true(ctx, result);
  }
}

void bi_winiconize(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINICONIZE_NOT_FOUND);
  if (!w) return;
  if (!plat::window_minimized(w)) {
    if (w == ctx->hwndOwner) plat::show_window(w, plat::Show::MinimizeNoActivate);
    else post_and_pause(ctx, w, plat::SysCommand::Minimize);
  }
  set_true(ctx, result);
}

void bi_winzoom(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINZOOM_NOT_FOUND);
  if (!w) return;
  if (!plat::window_maximized(w)) {
    if (w == ctx->hwndOwner) plat::show_window(w, plat::Show::Maximize);
    else post_and_pause(ctx, w, plat::SysCommand::Maximize);
  }
  set_true(ctx, result);
}

void bi_winshow(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINSHOW_NOT_FOUND);
  if (!w) return;
  if (w == ctx->hwndOwner) plat::show_window(w, plat::Show::ShowNoActivate);
  else if (!plat::window_visible(w)) plat::show_window(w, plat::Show::Show);
  else post_and_pause(ctx, w, plat::SysCommand::Restore);
  set_true(ctx, result);
}

void bi_windowontop(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINDOWONTOP_NOT_FOUND);
  if (!w) return;
  const bool was = plat::window_topmost(w);
  const int32_t mode = arg_int(a, 2);
  plat::set_topmost(w, mode < 0 ? !was : mode > 0);
  set_integer(ctx, result->c, was ? 1 : 0);
}

// --- questions about one window -----------------------------------------------------------------------

void bi_winexist(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  set_integer(ctx, result->c, find_top_window(ctx, win_name_arg(ctx, a, 1, wide), 0) ? 1 : 0);
}

void bi_winexistchild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle parent = find_top_window(ctx, win_name_arg(ctx, a, 1, wide), ctx->win.retries);
  set_integer(ctx, result->c, parent && find_child_window(ctx, parent, win_name_arg(ctx, a, 2, wide)) ? 1 : 0);
}

void bi_winstate(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = find_top_window(ctx, win_name_arg(ctx, a, 1, wide), ctx->win.retries);
  int32_t state = 0;
  if (w) {
    state = !plat::window_visible(w) ? STATE_HIDDEN : plat::window_minimized(w) ? STATE_ICON
            : plat::window_maximized(w) ? STATE_ZOOMED : STATE_NORMAL;
  }
  set_integer(ctx, result->c, state);
}

void bi_winidget(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINIDGET_NOT_FOUND))
    set_text_result(ctx, result, winid_of(w), wide);
}

void bi_winisdos(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINISDOS_NOT_FOUND))
    set_integer(ctx, result->c, is_console_window(w) ? 1 : 0);
}

void bi_winexename(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINEXENAME_NOT_FOUND);
  if (!w) return;
  const uint32_t pid = plat::window_process_id(w);
  set_text_result(ctx, result, pid ? plat::process_program_path(pid) : std::u16string(), wide);
}

void bi_wintitle(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINTITLE_NOT_FOUND);
  if (!w) return;
  // The new title is cut to the characters a title buffer holds.
  std::u16string title = arg_wide(ctx, a, 2);
  if (title.size() > WINDOW_TEXT_CHARS - 1) title.resize(WINDOW_TEXT_CHARS - 1);
  plat::set_window_text_w(w, title.c_str());
  set_true(ctx, result);
}

void bi_wingetactive(RunContext* ctx, Value* result, ArgBlock&, int, bool wide) {
  set_text_result(ctx, result, window_title(plat::foreground_window()), wide);
}

void bi_winname(RunContext* ctx, Value* result, ArgBlock&, int, bool wide) {
  set_text_result(ctx, result, window_title(ctx->hwndOwner), wide);
}

void bi_findwindow(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string cls = arg_wide(ctx, a, 1);
  plat::WindowHandle w = cls.empty() ? nullptr : plat::find_window_by_class(cls.c_str());
  set_text_result(ctx, result, w ? window_title(w) : std::u16string(), wide);
}

// --- placement -----------------------------------------------------------------------------------------

// Grid units over an area and back to pixels.
int32_t to_grid(int32_t pixel, int32_t origin, int32_t extent) {
  return extent > 0 ? int32_t((int64_t(pixel - origin) * GRID + extent / 2) / extent) : 0;
}
int32_t to_pixel(int32_t grid, int32_t origin, int32_t extent) {
  return origin + int32_t((int64_t(grid) * extent + GRID / 2) / GRID);
}

std::u16string grid_text(const plat::Rect& r, const plat::Rect& area, char16_t separator) {
  const int32_t w = area.right - area.left, h = area.bottom - area.top;
  char text[64];
  std::snprintf(text, sizeof text, "%d%c%d%c%d%c%d", int(to_grid(r.left, area.left, w)), char(separator),
                int(to_grid(r.top, area.top, h)), char(separator), int(to_grid(r.right, area.left, w)),
                char(separator), int(to_grid(r.bottom, area.top, h)));
  return std::u16string(text, text + std::strlen(text));
}

// The area that a window's grid covers: the screen, or its parent's client area for a child.
plat::Rect grid_area(plat::WindowHandle parent) {
  plat::Rect area = plat::screen_rect();
  if (parent) plat::client_rect_on_screen(parent, &area);
  return area;
}

void place(RunContext* ctx, Value* result, ArgBlock& a, plat::WindowHandle w, plat::WindowHandle parent) {
  const plat::Rect area = grid_area(parent);
  const int32_t width = area.right - area.left, height = area.bottom - area.top;
  plat::Rect now{};
  plat::window_rect(w, &now);
  plat::Rect r{to_pixel(arg_int(a, 1), area.left, width), to_pixel(arg_int(a, 2), area.top, height), 0, 0};
  const int32_t x2 = arg_int(a, 3), y2 = arg_int(a, 4);
  // @NORESIZE keeps the size; @ABOVEICONS puts the bottom edge above the row of minimised windows.
  r.right = x2 == NO_RESIZE ? r.left + (now.right - now.left) : to_pixel(x2, area.left, width);
  if (y2 == NO_RESIZE) r.bottom = r.top + (now.bottom - now.top);
  else if (y2 == ABOVE_ICONS) r.bottom = plat::work_area().bottom - plat::system_metric(plat::METRIC_MINIMIZED_HEIGHT);
  else r.bottom = to_pixel(y2, area.top, height);
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  set_integer(ctx, result->c, plat::move_window(w, r) ? 1 : 0);
}

void bi_winplace(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle w = window_arg(ctx, a, 5, wide, ERR_WINPLACE_NOT_FOUND)) place(ctx, result, a, w, nullptr);
}

// A child of the window in front, placed in the grid of that window's client area.
void bi_winplacechild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle parent = plat::foreground_window();
  plat::WindowHandle w = find_child_window(ctx, parent, win_name_arg(ctx, a, 5, wide));
  if (!w) {
    ctx->err = ERR_WINPLACE_NOT_FOUND;
    return;
  }
  place(ctx, result, a, w, parent);
}

void bi_winposition(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_WINPOSITION_NOT_FOUND);
  plat::Rect r{};
  if (w && plat::window_rect(w, &r)) set_text_result(ctx, result, grid_text(r, grid_area(nullptr), u','), wide);
}

void bi_winpositionchild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  plat::WindowHandle w = child_arg(ctx, a, 1, 2, wide, ERR_WINPOSITION_NOT_FOUND);
  plat::Rect r{};
  if (w && plat::window_rect(w, &r))
    set_text_result(ctx, result, grid_text(r, grid_area(plat::window_parent(w)), u','), wide);
}

// WinPlaceGet and WinPlaceSet: the position a window has in each state, @NORMAL, @ICON or @ZOOMED, as
// "x1 y1 x2 y2" in the grid (a minimised or maximised position gives its corner twice).
bool placement_type(RunContext* ctx, int32_t type) {
  if (type == STATE_ICON || type == STATE_NORMAL || type == STATE_ZOOMED) return true;
  ctx->err = ERR_WINPLACE_TYPE;
  return false;
}

void bi_winplaceget(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t type = arg_int(a, 1);
  if (!placement_type(ctx, type)) return;
  plat::WindowHandle w = window_arg(ctx, a, 2, wide, ERR_WINPLACE_NOT_FOUND);
  plat::Placement p{};
  if (!w || !plat::get_placement(w, &p)) return;
  const plat::Rect area = plat::work_area();
  const plat::Rect origin{0, 0, area.right - area.left, area.bottom - area.top};
  plat::Rect r = p.normal;
  if (type == STATE_ICON) r = {p.minX, p.minY, p.minX, p.minY};
  if (type == STATE_ZOOMED) r = {p.maxX, p.maxY, p.maxX, p.maxY};
  set_text_result(ctx, result, grid_text(r, origin, u' '), wide);
}

void bi_winplaceset(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t type = arg_int(a, 1);
  if (!placement_type(ctx, type)) return;
  int v[4];
  char tail;
  if (std::sscanf(arg_str(ctx, a, 3), "%d %d %d %d %c", &v[0], &v[1], &v[2], &v[3], &tail) != 4) {
    ctx->err = ERR_WINPLACESET_POSITION;
    return;
  }
  plat::WindowHandle w = window_arg(ctx, a, 2, wide, ERR_WINPLACE_NOT_FOUND);
  plat::Placement p{};
  if (!w || !plat::get_placement(w, &p)) return;
  const plat::Rect area = plat::work_area();
  const int32_t width = area.right - area.left, height = area.bottom - area.top;
  const plat::Rect r{to_pixel(v[0], 0, width), to_pixel(v[1], 0, height), to_pixel(v[2], 0, width),
                     to_pixel(v[3], 0, height)};
  if (type == STATE_NORMAL) p.normal = r;
  if (type == STATE_ICON) p.minX = r.left, p.minY = r.top;
  if (type == STATE_ZOOMED) p.maxX = r.left, p.maxY = r.top;
  set_integer(ctx, result->c, plat::set_placement(w, p) ? 1 : 0);
}

void bi_winarrange(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  static const plat::Arrangement kStyles[] = {plat::Arrangement::Cascade, plat::Arrangement::Tile,
                                              plat::Arrangement::TileRows, plat::Arrangement::TileColumns};
  const int32_t style = arg_int(a, 1);
  if (style < 1 || style > 4) {
    ctx->err = ERR_WINARRANGE_STYLE;
    return;
  }
  if (style == 2) arrange_icons(ctx);
  set_integer(ctx, result->c, plat::arrange_windows(kStyles[style - 1]) ? 1 : 0);
}

// --- lists ---------------------------------------------------------------------------------------------

void bi_winitemize(RunContext* ctx, Value* result, ArgBlock&, int, bool wide) {
  list_windows(ctx, result, wide, nullptr, ListRequest{});
}

void bi_winitemchild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (plat::WindowHandle parent = window_arg(ctx, a, 1, wide, ERR_WINITEMCHILD_NOT_FOUND))
    list_windows(ctx, result, wide, parent, ListRequest{});
}

void bi_winitemnameid(RunContext* ctx, Value* result, ArgBlock&, int, bool wide) {
  list_windows_with_ids(ctx, result, wide);
}

void bi_winitemizeex(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t multiple = arg_int(a, 2), hidden = arg_int(a, 3), type = arg_int(a, 4);
  if (multiple != 0 && multiple != 1) {
    ctx->err = ERR_WINITEMIZEEX_MULTIPLE;
    return;
  }
  if (hidden != 0 && hidden != 1) {
    ctx->err = ERR_WINITEMIZEEX_HIDDEN;
    return;
  }
  const WinName pattern = win_name_arg(ctx, a, 1, wide);
  ListRequest request;
  request.format = type == 1 ? ListFormat::Ids : type == 2 ? ListFormat::Pairs : ListFormat::Titles;
  request.pattern = pattern.empty() ? nullptr : &pattern;
  request.hidden = hidden == 1;
  request.multiple = multiple == 1;
  list_windows(ctx, result, wide, nullptr, request);
}

void bi_winitemprocid(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t pid = arg_int(a, 1), flags = arg_int(a, 2), type = arg_int(a, 3);
  if (pid == 0 || pid == 1) {
    ctx->err = ERR_WINITEMPROCID_PID;
    return;
  }
  if (flags < 0 || flags > 15) {
    ctx->err = ERR_WINITEMPROCID_FLAGS;
    return;
  }
  if (type < 0 || type > 2) {
    ctx->err = ERR_WINITEMPROCID_TYPE;
    return;
  }
  static const ListFormat kFormats[] = {ListFormat::Ids, ListFormat::Titles, ListFormat::Pairs};
  ListRequest request;
  request.format = kFormats[type];
  request.pid = uint32_t(pid);
  request.procFlags = uint32_t(flags);
  list_process_windows(ctx, result, wide, request);
}

void bi_winclosenot(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  VariadicArgs args(ctx);
  bool wide = false;
  if (!read_variadic_args(ctx, args, &wide, ERR_WINCLOSENOT_SYNTAX)) return;
  std::vector<std::u16string> names;
  for (size_t i = 0; i < args.size(); ++i) {
    ValueCore& v = args.at(i).c;
    const uint16_t before = ctx->err;
    if (!to_wstring(ctx, v)) {
      if (ctx->err == before) ctx->err = ERR_NOT_STRING;
      return;
    }
    names.emplace_back(wstr_at(ctx, v.wstr));
  }
  close_windows_except(ctx, names);
  set_true(ctx, result);
}

// --- waiting -------------------------------------------------------------------------------------------

// Polls of a time-out in seconds: four a second; -1 without limit (returned as -1).
int64_t polls_of(int32_t seconds) {
  if (seconds == -1) return -1;
  if (seconds < -1) seconds = 0;
  if (seconds > MAX_WAIT_SECONDS) seconds = MAX_WAIT_SECONDS;
  return int64_t(seconds) * 4;
}

// Polls until seen() is true (1) or the polls are used up (0); a time-out of 0 still polls once.
template <class Seen>
int32_t poll_until(RunContext* ctx, int64_t polls, Seen&& seen) {
  for (int64_t i = 0;; ++i) {
    if (ctx->hdr.bCancel) return 0;
    if (seen()) {
      Wait(ctx, ctx->win.waitDelay);
      return 1;
    }
    if (polls >= 0 && i + 1 >= (polls ? polls : 1)) return 0;
    PumpMessages(ctx);
    Wait(ctx, POLL_MS);
  }
}

void bi_winwaitexist(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const WinName name = win_name_arg(ctx, a, 1, wide);
  if (name.empty()) {
    set_true(ctx, result);
    return;
  }
  set_integer(ctx, result->c, poll_until(ctx, polls_of(arg_int(a, 2)), [&] { return find_top_window(ctx, name, 0); }));
}

void bi_winwaitchild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const WinName parent = win_name_arg(ctx, a, 1, wide), child = win_name_arg(ctx, a, 2, wide);
  set_integer(ctx, result->c, poll_until(ctx, polls_of(arg_int(a, 3)), [&] {
                plat::WindowHandle p = find_top_window(ctx, parent, 0);
                return p && find_child_window(ctx, p, child);
              }));
}

void bi_winwaitclose(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const WinName name = win_name_arg(ctx, a, 1, wide);
  const int64_t polls = polls_of(argc >= 2 ? arg_int(a, 2) : -1);
  Wait(ctx, CLOSE_FIRST_WAIT_MS);
  bool seen = false;
  for (int64_t i = 0; !ctx->hdr.bCancel; ++i) {
    if (!find_top_window(ctx, name, 0)) break;
    seen = true;
    if (polls >= 0 && i + 1 >= (polls ? polls : 1)) break;
    PumpMessages(ctx);
    Wait(ctx, POLL_MS);
  }
  const bool gone = seen && !ctx->hdr.bCancel && !find_top_window(ctx, name, 0);
  if (gone) Wait(ctx, ctx->win.waitDelay);
  set_integer(ctx, result->c, gone ? 1 : 0);
}

// WinWaitReady: the window exists and its program waits for input.
void bi_winwaitready(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const WinName name = win_name_arg(ctx, a, 1, wide);
  set_integer(ctx, result->c, poll_until(ctx, polls_of(arg_int(a, 2)), [&] {
                plat::WindowHandle w = find_top_window(ctx, name, 0);
                return w && plat::wait_window_idle(w, 0) != plat::IdleState::Busy;
              }));
}

// --- messages and menus --------------------------------------------------------------------------------

void send_message(RunContext* ctx, Value* result, ArgBlock& a, bool wide, bool wide_message) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_SENDMESSAGE_NOT_FOUND);
  if (!w) return;
  ValueCore& lparam = a.slot[4].c;
  intptr_t value = 0;
  std::u16string wide_text;
  std::string text;
  if (lparam.type & (VF_STRING | VF_WSTRING)) {
    // A text goes as a pointer to its characters, for the messages whose text the system carries.
    if (wide_message) {
      wide_text = arg_wide(ctx, a, 4);
      value = reinterpret_cast<intptr_t>(wide_text.c_str());
    } else {
      text = arg_ansi(ctx, a, 4);
      value = reinterpret_cast<intptr_t>(text.c_str());
    }
  } else if (!to_integer(ctx, lparam, true)) {
    if (!ctx->err) ctx->err = ERR_NOT_NUMBER;
    return;
  } else {
    value = lparam.i;
  }
  const intptr_t answer = plat::send_window_message(w, uint32_t(arg_int(a, 2)), uintptr_t(uint32_t(arg_int(a, 3))),
                                                    value, wide_message);
  set_integer(ctx, result->c, int32_t(answer));
}

void bi_sendmessagea(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  send_message(ctx, result, a, wide, false);
}
void bi_sendmessagew(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  send_message(ctx, result, a, wide, true);
}

// A menu text as menu paths name it: without "&" marks, blanks, dots and the shortcut after a TAB, and
// in lower case.
std::u16string menu_key(std::u16string_view text) {
  std::u16string key;
  for (char16_t c : text) {
    if (c == u'\t') break;
    if (c == u'&' || c == u' ' || c == u'.') continue;
    key.push_back(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
  }
  return key;
}

constexpr int MENU_DEPTH = 8;

// The enabled item reached by the path of keys, one menu level per part.
bool find_menu_path(plat::MenuHandle menu, const std::vector<std::u16string>& parts, size_t level, uint32_t* id) {
  if (!menu || level >= parts.size() || level > MENU_DEPTH) return false;
  for (const plat::MenuEntry& e : plat::menu_entries(menu)) {
    if (menu_key(e.text) != parts[level]) continue;
    if (level + 1 < parts.size()) return find_menu_path(e.submenu, parts, level + 1, id);
    if (e.submenu || !e.enabled) return false;
    *id = e.id;
    return true;
  }
  return false;
}

// The enabled item whose keys along its path, joined, make the text.
bool find_menu_joined(plat::MenuHandle menu, std::u16string_view joined, uint32_t* id, int depth = 0) {
  if (!menu || depth > MENU_DEPTH) return false;
  for (const plat::MenuEntry& e : plat::menu_entries(menu)) {
    const std::u16string key = menu_key(e.text);
    if (key.empty() || joined.substr(0, key.size()) != key) continue;
    const std::u16string_view rest = joined.substr(key.size());
    if (rest.empty() && !e.submenu && e.enabled) {
      *id = e.id;
      return true;
    }
    if (!rest.empty() && find_menu_joined(e.submenu, rest, id, depth + 1)) return true;
  }
  return false;
}

// Chooses the item of the window's menu (or else of its system menu) that find() locates; the result is
// 0 when there is no such enabled item.
template <class Find>
void send_menu(RunContext* ctx, Value* result, ArgBlock& a, bool wide, Find&& find) {
  plat::WindowHandle w = window_arg(ctx, a, 1, wide, ERR_SENDMENUSTO_NOT_FOUND);
  if (!w) return;
  uint32_t id = 0;
  bool system = false;
  if (!find(plat::window_menu(w), &id)) {
    system = find(plat::system_menu(w), &id);
    if (!system) return;
  }
  set_integer(ctx, result->c, plat::post_menu_command(w, id, system) ? 1 : 0);
}

void bi_sendmenusto(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string joined = menu_key(arg_wide(ctx, a, 2));
  send_menu(ctx, result, a, wide, [&](plat::MenuHandle m, uint32_t* id) { return find_menu_joined(m, joined, id); });
}

void bi_sendmenustoex(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const std::u16string path = arg_wide(ctx, a, 2);
  std::u16string separator = argc >= 3 ? arg_wide(ctx, a, 3) : std::u16string();
  if (separator.empty()) separator = u"|";
  std::vector<std::u16string> parts;
  for (size_t from = 0;;) {
    const size_t at = path.find(separator, from);
    parts.push_back(menu_key(std::u16string_view(path).substr(from, at == std::u16string::npos ? at : at - from)));
    if (at == std::u16string::npos) break;
    from = at + separator.size();
  }
  send_menu(ctx, result, a, wide, [&](plat::MenuHandle m, uint32_t* id) { return find_menu_path(m, parts, 0, id); });
}

// --- the system ----------------------------------------------------------------------------------------

void bi_winmetrics(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t request = arg_int(a, 1);
  if (request == -1) set_integer(ctx, result->c, plat::screen_bits_per_pixel());
  else if (request == -2) set_integer(ctx, result->c, plat::screen_pixels_per_inch());
  else if (request >= 0) set_integer(ctx, result->c, plat::system_metric(request));
  else ctx->err = ERR_INVALID_REQUEST;
}

void bi_winparmget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  int32_t value = 0;
  if (!plat::system_parameter_get(uint32_t(arg_int(a, 1)), &value)) {
    ctx->err = ERR_FUNCTION_FAILED;
    return;
  }
  set_integer(ctx, result->c, value);
}

void bi_winparmset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ValueCore& v = a.slot[2].c;
  bool ok;
  if (v.type & (VF_STRING | VF_WSTRING)) {
    const std::u16string text = arg_wide(ctx, a, 2);
    ok = plat::system_parameter_set(uint32_t(arg_int(a, 1)), 0, text.c_str(), uint32_t(arg_int(a, 3)));
  } else if (to_integer(ctx, v, true)) {
    ok = plat::system_parameter_set(uint32_t(arg_int(a, 1)), v.i, nullptr, uint32_t(arg_int(a, 3)));
  } else {
    if (!ctx->err) ctx->err = ERR_NOT_NUMBER;
    return;
  }
  if (!ok) ctx->err = ERR_FUNCTION_FAILED;
  else set_true(ctx, result);
}

// WinResources: 0 the memory in use in percent, 1 total and 2 free physical memory, 3 total and 4 free
// address space of the process, in units of the optional second argument's bytes (default 1024).
void bi_winresources(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  int32_t unit = 1024;
  if (argc >= 2) {
    ValueCore& v = a.slot[2].c;
    if (!to_integer(ctx, v, true) || v.i < 1) {
      if (!ctx->err) ctx->err = ERR_INVALID_FLAGS;
      return;
    }
    unit = v.i;
  }
  const plat::MemoryStatus m = plat::memory_status();
  const uint64_t amounts[] = {m.totalPhysical, m.freePhysical, m.totalVirtual, m.freeVirtual};
  const int32_t request = arg_int(a, 1);
  if (request == 0) {
    set_integer(ctx, result->c, int32_t(m.loadPercent));
  } else if (request >= 1 && request <= 4) {
    const uint64_t n = amounts[request - 1] / uint64_t(unit);
    set_integer(ctx, result->c, n > INT32_MAX ? INT32_MAX : int32_t(n));
  } else {
    ctx->err = ERR_INVALID_REQUEST;
  }
}

// WinVersion: 0 minor, 1 major, 2 build number, 3 service pack text, 4 platform (2: the NT family),
// 5 "major.minor.build".
void bi_winversion(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const plat::OsInfo& os = plat::os_info();
  char text[48];
  switch (arg_int(a, 1)) {
    case 0: set_integer(ctx, result->c, int32_t(os.minor)); return;
    case 1: set_integer(ctx, result->c, int32_t(os.major)); return;
    case 2: set_integer(ctx, result->c, int32_t(os.build)); return;
    case 3: set_string(ctx, result->c, "", 0); return;
    case 4: set_integer(ctx, result->c, os.nt_family ? 2 : 1); return;
    case 5:
      std::snprintf(text, sizeof text, "%u.%u.%u", unsigned(os.major), unsigned(os.minor), unsigned(os.build));
      set_string(ctx, result->c, text, std::strlen(text));
      return;
    default: ctx->err = ERR_INVALID_REQUEST; return;
  }
}

// WinConfig: protected mode (1), a 486 or later processor (8), enhanced mode (0x20), the NT family (0x4000).
void bi_winconfig(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  set_integer(ctx, result->c, 0x1 | 0x8 | 0x20 | (plat::os_info().nt_family ? 0x4000 : 0));
}

// WinSysInfo: computer name, user name, processors, page size in bytes, the system's major, minor and
// build numbers, and the memory in use in percent, separated by TAB.
void bi_winsysinfo(RunContext* ctx, Value* result, ArgBlock&, int, bool wide) {
  const plat::OsInfo& os = plat::os_info();
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "\t%u\t%u\t%u\t%u\t%u\t%u", unsigned(plat::processor_count()),
                unsigned(plat::page_size()), unsigned(os.major), unsigned(os.minor), unsigned(os.build),
                unsigned(plat::memory_status().loadPercent));
  std::u16string info = plat::computer_name() + u'\t' + plat::user_name();
  info.append(numbers, numbers + std::strlen(numbers));
  set_text_result(ctx, result, info, wide);
}

// WinHelp: the function is CONTENTS, KEY, PARTIALKEY, CONTEXT, HELPONHELP, COMMAND or QUIT; the third
// argument is the keyword, context number or macro it needs.
void bi_winhelp(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  static const struct {
    const char* name;
    uint32_t command;
  } kFunctions[] = {{"CONTENTS", 0x3}, {"KEY", 0x101}, {"PARTIALKEY", 0x105}, {"CONTEXT", 0x1},
                    {"HELPONHELP", 0x4}, {"COMMAND", 0x102}, {"QUIT", 0x2}};
  std::string function = arg_str(ctx, a, 2);
  for (char& c : function) c = plat::upper_ascii(c);
  const std::u16string file = arg_wide(ctx, a, 1), keyword = arg_wide(ctx, a, 3);
  for (const auto& f : kFunctions) {
    if (function != f.name) continue;
    uintptr_t data = 0;
    if (f.command == 0x1) data = uintptr_t(std::strtoul(arg_ansi(ctx, a, 3).c_str(), nullptr, 10));
    else if (f.command == 0x101 || f.command == 0x105 || f.command == 0x102) data = reinterpret_cast<uintptr_t>(keyword.c_str());
    set_integer(ctx, result->c, plat::show_help(ctx->hwndOwner, file.c_str(), f.command, data) ? 1 : 0);
    return;
  }
  ctx->err = ERR_WINHELP_FUNCTION;
}

// --- IntControl ----------------------------------------------------------------------------------------

// 46: extra lookup attempts of a window that is not there (negative: unchanged).
void ic_window_retries(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = ctx->win.retries, wanted = intcontrol_number(p[0]);
  if (wanted >= 0) ctx->win.retries = wanted;
  intcontrol_result(ctx, result, previous);
}

// 61: how activation pushes a window to the foreground, 0-5 (others: unchanged).
void ic_activate_method(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = ctx->win.activateMethod, wanted = intcontrol_number(p[0]);
  if (wanted >= 0 && wanted <= 5) ctx->win.activateMethod = wanted;
  intcontrol_result(ctx, result, previous);
}

// 70: the pause after a wait saw its condition, or with p2 = 1 the pause after a posted window command.
void ic_delays(RunContext* ctx, Value* result, const char* const p[4]) {
  uint32_t& delay = intcontrol_number(p[1]) == 1 ? ctx->nHotkeyDelay : ctx->win.waitDelay;
  const int32_t previous = int32_t(delay), wanted = intcontrol_number(p[0]);
  if (wanted >= 0) delay = uint32_t(wanted);
  intcontrol_result(ctx, result, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_WINACTIVATE, bi_winactivate},     {KW_WINACTIVCHILD, bi_winactivchild},
    {KW_WINACTIVECHILD, bi_winactivchild}, {KW_WINCLOSE, bi_winclose},
    {KW_WINHIDE, bi_winhide},             {KW_WINICONIZE, bi_winiconize},
    {KW_WINZOOM, bi_winzoom},             {KW_WINSHOW, bi_winshow},
    {KW_WINDOWONTOP, bi_windowontop},     {KW_WINEXIST, bi_winexist},
    {KW_WINEXISTCHILD, bi_winexistchild}, {KW_WINSTATE, bi_winstate},
    {KW_WINIDGET, bi_winidget},           {KW_WINISDOS, bi_winisdos},
    {KW_WINEXENAME, bi_winexename},       {KW_WINTITLE, bi_wintitle},
    {KW_WINGETACTIVE, bi_wingetactive},   {KW_WINNAME, bi_winname},
    {KW_FINDWINDOW, bi_findwindow},       {KW_WINPLACE, bi_winplace},
    {KW_WINPLACECHILD, bi_winplacechild}, {KW_WINPOSITION, bi_winposition},
    {KW_WINPOSITIONCHILD, bi_winpositionchild}, {KW_WINPLACEGET, bi_winplaceget},
    {KW_WINPLACESET, bi_winplaceset},     {KW_WINARRANGE, bi_winarrange},
    {KW_WINITEMIZE, bi_winitemize},       {KW_WINITEMCHILD, bi_winitemchild},
    {KW_WINITEMNAMEID, bi_winitemnameid}, {KW_WINITEMIZEEX, bi_winitemizeex},
    {KW_WINITEMPROCID, bi_winitemprocid}, {KW_WINCLOSENOT, bi_winclosenot},
    {KW_WINWAITEXIST, bi_winwaitexist},   {KW_WINWAITCHILD, bi_winwaitchild},
    {KW_WINWAITCLOSE, bi_winwaitclose},   {KW_WINWAITREADY, bi_winwaitready},
    {KW_SENDMESSAGEA, bi_sendmessagea},   {KW_SENDMESSAGEW, bi_sendmessagew},
    {KW_SENDMENUSTO, bi_sendmenusto},     {KW_SENDMENUSTOEX, bi_sendmenustoex},
    {KW_WINMETRICS, bi_winmetrics},       {KW_WINPARMGET, bi_winparmget},
    {KW_WINPARMSET, bi_winparmset},       {KW_WINRESOURCES, bi_winresources},
    {KW_WINVERSION, bi_winversion},       {KW_WINCONFIG, bi_winconfig},
    {KW_WINSYSINFO, bi_winsysinfo},       {KW_WINHELP, bi_winhelp},
};

const IntControlEntry kRequests[] = {
    {46, ic_window_retries},
    {61, ic_activate_method},
    {70, ic_delays},
};

}  // namespace

extern const BuiltinFamily kWindowBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kWindowIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
