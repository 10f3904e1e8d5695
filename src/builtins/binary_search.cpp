// Binary buffers: searching, counting and replacing strings in the data, and the tag functions, which
// step through the text between a start tag and an end tag.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "builtins/binary_support.h"
#include "builtins/hex.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/keywords.h"
#include "platform/text.h"

namespace tov {

const uint8_t* upper_byte_map() {
  static const auto map = [] {
    std::array<uint8_t, 256> m{};
    for (int c = 0; c < 256; ++c) {
      const char in[2] = {char(c), 0};
      char out[8];
      m[c] = c && plat::upper_ansi(in, 1, out, sizeof out) == 1 ? uint8_t(out[0]) : uint8_t(c);
    }
    return m;
  }();
  return map.data();
}

namespace {

bool matches(const uint8_t* at, const uint8_t* pat, size_t n, const uint8_t* fold) {
  if (!fold) return std::memcmp(at, pat, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (fold[at[i]] != fold[pat[i]]) return false;
  return true;
}

}  // namespace

int64_t find_first(const uint8_t* data, int64_t first, int64_t last, const uint8_t* pat, size_t n, bool fold) {
  const uint8_t* map = fold ? upper_byte_map() : nullptr;
  for (int64_t p = first; p <= last; ++p) {
    if (!fold) {
      // The first byte by memchr, then the rest.
      const void* hit = std::memchr(data + p, pat[0], size_t(last - p + 1));
      if (!hit) return -1;
      p = static_cast<const uint8_t*>(hit) - data;
    }
    if (matches(data + p, pat, n, map)) return p;
  }
  return -1;
}

int64_t find_last(const uint8_t* data, int64_t first, int64_t last, const uint8_t* pat, size_t n, bool fold) {
  const uint8_t* map = fold ? upper_byte_map() : nullptr;
  for (int64_t p = last; p >= first; --p)
    if (matches(data + p, pat, n, map)) return p;
  return -1;
}

namespace {

// --- searching ------------------------------------------------------------------------------------------

// A match lies wholly within the data. Forward, candidates run from `start` up; backward, the match ends
// at or before `start`. An empty pattern finds the first byte that is not 0. -1 when nothing matches.
int64_t search(const BinaryEntry* b, int32_t start, const std::string_view pat, bool backward, bool fold) {
  const auto* p = reinterpret_cast<const uint8_t*>(pat.data());
  const int64_t n = int64_t(pat.size()), eod = b->eod;
  if (n == 0) {
    if (!backward) {
      for (int64_t i = start; i < eod; ++i)
        if (b->data[i]) return i;
    } else {
      for (int64_t i = std::min<int64_t>(start, eod - 1); i >= 0; --i)
        if (b->data[i]) return i;
    }
    return -1;
  }
  if (!backward) return start <= eod - n ? find_first(b->data, start, eod - n, p, size_t(n), fold) : -1;
  const int64_t last = std::min<int64_t>(int64_t(start) - n + 1, eod - n);
  return last >= 0 ? find_last(b->data, 0, last, p, size_t(n), fold) : -1;
}

// Handle, start offset, pattern, direction: the buffer, or nullptr with 3023, 1548 or 3333.
BinaryEntry* search_buffer(RunContext* ctx, ArgBlock& a) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return nullptr;
  const int32_t start = arg_int(a, 2);
  if (start < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (start >= b->size) ctx->err = ERR_BINARY_INDEX_OFFSET;
  return ctx->err ? nullptr : b;
}

void index_result(RunContext* ctx, Value* result, ArgBlock& a, std::string_view pat, bool fold, int32_t none) {
  BinaryEntry* b = search_buffer(ctx, a);
  if (!b) return;
  const int64_t at = search(b, arg_int(a, 2), pat, arg_int(a, 4) != 0, fold);
  set_integer(ctx, result->c, at >= 0 ? int32_t(at) : none);
}

void bi_binaryindex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  index_result(ctx, result, a, arg_str(ctx, a, 3), false, 0);
}
void bi_binaryindexnc(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  index_result(ctx, result, a, arg_str(ctx, a, 3), true, 0);
}
// The fifth argument chooses: non-zero compares case-sensitively. No match gives -1.
void bi_binaryindexex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  index_result(ctx, result, a, arg_str(ctx, a, 3), arg_int(a, 5) == 0, -1);
}

// Bytes given as hex pairs; a letter's case is ignored (a byte taken as a character) unless the fifth
// argument is non-zero.
void bi_binaryindexbin(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  std::string bytes;
  if (!bytes_of_hex_pairs(arg_str(ctx, a, 3), &bytes) || bytes.empty()) {
    ctx->err = ERR_BINARY_INDEXBIN_HEX;
    return;
  }
  index_result(ctx, result, a, bytes, arg_int(a, 5) == 0, -1);
}

// Occurrences that start at positions start..end and end within the data, without overlap.
void bi_binarystrcnt(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  int32_t start = arg_int(a, 2), end = arg_int(a, 3);
  if (start < 0 || end < 0) {
    ctx->err = ERR_BINARY_INDEX_OFFSET;
    return;
  }
  if (end < start) std::swap(start, end);
  if (end >= b->size) ctx->err = ERR_BINARY_INDEX_OFFSET;
  else if (end >= b->eod) ctx->err = ERR_BINARY_EOD_OFFSET;
  if (ctx->err) return;
  const char* s = arg_str(ctx, a, 4);
  const size_t n = std::strlen(s);
  const int64_t last = std::min<int64_t>(end, int64_t(b->eod) - int64_t(n));
  int32_t count = 0;
  for (int64_t at = start; n && at <= last; ++count) {
    at = find_first(b->data, at, last, reinterpret_cast<const uint8_t*>(s), n, false);
    if (at < 0) break;
    at += int64_t(n);
  }
  set_integer(ctx, result->c, count);
}

// --- replacing ------------------------------------------------------------------------------------------

// Replaces the range [at, at + old_size) of the data with `with`; the bytes that the data leaves behind
// are cleared. The caller has checked that the result fits.
void splice(BinaryEntry* b, int64_t at, int64_t old_size, std::string_view with) {
  const int64_t eod = b->eod, new_eod = eod - old_size + int64_t(with.size());
  std::memmove(b->data + at + with.size(), b->data + at + old_size, size_t(eod - at - old_size));
  std::memcpy(b->data + at, with.data(), with.size());
  if (new_eod < eod) std::memset(b->data + new_eod, 0, size_t(eod - new_eod));
  b->eod = int32_t(new_eod);
}

// Every occurrence in the data, left to right without overlap; the fourth argument non-zero compares
// case-sensitively. The result is built aside, so a result too large for the buffer changes nothing.
void bi_binaryreplace(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const std::string_view from = arg_str(ctx, a, 2), to = arg_str(ctx, a, 3);
  const bool fold = arg_int(a, 4) == 0;
  const int64_t n = int64_t(from.size()), last = int64_t(b->eod) - n;
  const auto* data = reinterpret_cast<const char*>(b->data);
  MemBuf out;
  bool room = true;
  int32_t count = 0;
  int64_t done = 0;
  for (int64_t at = 0; room && n && at <= last; ++count) {
    at = find_first(b->data, at, last, reinterpret_cast<const uint8_t*>(from.data()), size_t(n), fold);
    if (at < 0) break;
    room = out.append(data + done, size_t(at - done)) && out.append(to.data(), to.size());
    done = at += n;
  }
  if (count && room) room = out.append(data + done, size_t(b->eod - done));
  if (!room) ctx->err = ERR_WORK_MEMORY;
  else if (out.size() > size_t(b->size)) ctx->err = ERR_BINARY_REPLACE_OVERRUN;
  if (ctx->err) return;
  if (count) splice(b, 0, b->eod, std::string_view(out.data(), out.size()));
  set_integer(ctx, result->c, count);
}

// --- tags -----------------------------------------------------------------------------------------------
// A tag structure is a string that a script passes from one tag function to the next:
//   "BTAG,handle,next,found start,found end,start tag length,end tag length," start tag, end tag
// `next` is where the next search starts; a found tag runs from the start of its start tag to the end of
// its end tag (both -1 while none is found). Tags match whatever the case of their letters.

constexpr char TAG_PREFIX[] = "BTAG,";

struct TagState {
  int32_t handle, next, start, end, start_len, end_len;
  std::string tags;       // the start tag followed by the end tag
  bool found() const { return start >= 0; }
};

// A decimal field followed by a comma: -1 or 0..2147483647.
bool read_field(const char*& p, int32_t* out) {
  if (p[0] == '-' && p[1] == '1' && p[2] == ',') {
    *out = -1;
    p += 3;
    return true;
  }
  int64_t v = 0;
  const char* digits = p;
  while (*p >= '0' && *p <= '9' && p - digits < 10) v = v * 10 + (*p++ - '0');
  if (p == digits || *p != ',' || v > INT32_MAX) return false;
  ++p;
  *out = int32_t(v);
  return true;
}

// The structure of argument 1, checked against its buffer as the buffer is now; nullptr with 1580 (or
// 3023 when its buffer is gone).
BinaryEntry* tag_argument(RunContext* ctx, ArgBlock& a, TagState* t) {
  const char* p = arg_str(ctx, a, 1);
  int32_t* fields[] = {&t->handle, &t->next, &t->start, &t->end, &t->start_len, &t->end_len};
  bool ok = std::strncmp(p, TAG_PREFIX, sizeof TAG_PREFIX - 1) == 0;
  if (ok) p += sizeof TAG_PREFIX - 1;
  for (int32_t* field : fields) ok = ok && read_field(p, field);
  ok = ok && t->start_len > 0 && t->end_len > 0 && std::strlen(p) == size_t(t->start_len) + size_t(t->end_len);
  if (!ok) {
    ctx->err = ERR_BINARY_TAG_STRUCT;
    return nullptr;
  }
  t->tags = p;
  BinaryEntry* b = binary_get(ctx, t->handle);
  if (!b) return nullptr;
  const bool found_ok = t->found() ? t->start <= t->end && t->end <= b->eod &&
                                         int64_t(t->end) - t->start >= int64_t(t->start_len) + t->end_len
                                   : t->end == -1;
  if (t->next < 0 || t->next > b->eod || !found_ok) {
    ctx->err = ERR_BINARY_TAG_STRUCT;
    return nullptr;
  }
  return b;
}

void tag_result(RunContext* ctx, Value* result, const TagState& t) {
  char head[96];
  const int n = std::snprintf(head, sizeof head, "%s%d,%d,%d,%d,%d,%d,", TAG_PREFIX, t.handle, t.next, t.start,
                              t.end, t.start_len, t.end_len);
  const std::string text = std::string(head, size_t(n)) + t.tags;
  set_string(ctx, result->c, text.data(), text.size());
}

// A structure that has found a tag, for the functions that work on it.
BinaryEntry* found_tag(RunContext* ctx, ArgBlock& a, TagState* t) {
  BinaryEntry* b = tag_argument(ctx, a, t);
  if (b && !t->found()) ctx->err = ERR_BINARY_TAG_STRUCT;
  return ctx->err ? nullptr : b;
}

void bi_binarytaginit(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const std::string start = arg_str(ctx, a, 2), end = arg_str(ctx, a, 3);
  if (start.empty() || end.empty()) {
    ctx->err = ERR_BINARY_TAG_EMPTY;
    return;
  }
  tag_result(ctx, result, {binary_handle(ctx, b), 0, -1, -1, int32_t(start.size()), int32_t(end.size()), start + end});
}

// The next start tag from `next` on and the first end tag after it. The structure of the found tag, or
// the empty string when there is none.
void bi_binarytagfind(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  TagState t;
  BinaryEntry* b = tag_argument(ctx, a, &t);
  if (!b) return;
  const auto* tags = reinterpret_cast<const uint8_t*>(t.tags.data());
  const int64_t eod = b->eod;
  const int64_t s = find_first(b->data, t.next, eod - t.start_len - t.end_len, tags, size_t(t.start_len), true);
  const int64_t e = s < 0 ? -1
                          : find_first(b->data, s + t.start_len, eod - t.end_len, tags + t.start_len,
                                       size_t(t.end_len), true);
  if (e < 0) {
    set_string(ctx, result->c, "", 0);
    return;
  }
  t.start = int32_t(s);
  t.end = t.next = int32_t(e + t.end_len);
  tag_result(ctx, result, t);
}

bool is_blank_byte(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

enum TagExtractFlags : int32_t { TAG_TRIM = 1, TAG_WITH_TAGS = 2 };

void bi_binarytagextr(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  TagState t;
  BinaryEntry* b = found_tag(ctx, a, &t);
  if (!b) return;
  const int32_t flags = arg_int(a, 2);
  if (flags & ~(TAG_TRIM | TAG_WITH_TAGS)) {
    ctx->err = ERR_BINARY_TAG_FLAGS;
    return;
  }
  const uint8_t* p = b->data + t.start;
  const uint8_t* q = b->data + t.end;
  if (!(flags & TAG_WITH_TAGS)) {
    p += t.start_len;
    q -= t.end_len;
  }
  if (flags & TAG_TRIM) {
    while (p < q && is_blank_byte(*p)) ++p;
    while (q > p && is_blank_byte(q[-1])) --q;
  }
  // A NUL byte in the data ends the string's text.
  const void* nul = std::memchr(p, 0, size_t(q - p));
  if (nul) q = static_cast<const uint8_t*>(nul);
  set_string(ctx, result->c, reinterpret_cast<const char*>(p), size_t(q - p));
}

// Mode 0: the text between the tags; 1: the whole tag, start and end tags included.
bool tag_mode(RunContext* ctx, ArgBlock& a, bool* whole) {
  const int32_t mode = arg_int(a, 2);
  if (mode != 0 && mode != 1) ctx->err = ERR_BINARY_TAG_FLAGS;
  *whole = mode == 1;
  return !ctx->err;
}

void bi_binarytagindex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  TagState t;
  bool whole = false;
  if (found_tag(ctx, a, &t) && tag_mode(ctx, a, &whole))
    set_integer(ctx, result->c, whole ? t.start : t.start + t.start_len);
}

void bi_binarytaglen(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  TagState t;
  bool whole = false;
  if (found_tag(ctx, a, &t) && tag_mode(ctx, a, &whole))
    set_integer(ctx, result->c, t.end - t.start - (whole ? 0 : t.start_len + t.end_len));
}

// Replaces the whole tag, start and end tags included; the next search starts after the new text.
void bi_binarytagrepl(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  TagState t;
  BinaryEntry* b = found_tag(ctx, a, &t);
  if (!b) return;
  const std::string_view with = arg_str(ctx, a, 2);
  if (int64_t(b->eod) - (t.end - t.start) + int64_t(with.size()) > b->size) {
    ctx->err = ERR_BINARY_TAG_OVERRUN;
    return;
  }
  splice(b, t.start, t.end - t.start, with);
  t.next = t.start + int32_t(with.size());
  t.start = t.end = -1;
  tag_result(ctx, result, t);
}

const BuiltinEntry kEntries[] = {
    {KW_BINARYINDEX, bi_binaryindex},       {KW_BINARYINDEXNC, bi_binaryindexnc},
    {KW_BINARYINDEXEX, bi_binaryindexex},   {KW_BINARYINDEXBIN, bi_binaryindexbin},
    {KW_BINARYSTRCNT, bi_binarystrcnt},     {KW_BINARYREPLACE, bi_binaryreplace},
    {KW_BINARYTAGINIT, bi_binarytaginit},   {KW_BINARYTAGFIND, bi_binarytagfind},
    {KW_BINARYTAGEXTR, bi_binarytagextr},   {KW_BINARYTAGINDEX, bi_binarytagindex},
    {KW_BINARYTAGLEN, bi_binarytaglen},     {KW_BINARYTAGREPL, bi_binarytagrepl},
};

}  // namespace

extern const BuiltinFamily kBinarySearchBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
