// String built-ins: measuring, joining, cutting, searching, counting, replacing, trimming, case mapping
// and comparing. Positions are 1-based and count characters of the call's form (strings_text.h).
#include <algorithm>
#include <cstring>
#include <vector>

#include "builtins/registry.h"
#include "builtins/strings_text.h"
#include "builtins/variadic.h"
#include "diag/errors.h"
#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"

namespace tov {

namespace {

using namespace strtext;

// --- StrLen, StrCharCount -----------------------------------------------------------------------------

void bi_strlen(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) { set_count(ctx, result, count_chars(text_arg(ctx, a, 1, form), form)); });
}

// --- StrCat -------------------------------------------------------------------------------------------

bool to_text(RunContext* ctx, ValueCore& v, const Ansi&) { return to_string(ctx, v); }
bool to_text(RunContext* ctx, ValueCore& v, const Wide&) { return to_wstring(ctx, v); }
Span<char> text_of(RunContext* ctx, const ValueCore& v, const Ansi&) {
  const char* s = str_at(ctx, v.str);
  return {s, std::strlen(s)};
}
Span<wchar> text_of(RunContext* ctx, const ValueCore& v, const Wide&) {
  const wchar* s = wstr_at(ctx, v.wstr);
  return {s, wstr_len(s)};
}

template <class F>
void join(RunContext* ctx, Value* result, VariadicArgs& args, const F& form) {
  uint64_t total = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    ValueCore& v = args.at(i).c;
    const uint16_t before = ctx->err;
    if (!to_text(ctx, v, form)) {
      if (ctx->err == before) ctx->err = ERR_NOT_STRING;
      return;
    }
    total += text_of(ctx, v, form).n;
  }
  auto* out = new_result(ctx, result, total, form);
  if (!out) return;
  for (size_t i = 0; i < args.size(); ++i) {
    const auto text = text_of(ctx, args.at(i).c, form);
    std::memcpy(out, text.p, text.n * sizeof *text.p);
    out += text.n;
  }
}

void bi_strcat(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  VariadicArgs args(ctx);
  bool wide = false;
  if (!read_variadic_args(ctx, args, &wide, ERR_STRCAT_SYNTAX)) return;
  by_form(ctx, wide, [&](auto form) { join(ctx, result, args, form); });
}

// --- StrSub -------------------------------------------------------------------------------------------

template <class F>
void strsub(RunContext* ctx, Value* result, Span<typename F::Unit> s, int32_t start, int32_t length,
            const F& form) {
  size_t from = 0, to = 0;
  if (start >= 1 && length >= -1) {
    from = skip_chars(s, uint64_t(start) - 1, form);
    to = length == -1 ? s.n : from + skip_chars(Span<typename F::Unit>{s.p + from, s.n - from}, length, form);
  }
  set_result(ctx, result, s.p + from, to - from);
}

void bi_strsub(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    strsub(ctx, result, text_arg(ctx, a, 1, form), arg_int(a, 2), arg_int(a, 3), form);
  });
}

// --- StrIndex, StrIndexNc, StrScan --------------------------------------------------------------------

// start itself when it is a position of s (0: the first character, or the last for a backward search),
// else 0: the result of a search for nothing.
template <class F>
int32_t valid_start(Span<typename F::Unit> s, int32_t start, bool backward, const F& form) {
  const int64_t chars = int64_t(count_chars(s, form));
  const int64_t at = start == 0 ? (backward ? chars : 1) : start;
  return at >= 1 && at <= chars ? int32_t(at) : 0;
}

// Walks s by characters, asking hit(p, units, position) for a result position (0: none). Forward: the
// first result from character start on. Backward: the last result met up to character start (0: the
// last character); 0 when s is shorter than start.
template <class F, class Hit>
int32_t search(Span<typename F::Unit> s, int32_t start, bool backward, const F& form, Hit&& hit) {
  if (start < 0) return 0;
  const int64_t first = backward || start == 0 ? 1 : start;
  size_t i = skip_chars(s, uint64_t(first - 1), form);
  int64_t pos = first - 1, found = 0;
  while (i < s.n && (!backward || start == 0 || pos < start)) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    ++pos;
    if (const int64_t at = hit(s.p + i, units, pos)) {
      if (!backward) return int32_t(at);
      found = at;
    }
    i += units;
  }
  return backward && start != 0 && pos < start ? 0 : int32_t(found);
}

constexpr size_t NOT_FOUND = SIZE_MAX;

// The first occurrence of sub (not empty) in s from byte from on. The bytes after a first byte found are
// compared in place: a candidate mostly differs at once, and a library comparison costs a call and wide loads
// of a line often just written (measured slower).
size_t find_bytes(Span<char> s, Span<char> sub, size_t from) {
  const char* const end = s.p + s.n;
  for (const char* p = s.p + from; size_t(end - p) >= sub.n; ++p) {
    p = static_cast<const char*>(std::memchr(p, sub.p[0], size_t(end - p) - sub.n + 1));
    if (!p) return NOT_FOUND;
    size_t k = 1;
    while (k < sub.n && p[k] == sub.p[k]) ++k;
    if (k == sub.n) return size_t(p - s.p);
  }
  return NOT_FOUND;
}

template <class F>
int32_t strindex(Span<typename F::Unit> s, Span<typename F::Unit> sub, int32_t start, bool backward, bool fold,
                 const F& form) {
  if (sub.n == 0) return valid_start(s, start, backward, form);
  if constexpr (sizeof(typename F::Unit) == 1) {
    // A forward search by bytes. Character start lies at byte start - 1 or later, and every occurrence on
    // character boundaries is also one of bytes: no byte occurrence from there means none at all. One found
    // after plain ASCII only is the first occurrence, and its byte offset is its character position.
    if (!backward && !fold && start >= 0) {
      const size_t from = start == 0 ? 0 : size_t(start) - 1;
      if (from >= s.n) return 0;
      const size_t at = find_bytes(s, sub, from);
      if (at == NOT_FOUND) return 0;
      if (plain_ascii(s.p, at + sub.n)) return int32_t(at + 1);
    }
  }
  Finder finder(sub, form, fold);
  const int64_t m = int64_t(finder.size());
  // Backward, overlapping occurrences count: the last one ending by start is wanted.
  return search(s, start, backward, form, [&](const auto* p, size_t units, int64_t pos) -> int64_t {
    return finder.feed(char_key(form, p, units, fold), backward) ? pos - m + 1 : 0;
  });
}

void index_builtin(RunContext* ctx, Value* result, ArgBlock& a, bool wide, bool fold) {
  by_form(ctx, wide, [&](auto form) {
    set_integer(ctx, result->c, strindex(text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), arg_int(a, 3),
                                         arg_int(a, 4) != 0, fold, form));
  });
}
void bi_strindex(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  index_builtin(ctx, result, a, wide, false);
}
void bi_strindexnc(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  index_builtin(ctx, result, a, wide, true);
}

template <class F>
int32_t strscan(Span<typename F::Unit> s, Span<typename F::Unit> delimiters, int32_t start, bool backward,
                const F& form) {
  if (delimiters.n == 0) return valid_start(s, start, backward, form);
  const KeySet set(delimiters, form, false);
  return search(s, start, backward, form, [&](const auto* p, size_t units, int64_t pos) -> int64_t {
    return set.contains(char_key(form, p, units, false)) ? pos : 0;
  });
}

void bi_strscan(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    set_integer(ctx, result->c,
                strscan(text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), arg_int(a, 3), arg_int(a, 4) != 0,
                        form));
  });
}

// --- StrReplace ---------------------------------------------------------------------------------------

template <class F>
void strreplace(RunContext* ctx, Value* result, Span<typename F::Unit> s, Span<typename F::Unit> old,
                Span<typename F::Unit> replacement, const F& form) {
  std::vector<size_t> ends;   // unit offsets just past each occurrence
  if (s.n && old.n) {
    Finder finder(old, form, false);
    for (size_t i = 0; i < s.n;) {
      const size_t units = form.char_units(s.p + i, s.n - i);
      i += units;
      if (finder.feed(char_key(form, s.p + i - units, units, false))) ends.push_back(i);
    }
  }
  const uint64_t total = s.n + uint64_t(ends.size()) * replacement.n - uint64_t(ends.size()) * old.n;
  auto* out = new_result(ctx, result, total, form);
  if (!out) return;
  size_t copied = 0;
  for (const size_t end : ends) {
    const size_t begin = end - old.n;
    std::memcpy(out, s.p + copied, (begin - copied) * sizeof *out);
    out += begin - copied;
    std::memcpy(out, replacement.p, replacement.n * sizeof *out);
    out += replacement.n;
    copied = end;
  }
  std::memcpy(out, s.p + copied, (s.n - copied) * sizeof *out);
}

void bi_strreplace(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    strreplace(ctx, result, text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), text_arg(ctx, a, 3, form),
               form);
  });
}

// --- StrTrim ------------------------------------------------------------------------------------------

template <class U>
bool is_blank(U c) {
  return c == U(' ') || c == U('\t');
}

void bi_strtrim(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    const auto s = text_arg(ctx, a, 1, form);
    // Blanks and tabs are never part of a multi-byte character, so the ends can be trimmed by units.
    size_t from = 0, to = s.n;
    while (from < to && is_blank(s.p[from])) ++from;
    while (to > from && is_blank(s.p[to - 1])) --to;
    set_result(ctx, result, s.p + from, to - from);
  });
}

// --- StrUpper, StrLower -------------------------------------------------------------------------------

void map_case(RunContext* ctx, Value* result, ArgBlock& a, bool wide, bool upper) {
  if (wide) {
    const Span<wchar> s = text_arg(ctx, a, 1, Wide{});
    wchar* out = new_result(ctx, result, s.n, Wide{});
    if (!out) return;
    std::memcpy(out, s.p, s.n * sizeof *out);
    (upper ? plat::upper_wide : plat::lower_wide)(out, s.n);
    return;
  }
  const Ansi form{ctx->nCodePage};
  const Span<char> s = text_arg(ctx, a, 1, form);
  const auto map = upper ? plat::upper_ansi : plat::lower_ansi;
  // The mapping of a UTF-8 text may be longer than the text: then once more with the room it needs.
  char* out = new_result(ctx, result, s.n, form);
  if (!out) return;
  const size_t n = map(s.p, s.n, out, s.n + 1);
  if (n <= s.n) return;
  out = new_result(ctx, result, n, form);
  if (out) map(s.p, s.n, out, n + 1);
}

void bi_strupper(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  map_case(ctx, result, a, wide, true);
}
void bi_strlower(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  map_case(ctx, result, a, wide, false);
}

// --- StrCmp, StrICmp ----------------------------------------------------------------------------------

void compare(RunContext* ctx, Value* result, ArgBlock& a, bool wide, bool ignore_case) {
  const int r = wide ? plat::compare_wide(arg_wstr(ctx, a, 1), arg_wstr(ctx, a, 2), ignore_case)
                     : plat::compare_ansi(arg_str(ctx, a, 1), arg_str(ctx, a, 2), ignore_case);
  set_integer(ctx, result->c, r);
}
void bi_strcmp(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) { compare(ctx, result, a, wide, false); }
void bi_stricmp(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) { compare(ctx, result, a, wide, true); }

// --- StrCnt -------------------------------------------------------------------------------------------

// Occurrences of sub whose first character starts at a unit offset in [first, last] (0-based).
template <class F>
int64_t count_between(Span<typename F::Unit> s, Span<typename F::Unit> sub, size_t first, size_t last, bool fold,
                      const F& form) {
  Finder finder(sub, form, fold);
  const int64_t m = int64_t(finder.size());
  int64_t fed = 0, eligible = 0, count = 0;   // characters fed; of them, those starting by offset last
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    if (i >= first) {
      if (i <= last) ++eligible;
      ++fed;
      if (finder.feed(char_key(form, s.p + i, units, fold)) && fed - m < eligible) ++count;
      if (fed - m + 1 >= eligible && i > last) break;
    }
    i += units;
  }
  return count;
}

void bi_strcnt(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    const auto s = text_arg(ctx, a, 1, form), sub = text_arg(ctx, a, 2, form);
    if (!s.n || !sub.n) return;
    // Positions here count units: bytes of an ANSI text.
    const int64_t length = int64_t(s.n);
    auto position = [&](int32_t p) -> int64_t { return p == 0 ? 1 : p == -1 ? length : p; };
    int64_t from = position(arg_int(a, 3)), to = position(arg_int(a, 4));
    if (from < 1 || from > length) {
      ctx->err = ERR_STRCNT_START;
      return;
    }
    if (to < 1 || to > length) {
      ctx->err = ERR_STRCNT_END;
      return;
    }
    if (from > to) std::swap(from, to);
    const bool exact = (arg_int(a, 5) & 1) != 0;
    set_count(ctx, result, uint64_t(count_between(s, sub, size_t(from - 1), size_t(to - 1), !exact, form)));
  });
}

const BuiltinEntry kEntries[] = {
    {KW_STRLEN, bi_strlen},         {KW_STRCHARCOUNT, bi_strlen},   {KW_STRCAT, bi_strcat},
    {KW_STRSUB, bi_strsub},         {KW_STRINDEX, bi_strindex},     {KW_STRINDEXNC, bi_strindexnc},
    {KW_STRSCAN, bi_strscan},       {KW_STRREPLACE, bi_strreplace}, {KW_STRTRIM, bi_strtrim},
    {KW_STRUPPER, bi_strupper},     {KW_STRLOWER, bi_strlower},     {KW_STRCMP, bi_strcmp},
    {KW_STRICMP, bi_stricmp},       {KW_STRCNT, bi_strcnt},
};

}  // namespace

extern const BuiltinFamily kStringBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
