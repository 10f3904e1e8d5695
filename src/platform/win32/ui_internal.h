// What the Windows user-interface files share. Internal to src/platform/win32/.
#pragma once
#include <windows.h>

#include <string>

namespace plat::win32 {

// True while a stop request waits to be reported by ctrl_break_pressed. Ctrl+Break held down is made a
// waiting request here, so that the run loop still sees it after the keys are released. Consumes nothing.
bool stop_requested();
// Signalled while a console stop request waits; null before install_break_handler.
HANDLE stop_event();
// Moves a top-level window to the middle of the screen.
void center_on_screen(HWND w);

inline const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string from_wide(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
// The whole text of a window or control.
inline std::u16string window_text16(HWND w) {
  const int n = GetWindowTextLengthW(w);
  std::wstring s(size_t(n) + 1, L'\0');
  s.resize(size_t(GetWindowTextW(w, s.data(), n + 1)));
  return std::u16string(s.begin(), s.end());
}

}  // namespace plat::win32
