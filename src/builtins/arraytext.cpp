// Arrays to and from text: strings split into characters or items, and files read and written line by
// line or as comma-separated records. Files hold ANSI text of the run's code page; lines are written
// with CR LF.
#include <cstring>

#include "builtins/args.h"
#include "builtins/array_support.h"
#include "builtins/delimited.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/heap.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr int32_t CSV_QUOTE_ALL = 1;               // arrayfileputcsv: every field is written in quotes
constexpr size_t CHUNK = 4096;                     // units read or converted at a time
constexpr char LINE_END[] = "\r\n";

// --- strings ----------------------------------------------------------------------------------------------

// Makes the result a one-dimensional array of count strings, the pieces that next() gives in order,
// followed by extra elements never assigned (an empty array when there are none at all).
template <class C, class Next>
void array_of_pieces(RunContext* ctx, Value* result, uint32_t count, Next next, uint32_t extra = 0) {
  if (uint64_t(count) + extra > uint64_t(INT32_MAX)) {
    ctx->err = ERR_ARR_TOO_LARGE;
    return;
  }
  if (CreateMyArray(ctx, result, int32_t(count + extra), 0, 0, 0, 0, 0, 1) < 0) return;
  ValueCore* e = array_elements(array_header(result->c.str));
  for (uint32_t i = 0; i < count; ++i) {
    const TextSpan<C> piece = next();
    if (!set_text(ctx, e[i], piece.p, piece.n)) {
      value_free(ctx, *result);
      value_init(*result);
      return;
    }
  }
}

// One element for each character (ANSI) or code unit (wide).
template <class C>
void array_from_str(RunContext* ctx, Value* result, ArgBlock& a, int) {
  const C* s = text_arg<C>(ctx, a, 1);
  const C* end = s + text_length(s);
  uint32_t count = 0;
  for (const C* p = s; p < end; p += char_units(p, end)) ++count;
  array_of_pieces<C>(ctx, result, count, [&] {
    const TextSpan<C> c{s, char_units(s, end)};
    s += c.n;
    return c;
  });
}

// One element for each item of a delimited list.
template <class C>
void arrayize(RunContext* ctx, Value* result, ArgBlock& a, int) {
  Delimiter<C> d;
  if (!list_delimiter(ctx, text_arg<C>(ctx, a, 2), &d)) return;
  const C* list = text_arg<C>(ctx, a, 1);
  const size_t n = text_length(list);
  ItemWalker<C> w(list, n, d);
  TextSpan<C> item{list, 0};
  array_of_pieces<C>(ctx, result, uint32_t(count_items(TextSpan<C>{list, n}, d)), [&] {
    w.next(&item);
    return item;
  });
}

// The array of argument n when it has at most max_rank dimensions.
ArrayHeader* array_of_rank(RunContext* ctx, ArgBlock& a, int n, int max_rank) {
  ArrayHeader* h = arg_array(ctx, a, n);
  if (h && h->rank > max_rank) {
    ctx->err = ERR_ARRAY_RANK;
    return nullptr;
  }
  return h;
}

// The elements of a one-dimensional array joined; elements never assigned add nothing. The result is
// wide when some element holds only a wide string.
void bi_arraytostr(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ArrayHeader* h = array_of_rank(ctx, a, 1, 1);
  if (!h) return;
  const ValueCore* e = array_elements(h);
  bool wide = false;
  for (uint32_t i = 0; i < h->count && !wide; ++i) wide = (e[i].type & (VF_STRING | VF_WSTRING)) == VF_WSTRING;
  MemBuf out;
  for (uint32_t i = 0; i < h->count; ++i) {
    if (!value_has_value(e[i])) continue;
    ElementText t(ctx, e[i], wide);
    if (!t.ok()) return;
    if (!out.append(wide ? reinterpret_cast<const char*>(t.wide()) : t.ansi(), t.bytes())) {
      ctx->err = ERR_WORK_MEMORY;
      return;
    }
  }
  if (wide) set_wstring(ctx, result->c, reinterpret_cast<const char16_t*>(out.data()), out.size() / sizeof(char16_t));
  else set_string(ctx, result->c, out.data(), out.size());
}

// --- reading files ------------------------------------------------------------------------------------

bool file_error(RunContext* ctx, uint16_t number, uint32_t system_error, const char* api, const char* path) {
  ReportApiError(ctx, system_error, api, true);
  AddErrorInfo(ctx, path);
  ctx->err = number;
  return false;
}

bool read_file(RunContext* ctx, const char* path, MemBuf& raw) {
  uint32_t sys = 0;
  const plat::FileHandle f = plat::file_open_read(path, &sys);
  if (f == plat::INVALID_FILE) return file_error(ctx, ERR_ARRAY_FILE_OPEN, sys, "CreateFile", path);
  char chunk[CHUNK];
  int64_t got;
  bool room = true;
  while (room && (got = plat::file_read(f, chunk, sizeof chunk)) > 0) room = raw.append(chunk, size_t(got));
  plat::file_close(f);
  if (!room) {
    ctx->err = ERR_WORK_MEMORY;
    AddErrorInfo(ctx, path);
    return false;
  }
  return got == 0 || file_error(ctx, ERR_ARRAY_FILE_READ, 0, "ReadFile", path);
}

// Appends wide text converted to the run's code page, a piece at a time (never splitting a surrogate pair).
bool append_wide_as_ansi(RunContext* ctx, const char16_t* w, size_t n, MemBuf& out) {
  char buf[CHUNK * 4];
  while (n) {
    size_t k = n < CHUNK ? n : CHUNK;
    if (k < n && w[k - 1] >= 0xD800 && w[k - 1] < 0xDC00) --k;
    const int got = plat::wide_to_ansi(w, int(k), buf, int(sizeof buf), ctx->nCodePage);
    if (!out.append(buf, size_t(got > 0 ? got : 0))) return false;
    w += k;
    n -= k;
  }
  return true;
}

// Appends UTF-8 text converted to the run's code page, a piece at a time (never splitting a character).
bool append_utf8_as_ansi(RunContext* ctx, const char* s, size_t n, MemBuf& out) {
  char16_t buf[CHUNK];
  while (n) {
    size_t k = n < CHUNK ? n : CHUNK;
    while (k < n && k > 1 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
    const int got = plat::ansi_to_wide(s, int(k), buf, int(CHUNK), plat::CP_UTF8_PAGE);
    if (!append_wide_as_ansi(ctx, buf, size_t(got > 0 ? got : 0), out)) return false;
    s += k;
    n -= k;
  }
  return true;
}

const char* text_begin(MemBuf& text) { return text.size() ? text.data() : ""; }

// Reads a whole file as ANSI text of the run's code page. A file that starts with a UTF-16 or UTF-8
// byte-order mark is converted. A string cannot hold a NUL character: each becomes nul_text (an empty
// nul_text removes them).
bool read_text_file(RunContext* ctx, const char* path, const char* nul_text, MemBuf& text) {
  MemBuf raw, converted;
  if (!read_file(ctx, path, raw)) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(raw.data());
  const size_t n = raw.size();
  MemBuf* source = &raw;
  bool ok = true;
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    char16_t* w = reinterpret_cast<char16_t*>(raw.data() + 2);
    const size_t units = (n - 2) / 2;
    if (b[0] == 0xFE)
      for (size_t i = 0; i < units; ++i) w[i] = char16_t((w[i] >> 8) | (w[i] << 8));
    ok = append_wide_as_ansi(ctx, w, units, converted);
    source = &converted;
  } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    ok = append_utf8_as_ansi(ctx, raw.data() + 3, n - 3, converted);
    source = &converted;
  }
  const char* p = text_begin(*source);
  const char* end = p + source->size();
  while (ok && p < end) {
    const char* nul = static_cast<const char*>(std::memchr(p, 0, size_t(end - p)));
    const char* stop = nul ? nul : end;
    ok = text.append(p, size_t(stop - p)) && (!nul || text.append(nul_text));
    p = nul ? nul + 1 : end;
  }
  if (!ok) ctx->err = ERR_WORK_MEMORY;
  return ok;
}

// The next line of text at p, false at the end. A line ends at an LF, with csv only at an LF outside
// double quotes (a quoted field may hold line ends); a CR before that LF is not part of the line. Text
// after the last LF is a line of its own. *lf counts the LFs passed.
bool next_line(const char*& p, const char* end, bool csv, TextSpan<char>* line, uint32_t* lf) {
  if (p >= end) return false;
  const char* q = p;
  bool quoted = false;
  for (; q < end; q += char_units(q, end)) {
    if (*q == '\n') {
      if (!quoted) break;
      ++*lf;
    }
    if (csv && *q == '"') quoted = !quoted;
  }
  const char* stop = q < end && q > p && q[-1] == '\r' ? q - 1 : q;
  *line = {p, size_t(stop - p)};
  if (q < end) ++*lf;
  p = q < end ? q + 1 : end;
  return true;
}

// The count of extra elements of argument n (0 when left out).
bool extra_arg(RunContext* ctx, ArgBlock& a, int n, int argc, int32_t* extra) {
  *extra = argc >= n ? arg_int(a, n) : 0;
  if (*extra < 0) ctx->err = ERR_ARRAY_EXTRA_COUNT;
  return !ctx->err;
}

// A one-dimensional array of the file's lines, followed by extra elements never assigned.
void bi_arrayfileget(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const char* path = arg_str(ctx, a, 1);
  const char* nul_text = argc >= 2 ? arg_str(ctx, a, 2) : "";
  int32_t extra;
  MemBuf text;
  if (!extra_arg(ctx, a, 3, argc, &extra) || !read_text_file(ctx, path, nul_text, text)) return;
  const char* begin = text_begin(text);
  const char* end = begin + text.size();
  const char* p = begin;
  TextSpan<char> line;
  uint32_t lines = 0, lf = 0;
  while (next_line(p, end, false, &line, &lf)) ++lines;
  p = begin;
  array_of_pieces<char>(
      ctx, result, lines,
      [&] {
        next_line(p, end, false, &line, &lf);
        return line;
      },
      uint32_t(extra));
}

// A two-dimensional array of the records of a CSV file: one row for each record (records with fewer
// fields than the widest leave their last elements never assigned), then extra rows never assigned.
void bi_arrayfilegetcsv(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const char* path = arg_str(ctx, a, 1);
  const int32_t flags = arg_int(a, 2);
  if (flags & ~CSV_KEEP_BLANKS) {
    ctx->err = ERR_ARRAY_OPTIONS;
    return;
  }
  Delimiter<char> d;
  int32_t extra;
  MemBuf text;
  if (!csv_delimiter_arg(ctx, a, 3, argc, &d, ERR_CSV_FILE_DELIMITER) || !extra_arg(ctx, a, 5, argc, &extra) ||
      !read_text_file(ctx, path, argc >= 4 ? arg_str(ctx, a, 4) : "", text))
    return;
  const char* begin = text_begin(text);
  const char* end = begin + text.size();
  // First the shape, checking every record.
  const char* p = begin;
  TextSpan<char> rec;
  uint32_t rows = 0, lf = 0;
  int32_t width = 1;
  size_t longest = 0;
  for (uint32_t at = 1; next_line(p, end, true, &rec, &lf); at = lf + 1, ++rows) {
    int32_t fields;
    if (!csv_count(rec, d, &fields)) {
      ctx->err = ERR_CSV_FILE_LINE;
      char where[40];
      std::snprintf(where, sizeof where, "Line %u", unsigned(at));
      AddErrorInfo(ctx, where);
      return;
    }
    if (fields > width) width = fields;
    if (rec.n > longest) longest = rec.n;
  }
  if (uint64_t(rows) + uint64_t(extra) > uint64_t(INT32_MAX)) {
    ctx->err = ERR_ARR_TOO_LARGE;
    return;
  }
  const int32_t total = int32_t(rows) + extra;
  if (CreateMyArray(ctx, result, total, total ? width : 0, 0, 0, 0, 0, 2) < 0) return;
  MemBuf field;
  if (!field.reserve(longest + 1)) ctx->err = ERR_WORK_MEMORY;
  ValueCore* e = array_elements(array_header(result->c.str));
  const bool keep_blanks = flags & CSV_KEEP_BLANKS;
  p = begin;
  for (uint32_t row = 0; !ctx->err && next_line(p, end, true, &rec, &lf); ++row) {
    const char* q = rec.p;
    bool more = rec.n != 0;
    for (uint32_t col = 0; more && !ctx->err; ++col) {
      size_t len = 0;
      csv_read_field(q, rec.p + rec.n, d, keep_blanks, field.data(), &len, &more);
      set_text(ctx, e[size_t(row) * uint32_t(width) + col], field.data(), len);
    }
  }
  if (ctx->err) {
    value_free(ctx, *result);
    value_init(*result);
  }
}

// --- writing files ------------------------------------------------------------------------------------

// Writes the text as the whole file. The text is made completely before the file is touched, so a value
// that cannot be written leaves the file as it was.
bool write_text_file(RunContext* ctx, const char* path, MemBuf& text) {
  uint32_t sys = 0;
  const plat::FileHandle f = plat::file_create(path, &sys);
  if (f == plat::INVALID_FILE) return file_error(ctx, ERR_ARRAY_FILE_CREATE, sys, "CreateFile", path);
  const bool ok = !text.size() || plat::file_write(f, text.data(), text.size(), &sys);
  plat::file_close(f);
  return ok || file_error(ctx, ERR_ARRAY_FILE_WRITE, sys, "WriteFile", path);
}

bool append_or_fail(RunContext* ctx, MemBuf& out, const char* s, size_t n) {
  if (out.append(s, n)) return true;
  ctx->err = ERR_WORK_MEMORY;
  return false;
}

// Each element of a one-dimensional array as a line. An element never assigned is an empty line, or
// with skip_undefined no line at all. The result is the number of lines written.
void bi_arrayfileput(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const char* path = arg_str(ctx, a, 1);
  ArrayHeader* h = array_of_rank(ctx, a, 2, 1);
  if (!h) return;
  const bool skip_undefined = argc >= 3 && arg_int(a, 3) != 0;
  const ValueCore* e = array_elements(h);
  MemBuf out;
  int32_t lines = 0;
  for (uint32_t i = 0; i < h->count; ++i) {
    if (!value_has_value(e[i])) {
      if (skip_undefined) continue;
    } else {
      ElementText t(ctx, e[i], false);
      if (!t.ok() || !append_or_fail(ctx, out, t.ansi(), t.bytes())) return;
    }
    if (!append_or_fail(ctx, out, LINE_END, 2)) return;
    ++lines;
  }
  if (write_text_file(ctx, path, out)) set_integer(ctx, result->c, lines);
}

// A field needs quotes when reading it back unquoted would change it.
bool needs_quotes(const char* s, size_t n, const Delimiter<char>& d) {
  if (n && (s[0] == ' ' || s[0] == '\t' || s[n - 1] == ' ' || s[n - 1] == '\t')) return true;
  const char* end = s + n;
  for (const char* p = s; p < end; p += char_units(p, end))
    if (*p == '"' || *p == '\r' || *p == '\n' || d.at(p, end)) return true;
  return false;
}

bool append_field(RunContext* ctx, MemBuf& out, const char* s, size_t n, bool quote) {
  if (!quote) return append_or_fail(ctx, out, s, n);
  if (!append_or_fail(ctx, out, "\"", 1)) return false;
  for (const char* q; (q = static_cast<const char*>(std::memchr(s, '"', n)));) {
    const size_t k = size_t(q - s) + 1;
    if (!append_or_fail(ctx, out, s, k) || !append_or_fail(ctx, out, "\"", 1)) return false;
    s += k;
    n -= k;
  }
  return append_or_fail(ctx, out, s, n) && append_or_fail(ctx, out, "\"", 1);
}

// Each row of a one- or two-dimensional array as a CSV record, fields in quotes where they need them.
// Elements never assigned are empty fields, except at the end of a row, where they are left out; a row
// with none assigned is an empty line, or with skip_undefined no line at all. The result is the number of
// lines written.
void bi_arrayfileputcsv(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const char* path = arg_str(ctx, a, 1);
  ArrayHeader* h = array_of_rank(ctx, a, 2, 2);
  Delimiter<char> d;
  if (!h || !csv_delimiter_arg(ctx, a, 3, argc, &d, ERR_CSV_FILE_DELIMITER)) return;
  const bool skip_undefined = argc >= 4 && arg_int(a, 4) != 0;
  const int32_t flags = argc >= 5 ? arg_int(a, 5) : 0;
  if (flags & ~CSV_QUOTE_ALL) {
    ctx->err = ERR_ARRAY_OPTIONS;
    return;
  }
  const uint32_t rows = h->rank ? h->dims[0] : 0, width = h->rank == 2 ? h->dims[1] : 1;
  const ValueCore* e = array_elements(h);
  MemBuf out;
  int32_t lines = 0;
  for (uint32_t row = 0; row < rows; ++row) {
    const ValueCore* r = e + size_t(row) * width;
    uint32_t used = width;
    while (used && !value_has_value(r[used - 1])) --used;
    if (!used && skip_undefined) continue;
    for (uint32_t col = 0; col < used; ++col) {
      if (col && !append_or_fail(ctx, out, d.unit, d.n)) return;
      if (!value_has_value(r[col])) continue;
      ElementText t(ctx, r[col], false);
      if (!t.ok()) return;
      // A lone empty field is quoted, or the line would read back as a row with no fields.
      const bool quote = (flags & CSV_QUOTE_ALL) || needs_quotes(t.ansi(), t.bytes(), d) || (used == 1 && !t.bytes());
      if (!append_field(ctx, out, t.ansi(), t.bytes(), quote)) return;
    }
    if (!append_or_fail(ctx, out, LINE_END, 2)) return;
    ++lines;
  }
  if (write_text_file(ctx, path, out)) set_integer(ctx, result->c, lines);
}

const BuiltinEntry kEntries[] = {
    {KW_ARRAYFILEGET, bi_arrayfileget},
    {KW_ARRAYFILEGETCSV, bi_arrayfilegetcsv},
    {KW_ARRAYFILEPUT, bi_arrayfileput},
    {KW_ARRAYFILEPUTCSV, bi_arrayfileputcsv},
    {KW_ARRAYFROMSTR, either_form<array_from_str<char>, array_from_str<char16_t>>},
    {KW_ARRAYIZE, either_form<arrayize<char>, arrayize<char16_t>>},
    {KW_ARRAYTOSTR, bi_arraytostr},
};

}  // namespace

extern const BuiltinFamily kArrayTextBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
