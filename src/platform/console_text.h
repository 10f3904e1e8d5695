// Text conversions of the console forms: the console shows and reads ANSI text (UTF-8 on POSIX).
#pragma once
#include <cstddef>
#include <string>

namespace plat {

std::string console_ansi(const char16_t* w, size_t len);
inline std::string console_ansi(const std::u16string& w) { return console_ansi(w.data(), w.size()); }
std::u16string console_wide(const char* a, size_t len);
inline std::u16string console_wide(const std::string& a) { return console_wide(a.data(), a.size()); }

// Writes "title: text" (the text alone without a title; CR LF becomes LF); a hint for a terminal's user
// (not null) ends the line instead of a line feed, so the answer is typed after it.
void console_write_titled(const char16_t* title, const char16_t* text, const char* hint = nullptr);

// Reads one line as wide text; false at the end of input (Cancel).
bool console_read_wide(std::u16string* out, bool echo = true);

}  // namespace plat
