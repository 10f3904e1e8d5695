// The simulated keyboard and mouse of POSIX: every event that keystroke sending and the mouse built-ins
// inject is recorded here in order, and the keyboard keeps the down and toggle states that the events
// give (Caps Lock, Num Lock and Scroll Lock toggle on each press). Tests read and clear the record.
#pragma once
#include <cstdint>
#include <vector>

namespace plat {

struct InputEvent {
  enum Kind : uint8_t { Key, MouseMove, MouseButton } kind;
  bool up;                  // Key, MouseButton
  bool extended;            // Key
  int32_t code;             // Key: virtual-key code; MouseButton: 0 left, 1 right, 2 middle
  int32_t x, y;             // MouseMove: screen pixels
};

std::vector<InputEvent> recorded_input();
// Forgets the record and releases every key and button; toggle states stay unless reset_toggles.
void clear_recorded_input(bool reset_toggles);

}  // namespace plat
