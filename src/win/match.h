// Window titles against title patterns, and the WinId text of a window handle. Pure functions: the
// lookups apply them to the titles that the system's enumeration gives, and tests to lists of their own.
//
// A pattern's first and last characters choose the match:
//   "~text"   the title contains text;            "~text~"  the title ends with text;
//   "text~"   the title is exactly text;          "text"    the title begins with text.
// A one-character pattern, even "~", is a prefix. Comparisons are exact and case-sensitive.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "builtins/strings_text.h"

namespace tov {

template <class F>
using TitleView = std::basic_string_view<typename F::Unit>;

// The title of a window that a top-level lookup never finds (a DOS session's placeholder window).
template <class U>
inline constexpr U kWinOldAp[] = {'W', 'i', 'n', 'O', 'l', 'd', 'A', 'p', 0};

template <class F>
bool is_winoldap(TitleView<F> title) {
  return title == TitleView<F>(kWinOldAp<typename F::Unit>);
}

// Units of the last character of s (s not empty).
template <class F>
size_t last_char_units(TitleView<F> s, const F& form) {
  size_t i = 0, last = 0;
  while (i < s.size()) {
    last = form.char_units(s.data() + i, s.size() - i);
    i += last;
  }
  return last;
}

template <class F>
bool match_title(TitleView<F> title, TitleView<F> pattern, const F& form) {
  using U = typename F::Unit;
  const U tilde = U('~');
  const size_t first = pattern.empty() ? 0 : form.char_units(pattern.data(), pattern.size());
  const bool two_or_more = !pattern.empty() && first < pattern.size();
  if (two_or_more && pattern.front() == tilde) {
    TitleView<F> q = pattern.substr(1);
    const size_t last = last_char_units(q, form);
    const bool at_end = last == 1 && q.back() == tilde;
    if (at_end) q.remove_suffix(1);
    if (q.empty()) return false;
    for (size_t i = 0; i + q.size() <= title.size(); i += form.char_units(title.data() + i, title.size() - i))
      if (title.compare(i, q.size(), q) == 0 && (!at_end || i + q.size() == title.size())) return true;
    return false;
  }
  if (two_or_more && last_char_units(pattern, form) == 1 && pattern.back() == tilde)
    return title == pattern.substr(0, pattern.size() - 1);
  return pattern.size() <= title.size() && title.compare(0, pattern.size(), pattern) == 0;
}

// A top-level lookup skips untitled windows and the DOS placeholder; a child lookup only untitled ones.
template <class F>
bool top_window_matches(TitleView<F> title, TitleView<F> pattern, const F& form) {
  return !title.empty() && !is_winoldap<F>(title) && match_title(title, pattern, form);
}
template <class F>
bool child_window_matches(TitleView<F> title, TitleView<F> pattern, const F& form) {
  return !title.empty() && match_title(title, pattern, form);
}

// --- WinId: "#WIN$ID#" and the handle in eight upper-case hexadecimal digits --------------------------

constexpr size_t WINID_CHARS = 16;

// Writes the WinId of a window id and its NUL; false when out has room for fewer than 17 units.
template <class U>
bool format_winid(uint32_t id, U* out, size_t out_cap) {
  if (out_cap < WINID_CHARS + 1) return false;
  static const char kPrefix[] = "#WIN$ID#", kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < 8; ++i) out[i] = U(kPrefix[i]);
  for (size_t i = 0; i < 8; ++i) out[8 + i] = U(kDigits[(id >> (28 - 4 * i)) & 0xF]);
  out[WINID_CHARS] = 0;
  return true;
}

// True when the text has the form of a WinId; *id is then its number (0 when the digits are not all
// hexadecimal, which names no window).
template <class U>
bool parse_winid(std::basic_string_view<U> text, uint32_t* id) {
  static const char kPrefix[] = "#WIN$ID#";
  if (text.size() != WINID_CHARS) return false;
  for (size_t i = 0; i < 8; ++i)
    if (text[i] != U(kPrefix[i])) return false;
  uint32_t v = 0;
  for (size_t i = 8; i < WINID_CHARS; ++i) {
    const uint32_t c = uint32_t(text[i]);
    const int digit = c >= '0' && c <= '9' ? int(c - '0') : c >= 'A' && c <= 'F' ? int(c - 'A' + 10)
                      : c >= 'a' && c <= 'f' ? int(c - 'a' + 10) : -1;
    if (digit < 0) {
      *id = 0;
      return true;
    }
    v = v << 4 | uint32_t(digit);
  }
  *id = v;
  return true;
}

}  // namespace tov
