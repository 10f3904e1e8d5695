// Characters and code pages: Char2Num, Num2Char and the Chr functions. The run's code page (set by
// ChrSetCodePage, 0 for the system's ANSI page) decides how single-byte text and UTF-16 convert.
#include <cstring>
#include <string>

#include "builtins/args.h"
#include "builtins/hex.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/keywords.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr int32_t CODE_PAGE_OF_RUN = 0, CODE_PAGE_ANSI = 1, CODE_PAGE_OEM = 2;

uint32_t run_code_page(const RunContext* ctx) {
  return ctx->nCodePage == plat::CP_DEFAULT ? plat::ansi_code_page() : ctx->nCodePage;
}

bool is_high_surrogate(uint32_t u) { return u >= 0xD800 && u < 0xDC00; }
bool is_low_surrogate(uint32_t u) { return u >= 0xDC00 && u < 0xE000; }

// The code point at the start of UTF-16 text: a surrogate pair counts as one character.
int32_t first_code_point(const wchar* w, size_t n) {
  if (n == 0) return 0;
  if (n > 1 && is_high_surrogate(w[0]) && is_low_surrogate(w[1]))
    return int32_t(0x10000 + ((uint32_t(w[0]) - 0xD800) << 10) + (uint32_t(w[1]) - 0xDC00));
  return w[0];
}

// Char2Num: in UTF-8 a character's number is its code point; in other code pages it is the value of its
// byte (a double-byte character: lead byte * 256 + trail byte).
void bi_char2num(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  if (wide) {
    const wchar* w = arg_wstr(ctx, a, 1);
    set_integer(ctx, result->c, first_code_point(w, wstr_len(w)));
    return;
  }
  const char* s = arg_str(ctx, a, 1);
  const uint32_t page = run_code_page(ctx);
  const size_t size = *s ? plat::char_size(s, std::strlen(s), page) : 0;
  int32_t code = 0;
  if (page == plat::CP_UTF8_PAGE && size > 0) {
    wchar units[2];
    const int n = plat::ansi_to_wide(s, int(size), units, 2, page);
    code = first_code_point(units, size_t(n > 0 ? n : 0));
  } else {
    for (size_t i = 0; i < size; ++i) code = code << 8 | static_cast<unsigned char>(s[i]);
  }
  set_integer(ctx, result->c, code);
}

// Num2Char: the inverse of Char2Num in the run's code page; 0 gives the empty string.
void bi_num2char(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t code = arg_int(a, 1);
  const uint32_t page = run_code_page(ctx);
  std::string text;
  if (code == 0) {
    // nothing: a string cannot hold a zero byte
  } else if (page == plat::CP_UTF8_PAGE) {
    if (code < 0 || code > 0x10FFFF || is_high_surrogate(uint32_t(code)) || is_low_surrogate(uint32_t(code))) {
      ctx->err = ERR_CHARACTER_CODE;
      return;
    }
    std::u16string units;
    if (code < 0x10000) {
      units += char16_t(code);
    } else {
      units += char16_t(0xD800 + ((code - 0x10000) >> 10));
      units += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
    return (void)set_text_result(ctx, result, units, false);
  } else if (code > 0 && code < 256 && !plat::is_lead_byte(uint8_t(code), page)) {
    text += char(code);
  } else if (code >= 256 && code < 65536 && (code & 0xFF) && plat::is_lead_byte(uint8_t(code >> 8), page)) {
    text += char(code >> 8);
    text += char(code & 0xFF);
  } else {
    ctx->err = ERR_CHARACTER_CODE;
    return;
  }
  set_string(ctx, result->c, text.data(), text.size());
}

void bi_chrgetcodepage(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  switch (arg_int(a, 1)) {
    case CODE_PAGE_OF_RUN: set_integer(ctx, result->c, int32_t(run_code_page(ctx))); return;
    case CODE_PAGE_ANSI: set_integer(ctx, result->c, int32_t(plat::ansi_code_page())); return;
    case CODE_PAGE_OEM: set_integer(ctx, result->c, int32_t(plat::oem_code_page())); return;
    default: ctx->err = ERR_INVALID_REQUEST; return;
  }
}

void bi_chrsetcodepage(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t page = arg_int(a, 1);
  if (page < 0 || !plat::code_page_supported(uint32_t(page))) {
    ctx->err = ERR_CODE_PAGE;
    return;
  }
  set_integer(ctx, result->c, int32_t(run_code_page(ctx)));
  ctx->nCodePage = uint32_t(page);
}

void bi_chrstringtohex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const char* s = arg_str(ctx, a, 1);
  const std::string hex = hex_of_bytes(s, std::strlen(s));
  set_string(ctx, result->c, hex.data(), hex.size());
}

void bi_chrhextostring(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  std::string bytes;
  if (!bytes_of_hex(arg_str(ctx, a, 1), &bytes)) {
    ctx->err = ERR_HEX_STRING;
    return;
  }
  set_string(ctx, result->c, bytes.data(), bytes.size());
}

void bi_chrunicodetohex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const wchar* w = arg_wstr(ctx, a, 1);
  const std::string hex = hex_of_units(w, wstr_len(w));
  set_string(ctx, result->c, hex.data(), hex.size());
}

void bi_chrhextounicode(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  std::u16string units;
  if (!units_of_hex(arg_str(ctx, a, 1), &units)) {
    ctx->err = ERR_HEX_UNICODE;
    return;
  }
  set_wstring(ctx, result->c, units.data(), units.size());
}

void bi_chrstringtounicode(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_text_result(ctx, result, arg_wide(ctx, a, 1), true);
}

void bi_chrunicodetostring(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_text_result(ctx, result, arg_wide(ctx, a, 1), false);
}

const BuiltinEntry kEntries[] = {
    {KW_CHAR2NUM, bi_char2num},
    {KW_NUM2CHAR, bi_num2char},
    {KW_CHRGETCODEPAGE, bi_chrgetcodepage},
    {KW_CHRSETCODEPAGE, bi_chrsetcodepage},
    {KW_CHRSTRINGTOHEX, bi_chrstringtohex},
    {KW_CHRHEXTOSTRING, bi_chrhextostring},
    {KW_CHRUNICODETOHEX, bi_chrunicodetohex},
    {KW_CHRHEXTOUNICODE, bi_chrhextounicode},
    {KW_CHRSTRINGTOUNICODE, bi_chrstringtounicode},
    {KW_CHRUNICODETOSTRING, bi_chrunicodetostring},
};

}  // namespace

extern const BuiltinFamily kCharBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
