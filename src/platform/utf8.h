// UTF-8 and UTF-16 coding of single code points. Internal to src/platform/.
//
// A malformed UTF-8 sequence is taken as its maximal valid prefix (at least one byte) and decodes to
// U+FFFD, the Unicode recommended practice: "E2 82 41" is U+FFFD followed by "A". Overlong forms,
// encoded surrogates and values above U+10FFFF are malformed.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat::utf8 {

constexpr uint32_t REPLACEMENT = 0xFFFD;

// Decodes the character at p (left > 0 bytes available). Returns the bytes it takes; *valid tells
// whether they formed a well-formed sequence (else *cp is U+FFFD).
size_t decode(const unsigned char* p, size_t left, uint32_t* cp, bool* valid);
inline size_t decode(const char* p, size_t left, uint32_t* cp, bool* valid) {
  return decode(reinterpret_cast<const unsigned char*>(p), left, cp, valid);
}
// Length of the character at p of a NUL-terminated text (1 at the NUL).
size_t sequence_length(const char* p);
// Writes the code point (at most 4 bytes) and returns the bytes written.
size_t encode(uint32_t cp, char* out);
size_t encoded_length(uint32_t cp);
bool is_lead_byte(uint8_t c);

// UTF-16: a surrogate pair is one code point; a lone surrogate is returned as itself with *valid false.
size_t decode16(const char16_t* p, size_t left, uint32_t* cp, bool* valid);
size_t encode16(uint32_t cp, char16_t* out);   // 1 or 2 units

}  // namespace plat::utf8
