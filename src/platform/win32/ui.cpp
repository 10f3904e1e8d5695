// The user interface on Windows: the message pump, the stop request, windows and message boxes, and
// the console hooks of the console UI.
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <atomic>
#include <mutex>
#include "platform/hooks.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/win32/module.h"
#include "platform/win32/ui_internal.h"

namespace plat {
namespace {

std::atomic<bool> g_console_ui{false};
// A stop request waiting to be reported: a console Ctrl+C or Ctrl+Break, or Ctrl+Break seen by one of the
// Engine's own windows. The event wakes waits while it is pending.
std::atomic<bool> g_console_break{false};
HANDLE g_break_event = nullptr;

BOOL WINAPI on_console_control(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  g_console_break = true;
  SetEvent(g_break_event);
  return TRUE;
}

bool take_console_break() {
  if (!g_console_break.exchange(false)) return false;
  ResetEvent(g_break_event);
  return true;
}

bool down(int virtual_key) { return GetKeyState(virtual_key) < 0 || GetAsyncKeyState(virtual_key) < 0; }

HANDLE standard_input() { return GetStdHandle(STD_INPUT_HANDLE); }

bool console_mode(DWORD* mode) { return GetConsoleMode(standard_input(), mode) != 0; }

// The console's input mode before echo was switched off.
DWORD g_saved_mode = 0;
bool g_echo_off = false;

bool is_modifier(WORD key) { return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU; }

}  // namespace

bool pump_one_message() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  HWND target = msg.hwnd;
  // A control that takes part in tabbing is handled by its dialog.
  if (target && (GetWindowLongA(target, GWL_STYLE) & WS_TABSTOP)) target = GetParent(target);
  if (target && IsDialogMessageA(target, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

bool ctrl_break_pressed() {
  const bool console = take_console_break();
  return console || (down(VK_CONTROL) && down(VK_CANCEL));
}

void install_break_handler() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_break_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_control, TRUE);
  });
}

bool wait_for_input(uint32_t ms) {
  HANDLE events[1] = {g_break_event};
  const DWORD count = g_break_event ? 1 : 0;
  const DWORD r = MsgWaitForMultipleObjects(count, count ? events : nullptr, FALSE, ms, QS_ALLINPUT);
  return r >= WAIT_OBJECT_0 && r <= WAIT_OBJECT_0 + count;
}

bool key_down(int virtual_key) { return down(virtual_key); }
bool key_toggled(int virtual_key) { return (GetKeyState(virtual_key) & 1) != 0; }

bool block_input(bool on, uint32_t* error) {
  if (error) *error = 0;
  if (BlockInput(on ? TRUE : FALSE)) return true;
  if (error) *error = GetLastError();
  return false;
}

WindowHandle focus_window() {
  HWND w = GetFocus();
  return w ? w : GetForegroundWindow();
}

WindowHandle window_parent(WindowHandle w) { return GetParent(static_cast<HWND>(w)); }
bool is_window(WindowHandle w) { return w && IsWindow(static_cast<HWND>(w)); }
bool window_enabled(WindowHandle w) { return w && IsWindowEnabled(static_cast<HWND>(w)); }

bool post_command(WindowHandle w, uint32_t command_id) {
  return PostMessageA(static_cast<HWND>(w), WM_COMMAND, command_id, 0) != 0;
}

bool register_window_classes() {
  HINSTANCE instance = win32::engine_module();
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  auto registered = [](ATOM atom) { return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS; };

  WNDCLASSA plain{};
  plain.lpfnWndProc = DefWindowProcA;
  plain.hInstance = instance;
  plain.hCursor = arrow;
  plain.lpszClassName = "qz8wcmmn";
  bool ok = registered(RegisterClassA(&plain));

  WNDCLASSA dialog{};
  dialog.style = CS_DBLCLKS;
  dialog.lpfnWndProc = DefDlgProcA;
  dialog.cbWndExtra = DLGWINDOWEXTRA;
  dialog.hInstance = instance;
  dialog.hCursor = arrow;
  dialog.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  for (const char* name : {"qz9wcdlg", "qz0wcdl2"}) {
    dialog.lpszClassName = name;
    ok = registered(RegisterClassA(&dialog)) && ok;
  }
  if (os_info().nt_family) {
    WNDCLASSW wide{};
    wide.style = CS_DBLCLKS;
    wide.lpfnWndProc = DefDlgProcW;
    wide.cbWndExtra = DLGWINDOWEXTRA;
    wide.hInstance = instance;
    wide.hCursor = arrow;
    wide.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wide.lpszClassName = L"qz0wcdl3";
    ok = registered(RegisterClassW(&wide)) && ok;
  }
  return ok;
}

int default_window_bottom() {
  auto create = [] {
    return CreateWindowExA(0, "qz8wcmmn", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, win32::engine_module(), nullptr);
  };
  HWND w = create();
  if (!w && GetLastError() == ERROR_CANNOT_FIND_WND_CLASS && register_window_classes()) w = create();
  if (!w) return 0;
  RECT r{};
  GetWindowRect(w, &r);
  DestroyWindow(w);
  return r.bottom;
}

bool has_cursor() { return true; }
CursorHandle wait_cursor() { return LoadCursorA(nullptr, IDC_WAIT); }
CursorHandle arrow_cursor() { return LoadCursorA(nullptr, IDC_ARROW); }
void set_cursor(CursorHandle c) { SetCursor(static_cast<HCURSOR>(c)); }
void message_beep(int type) { MessageBeep(static_cast<UINT>(type)); }
void play_system_sound(const char* event) { PlaySoundA(event, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT); }
bool open_url(const char* url) {
  return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

void set_console_ui(bool on) { g_console_ui = on; }
bool console_ui() { return g_console_ui; }

int message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags) {
  if (g_console_ui) return console_message_box(text, caption, flags);
  return MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

namespace os {

bool stdin_is_terminal() {
  DWORD mode;
  return console_mode(&mode);
}

ReadResult console_read_byte(unsigned char* byte) {
  HANDLE in = standard_input();
  // A pipe is polled, so that a stop request is seen while no input comes.
  if (GetFileType(in) == FILE_TYPE_PIPE) {
    for (;;) {
      if (g_console_break) return ReadResult::Stopped;
      DWORD available = 0;
      if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return ReadResult::End;
      if (available) break;
      Sleep(20);
    }
  }
  if (g_console_break) return ReadResult::Stopped;
  DWORD got = 0;
  if (ReadFile(in, byte, 1, &got, nullptr) && got == 1) return ReadResult::Byte;
  // Ctrl+C ends a console read early.
  return g_console_break ? ReadResult::Stopped : ReadResult::End;
}

void console_echo(bool on) {
  if (on) {
    if (g_echo_off) SetConsoleMode(standard_input(), g_saved_mode);
    g_echo_off = false;
    return;
  }
  DWORD mode;
  if (g_echo_off || !console_mode(&mode)) return;
  g_saved_mode = mode;
  g_echo_off = SetConsoleMode(standard_input(), mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

// Keys are read as console input events, which the line mode does not affect.
void console_key_mode(bool) {}

bool console_key_slice(uint32_t ms) {
  HANDLE in = standard_input();
  if (WaitForSingleObject(in, ms) != WAIT_OBJECT_0) return false;
  DWORD pending = 0;
  while (GetNumberOfConsoleInputEvents(in, &pending) && pending) {
    INPUT_RECORD record;
    DWORD got = 0;
    if (!ReadConsoleInputA(in, &record, 1, &got) || got == 0) break;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        !is_modifier(record.Event.KeyEvent.wVirtualKeyCode))
      return true;
  }
  return false;
}

bool stop_pending() { return g_console_break; }

void consume_stop() { take_console_break(); }

void console_write_raw(const char* text, size_t n) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (n) {
    DWORD written = 0;
    if (!WriteFile(out, text, n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n), &written, nullptr) || !written)
      return;
    text += written;
    n -= written;
  }
}

}  // namespace os
}  // namespace plat

namespace plat {
size_t window_text(WindowHandle w, char* out, size_t out_cap) {
  if (!out_cap) return 0;
  out[0] = 0;
  if (!w || !IsWindow(static_cast<HWND>(w))) return 0;
  int n = GetWindowTextA(static_cast<HWND>(w), out, int(out_cap > 0x7FFFFFFF ? 0x7FFFFFFF : out_cap));
  return n > 0 ? size_t(n) : 0;
}
}  // namespace plat

namespace plat::win32 {

bool stop_requested() {
  if (down(VK_CONTROL) && down(VK_CANCEL) && !g_console_break.exchange(true) && g_break_event)
    SetEvent(g_break_event);
  return g_console_break;
}

HANDLE stop_event() { return g_break_event; }

void center_on_screen(HWND w) {
  RECT r{};
  if (!GetWindowRect(w, &r)) return;
  const int width = r.right - r.left, height = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(w, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace plat::win32
