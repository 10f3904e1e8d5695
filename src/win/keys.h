// Keystroke sending: key strings typed into the window that has the keyboard focus, as key-down and
// key-up events with the modifier keys pressed around each key.
//
// A key string is read one unit at a time: "!" "+" "^" hold Alt, Shift, Control for the next unit; "~" is
// Enter; "{x}" is the character x itself; "{NAME}" a named key; "{NAME n}" or "{x n}" repeats it n times;
// "{*LALT}" and the other "*" names hold a side-specific modifier for the next unit; any other character
// is typed with the keys the keyboard layout needs for it.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;

// Sends the string: 0 when all of it was sent, -1 when it held an error (an unclosed "{" or an unknown
// name), after which nothing more is sent. A stop request ends the sending at the next unit.
int32_t send_key_string(RunContext* ctx, const char* keys);

// One unit of a key string as a key to watch for: its virtual-key code and the modifier flags
// (MOD_SHIFT, MOD_CONTROL, MOD_ALT) that must be held with it. False when the text is not one unit.
bool parse_single_key(const char* text, int* virtual_key, uint32_t* modifiers);

enum KeyModifier : uint32_t {
  MOD_SHIFT = 0x1, MOD_CONTROL = 0x2, MOD_ALT = 0x4,
  MOD_LALT = 0x8, MOD_RALT = 0x10, MOD_LCONTROL = 0x20, MOD_RCONTROL = 0x40,
  MOD_LSHIFT = 0x80, MOD_RSHIFT = 0x100, MOD_LWIN = 0x200, MOD_RWIN = 0x400, MOD_APPS = 0x800,
};

// Switches a lock key (Caps Lock, Num Lock, Scroll Lock) on or off by pressing it when its state
// differs; returns the state it had.
bool set_lock_key(RunContext* ctx, int virtual_key, bool on);

}  // namespace tov
