// Binary buffers: allocation, the end of data, buffer information, and reading and writing numbers,
// strings and hex text at byte offsets; copying, comparing and combining ranges.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "builtins/binary_support.h"
#include "builtins/hex.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/heap.h"
#include "lang/keywords.h"

namespace tov {

namespace {

enum BufInfoRequest : int32_t {
  BUFINFO_VALID = -1,
  BUFINFO_SIZE = 0,
  BUFINFO_ADDRESS = 1,
  BUFINFO_EOD = 2,
};

void bi_binaryalloc(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  int32_t handle = 0;
  if (const uint16_t err = binary_alloc(ctx, arg_int(a, 1), &handle)) {
    ctx->err = err;
    return;
  }
  set_handle_result(ctx, result, handle);
}

void bi_binaryfree(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (!binary_free(ctx, arg_int(a, 1))) ctx->err = ERR_BINARY_HANDLE;
}

// The value must be a buffer handle by its type, not only by its number.
void bi_binarybufinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const ValueCore& v = a.slot[1].c;
  const int32_t request = arg_int(a, 2);
  const bool typed = (v.type & (VF_INTEGER | VF_BINARY)) == (VF_INTEGER | VF_BINARY);
  BinaryEntry* b = typed ? binary_find(ctx, v.i) : nullptr;
  if (request == BUFINFO_VALID) {
    set_integer(ctx, result->c, b ? 1 : 0);
    return;
  }
  if (!b) {
    ctx->err = ERR_BINARY_HANDLE;
    return;
  }
  switch (request) {
    case BUFINFO_SIZE: set_integer(ctx, result->c, b->size); return;
    case BUFINFO_EOD: set_integer(ctx, result->c, b->eod); return;
    case BUFINFO_ADDRESS: {
      // An address that an integer cannot hold (64-bit systems) is given as a float, which holds it exactly.
      const auto address = uintptr_t(b->data);
      if (address <= uintptr_t(INT32_MAX)) set_integer(ctx, result->c, int32_t(address));
      else set_float(ctx, result->c, double(address));
      return;
    }
    default: ctx->err = ERR_INVALID_REQUEST; return;
  }
}

void bi_binaryeodget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (BinaryEntry* b = arg_buffer(ctx, a, 1)) set_integer(ctx, result->c, b->eod);
}

void bi_binaryeodset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  int32_t previous = 0;
  if (const uint16_t err = binary_set_eod(b, arg_int(a, 2), &previous)) ctx->err = err;
  else set_integer(ctx, result->c, previous);
}

// --- numbers at an offset -------------------------------------------------------------------------------
// Integers are little-endian; 1- and 2-byte values read unsigned; floats are 8-byte IEEE doubles.

enum class Access { Peek, Poke, Incr };

uint32_t load(const uint8_t* p, int width) {
  uint32_t v = 0;
  for (int i = width; i-- > 0;) v = v << 8 | p[i];
  return v;
}

void store(uint8_t* p, int width, uint32_t v) {
  for (int i = 0; i < width; ++i, v >>= 8) p[i] = uint8_t(v);
}

// The buffer of argument 1 with `width` bytes at the offset of argument 2, or nullptr with the error set.
uint8_t* element_at(RunContext* ctx, ArgBlock& a, int width, BinaryEntry** buffer) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return nullptr;
  const int32_t offset = arg_int(a, 2);
  if (offset < 0) {
    ctx->err = ERR_BINARY_OFFSET;
    return nullptr;
  }
  if (!fits(offset, width, b->size)) {
    ctx->err = ERR_BINARY_PEEK_OFFSET;
    return nullptr;
  }
  *buffer = b;
  return b->data + offset;
}

// A poked value must fit its width, as unsigned or as signed.
bool poke_value_fits(int32_t value, int width) {
  if (width == 4) return true;
  const int32_t span = width == 1 ? 256 : 65536;
  return value >= -span && value < span;
}

void integer_access(RunContext* ctx, Value* result, ArgBlock& a, int width, Access op) {
  BinaryEntry* b = nullptr;
  uint8_t* p = element_at(ctx, a, width, &b);
  if (!p) return;
  const uint32_t current = load(p, width);
  if (op == Access::Poke && !poke_value_fits(arg_int(a, 3), width)) {
    ctx->err = ERR_BINARY_POKE_RANGE;
    return;
  }
  // Reading a value makes its bytes part of the data, as writing does.
  grow_eod(b, p - b->data + width);
  switch (op) {
    case Access::Peek: set_integer(ctx, result->c, int32_t(current)); return;
    case Access::Poke:
      store(p, width, uint32_t(arg_int(a, 3)));
      set_integer(ctx, result->c, int32_t(current));
      return;
    case Access::Incr:
      store(p, width, current + 1);
      set_integer(ctx, result->c, int32_t(load(p, width)));
      return;
  }
}

// A stored double that is not a finite number cannot become a script value: NaN raises 1599, an
// infinity 1342.
bool finite_or_raise(RunContext* ctx, double f) {
  if (std::isnan(f)) ctx->err = ERR_FP_NAN;
  else if (std::isinf(f)) ctx->err = ERR_FP_OVERFLOW;
  return !ctx->err;
}

void float_access(RunContext* ctx, Value* result, ArgBlock& a, Access op) {
  constexpr int width = sizeof(double);
  BinaryEntry* b = nullptr;
  uint8_t* p = element_at(ctx, a, width, &b);
  if (!p) return;
  double current;
  std::memcpy(&current, p, width);
  if (op != Access::Poke && !finite_or_raise(ctx, current)) return;
  grow_eod(b, p - b->data + width);
  switch (op) {
    case Access::Peek: set_float(ctx, result->c, current); return;
    case Access::Poke: {
      const double value = arg_float(a, 3);
      std::memcpy(p, &value, width);
      // Bytes that held no number before give 0.0 as the previous value.
      set_float(ctx, result->c, std::isfinite(current) ? current : 0.0);
      return;
    }
    case Access::Incr: {
      const double value = current + 1.0;
      std::memcpy(p, &value, width);
      set_float(ctx, result->c, value);
      return;
    }
  }
}

void bi_binarypeek(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 1, Access::Peek); }
void bi_binarypeek2(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 2, Access::Peek); }
void bi_binarypeek4(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 4, Access::Peek); }
void bi_binarypoke(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 1, Access::Poke); }
void bi_binarypoke2(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 2, Access::Poke); }
void bi_binarypoke4(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 4, Access::Poke); }
void bi_binaryincr(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 1, Access::Incr); }
void bi_binaryincr2(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 2, Access::Incr); }
void bi_binaryincr4(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { integer_access(ctx, r, a, 4, Access::Incr); }
void bi_binarypeekflt(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { float_access(ctx, r, a, Access::Peek); }
void bi_binarypokeflt(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { float_access(ctx, r, a, Access::Poke); }
void bi_binaryincrflt(RunContext* ctx, Value* r, ArgBlock& a, int, bool) { float_access(ctx, r, a, Access::Incr); }

// --- strings at an offset -------------------------------------------------------------------------------

// The bytes that a string read may take: from the offset up to `max`, stopping at the end of data.
// Raises `err` for a negative offset or maximum, or an offset at or beyond the size (an empty read at
// the end of data of a full buffer excepted).
bool readable_range(RunContext* ctx, const BinaryEntry* b, int32_t offset, int32_t max, uint16_t err,
                    size_t* count) {
  if (offset < 0 || max < 0) {
    ctx->err = err;
    return false;
  }
  if (offset == b->eod && max == 0) {
    *count = 0;
    return true;
  }
  if (offset >= b->size) {
    ctx->err = err;
    return false;
  }
  *count = offset >= b->eod ? 0 : size_t(std::min<int64_t>(max, b->eod - offset));
  return true;
}

// Storing `bytes` at the offset of argument 2; raises `err` when they would not lie within the buffer.
uint8_t* writable_range(RunContext* ctx, BinaryEntry* b, int32_t offset, size_t bytes, uint16_t err) {
  if (offset < 0 || !fits(offset, int64_t(bytes), b->size)) {
    ctx->err = err;
    return nullptr;
  }
  grow_eod(b, int64_t(offset) + int64_t(bytes));
  return b->data + offset;
}

// A NUL byte ends the text of a string read from the data.
void bi_binarypeekstr(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  size_t count = 0;
  if (!b || !readable_range(ctx, b, arg_int(a, 2), arg_int(a, 3), ERR_BINARY_PEEKSTR, &count)) return;
  const char* p = reinterpret_cast<const char*>(b->data + arg_int(a, 2));
  const void* nul = std::memchr(p, 0, count);
  set_string(ctx, result->c, p, nul ? size_t(static_cast<const char*>(nul) - p) : count);
}

void bi_binarypokestr(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const char* s = arg_str(ctx, a, 3);
  const size_t n = std::strlen(s);
  if (uint8_t* p = writable_range(ctx, b, arg_int(a, 2), n, ERR_BINARY_POKESTR)) {
    std::memcpy(p, s, n);
    set_integer(ctx, result->c, int32_t(n));
  }
}

// UTF-16 text: little-endian units, or big-endian when the optional argument is 1.
bool byte_order_argument(RunContext* ctx, ArgBlock& a, int argc, int n, bool* big_endian) {
  const int32_t order = argc >= n ? arg_int(a, n) : 0;
  if (order != 0 && order != 1) {
    ctx->err = ERR_INVALID_FLAGS;
    return false;
  }
  *big_endian = order == 1;
  return true;
}

void bi_binarypeekstrw(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  size_t count = 0;
  bool big = false;
  if (!b || !byte_order_argument(ctx, a, argc, 4, &big) ||
      !readable_range(ctx, b, arg_int(a, 2), arg_int(a, 3), ERR_BINARY_PEEKSTRW, &count))
    return;
  const uint8_t* p = b->data + arg_int(a, 2);
  size_t units = 0;
  while (units < count / 2 && (p[2 * units] | p[2 * units + 1])) ++units;
  // The units go to the string as they are, and are turned round there when big-endian.
  if (!set_wstring(ctx, result->c, reinterpret_cast<const wchar*>(p), units) || !big) return;
  wchar* text = wstr_at(ctx, result->c.wstr);
  for (size_t i = 0; i < units; ++i) text[i] = wchar(text[i] << 8 | text[i] >> 8);
}

void bi_binarypokestrw(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  bool big = false;
  if (!b || !byte_order_argument(ctx, a, argc, 4, &big)) return;
  const wchar* s = arg_wstr(ctx, a, 3);
  const size_t units = wstr_len(s);
  uint8_t* p = writable_range(ctx, b, arg_int(a, 2), units * 2, ERR_BINARY_POKESTRW);
  if (!p) return;
  for (size_t i = 0; i < units; ++i, p += 2) {
    p[big ? 1 : 0] = uint8_t(s[i]);
    p[big ? 0 : 1] = uint8_t(s[i] >> 8);
  }
  set_integer(ctx, result->c, int32_t(units * 2));
}

// --- hex text -------------------------------------------------------------------------------------------

void bi_binarypeekhex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const int32_t offset = arg_int(a, 2), count = arg_int(a, 3);
  if (offset < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (offset >= b->eod) ctx->err = ERR_BINARY_EOD_OFFSET;
  else if (count < 0) ctx->err = ERR_BINARY_COUNT;
  else if (!fits(offset, count, b->eod)) ctx->err = ERR_BINARY_EOD_COUNT;
  if (ctx->err) return;
  // Written straight into the string heap: the text may be large.
  const uint64_t digits = uint64_t(count) * 2;
  const uint32_t text = digits < 0xFFFFFFF0u ? VMalloc(ctx, uint32_t(digits + 1)) : 0;
  if (!text) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return;
  }
  hex_into(reinterpret_cast<const char*>(b->data + offset), size_t(count), str_at(ctx, text));
  value_free(ctx, result->c);
  result->c.str = text;
  result->c.type = VF_STRING;
}

// The whole text is checked before a byte is stored, so a bad text leaves the buffer as it was.
void bi_binarypokehex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const int32_t offset = arg_int(a, 2);
  const char* text = arg_str(ctx, a, 3);
  const size_t digits = hex_digit_count(text);
  std::string bytes;
  if (offset < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (offset >= b->size) ctx->err = ERR_BINARY_OFFSETS;
  else if (digits % 2) ctx->err = ERR_BINARY_HEX;
  else if (!fits(offset, int64_t(digits / 2), b->size)) ctx->err = ERR_BINARY_HEX_OVERRUN;
  else if (!bytes_of_hex_pairs(text, &bytes)) ctx->err = ERR_BINARY_HEX;
  if (ctx->err) return;
  std::memcpy(b->data + offset, bytes.data(), bytes.size());
  grow_eod(b, int64_t(offset) + int64_t(bytes.size()));
  set_integer(ctx, result->c, int32_t(bytes.size()));
}

// --- ranges of two buffers ------------------------------------------------------------------------------
// Arguments: target (or first) handle, its offset, source (or second) handle, its offset, count.

struct RangePair {
  BinaryEntry* b[2];
  int32_t offset[2];
  int32_t count;
};

// Both buffers, offsets not negative (1548) and a count not negative (1549).
bool range_pair(RunContext* ctx, ArgBlock& a, RangePair* r) {
  r->b[0] = arg_buffer(ctx, a, 1);
  if (!r->b[0]) return false;
  r->b[1] = arg_buffer(ctx, a, 3);
  if (!r->b[1]) return false;
  r->offset[0] = arg_int(a, 2);
  r->offset[1] = arg_int(a, 4);
  r->count = arg_int(a, 5);
  if (r->offset[0] < 0 || r->offset[1] < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (r->count < 0) ctx->err = ERR_BINARY_COUNT;
  return !ctx->err;
}

// Both ranges within their buffers (1543 for an offset, 1544 for the count).
bool within_sizes(RunContext* ctx, const RangePair& r) {
  for (int i = 0; i < 2; ++i)
    if (r.offset[i] >= r.b[i]->size) ctx->err = ERR_BINARY_OFFSETS;
  for (int i = 0; !ctx->err && i < 2; ++i)
    if (!fits(r.offset[i], r.count, r.b[i]->size)) ctx->err = ERR_BINARY_COUNT_SIZE;
  return !ctx->err;
}

bool within_data(const RangePair& r) {
  return fits(r.offset[0], r.count, r.b[0]->eod) && fits(r.offset[1], r.count, r.b[1]->eod);
}

// Checked in full before the target's end of data grows. Bytes go one at a time from the lowest address
// up, so a copy within one buffer to a higher overlapping offset repeats the leading bytes (a fill).
void bi_binarycopy(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  RangePair r;
  if (!range_pair(ctx, a, &r)) return;
  BinaryEntry *target = r.b[0], *source = r.b[1];
  if (r.offset[0] >= target->size || r.offset[1] >= source->size) ctx->err = ERR_BINARY_COPY_OFFSETS;
  else if (!fits(r.offset[0], r.count, target->size)) ctx->err = ERR_BINARY_COPY_FIT;
  else if (!fits(r.offset[1], r.count, source->size)) ctx->err = ERR_BINARY_COPY_SOURCE;
  if (ctx->err) return;
  grow_eod(target, int64_t(r.offset[0]) + r.count);
  uint8_t* to = target->data + r.offset[0];
  const uint8_t* from = source->data + r.offset[1];
  if (to > from && to < from + r.count) {
    for (int32_t i = 0; i < r.count; ++i) to[i] = from[i];
  } else {
    std::memmove(to, from, size_t(r.count));
  }
  set_integer(ctx, result->c, r.count);
}

// Ranges that reach past an end of data are not equal.
void bi_binarycompare(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  RangePair r;
  if (!range_pair(ctx, a, &r) || !within_sizes(ctx, r)) return;
  const bool equal =
      within_data(r) && std::memcmp(r.b[0]->data + r.offset[0], r.b[1]->data + r.offset[1], size_t(r.count)) == 0;
  set_integer(ctx, result->c, equal ? 1 : 0);
}

template <typename Op>
void combine(RunContext* ctx, Value* result, ArgBlock& a, Op op) {
  RangePair r;
  if (!range_pair(ctx, a, &r) || !within_sizes(ctx, r)) return;
  for (int i = 0; !ctx->err && i < 2; ++i)
    if (r.offset[i] >= r.b[i]->eod) ctx->err = ERR_BINARY_EOD_OFFSET;
  if (!ctx->err && !within_data(r)) ctx->err = ERR_BINARY_EOD_COUNT;
  if (ctx->err) return;
  uint8_t* to = r.b[0]->data + r.offset[0];
  const uint8_t* from = r.b[1]->data + r.offset[1];
  for (int32_t i = 0; i < r.count; ++i) to[i] = op(to[i], from[i]);
  set_integer(ctx, result->c, 1);
}

void bi_binaryand(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  combine(ctx, result, a, [](uint8_t x, uint8_t y) { return uint8_t(x & y); });
}
void bi_binaryor(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  combine(ctx, result, a, [](uint8_t x, uint8_t y) { return uint8_t(x | y); });
}
void bi_binaryxor(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  combine(ctx, result, a, [](uint8_t x, uint8_t y) { return uint8_t(x ^ y); });
}

const BuiltinEntry kEntries[] = {
    {KW_BINARYALLOC, bi_binaryalloc},     {KW_BINARYFREE, bi_binaryfree},
    {KW_BINARYBUFINFO, bi_binarybufinfo}, {KW_BINARYEODGET, bi_binaryeodget},
    {KW_BINARYEODSET, bi_binaryeodset},   {KW_BINARYPEEK, bi_binarypeek},
    {KW_BINARYPEEK2, bi_binarypeek2},     {KW_BINARYPEEK4, bi_binarypeek4},
    {KW_BINARYPOKE, bi_binarypoke},       {KW_BINARYPOKE2, bi_binarypoke2},
    {KW_BINARYPOKE4, bi_binarypoke4},     {KW_BINARYINCR, bi_binaryincr},
    {KW_BINARYINCR2, bi_binaryincr2},     {KW_BINARYINCR4, bi_binaryincr4},
    {KW_BINARYPEEKFLT, bi_binarypeekflt}, {KW_BINARYPOKEFLT, bi_binarypokeflt},
    {KW_BINARYINCRFLT, bi_binaryincrflt}, {KW_BINARYPEEKSTR, bi_binarypeekstr},
    {KW_BINARYPOKESTR, bi_binarypokestr}, {KW_BINARYPEEKSTRW, bi_binarypeekstrw},
    {KW_BINARYPOKESTRW, bi_binarypokestrw}, {KW_BINARYPEEKHEX, bi_binarypeekhex},
    {KW_BINARYPOKEHEX, bi_binarypokehex}, {KW_BINARYCOPY, bi_binarycopy},
    {KW_BINARYCOMPARE, bi_binarycompare}, {KW_BINARYAND, bi_binaryand},
    {KW_BINARYOR, bi_binaryor},           {KW_BINARYXOR, bi_binaryxor},
};

}  // namespace

extern const BuiltinFamily kBinaryBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
