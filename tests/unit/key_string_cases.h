// Key strings and the key events that sending them injects, in order: one table for the recording of the
// POSIX build and for the events a window of another program receives under Windows.
//
// An event is "+NAME" (down) or "-NAME" (up), with "*" after the name when it carries the extended-key
// flag. Names are the keys' letters and digits, or the names below; other codes are written "#CODE".
#pragma once
#include <cstdint>
#include <string>

namespace tov::test {

struct KeyStringCase {
  const char* keys;
  int32_t result;          // what SendKey returns
  const char* events;
};

inline const KeyStringCase kKeyStringCases[] = {
    {"abc~", 0, "+A -A +B -B +C -C +ENTER -ENTER"},
    {"+a", 0, "+SHIFT +A -A -SHIFT"},
    {"A", 0, "+SHIFT +A -A -SHIFT"},
    {"{TAB 3}", 0, "+TAB -TAB +TAB -TAB +TAB -TAB"},
    {"{x 0}", 0, ""},
    {"{a 2}", 0, "+A -A +A -A"},
    {"{+}", 0, "+SHIFT +PLUS -PLUS -SHIFT"},
    {"+{+}", 0, "+SHIFT +PLUS -PLUS -SHIFT"},
    {"{}}{{}", 0, "+SHIFT +RBRACKET -RBRACKET -SHIFT +SHIFT +LBRACKET -LBRACKET -SHIFT"},
    {"{*LWIN}r", 0, "+LWIN* +R -R -LWIN*"},
    {"!{F5}", 0, "+ALT +F5 -ALT -F5"},
    {"^+a", 0, "+SHIFT +CTRL +A -A -CTRL -SHIFT"},
    {"{*RALT}{*LCONTROL}x", 0, "+LCTRL +RALT* +X -RALT* -X -LCTRL"},
    {"!+{*APPS}{F10}", 0, "+SHIFT +APPS* +ALT +F10 -ALT -F10 -APPS* -SHIFT"},
    {"{enter}{Del}{NUMPAD~}", 0, "+ENTER -ENTER +DELETE* -DELETE* +ENTER* -ENTER*"},
    {"1 ;", 0, "+1 -1 +SPACE -SPACE +SEMICOLON -SEMICOLON"},
    {"a^", 0, "+A -A"},
    {"{NOSUCHKEY}x", -1, ""},
    {"ab{TAB", -1, "+A -A +B -B"},
    {"{}", -1, ""},
};

inline std::string key_name(int code) {
  static const struct {
    int code;
    const char* name;
  } kNames[] = {{8, "BACK"}, {9, "TAB"}, {13, "ENTER"}, {16, "SHIFT"}, {17, "CTRL"}, {18, "ALT"},
                {20, "CAPSLOCK"}, {27, "ESC"}, {32, "SPACE"}, {46, "DELETE"}, {91, "LWIN"}, {92, "RWIN"},
                {93, "APPS"}, {144, "NUMLOCK"}, {160, "LSHIFT"}, {161, "RSHIFT"}, {162, "LCTRL"},
                {163, "RCTRL"}, {164, "LALT"}, {165, "RALT"}, {0xBA, "SEMICOLON"}, {0xBB, "PLUS"},
                {0xDB, "LBRACKET"}, {0xDD, "RBRACKET"}};
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) return std::string(1, char(code));
  if (code >= 112 && code <= 127) return "F" + std::to_string(code - 111);
  for (const auto& n : kNames)
    if (n.code == code) return n.name;
  return "#" + std::to_string(code);
}

// Appends one event to a description in the table's form.
inline void describe_key(std::string& out, int code, bool up, bool extended) {
  if (!out.empty()) out += ' ';
  out += up ? '-' : '+';
  out += key_name(code);
  if (extended) out += '*';
}

}  // namespace tov::test
