#include "builtins/hex.h"

#include <cstring>

namespace tov {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void put_byte(std::string& out, unsigned b) {
  out += kDigits[(b >> 4) & 15];
  out += kDigits[b & 15];
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte at hex[0..1], or -1.
int byte_at(const char* hex) {
  const int hi = digit_value(hex[0]), lo = hi < 0 ? -1 : digit_value(hex[1]);
  return lo < 0 ? -1 : hi * 16 + lo;
}

}  // namespace

std::string hex_of_bytes(const char* bytes, size_t n) {
  std::string out(n * 2, '\0');
  hex_into(bytes, n, out.data());
  return out;
}

void hex_into(const char* bytes, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    *out++ = kDigits[b >> 4];
    *out++ = kDigits[b & 15];
  }
  *out = 0;
}

std::string hex_of_units(const char16_t* units, size_t n) {
  std::string out;
  out.reserve(n * 4);
  for (size_t i = 0; i < n; ++i) {
    put_byte(out, units[i] & 0xFFu);
    put_byte(out, units[i] >> 8);
  }
  return out;
}

bool bytes_of_hex(const char* hex, std::string* out) {
  const size_t n = std::strlen(hex);
  if (n % 2) return false;
  out->clear();
  out->reserve(n / 2);
  for (size_t i = 0; i < n; i += 2) {
    const int b = byte_at(hex + i);
    if (b <= 0) return false;
    *out += static_cast<char>(b);
  }
  return true;
}

bool units_of_hex(const char* hex, std::u16string* out) {
  const size_t n = std::strlen(hex);
  if (n % 4) return false;
  out->clear();
  out->reserve(n / 4);
  for (size_t i = 0; i < n; i += 4) {
    const int lo = byte_at(hex + i), hi = lo < 0 ? -1 : byte_at(hex + i + 2);
    if (hi < 0 || (lo | hi) == 0) return false;
    *out += static_cast<char16_t>(hi << 8 | lo);
  }
  return true;
}

bool is_hex_separator(char c) { return c == ' ' || c == '\r' || c == '\n'; }

size_t hex_digit_count(const char* text) {
  size_t n = 0;
  for (; *text; ++text) n += !is_hex_separator(*text);
  return n;
}

bool bytes_of_hex_pairs(const char* text, std::string* out) {
  out->clear();
  while (*text) {
    if (is_hex_separator(*text)) {
      ++text;
      continue;
    }
    const int b = byte_at(text);
    if (b < 0) return false;
    *out += static_cast<char>(b);
    text += 2;
  }
  return true;
}

}  // namespace tov
