#include "platform/utf8.h"

namespace plat::utf8 {

size_t decode(const unsigned char* p, size_t left, uint32_t* cp, bool* valid) {
  const unsigned char b0 = p[0];
  *valid = false;
  *cp = REPLACEMENT;
  if (b0 < 0x80) {
    *cp = b0;
    *valid = true;
    return 1;
  }
  if (b0 < 0xC2 || b0 > 0xF4) return 1;
  const size_t trail = b0 < 0xE0 ? 1 : b0 < 0xF0 ? 2 : 3;
  // The second byte's range excludes overlong forms, surrogates and values above U+10FFFF.
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 == 0xE0) lo = 0xA0;
  else if (b0 == 0xED) hi = 0x9F;
  else if (b0 == 0xF0) lo = 0x90;
  else if (b0 == 0xF4) hi = 0x8F;
  uint32_t value = b0 & (0x3F >> trail);
  for (size_t i = 1; i <= trail; ++i) {
    if (i >= left) return i;
    const unsigned char b = p[i];
    if (b < lo || b > hi) return i;
    value = (value << 6) | (b & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  *cp = value;
  *valid = true;
  return trail + 1;
}

size_t sequence_length(const char* p) {
  if (*p == 0) return 1;
  uint32_t cp;
  bool valid;
  // The NUL terminator is outside every trail-byte range, so four bytes are never read past the end.
  return decode(p, 4, &cp, &valid);
}

size_t encode(uint32_t cp, char* out) {
  if (cp >= 0xD800 && (cp < 0xE000 || cp > 0x10FFFF)) cp = REPLACEMENT;
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

size_t encoded_length(uint32_t cp) {
  if (cp >= 0xD800 && (cp < 0xE000 || cp > 0x10FFFF)) cp = REPLACEMENT;
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

bool is_lead_byte(uint8_t c) { return c >= 0xC2 && c <= 0xF4; }

size_t decode16(const char16_t* p, size_t left, uint32_t* cp, bool* valid) {
  const uint32_t u = p[0];
  *cp = u;
  *valid = true;
  if (u < 0xD800 || u > 0xDFFF) return 1;
  if (u <= 0xDBFF && left >= 2 && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
    *cp = 0x10000 + ((u - 0xD800) << 10) + (p[1] - 0xDC00u);
    return 2;
  }
  *valid = false;
  return 1;
}

size_t encode16(uint32_t cp, char16_t* out) {
  if (cp < 0x10000) {
    out[0] = static_cast<char16_t>(cp);
    return 1;
  }
  cp -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

}  // namespace plat::utf8
