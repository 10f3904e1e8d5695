// String built-ins about characters: StrByteCount (the size of a text in an encoding), StrClean
// (replacing the characters of a set, or those outside it) and StrTypeInfo (character classes).
#include "builtins/registry.h"
#include "builtins/strings_text.h"
#include "diag/errors.h"
#include "lang/keywords.h"

namespace tov {

namespace {

using namespace strtext;

enum ByteRequest : int32_t { BYTES_ANSI = 0, BYTES_UTF16 = 1, BYTES_UTF8 = 2 };

uint64_t wide_bytes_in(const wchar* w, size_t units, uint32_t code_page) {
  return units ? uint64_t(plat::wide_to_ansi(w, int(units), nullptr, 0, code_page)) : 0;
}

void bi_strbytecount(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t request = arg_int(a, 2);
  if (request != BYTES_ANSI && request != BYTES_UTF16 && request != BYTES_UTF8) {
    ctx->err = ERR_STRBYTECOUNT_REQUEST;
    return;
  }
  if (!wide && request == BYTES_ANSI) {
    set_count(ctx, result, std::strlen(arg_str(ctx, a, 1)));
    return;
  }
  if (!wide && request == BYTES_UTF16) {
    const char* s = arg_str(ctx, a, 1);
    const size_t n = std::strlen(s);
    set_count(ctx, result, n ? 2 * uint64_t(plat::ansi_to_wide(s, int(n), nullptr, 0, ctx->nCodePage)) : 0);
    return;
  }
  const std::u16string converted = wide ? std::u16string() : arg_wide(ctx, a, 1);
  const wchar* w = wide ? arg_wstr(ctx, a, 1) : converted.c_str();
  const size_t units = wide ? wstr_len(w) : converted.size();
  switch (request) {
    case BYTES_ANSI: set_count(ctx, result, wide_bytes_in(w, units, ctx->nCodePage)); break;
    case BYTES_UTF16: set_count(ctx, result, 2 * uint64_t(units)); break;
    default: set_count(ctx, result, wide_bytes_in(w, units, plat::CP_UTF8_PAGE)); break;
  }
}

// --- StrClean -----------------------------------------------------------------------------------------

enum CleanMode : int32_t { CLEAN_LISTED = 1, CLEAN_UNLISTED = 2 };

// (s, characters, replacement, match case, mode): every character of s that is in the set (mode 1) or
// not in it (mode 2) becomes the replacement text (an empty one removes it).
template <class F>
void strclean(RunContext* ctx, Value* result, ArgBlock& a, const F& form) {
  const int32_t mode = arg_int(a, 5);
  if (mode != CLEAN_LISTED && mode != CLEAN_UNLISTED) {
    ctx->err = ERR_STRCLEAN_MODE;
    return;
  }
  const auto s = text_arg(ctx, a, 1, form), replacement = text_arg(ctx, a, 3, form);
  const bool fold = arg_int(a, 4) == 0;
  const KeySet set(text_arg(ctx, a, 2, form), form, fold);
  auto replaced = [&](size_t i, size_t units) {
    return set.contains(char_key(form, s.p + i, units, fold)) == (mode == CLEAN_LISTED);
  };
  uint64_t total = 0;
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    total += replaced(i, units) ? replacement.n : units;
    i += units;
  }
  auto* out = new_result(ctx, result, total, form);
  if (!out) return;
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    const bool swap = replaced(i, units);
    const size_t n = swap ? replacement.n : units;
    std::memcpy(out, swap ? replacement.p : s.p + i, n * sizeof *out);
    out += n;
    i += units;
  }
}

void bi_strclean(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) { strclean(ctx, result, a, form); });
}

// --- StrTypeInfo --------------------------------------------------------------------------------------

enum TypeRequest : int32_t { TYPES_OF_ALL = 0, TYPES_OF_ANY = -1 };

bool is_high(wchar c) { return c >= 0xD800 && c < 0xDC00; }
bool is_low(wchar c) { return c >= 0xDC00 && c < 0xE000; }
uint32_t pair_code(wchar high, wchar low) { return 0x10000 + ((uint32_t(high) - 0xD800) << 10) + (low - 0xDC00); }

uint32_t classes_at(Span<char> s, size_t i, size_t units, const Ansi& form) {
  wchar w[2];
  const int n = plat::ansi_to_wide(s.p + i, int(units), w, 2, form.codePage);
  if (n == 1) return plat::char_classes(w[0]);
  return n == 2 && is_high(w[0]) && is_low(w[1]) ? plat::char_classes(pair_code(w[0], w[1])) : 0;
}

// A unit of a surrogate pair has the classes of the pair's character.
uint32_t classes_at(Span<wchar> s, size_t i, size_t, const Wide&) {
  const wchar c = s.p[i];
  if (is_high(c) && i + 1 < s.n && is_low(s.p[i + 1])) return plat::char_classes(pair_code(c, s.p[i + 1]));
  if (is_low(c) && i > 0 && is_high(s.p[i - 1])) return plat::char_classes(pair_code(s.p[i - 1], c));
  return plat::char_classes(c);
}

// (s, request): the classes of character request, or with 0 those every character has, with -1 those
// any character has (0 for an empty text).
template <class F>
void strtypeinfo(RunContext* ctx, Value* result, ArgBlock& a, const F& form) {
  const auto s = text_arg(ctx, a, 1, form);
  const int32_t request = arg_int(a, 2);
  if (request < TYPES_OF_ANY) {
    ctx->err = ERR_STRTYPEINFO_REQUEST;
    return;
  }
  uint32_t all = ~0u, any = 0;
  int32_t pos = 0;
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    const uint32_t classes = classes_at(s, i, units, form);
    if (++pos == request) {
      set_integer(ctx, result->c, int32_t(classes));
      return;
    }
    all &= classes;
    any |= classes;
    i += units;
  }
  if (request > 0) {
    ctx->err = ERR_STRTYPEINFO_REQUEST;
    return;
  }
  set_integer(ctx, result->c, int32_t(request == TYPES_OF_ALL ? (s.n ? all : 0) : any));
}

void bi_strtypeinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) { strtypeinfo(ctx, result, a, form); });
}

const BuiltinEntry kEntries[] = {
    {KW_STRBYTECOUNT, bi_strbytecount},
    {KW_STRCLEAN, bi_strclean},
    {KW_STRTYPEINFO, bi_strtypeinfo},
};

}  // namespace

extern const BuiltinFamily kStringCharBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
