// The desktop on Windows: windows of every program, injected input, the screen and the system.
#include <windows.h>
#include <string>
#include "platform/desktop.h"

namespace plat {
namespace {

HWND h(WindowHandle w) { return static_cast<HWND>(w); }

// A program that does not answer a sent message within this time is taken as hung.
constexpr UINT SEND_TIMEOUT_MS = 30000;

// Runs fn with this thread's input attached to the thread of the window, so that focus and foreground
// changes of another program's windows are allowed.
template <class Fn>
void with_attached_input(HWND w, Fn&& fn) {
  const DWORD mine = GetCurrentThreadId(), theirs = GetWindowThreadProcessId(w, nullptr);
  const bool attached = theirs && theirs != mine && AttachThreadInput(mine, theirs, TRUE);
  fn();
  if (attached) AttachThreadInput(mine, theirs, FALSE);
}

}  // namespace

// --- enumeration and one window ---------------------------------------------------------------------------

void enum_top_windows(EnumWindowsProc proc, intptr_t param) {
  EnumWindows(reinterpret_cast<WNDENUMPROC>(proc), param);
}

void enum_child_windows(WindowHandle parent, EnumWindowsProc proc, intptr_t param) {
  EnumChildWindows(h(parent), reinterpret_cast<WNDENUMPROC>(proc), param);
}

size_t window_text_w(WindowHandle w, char16_t* out, size_t out_cap) {
  if (!out_cap) return 0;
  out[0] = 0;
  if (!w || !IsWindow(h(w))) return 0;
  const int n = GetWindowTextW(h(w), reinterpret_cast<wchar_t*>(out), int(out_cap > 0x7FFFFFFF ? 0x7FFFFFFF : out_cap));
  return n > 0 ? size_t(n) : 0;
}

bool set_window_text(WindowHandle w, const char* text) { return SetWindowTextA(h(w), text) != 0; }
bool set_window_text_w(WindowHandle w, const char16_t* text) {
  return SetWindowTextW(h(w), reinterpret_cast<const wchar_t*>(text)) != 0;
}

std::u16string window_class_name(WindowHandle w) {
  wchar_t name[256] = L"";
  const int n = GetClassNameW(h(w), name, 256);
  return std::u16string(reinterpret_cast<const char16_t*>(name), n > 0 ? size_t(n) : 0);
}

uint32_t window_id(WindowHandle w) { return uint32_t(reinterpret_cast<uintptr_t>(w)); }
// Window handles are 32-bit values that 64-bit Windows sign-extends.
WindowHandle window_from_id(uint32_t id) { return reinterpret_cast<WindowHandle>(intptr_t(int32_t(id))); }

bool window_visible(WindowHandle w) { return IsWindowVisible(h(w)) != 0; }
bool window_minimized(WindowHandle w) { return IsIconic(h(w)) != 0; }
bool window_maximized(WindowHandle w) { return IsZoomed(h(w)) != 0; }

bool window_descends_from(WindowHandle w, WindowHandle ancestor) {
  for (HWND p = GetParent(h(w)); p; p = GetParent(p))
    if (p == h(ancestor)) return true;
  return false;
}

uint32_t window_process_id(WindowHandle w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h(w), &pid);
  return pid;
}

std::u16string process_program_path(uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  wchar_t path[MAX_PATH * 4];
  DWORD n = sizeof path / sizeof path[0];
  const bool ok = QueryFullProcessImageNameW(process, 0, path, &n) != 0;
  CloseHandle(process);
  return ok ? std::u16string(reinterpret_cast<const char16_t*>(path), n) : std::u16string();
}

IdleState wait_window_idle(WindowHandle w, uint32_t ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, window_process_id(w));
  if (!process) return IdleState::Failed;
  const DWORD r = WaitForInputIdle(process, ms);
  CloseHandle(process);
  return r == 0 ? IdleState::Idle : r == WAIT_TIMEOUT ? IdleState::Busy : IdleState::Failed;
}

// --- activation and showing -------------------------------------------------------------------------------

WindowHandle foreground_window() { return GetForegroundWindow(); }
bool set_foreground_window(WindowHandle w) { return SetForegroundWindow(h(w)) != 0; }
WindowHandle top_child(WindowHandle w) { return GetTopWindow(h(w)); }

void set_focus(WindowHandle w) {
  with_attached_input(h(w), [&] { SetFocus(h(w)); });
}

void force_foreground(WindowHandle w, int method) {
  if (method <= 0) return;
  HWND target = h(w);
  HWND front = GetForegroundWindow();
  DWORD lock_timeout = 0;
  const bool unlocked = method >= 3 && SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lock_timeout, 0) &&
                        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  if (method >= 5) {
    // A key event of this process makes it the one that last had input, which may set the foreground.
    keybd_event(VK_MENU, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(VK_MENU, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
  }
  auto bring = [&] {
    if (method >= 2) BringWindowToTop(target);
    SetForegroundWindow(target);
  };
  if (front && front != target) with_attached_input(front, bring);
  else bring();
  if (method >= 4 && !window_topmost(target)) {
    SetWindowPos(target, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(target, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (unlocked)
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(uintptr_t(lock_timeout)), 0);
}

bool show_window(WindowHandle w, Show how) {
  static const int kCommands[] = {SW_HIDE, SW_SHOWNA, SW_SHOW, SW_SHOWMINNOACTIVE, SW_SHOWMAXIMIZED, SW_RESTORE};
  ShowWindow(h(w), kCommands[int(how)]);
  return true;
}

bool post_sys_command(WindowHandle w, SysCommand command) {
  static const WPARAM kCommands[] = {SC_CLOSE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE};
  return PostMessageW(h(w), WM_SYSCOMMAND, kCommands[int(command)], 0) != 0;
}

intptr_t send_window_message(WindowHandle w, uint32_t message, uintptr_t wparam, intptr_t lparam, bool wide) {
  DWORD_PTR answer = 0;
  const auto send = wide ? SendMessageTimeoutW : SendMessageTimeoutA;
  if (!send(h(w), message, wparam, lparam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &answer)) return 0;
  return intptr_t(answer);
}

// --- position and size -----------------------------------------------------------------------------------

namespace {
Rect from(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT to(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }
}  // namespace

bool window_rect(WindowHandle w, Rect* r) {
  RECT rc;
  if (!GetWindowRect(h(w), &rc)) return false;
  *r = from(rc);
  return true;
}

bool client_rect_on_screen(WindowHandle w, Rect* r) {
  RECT rc;
  if (!GetClientRect(h(w), &rc)) return false;
  POINT corners[2] = {{rc.left, rc.top}, {rc.right, rc.bottom}};
  MapWindowPoints(h(w), nullptr, corners, 2);
  *r = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  return true;
}

bool move_window(WindowHandle w, const Rect& r) {
  POINT origin{r.left, r.top};
  // A child is placed in its parent's client coordinates.
  if (HWND parent = (GetWindowLongW(h(w), GWL_STYLE) & WS_CHILD) ? GetParent(h(w)) : nullptr)
    ScreenToClient(parent, &origin);
  return SetWindowPos(h(w), nullptr, origin.x, origin.y, r.right - r.left, r.bottom - r.top,
                      SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}

Rect screen_rect() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Rect work_area() {
  RECT rc;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0)) return screen_rect();
  return from(rc);
}

bool get_placement(WindowHandle w, Placement* p) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(h(w), &wp)) return false;
  p->normal = from(wp.rcNormalPosition);
  p->minX = wp.ptMinPosition.x;
  p->minY = wp.ptMinPosition.y;
  p->maxX = wp.ptMaxPosition.x;
  p->maxY = wp.ptMaxPosition.y;
  return true;
}

bool set_placement(WindowHandle w, const Placement& p) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(h(w), &wp)) return false;
  wp.rcNormalPosition = to(p.normal);
  wp.ptMinPosition = {p.minX, p.minY};
  wp.ptMaxPosition = {p.maxX, p.maxY};
  wp.flags |= WPF_SETMINPOSITION;
  // The window keeps the state it is in; only the positions of each state change.
  wp.showCmd = IsIconic(h(w)) ? SW_SHOWMINNOACTIVE : IsZoomed(h(w)) ? SW_SHOWMAXIMIZED
               : IsWindowVisible(h(w)) ? SW_SHOWNA : SW_HIDE;
  return SetWindowPlacement(h(w), &wp) != 0;
}

bool window_topmost(WindowHandle w) { return (GetWindowLongW(h(w), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

bool set_topmost(WindowHandle w, bool on) {
  return SetWindowPos(h(w), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != 0;
}

bool arrange_windows(Arrangement how) {
  switch (how) {
    case Arrangement::Cascade: return CascadeWindows(nullptr, 0, nullptr, 0, nullptr) != 0;
    case Arrangement::Tile: ArrangeIconicWindows(GetDesktopWindow());
      return TileWindows(nullptr, MDITILE_VERTICAL, nullptr, 0, nullptr) != 0;
    case Arrangement::TileRows: return TileWindows(nullptr, MDITILE_HORIZONTAL, nullptr, 0, nullptr) != 0;
    case Arrangement::TileColumns: return TileWindows(nullptr, MDITILE_VERTICAL, nullptr, 0, nullptr) != 0;
    case Arrangement::Icons: ArrangeIconicWindows(GetDesktopWindow()); return true;
  }
  return false;
}

WindowHandle find_window_by_class(const char16_t* class_name) {
  return FindWindowW(reinterpret_cast<const wchar_t*>(class_name), nullptr);
}

// --- menus ------------------------------------------------------------------------------------------------

MenuHandle window_menu(WindowHandle w) { return GetMenu(h(w)); }
MenuHandle system_menu(WindowHandle w) { return GetSystemMenu(h(w), FALSE); }

std::vector<MenuEntry> menu_entries(MenuHandle menu) {
  std::vector<MenuEntry> entries;
  HMENU m = static_cast<HMENU>(menu);
  const int count = GetMenuItemCount(m);
  for (int i = 0; i < count; ++i) {
    wchar_t text[512] = L"";
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STATE | MIIM_STRING | MIIM_FTYPE;
    info.dwTypeData = text;
    info.cch = sizeof text / sizeof text[0];
    if (!GetMenuItemInfoW(m, UINT(i), TRUE, &info)) continue;
    if (info.fType & MFT_SEPARATOR) continue;
    entries.push_back({std::u16string(reinterpret_cast<const char16_t*>(text)), info.wID, info.hSubMenu,
                       !(info.fState & (MFS_DISABLED | MFS_GRAYED))});
  }
  return entries;
}

bool post_menu_command(WindowHandle w, uint32_t id, bool system) {
  return PostMessageW(h(w), system ? WM_SYSCOMMAND : WM_COMMAND, id, 0) != 0;
}

// --- keyboard and mouse -----------------------------------------------------------------------------------

bool inject_key(int virtual_key, bool up, bool extended) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = WORD(virtual_key);
  in.ki.wScan = WORD(MapVirtualKeyW(UINT(virtual_key), MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  return SendInput(1, &in, sizeof in) == 1;
}

int32_t char_to_key(unsigned char c) {
  const SHORT k = VkKeyScanA(static_cast<CHAR>(c));
  return k == -1 || (k & 0xFF) == 0xFF ? -1 : int32_t(uint16_t(k));
}

bool inject_mouse_move(int32_t x, int32_t y) {
  // Absolute positions go in 0..65535 over the whole virtual screen.
  const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (vw <= 1 || vh <= 1) return false;
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = LONG((int64_t(x - vx) * 65535 + (vw - 1) / 2) / (vw - 1));
  in.mi.dy = LONG((int64_t(y - vy) * 65535 + (vh - 1) / 2) / (vh - 1));
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  return SendInput(1, &in, sizeof in) == 1;
}

bool inject_mouse_button(MouseButton b, bool up) {
  static const DWORD kDown[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN};
  static const DWORD kUp[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEUP};
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = up ? kUp[int(b)] : kDown[int(b)];
  return SendInput(1, &in, sizeof in) == 1;
}

bool cursor_position(int32_t* x, int32_t* y) {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  *x = p.x;
  *y = p.y;
  return true;
}

WindowHandle top_window_at(int32_t x, int32_t y) {
  HWND w = WindowFromPoint(POINT{x, y});
  return w ? GetAncestor(w, GA_ROOT) : nullptr;
}

WindowHandle child_window_at(int32_t x, int32_t y) { return WindowFromPoint(POINT{x, y}); }

uint32_t mouse_buttons_down() {
  // The buttons as the user sees them, whatever swapping the system applies.
  const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  const bool left = GetAsyncKeyState(swapped ? VK_RBUTTON : VK_LBUTTON) < 0;
  const bool right = GetAsyncKeyState(swapped ? VK_LBUTTON : VK_RBUTTON) < 0;
  return (left ? 4u : 0u) | (right ? 8u : 0u) | (GetAsyncKeyState(VK_MBUTTON) < 0 ? 16u : 0u);
}

// --- the system -------------------------------------------------------------------------------------------

int32_t system_metric(int32_t index) { return GetSystemMetrics(index); }

int32_t screen_bits_per_pixel() {
  HDC dc = GetDC(nullptr);
  const int bits = dc ? GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) : 0;
  if (dc) ReleaseDC(nullptr, dc);
  return bits;
}

int32_t screen_pixels_per_inch() {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi;
}

bool system_parameter_get(uint32_t request, int32_t* value) {
  // Room for the larger answers of some requests; the first integer is the value.
  int32_t answer[64] = {};
  if (!SystemParametersInfoW(request, 0, answer, 0)) return false;
  *value = answer[0];
  return true;
}

bool system_parameter_set(uint32_t request, int32_t value, const char16_t* text, uint32_t update) {
  const UINT flags = (update & 1 ? SPIF_UPDATEINIFILE : 0) | (update & 2 ? SPIF_SENDCHANGE : 0);
  if (text)
    return SystemParametersInfoW(request, 0, const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text)), flags) != 0;
  return SystemParametersInfoW(request, UINT(value), nullptr, flags) != 0;
}

bool show_help(WindowHandle owner, const char16_t* file, uint32_t command, uintptr_t data) {
  return WinHelpW(h(owner), reinterpret_cast<const wchar_t*>(file), command, data) != 0;
}

MemoryStatus memory_status() {
  MEMORYSTATUSEX m{};
  m.dwLength = sizeof m;
  GlobalMemoryStatusEx(&m);
  return {m.dwMemoryLoad, m.ullTotalPhys, m.ullAvailPhys, m.ullTotalVirtual, m.ullAvailVirtual};
}

uint32_t processor_count() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwNumberOfProcessors;
}

uint32_t page_size() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwPageSize;
}

std::u16string computer_name() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = sizeof name / sizeof name[0];
  return GetComputerNameW(name, &n) ? std::u16string(reinterpret_cast<const char16_t*>(name), n) : std::u16string();
}

std::u16string user_name() {
  wchar_t name[257];
  DWORD n = sizeof name / sizeof name[0];
  return GetUserNameW(name, &n) && n ? std::u16string(reinterpret_cast<const char16_t*>(name), n - 1) : std::u16string();
}

}  // namespace plat
