// Text on POSIX: the ANSI code page is UTF-8. Character classes and case mapping use the C.UTF-8
// locale, so they do not depend on the user's environment.
#include <locale.h>
#include <wctype.h>
#include <climits>
#include <cstring>
#include <string>
#include "platform/text.h"
#include "platform/utf8.h"

namespace plat {
namespace {

enum class Page { Utf8, Windows1252, Latin1, Unsupported };

Page page_of(uint32_t code_page) {
  switch (code_page) {
    case CP_DEFAULT: case 1: case 3: case CP_UTF8_PAGE: return Page::Utf8;   // ANSI, OEM, thread ANSI
    case 1252: return Page::Windows1252;
    case 28591: return Page::Latin1;
    default: return Page::Unsupported;
  }
}

// Code page 1252 differs from Latin-1 in 0x80-0x9F; its five unassigned bytes map to themselves.
constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t single_byte_to_unicode(Page page, unsigned char c) {
  return page == Page::Windows1252 && c >= 0x80 && c < 0xA0 ? CP1252_HIGH[c - 0x80] : c;
}

char unicode_to_single_byte(Page page, uint32_t cp) {
  if (page == Page::Windows1252) {
    for (int i = 0; i < 32; ++i)
      if (CP1252_HIGH[i] == cp) return static_cast<char>(0x80 + i);
    if (cp >= 0x80 && cp < 0xA0) return '?';
  }
  return cp < 0x100 ? static_cast<char>(cp) : '?';
}

locale_t text_locale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l ? l : newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
  }();
  return loc;
}

// Without the locale only ASCII letters have classes and cases.
bool cp_alpha(uint32_t c) {
  locale_t l = text_locale();
  return l ? iswalpha_l(c, l) : (c | 32) - 'a' < 26;
}
bool cp_alnum(uint32_t c) {
  locale_t l = text_locale();
  return l ? iswalnum_l(c, l) : (c | 32) - 'a' < 26 || c - '0' < 10;
}
bool cp_is_lower(uint32_t c) {
  locale_t l = text_locale();
  return l ? iswlower_l(c, l) : c - 'a' < 26;
}
uint32_t cp_upper(uint32_t c) {
  locale_t l = text_locale();
  return l ? towupper_l(c, l) : c - 'a' < 26 ? c - 32 : c;
}
uint32_t cp_lower(uint32_t c) {
  locale_t l = text_locale();
  return l ? towlower_l(c, l) : c - 'A' < 26 ? c + 32 : c;
}

// Reads code points of NUL-terminated text; a malformed UTF-8 sequence reads as 0xDC00 + its first
// byte, a value no well-formed text yields, so that comparing stays exact.
struct Utf8Reader {
  const char* p;
  bool next(uint32_t* cp) {
    if (!*p) return false;
    bool valid;
    const size_t n = utf8::decode(p, 4, cp, &valid);
    if (!valid) *cp = 0xDC00 | static_cast<unsigned char>(*p);
    p += n;
    return true;
  }
};

struct Utf16Reader {
  const wchar* p;
  bool next(uint32_t* cp) {
    if (!*p) return false;
    bool valid;
    p += utf8::decode16(p, p[1] ? 2 : 1, cp, &valid);
    return true;
  }
};

// Primary key: the code points mapped to lower case; ties: at the first differing code point a lower-case
// letter comes before any other, else the smaller code point first.
template <class Reader>
int compare_code_points(Reader a, Reader b, bool ignore_case) {
  Reader ra = a, rb = b;
  for (;;) {
    uint32_t ca, cb;
    const bool more_a = ra.next(&ca), more_b = rb.next(&cb);
    if (!more_a || !more_b) {
      if (more_a != more_b) return more_a ? 1 : -1;
      break;
    }
    const uint32_t fa = cp_lower(ca), fb = cp_lower(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (ignore_case) return 0;
  for (;;) {
    uint32_t ca, cb;
    if (!a.next(&ca) || !b.next(&cb)) return 0;
    if (ca == cb) continue;
    const bool lower_a = cp_is_lower(ca), lower_b = cp_is_lower(cb);
    if (lower_a != lower_b) return lower_a ? -1 : 1;
    return ca < cb ? -1 : 1;
  }
}

size_t map_case_ansi(const char* src, size_t len, char* out, size_t out_cap, uint32_t (*map)(uint32_t)) {
  std::string result;
  result.reserve(len);
  for (size_t i = 0; i < len;) {
    uint32_t cp;
    bool valid;
    const size_t n = utf8::decode(src + i, len - i, &cp, &valid);
    if (valid) {
      char buffer[4];
      result.append(buffer, utf8::encode(map(cp), buffer));
    } else {
      result.append(src + i, n);
    }
    i += n;
  }
  if (result.size() >= out_cap) {
    if (out_cap) out[0] = 0;
    return result.size();
  }
  std::memcpy(out, result.c_str(), result.size() + 1);
  return result.size();
}

void map_case_wide(wchar* s, size_t len, uint32_t (*map)(uint32_t)) {
  for (size_t i = 0; i < len;) {
    uint32_t cp;
    bool valid;
    const size_t n = utf8::decode16(s + i, len - i, &cp, &valid);
    if (valid) {
      const uint32_t mapped = map(cp);
      // A mapping that would change the number of units is left out: the text keeps its length.
      if ((mapped >= 0x10000) == (n == 2)) utf8::encode16(mapped, s + i);
    }
    i += n;
  }
}

// The well-formed character at p of a NUL-terminated text; false at the end and for a malformed one.
bool decode_char(const char* p, uint32_t* cp) {
  bool valid = false;
  if (*p) utf8::decode(p, 4, cp, &valid);
  return valid;
}

int checked_count(size_t n) { return n > INT_MAX ? 0 : static_cast<int>(n); }

}  // namespace

uint32_t ansi_code_page() { return CP_UTF8_PAGE; }
uint32_t oem_code_page() { return CP_UTF8_PAGE; }

bool code_page_supported(uint32_t code_page) {
  return code_page == CP_DEFAULT || (code_page > 3 && page_of(code_page) != Page::Unsupported);
}
bool dbcs_enabled() { return true; }   // UTF-8 characters take several bytes

bool is_lead_byte(uint8_t c, uint32_t code_page) {
  return page_of(code_page) == Page::Utf8 && utf8::is_lead_byte(c);
}

const char* next_char(const char* p, uint32_t code_page) {
  if (*p == 0) return p;
  return p + (page_of(code_page) == Page::Utf8 ? utf8::sequence_length(p) : 1);
}

size_t char_size(const char* p, size_t bytes_left, uint32_t code_page) {
  if (bytes_left == 0) return 0;
  if (*p == 0 || page_of(code_page) != Page::Utf8) return 1;
  uint32_t cp;
  bool valid;
  return utf8::decode(p, bytes_left, &cp, &valid);
}

int ansi_to_wide(const char* src, int src_len, wchar* out, int out_cap, uint32_t code_page) {
  const Page page = page_of(code_page);
  if (page == Page::Unsupported || !src || src_len == 0 || src_len < -1) return 0;
  const size_t len = src_len == -1 ? std::strlen(src) + 1 : static_cast<size_t>(src_len);
  const bool measure = !out || out_cap <= 0;
  size_t written = 0;
  for (size_t i = 0; i < len;) {
    uint32_t cp;
    if (page == Page::Utf8) {
      bool valid;
      i += utf8::decode(src + i, len - i, &cp, &valid);
    } else {
      cp = single_byte_to_unicode(page, static_cast<unsigned char>(src[i++]));
    }
    wchar units[2];
    const size_t n = utf8::encode16(cp, units);
    if (!measure) {
      if (written + n > static_cast<size_t>(out_cap)) return 0;
      std::memcpy(out + written, units, n * sizeof(wchar));
    }
    written += n;
  }
  return checked_count(written);
}

int wide_to_ansi(const wchar* src, int src_len, char* out, int out_cap, uint32_t code_page) {
  const Page page = page_of(code_page);
  if (page == Page::Unsupported || !src || src_len == 0 || src_len < -1) return 0;
  const size_t len = src_len == -1 ? wide_length(src) + 1 : static_cast<size_t>(src_len);
  const bool measure = !out || out_cap <= 0;
  size_t written = 0;
  for (size_t i = 0; i < len;) {
    uint32_t cp;
    bool valid;
    i += utf8::decode16(src + i, len - i, &cp, &valid);
    char bytes[4];
    size_t n;
    if (page == Page::Utf8) {
      n = utf8::encode(valid ? cp : utf8::REPLACEMENT, bytes);
    } else {
      bytes[0] = valid ? unicode_to_single_byte(page, cp) : '?';
      n = 1;
    }
    if (!measure) {
      if (written + n > static_cast<size_t>(out_cap)) return 0;
      std::memcpy(out + written, bytes, n);
    }
    written += n;
  }
  return checked_count(written);
}

bool is_alpha(const char* p) {
  uint32_t cp;
  return decode_char(p, &cp) && cp_alpha(cp);
}

bool is_alnum(const char* p) {
  uint32_t cp;
  return decode_char(p, &cp) && cp_alnum(cp);
}

bool is_alpha_w(wchar c) { return (c < 0xD800 || c > 0xDFFF) && cp_alpha(c); }
bool is_alnum_w(wchar c) { return (c < 0xD800 || c > 0xDFFF) && cp_alnum(c); }

uint32_t char_classes(uint32_t c) {
  locale_t l = text_locale();
  if (!l || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    if (c >= 0x80) return 0;
    // Without the locale: the ASCII classes.
    const bool alpha = (c | 32) - 'a' < 26, digit = c - '0' < 10;
    uint32_t bits = alpha ? CC_ALPHA | (c - 'a' < 26 ? CC_LOWER : CC_UPPER) : 0;
    if (digit) bits |= CC_DIGIT;
    if (digit || (c | 32) - 'a' < 6) bits |= CC_XDIGIT;
    if (c == ' ' || c == '\t') bits |= CC_BLANK;
    if (c == ' ' || (c >= '\t' && c <= '\r')) bits |= CC_SPACE;
    if (c < 32 || c == 127) bits |= CC_CONTROL;
    if (c > 32 && c < 127 && !alpha && !digit) bits |= CC_PUNCT;
    return bits;
  }
  uint32_t bits = 0;
  if (iswupper_l(c, l)) bits |= CC_UPPER;
  if (iswlower_l(c, l)) bits |= CC_LOWER;
  if (iswdigit_l(c, l)) bits |= CC_DIGIT;
  if (iswspace_l(c, l)) bits |= CC_SPACE;
  if (iswpunct_l(c, l)) bits |= CC_PUNCT;
  if (iswcntrl_l(c, l)) bits |= CC_CONTROL;
  if (iswblank_l(c, l)) bits |= CC_BLANK;
  if (iswxdigit_l(c, l)) bits |= CC_XDIGIT;
  if (iswalpha_l(c, l)) bits |= CC_ALPHA;
  return bits;
}

size_t upper_ansi(const char* src, size_t len, char* out, size_t out_cap) {
  return map_case_ansi(src, len, out, out_cap, cp_upper);
}
size_t lower_ansi(const char* src, size_t len, char* out, size_t out_cap) {
  return map_case_ansi(src, len, out, out_cap, cp_lower);
}
void upper_wide(wchar* s, size_t len) { map_case_wide(s, len, cp_upper); }
void lower_wide(wchar* s, size_t len) { map_case_wide(s, len, cp_lower); }

int compare_ansi(const char* a, const char* b, bool ignore_case) {
  // The common prefix of equal ASCII bytes decides nothing in either pass, and two ASCII characters that
  // differ even in lower case decide at once: the full comparison runs only from where neither holds.
  while (static_cast<unsigned char>(*a) < 0x80 && *a == *b) {
    if (!*a) return 0;
    ++a, ++b;
  }
  const unsigned ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
  if (ca < 0x80 && cb < 0x80) {
    if (!ca || !cb) return ca ? 1 : -1;
    // Lower case of ASCII is the same with and without the locale.
    const unsigned fa = ca - 'A' < 26 ? ca + 32 : ca, fb = cb - 'A' < 26 ? cb + 32 : cb;
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  return compare_code_points(Utf8Reader{a}, Utf8Reader{b}, ignore_case);
}
int compare_wide(const wchar* a, const wchar* b, bool ignore_case) {
  return compare_code_points(Utf16Reader{a}, Utf16Reader{b}, ignore_case);
}

}  // namespace plat
