// GUI tests on Windows: a fixture that skips its tests where no window can be shown (Wine outside a
// virtual X server), and the keyboard as a user has it.
#pragma once
#if defined(_WIN32)
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

class WindowsShown : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool usable = [] {
      HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
      if (w) DestroyWindow(w);
      return w != nullptr;
    }();
    if (!usable) GTEST_SKIP() << "no display to show windows on";
  }
};

inline INPUT key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

// Makes the window the one that takes the keyboard; true when it is.
inline bool bring_to_front(HWND w) {
  for (int attempt = 0; attempt < 50 && GetForegroundWindow() != w; ++attempt) {
    SetForegroundWindow(w);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return GetForegroundWindow() == w;
}
#endif
