// Menus on Windows: the system's menus, and the window of a menu host.
#include <windows.h>
#include <cstdio>
#include "platform/menus.h"
#include "platform/win32/module.h"

namespace plat {
namespace {

HMENU as_hmenu(MenuHandle m) { return static_cast<HMENU>(m); }

bool read_entry(HMENU menu, UINT item, BOOL by_position, MenuItem* out) {
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
  info.dwTypeData = out->text;
  info.cch = sizeof out->text;
  out->text[0] = 0;
  if (!GetMenuItemInfoA(menu, item, by_position, &info)) return false;
  out->separator = (info.fType & MFT_SEPARATOR) != 0;
  out->submenu = info.hSubMenu;
  out->id = info.hSubMenu ? 0 : info.wID;
  if (out->separator) out->text[0] = 0;
  return true;
}

}  // namespace

MenuHandle menu_create(bool bar) { return bar ? CreateMenu() : CreatePopupMenu(); }
void menu_destroy(MenuHandle menu) {
  if (menu && IsMenu(as_hmenu(menu))) DestroyMenu(as_hmenu(menu));
}
bool is_menu(MenuHandle menu) { return menu && IsMenu(as_hmenu(menu)); }

bool menu_append_item(MenuHandle menu, uint32_t id, const char* text, uint32_t flags) {
  return is_menu(menu) && AppendMenuA(as_hmenu(menu), MF_STRING | (flags & MENU_BAR_BREAK), id, text);
}
bool menu_append_submenu(MenuHandle menu, MenuHandle submenu, const char* text, uint32_t flags) {
  return is_menu(menu) && is_menu(submenu) &&
         AppendMenuA(as_hmenu(menu), MF_STRING | MF_POPUP | (flags & MENU_BAR_BREAK),
                     reinterpret_cast<UINT_PTR>(submenu), text);
}
bool menu_append_separator(MenuHandle menu) {
  return is_menu(menu) && AppendMenuA(as_hmenu(menu), MF_SEPARATOR, 0, nullptr);
}

int menu_entry_count(MenuHandle menu) { return is_menu(menu) ? GetMenuItemCount(as_hmenu(menu)) : -1; }
bool menu_entry(MenuHandle menu, int index, MenuItem* out) {
  return is_menu(menu) && index >= 0 && read_entry(as_hmenu(menu), UINT(index), TRUE, out);
}

bool menu_find_command(MenuHandle menu, uint32_t id, MenuItem* out) {
  // The system searches the submenus itself; an entry that opens a submenu is not a command.
  return is_menu(menu) && read_entry(as_hmenu(menu), id, FALSE, out) && !out->submenu;
}

bool menu_find_submenu(MenuHandle menu, MenuHandle submenu, MenuItem* out) {
  const int n = menu_entry_count(menu);
  for (int i = 0; i < n; ++i) {
    if (!menu_entry(menu, i, out) || !out->submenu) continue;
    if (out->submenu == submenu) return true;
    MenuHandle inner = out->submenu;
    if (menu_find_submenu(inner, submenu, out)) return true;
  }
  return false;
}


// --- The window of a menu host ------------------------------------------------------------------------

namespace {

constexpr char HOST_CLASS[] = "tovMenuHost";
constexpr UINT WM_KEYDOWN_CODE = 256, WM_CHAR_CODE = 258;

struct HostWindow {
  MenuWindowEvents events;
  HWND text;
  bool closed;
};

HostWindow* host_of(HWND w) { return reinterpret_cast<HostWindow*>(GetWindowLongPtrA(w, GWLP_USERDATA)); }

// The hook that shows the keys typed while a popup menu is open to the host, which may take them.
HostWindow* g_popup_host = nullptr;
HHOOK g_popup_hook = nullptr;

// Hands a key message to the host: key presses (also with Alt) as 256, characters as 258.
bool offer_key(HostWindow* host, const MSG& msg) {
  if (!host || !host->events.on_key) return false;
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return host->events.on_key(host->events.user, WM_KEYDOWN_CODE, uint32_t(msg.wParam));
    case WM_CHAR:
    case WM_SYSCHAR: return host->events.on_key(host->events.user, WM_CHAR_CODE, uint32_t(msg.wParam));
    default: return false;
  }
}

LRESULT CALLBACK popup_filter(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_MENU && g_popup_host && offer_key(g_popup_host, *reinterpret_cast<const MSG*>(lparam))) {
    EndMenu();
    return TRUE;
  }
  return CallNextHookEx(g_popup_hook, code, wparam, lparam);
}

LRESULT CALLBACK host_window_proc(HWND w, UINT msg, WPARAM wparam, LPARAM lparam) {
  HostWindow* host = host_of(w);
  switch (msg) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_SIZE:
      if (host && host->text) MoveWindow(host->text, 8, 8, LOWORD(lparam) - 16, HIWORD(lparam) - 16, TRUE);
      return 0;
    case WM_COMMAND:
      // Menu choices and hotkeys: no control sends commands to this window.
      if (host && host->events.on_command && lparam == 0) host->events.on_command(host->events.user, LOWORD(wparam));
      return 0;
    case WM_MENUSELECT:
      if (host && host->events.on_menu_select) host->events.on_menu_select(host->events.user, wparam, lparam);
      return 0;
    case WM_CLOSE:
      DestroyWindow(w);
      return 0;
    case WM_DESTROY:
      if (host) host->closed = true;
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(w, GWLP_USERDATA, 0);
      delete host;
      return DefWindowProcA(w, msg, wparam, lparam);
    default: break;
  }
  return DefWindowProcA(w, msg, wparam, lparam);
}

bool register_host_class() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = host_window_proc;
  wc.hInstance = win32::engine_module();
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = HOST_CLASS;
  return RegisterClassA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

WindowHandle menu_window_create(const char* caption, const MenuWindowEvents* events) {
  if (!register_host_class()) return nullptr;
  auto* host = new HostWindow{*events, nullptr, false};
  HWND w = CreateWindowExA(0, HOST_CLASS, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 200,
                           nullptr, nullptr, win32::engine_module(), host);
  if (!w) {
    delete host;
    return nullptr;
  }
  host->text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 8, 8, 440, 120, w, nullptr,
                               win32::engine_module(), nullptr);
  return w;
}

void menu_window_show(WindowHandle w) {
  HWND hwnd = static_cast<HWND>(w);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  SetForegroundWindow(hwnd);
}

bool menu_window_set_menu(WindowHandle w, MenuHandle bar) {
  HWND hwnd = static_cast<HWND>(w);
  HMENU old = GetMenu(hwnd);
  if (!SetMenu(hwnd, as_hmenu(bar))) return false;
  if (old && old != as_hmenu(bar)) DestroyMenu(old);
  DrawMenuBar(hwnd);
  return true;
}

void menu_window_set_text(WindowHandle w, const char* text) {
  if (HostWindow* host = host_of(static_cast<HWND>(w))) SetWindowTextA(host->text, text);
}

void menu_window_loop(WindowHandle w) {
  HWND hwnd = static_cast<HWND>(w);
  MSG msg;
  while (IsWindow(hwnd) && !host_of(hwnd)->closed && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Keys typed into the window or its text go to the host first (hotkeys).
    if ((msg.hwnd == hwnd || GetParent(msg.hwnd) == hwnd) && offer_key(host_of(hwnd), msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void menu_window_close(WindowHandle w) {
  if (IsWindow(static_cast<HWND>(w))) DestroyWindow(static_cast<HWND>(w));
}

uint32_t menu_window_track_popup(WindowHandle w, MenuHandle popup) {
  HWND hwnd = static_cast<HWND>(w);
  SetForegroundWindow(hwnd);
  g_popup_host = host_of(hwnd);
  g_popup_hook = SetWindowsHookExA(WH_MSGFILTER, popup_filter, nullptr, GetCurrentThreadId());
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
  const UINT chosen = UINT(TrackPopupMenuEx(as_hmenu(popup), TPM_RETURNCMD | TPM_CENTERALIGN | TPM_VCENTERALIGN |
                                                                   TPM_LEFTBUTTON, x, y, hwnd, nullptr));
  if (g_popup_hook) UnhookWindowsHookEx(g_popup_hook);
  g_popup_hook = nullptr;
  g_popup_host = nullptr;
  // A hotkey ended the menu and posted its command; it reaches the host's handler here.
  MSG msg;
  while (PeekMessageA(&msg, hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE)) DispatchMessageA(&msg);
  PostMessageA(hwnd, WM_NULL, 0, 0);
  return chosen;
}

}  // namespace plat
