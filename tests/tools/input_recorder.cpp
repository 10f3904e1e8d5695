// A test program: a window that records the keyboard and mouse events it receives and writes them to a
// log file, one line per event, flushed at once:
//   key down VK [ext]        key up VK [ext]       (every key event, from a low-level keyboard hook)
//   mouse move X Y           mouse down BUTTON      mouse up BUTTON     (BUTTON: left, right, middle)
//
//   input_recorder TITLE LOG [CLOSE-AFTER-MS]
//
// The window has two children titled "Child Button" and "Child Label". With CLOSE-AFTER-MS the window closes itself after that many milliseconds.
#include <windows.h>
#include <cstdio>
#include <cstdlib>

namespace {

FILE* g_log = nullptr;
HWND g_window = nullptr;
constexpr UINT_PTR CLOSE_TIMER = 1;

void logf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(g_log, format, args);
  va_end(args);
  std::fputc('\n', g_log);
  std::fflush(g_log);
}

LRESULT CALLBACK keyboard_hook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    const bool up = wparam == WM_KEYUP || wparam == WM_SYSKEYUP;
    logf("key %s %lu%s", up ? "up" : "down", static_cast<unsigned long>(k->vkCode),
         (k->flags & LLKHF_EXTENDED) ? " ext" : "");
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK mouse_hook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lparam);
    switch (wparam) {
      case WM_MOUSEMOVE: logf("mouse move %ld %ld", m->pt.x, m->pt.y); break;
      case WM_LBUTTONDOWN: logf("mouse down left"); break;
      case WM_LBUTTONUP: logf("mouse up left"); break;
      case WM_RBUTTONDOWN: logf("mouse down right"); break;
      case WM_RBUTTONUP: logf("mouse up right"); break;
      case WM_MBUTTONDOWN: logf("mouse down middle"); break;
      case WM_MBUTTONUP: logf("mouse up middle"); break;
      default: break;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK window_proc(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam == CLOSE_TIMER) DestroyWindow(w);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(w, message, wparam, lparam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: input_recorder TITLE LOG [CLOSE-AFTER-MS]\n");
    return 2;
  }
  g_log = std::fopen(argv[2], "w");
  if (!g_log) return 1;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA cls{};
  cls.lpfnWndProc = window_proc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = "TovInputRecorder";
  RegisterClassA(&cls);
  g_window = CreateWindowExA(0, cls.lpszClassName, argv[1], WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr,
                             nullptr, instance, nullptr);
  CreateWindowExA(0, "BUTTON", "Child Button", WS_CHILD | WS_VISIBLE, 10, 10, 120, 30, g_window, nullptr,
                  instance, nullptr);
  CreateWindowExA(0, "STATIC", "Child Label", WS_CHILD | WS_VISIBLE, 10, 50, 200, 24, g_window, nullptr, instance,
                  nullptr);
  HHOOK keys = SetWindowsHookExA(WH_KEYBOARD_LL, keyboard_hook, instance, 0);
  HHOOK mouse = SetWindowsHookExA(WH_MOUSE_LL, mouse_hook, instance, 0);
  ShowWindow(g_window, SW_SHOW);
  SetForegroundWindow(g_window);
  SetFocus(g_window);
  if (argc > 3) SetTimer(g_window, CLOSE_TIMER, static_cast<UINT>(std::atoi(argv[3])), nullptr);
  logf("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (keys) UnhookWindowsHookEx(keys);
  if (mouse) UnhookWindowsHookEx(mouse);
  logf("closed");
  std::fclose(g_log);
  return 0;
}
