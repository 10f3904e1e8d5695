// The run context's part for window lookup and keystroke sending: settings, the buffers of a lookup and
// what keystroke sending remembers of the foreground window. Plain data, valid when zero-filled until the
// context is initialised (window_state_init).
#pragma once
#include <cstdint>

#include "platform/ui.h"

namespace tov {

// Titles and patterns are compared on at most this many characters less one (the NUL).
constexpr uint32_t WINDOW_TEXT_CHARS = 2050;

struct WindowState {
  // --- settings (IntControl) ---
  int32_t retries;                 // 46: extra lookup attempts, one second apart
  uint32_t waitDelay;              // 70: pause after a waiting built-in saw its condition (ms)
  int32_t activateMethod;          // 61: how hard activation pushes a window to the foreground (0-5)
  int32_t sendKeyDelay;            // 35: pause after each unit of a key string (ms)
  uint32_t idleWait;               // 43: wait for the foreground program to be idle before each unit
  uint32_t consoleMode;            // 45: send to console windows without pumping or delay

  // --- one lookup or enumeration, rewritten by each ---
  plat::WindowHandle found;        // the window the matching callback found
  void* job;                       // the list or close job of the running enumeration
  char pattern[WINDOW_TEXT_CHARS];
  char text[WINDOW_TEXT_CHARS];
  char16_t wpattern[WINDOW_TEXT_CHARS];
  char16_t wtext[WINDOW_TEXT_CHARS];

  // --- keystroke sending: the foreground window last seen and what it implies ---
  plat::WindowHandle lastForeground;
  char lastTitle[81];
  uint32_t consoleActive;
  uint32_t idleActive;
};

void window_state_init(WindowState* s);

}  // namespace tov
