// Text helpers that are the same on every system.
#include "platform/text.h"

namespace plat {

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

size_t wide_length(const wchar* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace plat
