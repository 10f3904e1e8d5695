// Text helpers that are the same on every system.
#include "platform/text.h"

namespace plat {

size_t wide_length(const wchar* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace plat
