// Plain ASCII tests of ANSI text, eight bytes at a step: a byte below 0x80 is a character of its own in
// every code page, so plain ASCII text can be measured and searched byte by byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tov {

inline uint64_t load_word(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;

// Whether every one of n bytes is below 0x80.
inline bool plain_ascii(const char* p, size_t n) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) any |= load_word(p + i);
  // The last bytes as the word that ends with them, when the text is that long.
  if (i < n && n >= 8) return ((any | load_word(p + n - 8)) & kHighBits) == 0;
  for (; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
  return (any & kHighBits) == 0;
}

// How many of n bytes equal c.
inline size_t count_byte(const char* p, size_t n, char c) {
  const uint64_t pattern = 0x0101010101010101ull * static_cast<unsigned char>(c);
  size_t count = 0, i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t x = load_word(p + i) ^ pattern;
    // The high bit of each byte that is zero, exactly (no borrow runs from one byte into the next).
    const uint64_t zero = ~(((x & kLowBits) + kLowBits) | x | kLowBits);
    // One bit per byte found, summed into the top byte (the platform may have no population count).
    count += size_t(((zero >> 7) * 0x0101010101010101ull) >> 56);
  }
  for (; i < n; ++i) count += p[i] == c;
  return count;
}

}  // namespace tov
