// Item lists: strings whose items are separated by a one-character delimiter, and comma-separated lines.
// Every function has an ANSI form and a wide form; the call chooses.
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "builtins/args.h"
#include "builtins/delimited.h"
#include "builtins/merge_sort.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/heap.h"
#include "lang/keywords.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr int32_t LAST_ITEM = -1;

template <class C>
TextSpan<C> list_arg(RunContext* ctx, ArgBlock& a, int n) {
  const C* p = text_arg<C>(ctx, a, n);
  return {p, text_length(p)};
}

// A list argument: an ANSI list whose length the context remembers is not measured again.
template <class C>
TextSpan<C> measured_list(RunContext* ctx, ArgBlock& a, int n) {
  const C* p = text_arg<C>(ctx, a, n);
  if constexpr (sizeof(C) == 1) {
    auto& mark = ctx->lengthMark;
    const uint32_t text = a.slot[n].c.str;
    if (text && mark.text == text) return {p, mark.length};
    const size_t length = text_length(p);
    if (text && length <= UINT32_MAX) mark = {text, uint32_t(length)};
    return {p, length};
  } else {
    return {p, text_length(p)};
  }
}

// Item number index (from 1), or false when the list has no such item.
template <class C>
bool item_at(TextSpan<C> list, const Delimiter<C>& d, int32_t index, TextSpan<C>* item) {
  if (index < 1) return false;
  ItemWalker<C> w(list.p, list.n, d);
  for (int32_t i = 1; w.next(item); ++i)
    if (i == index) return true;
  return false;
}

// Item number index of the list in argument n, walking on from the item read last when it came from the same
// string of the heap with the same delimiter and lay at or before the one wanted.
template <class C>
bool marked_item_at(RunContext* ctx, ArgBlock& a, int n, TextSpan<C> list, const Delimiter<C>& d, int32_t index,
                    TextSpan<C>* item) {
  if (index < 1) return false;
  auto& mark = ctx->itemMark;
  const uint32_t text = sizeof(C) == 1 ? a.slot[n].c.str : a.slot[n].c.wstr;
  const uint32_t wide = sizeof(C) == 2;
  bool same_delimiter = mark.delimiterLength == d.n;
  for (size_t k = 0; same_delimiter && k < d.n; ++k) same_delimiter = mark.delimiter[k] == char16_t(std::make_unsigned_t<C>(d.unit[k]));
  int32_t i = 1;
  const C* from = list.p;
  if (text && mark.text == text && mark.length == list.n && mark.wide == wide && same_delimiter && mark.index <= index) {
    i = mark.index;
    from = list.p + mark.at;
  } else if (!list.n) {
    return false;
  }
  ItemWalker<C> w(from, list.p + list.n, d);
  for (; w.next(item); ++i) {
    if (i != index) continue;
    if (text) {
      mark.text = text;
      mark.length = uint32_t(list.n);
      mark.wide = wide;
      mark.delimiterLength = uint32_t(d.n);
      for (size_t k = 0; k < d.n; ++k) mark.delimiter[k] = char16_t(std::make_unsigned_t<C>(d.unit[k]));
      mark.index = i;
      mark.at = uint32_t(item->p - list.p);
    }
    return true;
  }
  return false;
}

template <class C>
TextSpan<C> span(const C* from, const C* to) {
  return {from, size_t(to - from)};
}

// Makes the result a new string of n units (terminator written) and returns where its text goes; nullptr
// with 3096 when the string heap is exhausted.
template <class C>
C* new_text_result(RunContext* ctx, Value* result, size_t n) {
  const uint32_t off = n < (0xFFFFFFF0u / sizeof(C)) - 1 ? VMalloc(ctx, uint32_t((n + 1) * sizeof(C))) : 0;
  if (!off) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return nullptr;
  }
  value_free(ctx, result->c);
  if constexpr (sizeof(C) == 1) {
    result->c.str = off;
    result->c.type = VF_STRING;
  } else {
    result->c.wstr = off;
    result->c.type = VF_WSTRING;
  }
  C* out = reinterpret_cast<C*>(heap_ptr(ctx, off));
  out[n] = 0;
  return out;
}

// Sets a string result made of the parts, allocated once with exactly its length.
template <class C>
void set_joined(RunContext* ctx, Value* result, std::initializer_list<TextSpan<C>> parts) {
  size_t n = 0;
  for (const TextSpan<C>& s : parts) n += s.n;
  C* out = new_text_result<C>(ctx, result, n);
  if (!out) return;
  for (const TextSpan<C>& s : parts) {
    if (s.n) std::memcpy(out, s.p, s.n * sizeof(C));
    out += s.n;
  }
}

template <class C>
void item_count(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 2), &d)) return;
  set_integer(ctx, result->c, count_items(measured_list<C>(ctx, a, 1), d));
}

template <class C>
void item_extract(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 3), &d)) return;
  const TextSpan<C> list = measured_list<C>(ctx, a, 2);
  int32_t index = arg_int(a, 1);
  if (index == LAST_ITEM) index = count_items(list, d);
  TextSpan<C> item{list.p, 0};
  if (!marked_item_at(ctx, a, 2, list, d, index, &item)) item.n = 0;
  set_text(ctx, result->c, item.p, item.n);
}

template <class C>
void item_locate(RunContext* ctx, Value* result, ArgBlock& a, int) {
  const TextSpan<C> list = measured_list<C>(ctx, a, 2);
  if (!list.n) return;
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 3), &d)) return;
  const TextSpan<C> sought = list_arg<C>(ctx, a, 1);
  ItemWalker<C> w(list.p, list.n, d);
  TextSpan<C> item;
  for (int32_t i = 1; w.next(&item); ++i)
    if (item.n == sought.n && std::memcmp(item.p, sought.p, item.n * sizeof(C)) == 0) {
      set_integer(ctx, result->c, i);
      return;
    }
}

// The new item becomes item index + 1; an index that names no item (negative, or the count or more)
// appends it.
template <class C>
void item_insert(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 4), &d)) return;
  const TextSpan<C> list = measured_list<C>(ctx, a, 3), item = list_arg<C>(ctx, a, 1);
  const TextSpan<C> delim{d.unit, d.n};
  const int32_t index = arg_int(a, 2);
  TextSpan<C> next;
  if (!list.n) set_joined(ctx, result, {item});
  else if (index >= 0 && item_at(list, d, index + 1, &next))
    set_joined(ctx, result, {span(list.p, next.p), item, delim, span(next.p, list.p + list.n)});
  else
    set_joined(ctx, result, {list, delim, item});
}

template <class C>
void item_remove(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 3), &d)) return;
  const TextSpan<C> list = list_arg<C>(ctx, a, 2);
  const C* end = list.p + list.n;
  const int32_t count = count_items(list, d);
  int32_t index = arg_int(a, 1);
  if (index == LAST_ITEM) index = count;
  TextSpan<C> item;
  if (!item_at(list, d, index, &item)) set_joined(ctx, result, {list});
  else if (count == 1) set_joined(ctx, result, {span(end, end)});
  else if (index < count) set_joined(ctx, result, {span(list.p, item.p), span(item.p + item.n + d.n, end)});
  else set_joined(ctx, result, {span(list.p, item.p - d.n)});   // the last item goes with the delimiter before it
}

template <class C>
void item_replace(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 4), &d)) return;
  const TextSpan<C> list = list_arg<C>(ctx, a, 3), replacement = list_arg<C>(ctx, a, 1);
  int32_t index = arg_int(a, 2);
  if (index == LAST_ITEM) index = count_items(list, d);
  TextSpan<C> item;
  if (!item_at(list, d, index, &item)) set_joined(ctx, result, {list});
  else set_joined(ctx, result, {span(list.p, item.p), replacement, span(item.p + item.n, list.p + list.n)});
}

inline int compare_text(const char* x, const char* y, bool ignore_case) { return plat::compare_ansi(x, y, ignore_case); }
inline int compare_text(const char16_t* x, const char16_t* y, bool ignore_case) {
  return plat::compare_wide(x, y, ignore_case);
}

// A stable sort by the locale's comparison, empty items first. One work block holds a copy of the list
// with every item terminated, the items' offsets and the sort's scratch keys; the result has the list's
// length, since the same items and delimiters are only reordered.
template <class C, bool IgnoreCase>
void item_sort(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 2), &d)) return;
  const TextSpan<C> list = list_arg<C>(ctx, a, 1);
  const size_t count = size_t(count_items(list, d));
  const size_t text_bytes = ((list.n + 1) * sizeof(C) + 3) & ~size_t(3);
  MemBuf work;
  if (count > (SIZE_MAX - text_bytes) / (3 * sizeof(uint32_t)) ||
      !work.reserve(text_bytes + 3 * count * sizeof(uint32_t))) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return;
  }
  C* text = reinterpret_cast<C*>(work.data());
  uint32_t* start = reinterpret_cast<uint32_t*>(work.data() + text_bytes);
  uint32_t* keys = start + count;
  uint32_t* scratch = keys + count;
  std::memcpy(text, list.p, list.n * sizeof(C));
  text[list.n] = 0;
  ItemWalker<C> w(list.p, list.n, d);
  TextSpan<C> item;
  for (uint32_t i = 0; w.next(&item); ++i) {
    start[i] = uint32_t(item.p - list.p);
    text[start[i] + item.n] = 0;
    keys[i] = i;
  }
  merge_sort(keys, scratch, count, [&](uint32_t x, uint32_t y) {
    const C* tx = text + start[x];
    const C* ty = text + start[y];
    if (!*ty) return false;
    return !*tx || compare_text(tx, ty, IgnoreCase) < 0;
  });
  C* out = new_text_result<C>(ctx, result, list.n);
  if (!out) return;
  for (size_t i = 0; i < count; ++i) {
    if (i) {
      std::memcpy(out, d.unit, d.n * sizeof(C));
      out += d.n;
    }
    const C* s = text + start[keys[i]];
    const size_t n = text_length(s);
    std::memcpy(out, s, n * sizeof(C));
    out += n;
  }
}

template <class C>
void item_count_csv(RunContext* ctx, Value* result, ArgBlock& a, int argc) {
  Delimiter<C> d;
  if (!csv_delimiter_arg(ctx, a, 3, argc, &d, ERR_CSV_COUNT_DELIMITER)) return;
  int32_t count;
  if (!csv_count(list_arg<C>(ctx, a, 1), d, &count)) ctx->err = ERR_CSV_COUNT_LINE;
  else set_integer(ctx, result->c, count);
}

// The line is read only as far as the wanted field; the fields before it are checked on the way.
template <class C>
void item_extract_csv(RunContext* ctx, Value* result, ArgBlock& a, int argc) {
  Delimiter<C> d;
  if (!csv_delimiter_arg(ctx, a, 4, argc, &d, ERR_CSV_EXTRACT_DELIMITER)) return;
  const TextSpan<C> line = list_arg<C>(ctx, a, 2);
  const bool keep_blanks = (arg_int(a, 3) & CSV_KEEP_BLANKS) != 0;
  int32_t index = arg_int(a, 1);
  if (index == LAST_ITEM && !csv_count(line, d, &index)) {
    ctx->err = ERR_CSV_EXTRACT_LINE;
    return;
  }
  MemBuf field;
  if (!field.reserve((line.n + 1) * sizeof(C))) {
    ctx->err = ERR_WORK_MEMORY;
    return;
  }
  C* out = reinterpret_cast<C*>(field.data());
  const C* p = line.p;
  const C* end = line.p + line.n;
  size_t len = 0;
  bool found = false, more = line.n != 0;
  for (int32_t i = 1; more && i <= index; ++i) {
    found = i == index;
    if (!csv_read_field(p, end, d, keep_blanks, found ? out : nullptr, &len, &more)) {
      ctx->err = ERR_CSV_EXTRACT_LINE;
      return;
    }
  }
  set_text(ctx, result->c, out, found ? len : 0);
}

const BuiltinEntry kEntries[] = {
    {KW_ITEMCOUNT, either_form<item_count<char>, item_count<char16_t>>},
    {KW_ITEMCOUNTCSV, either_form<item_count_csv<char>, item_count_csv<char16_t>>},
    {KW_ITEMEXTRACT, either_form<item_extract<char>, item_extract<char16_t>>},
    {KW_ITEMEXTRACTCSV, either_form<item_extract_csv<char>, item_extract_csv<char16_t>>},
    {KW_ITEMINSERT, either_form<item_insert<char>, item_insert<char16_t>>},
    {KW_ITEMLOCATE, either_form<item_locate<char>, item_locate<char16_t>>},
    {KW_ITEMREMOVE, either_form<item_remove<char>, item_remove<char16_t>>},
    {KW_ITEMREPLACE, either_form<item_replace<char>, item_replace<char16_t>>},
    {KW_ITEMSORT, either_form<item_sort<char, false>, item_sort<char16_t, false>>},
    {KW_ITEMSORTNC, either_form<item_sort<char, true>, item_sort<char16_t, true>>},
};

}  // namespace

extern const BuiltinFamily kItemListBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
