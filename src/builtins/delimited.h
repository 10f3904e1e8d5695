// Delimited text shared by the item-list and array built-ins: one-character delimiters, walking the items
// of a list and reading the fields of a comma-separated line, for ANSI text (C = char) and wide text
// (C = char16_t).
//
// ANSI text is stepped a character at a time with the platform's next-character rule, so a delimiter is
// only ever matched at the start of a character and the trail byte of a double-byte character (or a byte
// of a UTF-8 sequence) is never taken for one. Wide text is stepped one UTF-16 code unit at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "builtins/ascii.h"
#include "builtins/callframe.h"
#include "diag/errors.h"
#include "lang/values.h"
#include "platform/text.h"

namespace tov {

// A byte below 0x80 is a character of its own in every ANSI code page: no lead byte is that low.
inline size_t char_units(const char* p, const char* end) {
  return p < end && static_cast<unsigned char>(*p) < 0x80 ? 1 : plat::char_size(p, size_t(end - p));
}
inline size_t char_units(const char16_t*, const char16_t*) { return 1; }

inline size_t text_length(const char* s) { return std::strlen(s); }
inline size_t text_length(const char16_t* s) { return wstr_len(s); }

template <class C>
struct TextSpan {
  const C* p;
  size_t n;
};

// A text argument of the call's form.
template <class C>
const C* text_arg(RunContext* ctx, ArgBlock& a, int n);
template <>
inline const char* text_arg<char>(RunContext* ctx, ArgBlock& a, int n) { return str_at(ctx, a.slot[n].c.str); }
template <>
inline const char16_t* text_arg<char16_t>(RunContext* ctx, ArgBlock& a, int n) {
  return wstr_at(ctx, a.slot[n].c.wstr);
}

// The ANSI form, or the wide form in a wide call.
template <void (*Ansi)(RunContext*, Value*, ArgBlock&, int), void (*Wide)(RunContext*, Value*, ArgBlock&, int)>
void either_form(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  (wide ? Wide : Ansi)(ctx, result, a, argc);
}

// Makes a value (a result or an element) a string of the text's form (3096 when the string heap is
// exhausted).
inline bool set_text(RunContext* ctx, ValueCore& v, const char* s, size_t n) { return set_string(ctx, v, s, n); }
inline bool set_text(RunContext* ctx, ValueCore& v, const char16_t* s, size_t n) { return set_wstring(ctx, v, s, n); }

// One character used as a delimiter: up to four units of ANSI text, one unit of wide text.
template <class C>
struct Delimiter {
  C unit[4];
  size_t n;

  bool at(const C* p, const C* end) const {
    if (n == 1) return p < end && *p == unit[0] && char_units(p, end) == 1;
    return size_t(end - p) >= n && std::memcmp(p, unit, n * sizeof(C)) == 0 && char_units(p, end) == n;
  }
  bool is(char c) const { return n == 1 && unit[0] == C(c); }
};

// Reads a delimiter argument; returns how many characters it has: 0, 1, or 2 for "more than one".
template <class C>
int read_delimiter(const C* text, Delimiter<C>* d) {
  const C* end = text + text_length(text);
  d->n = 0;
  if (text == end) return 0;
  const size_t first = char_units(text, end);
  if (first > 4) return 2;
  std::memcpy(d->unit, text, first * sizeof(C));
  d->n = first;
  return text + first == end ? 1 : 2;
}

// The delimiter of the item-list family: an empty argument means TAB, more than one character raises
// 1705.
template <class C>
bool list_delimiter(RunContext* ctx, const C* text, Delimiter<C>* d) {
  switch (read_delimiter(text, d)) {
    case 0:
      d->unit[0] = C('\t');
      d->n = 1;
      return true;
    case 1: return true;
    default: ctx->err = ERR_INVALID_DELIMITER; return false;
  }
}

// The items of a list in order. The empty list has no items; n delimiters separate n + 1 items.
template <class C>
class ItemWalker {
 public:
  ItemWalker(const C* list, size_t len, const Delimiter<C>& d) : p_(list), end_(list + len), d_(d), more_(len != 0) {}
  // Walks on from the start of an item in the middle of a list (the rest may be empty: an empty last item).
  ItemWalker(const C* item, const C* end, const Delimiter<C>& d) : p_(item), end_(end), d_(d), more_(true) {}

  bool next(TextSpan<C>* item) {
    if (!more_) return false;
    const C* q = p_;
    if constexpr (sizeof(C) == 1) {
      // A one-byte ASCII delimiter found by a byte search, where every byte before it is plain ASCII (a
      // character of its own in every code page): the same place stepping character by character finds.
      if (d_.n == 1 && static_cast<unsigned char>(d_.unit[0]) < 0x80) {
        const void* hit = std::memchr(p_, d_.unit[0], size_t(end_ - p_));
        const C* stop = hit ? static_cast<const C*>(hit) : end_;
        if (plain_ascii(p_, size_t(stop - p_))) q = stop;
      }
    }
    while (q < end_ && !d_.at(q, end_)) q += char_units(q, end_);
    *item = {p_, size_t(q - p_)};
    if (q == end_) more_ = false;
    else p_ = q + d_.n;
    return true;
  }

 private:
  const C* p_;
  const C* end_;
  const Delimiter<C>& d_;
  bool more_;
};

template <class C>
int32_t count_items(TextSpan<C> list, const Delimiter<C>& d) {
  if constexpr (sizeof(C) == 1) {
    // Plain ASCII with a one-byte ASCII delimiter: every delimiter byte separates two items.
    if (d.n == 1 && static_cast<unsigned char>(d.unit[0]) < 0x80) {
      if (plain_ascii(list.p, list.n)) {
        const size_t delimiters = count_byte(list.p, list.n, d.unit[0]);
        return list.n ? int32_t(delimiters + 1 < size_t(INT32_MAX) ? delimiters + 1 : INT32_MAX) : 0;
      }
    }
  }
  ItemWalker<C> w(list.p, list.n, d);
  TextSpan<C> item;
  int32_t k = 0;
  while (w.next(&item)) ++k;
  return k;
}

// --- comma-separated lines ------------------------------------------------------------------------------

// A CSV delimiter is exactly one character and neither a blank, a double quote nor a line end.
template <class C>
bool csv_delimiter(const C* text, Delimiter<C>* d) {
  if (read_delimiter(text, d) != 1) return false;
  return !d->is(' ') && !d->is('"') && !d->is('\n') && !d->is('\r');
}

constexpr int32_t CSV_KEEP_BLANKS = 1;    // flag: blanks around an unquoted field belong to it

// Reads the field that starts at p, up to the next delimiter outside quotes or the end; p moves past the
// delimiter, and *delimited tells whether there was one (then another field follows, perhaps empty). A
// quoted field may be surrounded by blanks (space, TAB); inside quotes the delimiter and line ends are
// text and two double quotes stand for one. Unless keep_blanks, an unquoted field loses its leading and
// trailing blanks. With out (room for end - p units) the field's text is written there and its length
// stored in *len. False for a malformed field: a quote after other text, text after the closing quote,
// or an unclosed quote.
template <class C>
bool csv_read_field(const C*& p, const C* end, const Delimiter<C>& d, bool keep_blanks, C* out, size_t* len,
                    bool* delimited) {
  enum { Before, Unquoted, Quoted, Closed } state = Before;
  size_t n = 0;
  auto put = [&](const C* s, size_t k) {
    if (out) std::memcpy(out + n, s, k * sizeof(C));
    n += k;
  };
  *delimited = false;
  while (p < end) {
    const C c = *p;
    const size_t k = char_units(p, end);
    if (state == Quoted) {
      if (c == C('"')) {
        if (end - p >= 2 && p[1] == C('"')) {
          put(p, 1);
          p += 2;
          continue;
        }
        state = Closed;
      } else {
        put(p, k);
      }
      p += k;
      continue;
    }
    if (d.at(p, end)) {
      p += d.n;
      *delimited = true;
      break;
    }
    const bool blank = c == C(' ') || c == C('\t');
    if (c == C('"')) {
      if (state != Before) return false;
      n = 0;                      // the blanks before the opening quote
      state = Quoted;
    } else if (state == Closed) {
      if (!blank) return false;
    } else {
      if (!blank) state = Unquoted;
      put(p, k);
    }
    p += k;
  }
  if (state == Quoted) return false;
  size_t first = 0;
  if (!keep_blanks && state != Closed && out) {
    while (n && (out[n - 1] == C(' ') || out[n - 1] == C('\t'))) --n;
    while (first < n && (out[first] == C(' ') || out[first] == C('\t'))) ++first;
    if (first) std::memmove(out, out + first, (n - first) * sizeof(C));
  }
  *len = n - first;
  return true;
}

// The CSV delimiter argument n, "," when it was left out; error is raised for an invalid one.
template <class C>
bool csv_delimiter_arg(RunContext* ctx, ArgBlock& a, int n, int argc, Delimiter<C>* d, uint16_t error) {
  if (argc < n) *d = Delimiter<C>{{C(',')}, 1};
  else if (!csv_delimiter(text_arg<C>(ctx, a, n), d)) ctx->err = error;
  return !ctx->err;
}

// Number of fields of a whole line (0 for the empty line); false for a malformed line.
template <class C>
bool csv_count(TextSpan<C> line, const Delimiter<C>& d, int32_t* count) {
  const C* p = line.p;
  const C* end = line.p + line.n;
  *count = 0;
  for (bool more = line.n != 0; more; ++*count) {
    size_t len;
    if (!csv_read_field(p, end, d, false, static_cast<C*>(nullptr), &len, &more)) return false;
  }
  return true;
}

}  // namespace tov
