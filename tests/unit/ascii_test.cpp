// The eight-bytes-at-a-step ASCII tests agree with a byte-by-byte reading at every length and position.
#include <gtest/gtest.h>

#include <string>

#include "builtins/ascii.h"

using namespace tov;

namespace {

bool naive_plain(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

size_t naive_count(const std::string& s, char c) {
  size_t n = 0;
  for (char x : s) n += x == c;
  return n;
}

}  // namespace

TEST(Ascii, WordStepsAgreeWithBytes) {
  // Neighbours of the sought byte and of the high bit: a borrow or carry between bytes would show on them.
  const char fillers[] = {'a', ',', '-', '+', '\x01', '\x7f', '\x80', '\xac', '\xff', '\0'};
  for (size_t length = 0; length <= 27; ++length) {
    for (char filler : fillers) {
      for (size_t at = 0; at <= length; ++at) {
        std::string s(length, 'x');
        if (at < length) s[at] = filler;
        if (length > 2) s[length / 2] = ',';
        SCOPED_TRACE(::testing::Message() << "length " << length << " filler " << int(filler) << " at " << at);
        EXPECT_EQ(plain_ascii(s.data(), s.size()), naive_plain(s));
        EXPECT_EQ(count_byte(s.data(), s.size(), ','), naive_count(s, ','));
        EXPECT_EQ(count_byte(s.data(), s.size(), filler), naive_count(s, filler));
      }
    }
  }
}
