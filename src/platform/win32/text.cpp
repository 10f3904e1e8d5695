// Text on Windows: the system's code pages, character classes, case mapping and sorting. The system's
// character stepping knows double-byte code pages only, so UTF-8 is stepped here.
#include <windows.h>
#include "platform/text.h"
#include "platform/utf8.h"

namespace plat {
namespace {

UINT system_page(uint32_t code_page) { return code_page == CP_DEFAULT ? CP_ACP : code_page; }

bool is_utf8(uint32_t code_page) {
  return code_page == CP_UTF8_PAGE || (code_page == CP_DEFAULT && GetACP() == CP_UTF8);
}

int sign_of(int r) { return r < 0 ? -1 : r > 0 ? 1 : 0; }

// The character at p as UTF-16 (its first unit), for the class tests of multi-byte characters.
bool first_unit(const char* p, WCHAR* unit) {
  WCHAR units[2];
  if (MultiByteToWideChar(CP_ACP, 0, p, static_cast<int>(char_size(p, 4)), units, 2) <= 0) return false;
  *unit = units[0];
  return true;
}

size_t map_case_ansi(const char* src, size_t len, char* out, size_t out_cap, DWORD(WINAPI* map)(LPSTR, DWORD)) {
  if (len >= out_cap) {
    if (out_cap) out[0] = 0;
    return len;
  }
  MoveMemory(out, src, len);
  out[len] = 0;
  map(out, static_cast<DWORD>(len));
  return len;
}

}  // namespace

uint32_t ansi_code_page() { return GetACP(); }
uint32_t oem_code_page() { return GetOEMCP(); }

bool code_page_supported(uint32_t code_page) {
  return code_page == CP_DEFAULT || (code_page > 3 && IsValidCodePage(code_page));
}

bool dbcs_enabled() {
  CPINFO info;
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

bool is_lead_byte(uint8_t c, uint32_t code_page) {
  return is_utf8(code_page) ? utf8::is_lead_byte(c) : IsDBCSLeadByteEx(system_page(code_page), c) != 0;
}

const char* next_char(const char* p, uint32_t code_page) {
  if (*p == 0) return p;
  if (is_utf8(code_page)) return p + utf8::sequence_length(p);
  return CharNextExA(static_cast<WORD>(system_page(code_page)), p, 0);
}

size_t char_size(const char* p, size_t bytes_left, uint32_t code_page) {
  if (bytes_left == 0) return 0;
  if (*p == 0) return 1;
  if (is_utf8(code_page)) {
    uint32_t cp;
    bool valid;
    return utf8::decode(p, bytes_left, &cp, &valid);
  }
  return bytes_left >= 2 && p[1] != 0 && is_lead_byte(static_cast<uint8_t>(*p), code_page) ? 2 : 1;
}

int ansi_to_wide(const char* src, int src_len, wchar* out, int out_cap, uint32_t code_page) {
  if (!src) return 0;
  return MultiByteToWideChar(system_page(code_page), 0, src, src_len, reinterpret_cast<LPWSTR>(out),
                             out ? out_cap : 0);
}

int wide_to_ansi(const wchar* src, int src_len, char* out, int out_cap, uint32_t code_page) {
  if (!src) return 0;
  return WideCharToMultiByte(system_page(code_page), 0, reinterpret_cast<LPCWSTR>(src), src_len, out,
                             out ? out_cap : 0, nullptr, nullptr);
}

bool is_alpha(const char* p) {
  if (char_size(p, 4) == 1) return *p && IsCharAlphaA(*p);
  WCHAR unit;
  return first_unit(p, &unit) && IsCharAlphaW(unit);
}

bool is_alnum(const char* p) {
  if (char_size(p, 4) == 1) return *p && IsCharAlphaNumericA(*p);
  WCHAR unit;
  return first_unit(p, &unit) && IsCharAlphaNumericW(unit);
}

bool is_alpha_w(wchar c) { return IsCharAlphaW(c) != 0; }
bool is_alnum_w(wchar c) { return IsCharAlphaNumericW(c) != 0; }

// The class bits are the system's own character-type bits.
static_assert(CC_UPPER == C1_UPPER && CC_LOWER == C1_LOWER && CC_DIGIT == C1_DIGIT && CC_SPACE == C1_SPACE &&
              CC_PUNCT == C1_PUNCT && CC_CONTROL == C1_CNTRL && CC_BLANK == C1_BLANK && CC_XDIGIT == C1_XDIGIT &&
              CC_ALPHA == C1_ALPHA);

uint32_t char_classes(uint32_t code_point) {
  if (code_point > 0x10FFFF) return 0;
  wchar units[2];
  const int n = static_cast<int>(utf8::encode16(code_point, units));
  WORD types[2] = {};
  if (!GetStringTypeW(CT_CTYPE1, reinterpret_cast<LPCWSTR>(units), n, types)) return 0;
  return types[0] & (CC_UPPER | CC_LOWER | CC_DIGIT | CC_SPACE | CC_PUNCT | CC_CONTROL | CC_BLANK | CC_XDIGIT |
                     CC_ALPHA);
}

size_t upper_ansi(const char* src, size_t len, char* out, size_t out_cap) {
  return map_case_ansi(src, len, out, out_cap, CharUpperBuffA);
}

size_t lower_ansi(const char* src, size_t len, char* out, size_t out_cap) {
  return map_case_ansi(src, len, out, out_cap, CharLowerBuffA);
}

void upper_wide(wchar* s, size_t len) { CharUpperBuffW(reinterpret_cast<LPWSTR>(s), static_cast<DWORD>(len)); }
void lower_wide(wchar* s, size_t len) { CharLowerBuffW(reinterpret_cast<LPWSTR>(s), static_cast<DWORD>(len)); }

int compare_ansi(const char* a, const char* b, bool ignore_case) {
  return sign_of(ignore_case ? lstrcmpiA(a, b) : lstrcmpA(a, b));
}

int compare_wide(const wchar* a, const wchar* b, bool ignore_case) {
  const auto* wa = reinterpret_cast<LPCWSTR>(a);
  const auto* wb = reinterpret_cast<LPCWSTR>(b);
  return sign_of(ignore_case ? lstrcmpiW(wa, wb) : lstrcmpW(wa, wb));
}

}  // namespace plat
