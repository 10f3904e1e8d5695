// GUI tests on Windows: a fixture that skips its tests where no window can be shown (Wine outside a
// virtual X server).
#pragma once
#if defined(_WIN32)
#include <windows.h>
#include <gtest/gtest.h>

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
#endif
