// Text facilities: code pages, character classes, case mapping and the locale-aware comparison.
//
// "ANSI" text is the system's single-byte (or double-byte) code page on Windows and UTF-8 on POSIX.
// Wide text is UTF-16 in every build.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

using wchar = char16_t;

constexpr uint32_t CP_DEFAULT = 0;      // the system's ANSI code page
constexpr uint32_t CP_UTF8_PAGE = 65001;

uint32_t ansi_code_page();              // the code page that CP_DEFAULT stands for
uint32_t oem_code_page();               // the system's OEM (console) code page
// True for CP_DEFAULT and for every real code page number that the conversions below handle here; the
// pseudo pages 1, 2 and 3 (OEM, Macintosh, thread) are not accepted.
bool code_page_supported(uint32_t code_page);
bool dbcs_enabled();                    // the ANSI code page has multi-byte characters
bool is_lead_byte(uint8_t c, uint32_t code_page = CP_DEFAULT);

// Pointer to the next character of ANSI text: a whole double-byte character or UTF-8 sequence at a time.
// At the terminating NUL it stays where it is.
const char* next_char(const char* p, uint32_t code_page = CP_DEFAULT);
// Number of bytes of the character at p (1 at NUL), bounded by the bytes left.
size_t char_size(const char* p, size_t bytes_left, uint32_t code_page = CP_DEFAULT);

// Conversions. Lengths are in units of the source; -1 means NUL-terminated (the terminator is then
// converted too). They return the number of units written, or 0 on failure (including a result that
// does not fit). With out == nullptr they return the size needed. A malformed UTF-8 sequence becomes
// U+FFFD and a lone surrogate becomes U+FFFD in UTF-8. POSIX knows the code pages 65001 (also for 0, 1
// and 3), 1252 and 28591; a character that the target page lacks becomes "?".
int ansi_to_wide(const char* src, int src_len, wchar* out, int out_cap, uint32_t code_page = CP_DEFAULT);
int wide_to_ansi(const wchar* src, int src_len, char* out, int out_cap, uint32_t code_page = CP_DEFAULT);

// Character classes of the system (IsCharAlpha and friends): letters of the code page, not only ASCII.
// For a multi-byte character the test is made on the character that starts at p.
bool is_alpha(const char* p);
bool is_alnum(const char* p);
bool is_alpha_w(wchar c);
bool is_alnum_w(wchar c);

// The classes of one character (a Unicode code point), as a set of these bits.
enum CharClass : uint32_t {
  CC_UPPER = 0x1,      // upper-case letter
  CC_LOWER = 0x2,      // lower-case letter
  CC_DIGIT = 0x4,      // decimal digit
  CC_SPACE = 0x8,      // white space: blank, line and page breaks
  CC_PUNCT = 0x10,     // punctuation and symbols
  CC_CONTROL = 0x20,   // control character
  CC_BLANK = 0x40,     // horizontal space: blank and tab
  CC_XDIGIT = 0x80,    // hexadecimal digit
  CC_ALPHA = 0x100,    // letter
};
uint32_t char_classes(uint32_t code_point);

// Locale-aware case mapping. The result may differ in length from the source in UTF-8; the output is
// NUL-terminated and the result is its length, or the size needed (without the NUL) when out is too small
// (a result >= out_cap; out is then empty). out may be src.
size_t upper_ansi(const char* src, size_t len, char* out, size_t out_cap);
size_t lower_ansi(const char* src, size_t len, char* out, size_t out_cap);
void upper_wide(wchar* s, size_t len);  // in place: UTF-16 case mapping keeps the length here
void lower_wide(wchar* s, size_t len);
inline char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
inline char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Locale-aware comparison of NUL-terminated strings: -1, 0 or 1. Windows uses the system's word sort.
// POSIX uses a fixed rule, whatever the user's locale: the code points mapped to lower case decide
// first (so "a" < "B" < "c"); between texts equal that way, the first differing character decides, a
// lower-case letter before any other ("a" < "A"), else the smaller code point. A malformed UTF-8 byte
// sorts as a character of its own between U+D7FF and U+E000.
int compare_ansi(const char* a, const char* b, bool ignore_case);
int compare_wide(const wchar* a, const wchar* b, bool ignore_case);

size_t wide_length(const wchar* s);

}  // namespace plat
