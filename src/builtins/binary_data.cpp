// Binary buffers: whole-data work — checksums, compression, text conversion, byte translation, sorting
// fixed-size records and a hash table of records — and buffers made from arrays or marked for COM.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/array_support.h"
#include "builtins/binary_support.h"
#include "builtins/hex.h"
#include "builtins/merge_sort.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/keywords.h"
#include "platform/digest.h"
#include "platform/memory.h"
#include "platform/text.h"

namespace tov {

namespace {

// Replaces the whole data with `bytes` (which fit the buffer); bytes that the data leaves behind are
// cleared, as in a fresh buffer.
void replace_data(BinaryEntry* b, const char* bytes, size_t n) {
  std::memcpy(b->data, bytes, n);
  if (int64_t(n) < b->eod) std::memset(b->data + n, 0, size_t(b->eod) - n);
  b->eod = int32_t(n);
}

// A temporary block of the run's memory, freed when it goes out of scope.
class WorkBlock {
 public:
  explicit WorkBlock(size_t bytes) : id_(plat::mem_alloc(bytes ? bytes : 1, false)) {
    data_ = id_ ? static_cast<uint8_t*>(plat::mem_lock(id_)) : nullptr;
  }
  ~WorkBlock() {
    if (id_) plat::mem_free(id_);
  }
  WorkBlock(const WorkBlock&) = delete;
  WorkBlock& operator=(const WorkBlock&) = delete;
  uint8_t* data() const { return data_; }

 private:
  plat::MemId id_;
  uint8_t* data_;
};

// --- checksums ------------------------------------------------------------------------------------------

enum ChecksumRequest : int32_t {
  CHECKSUM_MD5 = 0,
  CHECKSUM_CRC32 = 1,
  CHECKSUM_ADLER32 = 2,
  CHECKSUM_SHA1 = 3,
  CHECKSUM_SHA256 = 4,
  CHECKSUM_SHA384 = 5,
  CHECKSUM_SHA512 = 6,
};

// zlib's sums take their length as a 32-bit count on every system.
template <typename Sum>
uint32_t running_sum(Sum sum, uLong start, const uint8_t* p, size_t n) {
  uLong value = start;
  for (size_t done = 0; done < n;) {
    const auto piece = uInt(std::min<size_t>(n - done, 0x40000000u));
    value = sum(value, p + done, piece);
    done += piece;
  }
  return uint32_t(value);
}

// The checksum of the data as upper-case hex digits; the 32-bit sums written as numbers, high digits first.
void bi_binarychecksum(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const size_t n = size_t(b->eod);
  std::string hex;
  const int32_t request = arg_int(a, 2);
  if (request == CHECKSUM_CRC32 || request == CHECKSUM_ADLER32) {
    const uint32_t sum = request == CHECKSUM_CRC32 ? running_sum(crc32, crc32(0, nullptr, 0), b->data, n)
                                                   : running_sum(adler32, adler32(0, nullptr, 0), b->data, n);
    const char bytes[4] = {char(sum >> 24), char(sum >> 16), char(sum >> 8), char(sum)};
    hex = hex_of_bytes(bytes, sizeof bytes);
  } else {
    plat::Digest algorithm;
    switch (request) {
      case CHECKSUM_MD5: algorithm = plat::Digest::MD5; break;
      case CHECKSUM_SHA1: algorithm = plat::Digest::SHA1; break;
      case CHECKSUM_SHA256: algorithm = plat::Digest::SHA256; break;
      case CHECKSUM_SHA384: algorithm = plat::Digest::SHA384; break;
      case CHECKSUM_SHA512: algorithm = plat::Digest::SHA512; break;
      default: ctx->err = ERR_INVALID_REQUEST; return;
    }
    uint8_t digest[plat::DIGEST_MAX_BYTES];
    if (!plat::digest(algorithm, b->data, n, digest)) {
      ctx->err = ERR_BINARY_CHECKSUM;
      return;
    }
    hex = hex_of_bytes(reinterpret_cast<const char*>(digest), plat::digest_size(algorithm));
  }
  set_string(ctx, result->c, hex.data(), hex.size());
}

// --- compression ----------------------------------------------------------------------------------------

enum CompressFormat : int32_t { COMPRESS_ZLIB = 0, COMPRESS_GZIP = 1, COMPRESS_RAW = 2 };

int window_bits(int32_t format) { return format == COMPRESS_GZIP ? 31 : format == COMPRESS_RAW ? -15 : 15; }

enum class ZResult { Done, NoRoom, BadData, NoMemory };

// Runs a whole stream through deflate or inflate, handing the output to `sink` a piece at a time; at
// most `room` bytes may come out.
template <typename Sink>
ZResult run_stream(z_stream& z, bool compress, const uint8_t* in, size_t n, size_t room, Sink sink) {
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = uInt(n);
  size_t produced = 0;
  for (;;) {
    Bytef piece[16384];
    z.next_out = piece;
    z.avail_out = sizeof piece;
    const int rc = compress ? deflate(&z, Z_FINISH) : inflate(&z, Z_NO_FLUSH);
    const size_t got = sizeof piece - z.avail_out;
    if (rc == Z_MEM_ERROR) return ZResult::NoMemory;
    if (rc != Z_OK && rc != Z_STREAM_END) return ZResult::BadData;   // corrupt, or cut short
    if (got > room - produced) return ZResult::NoRoom;
    if (!sink(piece, got)) return ZResult::NoMemory;
    produced += got;
    if (rc == Z_STREAM_END) return ZResult::Done;
    if (!got && !z.avail_in && !compress) return ZResult::BadData;
  }
}

template <typename Sink>
ZResult transform(bool compress, int32_t format, const uint8_t* in, size_t n, size_t room, Sink sink) {
  z_stream z{};
  const int bits = window_bits(format);
  const int rc = compress ? deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY)
                          : inflateInit2(&z, bits);
  if (rc != Z_OK) return ZResult::NoMemory;
  const ZResult result = run_stream(z, compress, in, n, room, sink);
  compress ? deflateEnd(&z) : inflateEnd(&z);
  return result;
}

// Target handle, target offset, source handle, source offset, count [, format]. The source range lies
// within the source's data; the result goes to the target offset, which may be the target's size.
void compression(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool compress) {
  BinaryEntry* target = arg_buffer(ctx, a, 1);
  BinaryEntry* source = target ? arg_buffer(ctx, a, 3) : nullptr;
  if (!source) return;
  const int32_t to = arg_int(a, 2), from = arg_int(a, 4), count = arg_int(a, 5);
  const int32_t format = argc >= 6 ? arg_int(a, 6) : COMPRESS_ZLIB;
  if (to < 0 || from < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (count < 0) ctx->err = ERR_BINARY_COUNT;
  else if (to > target->size) ctx->err = ERR_BINARY_OFFSETS;
  else if (from > source->eod) ctx->err = ERR_BINARY_EOD_OFFSET;
  else if (!fits(from, count, source->eod)) ctx->err = ERR_BINARY_EOD_COUNT;
  else if (format < COMPRESS_ZLIB || format > COMPRESS_RAW) ctx->err = ERR_BINARY_COMP_FORMAT;
  if (ctx->err) return;
  // The output is built aside: the source may be the target, and a failure leaves the target as it was.
  MemBuf out;
  const ZResult r = transform(compress, format, source->data + from, size_t(count), size_t(target->size - to),
                              [&](const uint8_t* p, size_t n) { return out.append(reinterpret_cast<const char*>(p), n); });
  switch (r) {
    case ZResult::Done: break;
    case ZResult::NoMemory: ctx->err = ERR_WORK_MEMORY; return;
    case ZResult::NoRoom:
      ctx->err = compress ? ERR_BINARY_COMP : ERR_BINARY_UNCOMP;
      if (!compress) AddErrorInfo(ctx, "The uncompressed data does not fit in the target buffer");
      return;
    case ZResult::BadData:
      ctx->err = compress ? ERR_BINARY_COMP : ERR_BINARY_UNCOMP;
      AddErrorInfo(ctx, "The compressed data is invalid or incomplete");
      return;
  }
  std::memcpy(target->data + to, out.data(), out.size());
  grow_eod(target, int64_t(to) + int64_t(out.size()));
  set_integer(ctx, result->c, int32_t(out.size()));
}

void bi_binarycomp(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  compression(ctx, result, a, argc, true);
}
void bi_binaryuncomp(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  compression(ctx, result, a, argc, false);
}

// --- text conversion ------------------------------------------------------------------------------------

enum TextForm : int32_t { TEXT_ANSI = 0, TEXT_UTF16 = 1, TEXT_UTF8 = 2, TEXT_UTF16_BE = 3 };
enum ConvertFlags : int32_t { CONVERT_UPPER = 1, CONVERT_LOWER = 2 };

bool is_text_form(int32_t form) { return form >= TEXT_ANSI && form <= TEXT_UTF16_BE; }

// The data as UTF-16 units in a new block (units counted in *count); false when it is no text of the form
// or memory is short.
bool decode_text(const BinaryEntry* b, int32_t form, uint32_t code_page, WorkBlock& units, size_t* count) {
  const auto* src = reinterpret_cast<const char*>(b->data);
  const int n = b->eod;
  auto* out = reinterpret_cast<char16_t*>(units.data());
  if (form == TEXT_UTF16 || form == TEXT_UTF16_BE) {
    if (n % 2 || !out) return false;
    for (int i = 0; i < n; i += 2) {
      const uint8_t lo = b->data[form == TEXT_UTF16 ? i : i + 1], hi = b->data[form == TEXT_UTF16 ? i + 1 : i];
      out[i / 2] = char16_t(hi << 8 | lo);
    }
    *count = size_t(n) / 2;
    return true;
  }
  const uint32_t page = form == TEXT_UTF8 ? plat::CP_UTF8_PAGE : code_page;
  *count = n ? size_t(plat::ansi_to_wide(src, n, out, n, page)) : 0;
  return out && (!n || *count);
}

// The units in the form, into a new block (bytes counted in *size).
bool encode_text(const char16_t* units, size_t count, int32_t form, uint32_t code_page, MemBuf& out) {
  if (form == TEXT_UTF16 || form == TEXT_UTF16_BE) {
    for (size_t i = 0; i < count; ++i) {
      const char lo = char(units[i]), hi = char(units[i] >> 8);
      const char pair[2] = {form == TEXT_UTF16 ? lo : hi, form == TEXT_UTF16 ? hi : lo};
      if (!out.append(pair, 2)) return false;
    }
    return true;
  }
  if (!count) return true;
  const uint32_t page = form == TEXT_UTF8 ? plat::CP_UTF8_PAGE : code_page;
  const int need = plat::wide_to_ansi(units, int(count), nullptr, 0, page);
  if (need <= 0) return false;
  WorkBlock bytes{size_t(need)};
  return bytes.data() &&
         plat::wide_to_ansi(units, int(count), reinterpret_cast<char*>(bytes.data()), need, page) == need &&
         out.append(reinterpret_cast<const char*>(bytes.data()), size_t(need));
}

// The data, text of the source form, becomes text of the target form (upper- or lower-cased on the way);
// the result is the new end of data. A code page of 0 is the run's code page.
void bi_binaryconvert(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const int32_t source = arg_int(a, 2), target = arg_int(a, 3), flags = arg_int(a, 5);
  const uint32_t code_page = arg_int(a, 4) ? uint32_t(arg_int(a, 4)) : ctx->nCodePage;
  if (!is_text_form(source)) ctx->err = ERR_BINARY_CONVERT_SOURCE;
  else if (!is_text_form(target)) ctx->err = ERR_BINARY_CONVERT_TARGET;
  else if (arg_int(a, 4) < 0 || !plat::code_page_supported(code_page)) ctx->err = ERR_BINARY_CONVERT_CODE_PAGE;
  else if (flags & ~(CONVERT_UPPER | CONVERT_LOWER) || flags == (CONVERT_UPPER | CONVERT_LOWER))
    ctx->err = ERR_BINARY_CONVERT_FLAGS;
  if (ctx->err) return;
  // A text has at most one UTF-16 unit per byte of its data.
  WorkBlock units(size_t(b->eod) * 2);
  size_t count = 0;
  MemBuf out;
  if (!decode_text(b, source, code_page, units, &count)) {
    ctx->err = units.data() ? ERR_BINARY_CONVERT_FAILED : ERR_WORK_MEMORY;
    return;
  }
  auto* text = reinterpret_cast<char16_t*>(units.data());
  if (flags == CONVERT_UPPER) plat::upper_wide(text, count);
  if (flags == CONVERT_LOWER) plat::lower_wide(text, count);
  if (!encode_text(text, count, target, code_page, out)) ctx->err = ERR_BINARY_CONVERT_FAILED;
  else if (out.size() > size_t(b->size)) ctx->err = ERR_BINARY_CONVERT_OVERRUN;
  if (ctx->err) return;
  replace_data(b, out.data(), out.size());
  set_integer(ctx, result->c, b->eod);
}

// --- byte translation -----------------------------------------------------------------------------------

enum XlateMode : int32_t { XLATE_BYTE_BYTE = 0, XLATE_BYTE_WORD = 1, XLATE_WORD_BYTE = 2, XLATE_WORD_WORD = 3 };

// Every byte (modes 0, 1) or 16-bit unit (modes 2, 3) of the data is looked up in the table buffer, which
// holds a byte (modes 0, 2) or a 16-bit unit (modes 1, 3) for each possible value, and replaced by it.
// The result is the new end of data.
void bi_binaryxlate(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  const BinaryEntry* table = b ? arg_buffer(ctx, a, 2) : nullptr;
  if (!table) return;
  const int32_t mode = arg_int(a, 3);
  if (mode < XLATE_BYTE_BYTE || mode > XLATE_WORD_WORD) {
    ctx->err = ERR_BINARY_XLATE_MODE;
    return;
  }
  const int in_width = mode >= XLATE_WORD_BYTE ? 2 : 1, out_width = mode % 2 ? 2 : 1;
  const int64_t entries = in_width == 1 ? 256 : 65536, items = b->eod / in_width;
  if (table->size < entries * out_width) ctx->err = ERR_BINARY_XLATE_TABLE;
  else if (b->eod % in_width) ctx->err = ERR_BINARY_XLATE_ODD;
  else if (items * out_width > b->size) ctx->err = ERR_BINARY_XLATE_OVERRUN;
  if (ctx->err) return;
  // Built aside: the table may be the data's own buffer.
  WorkBlock out(size_t(items * out_width));
  if (!out.data()) {
    ctx->err = ERR_WORK_MEMORY;
    return;
  }
  for (int64_t i = 0; i < items; ++i) {
    const uint32_t key = in_width == 1 ? b->data[i] : uint32_t(b->data[2 * i] | b->data[2 * i + 1] << 8);
    std::memcpy(out.data() + i * out_width, table->data + key * out_width, size_t(out_width));
  }
  replace_data(b, reinterpret_cast<const char*>(out.data()), size_t(items * out_width));
  set_integer(ctx, result->c, b->eod);
}

// --- records --------------------------------------------------------------------------------------------
// Handle, record size, key offset and key size, checked against the buffer's `limit` bytes.

struct RecordLayout {
  int32_t size, key_offset, key_size;
};

bool record_layout(RunContext* ctx, ArgBlock& a, int64_t limit, RecordLayout* r) {
  *r = {arg_int(a, 2), arg_int(a, 3), arg_int(a, 4)};
  if (r->size <= 0 || r->size > limit) ctx->err = ERR_BINARY_RECORD_SIZE;
  else if (r->key_offset < 0 || r->key_offset >= r->size) ctx->err = ERR_BINARY_KEY_OFFSET;
  else if (r->key_size <= 0 || !fits(r->key_offset, r->key_size, r->size)) ctx->err = ERR_BINARY_KEY_SIZE;
  return !ctx->err;
}

// Sort flags: the key's type (@STRING, @WORD1, @WORD2, @WORD4, @FLOAT8) and @DESCENDING.
enum SortFlags : int32_t {
  SORT_STRING = 0, SORT_WORD1 = 1, SORT_WORD2 = 2, SORT_WORD4 = 4, SORT_FLOAT8 = 8, SORT_DESCENDING = 16,
};

// -1, 0 or 1 as the key at x sorts before, with or after the key at y.
int compare_keys(const uint8_t* x, const uint8_t* y, int32_t type, size_t n) {
  auto order = [](auto p, auto q) { return p < q ? -1 : q < p ? 1 : 0; };
  switch (type) {
    case SORT_WORD1: return order(x[0], y[0]);
    case SORT_WORD2: return order(x[0] | x[1] << 8, y[0] | y[1] << 8);
    case SORT_WORD4: {
      int32_t p, q;
      std::memcpy(&p, x, 4);
      std::memcpy(&q, y, 4);
      return order(p, q);
    }
    case SORT_FLOAT8: {
      double p, q;
      std::memcpy(&p, x, 8);
      std::memcpy(&q, y, 8);
      return order(p, q);
    }
    default: {
      const int c = std::memcmp(x, y, n);
      return (c > 0) - (c < 0);
    }
  }
}

// Stable: records with equal keys keep their order. The data must be whole records.
void bi_binarysort(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  RecordLayout r;
  if (!b || !record_layout(ctx, a, b->size, &r)) return;
  const int32_t flags = arg_int(a, 5), type = flags & ~SORT_DESCENDING;
  const bool descending = flags & SORT_DESCENDING;
  const bool numeric = type == SORT_WORD1 || type == SORT_WORD2 || type == SORT_WORD4 || type == SORT_FLOAT8;
  if (type != SORT_STRING && !numeric) ctx->err = ERR_BINARY_SORT_FLAGS;
  else if (numeric && r.key_size != type) ctx->err = ERR_BINARY_KEY_SIZE;
  else if (b->eod % r.size) ctx->err = ERR_BINARY_SORT_RECORDS;
  if (ctx->err) return;
  const size_t count = size_t(b->eod / r.size);
  // Two record numbers per record: on a 32-bit system their bytes may not be countable.
  const bool countable = count <= SIZE_MAX / (2 * sizeof(uint32_t));
  WorkBlock order(countable ? count * 2 * sizeof(uint32_t) : 0), sorted(size_t(b->eod));
  if (!countable || !order.data() || !sorted.data()) {
    ctx->err = ERR_BINARY_SORT_MEMORY;
    return;
  }
  auto* keys = reinterpret_cast<uint32_t*>(order.data());
  for (size_t i = 0; i < count; ++i) keys[i] = uint32_t(i);
  const uint8_t* key_base = b->data + r.key_offset;
  merge_sort(keys, keys + count, count, [&](uint32_t x, uint32_t y) {
    const int c = compare_keys(key_base + size_t(x) * r.size, key_base + size_t(y) * r.size, type, size_t(r.key_size));
    return descending ? c > 0 : c < 0;
  });
  for (size_t i = 0; i < count; ++i)
    std::memcpy(sorted.data() + i * size_t(r.size), b->data + size_t(keys[i]) * r.size, size_t(r.size));
  std::memcpy(b->data, sorted.data(), size_t(b->eod));
  set_integer(ctx, result->c, int32_t(count));
}

// FNV-1a: the table's layout depends on it, so buffers saved to files stay usable.
uint32_t key_hash(const char* key, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ uint8_t(key[i])) * 16777619u;
  return h;
}

// The whole buffer is a hash table of size / record size records; a record whose key field is all zero
// bytes is free. Finds the record with the key (zero-padded to the key size) or, when there is none, stores
// the key in the first free record from the key's hash on; the result is the record's offset.
void bi_binaryhashrec(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  RecordLayout r;
  if (!b || !record_layout(ctx, a, b->size, &r)) return;
  const char* key = arg_str(ctx, a, 5);
  const size_t n = std::strlen(key);
  if (!n) ctx->err = ERR_BINARY_HASH_KEY_EMPTY;
  else if (n > size_t(r.key_size)) ctx->err = ERR_BINARY_HASH_KEY_LONG;
  if (ctx->err) return;
  const uint32_t slots = uint32_t(b->size / r.size);
  const uint32_t first = key_hash(key, n) % slots;
  for (uint32_t i = 0; i < slots; ++i) {
    const int64_t offset = int64_t((first + i) % slots) * r.size;
    uint8_t* field = b->data + offset + r.key_offset;
    const bool taken_by_key = std::memcmp(field, key, n) == 0;
    const bool empty = !taken_by_key && std::all_of(field, field + r.key_size, [](uint8_t c) { return c == 0; });
    if (!empty && !(taken_by_key && std::all_of(field + n, field + r.key_size, [](uint8_t c) { return c == 0; })))
      continue;
    if (empty) std::memcpy(field, key, n);
    grow_eod(b, offset + r.size);
    set_integer(ctx, result->c, int32_t(offset));
    return;
  }
  ctx->err = ERR_BINARY_HASH_FULL;
}

// --- buffers made from arrays, and their COM type --------------------------------------------------------

// An element as a byte value: an integer, or a float or text that is a whole number, from -256 to 255
// (a negative value gives its low byte, as BinaryPoke stores it).
bool byte_of_element(RunContext* ctx, const ValueCore& e, uint8_t* out) {
  int32_t v = 0;
  if (e.type & VF_INTEGER) v = e.i;
  else if (e.type & VF_FLOAT) v = e.f == std::floor(e.f) && std::fabs(e.f) <= 65536.0 ? int32_t(e.f) : INT32_MAX;
  else if (!(e.type & VF_STRING) || !parse_integer_text(str_at(ctx, e.str), &v)) return false;
  if (v < -256 || v > 255) return false;
  *out = uint8_t(v);
  return true;
}

// A one-dimensional array of byte values becomes a new buffer of that many bytes, all of them data.
void bi_binaryallocarray(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  if (h->rank > 1) {
    ctx->err = ERR_ARRAY_RANK;
    return;
  }
  const uint32_t count = h->rank ? h->count : 0;
  const ValueCore* elements = array_elements(h);
  if (count > uint32_t(INT32_MAX)) {
    ctx->err = ERR_BINARY_ALLOC;
    return;
  }
  int32_t handle = 0;
  if (const uint16_t err = binary_alloc(ctx, int32_t(count), &handle)) {
    ctx->err = err;
    return;
  }
  BinaryEntry* b = binary_find(ctx, handle);
  for (uint32_t i = 0; i < count; ++i) {
    if (!byte_of_element(ctx, elements[i], b->data + i)) {
      binary_free(ctx, handle);
      ctx->err = ERR_BINARY_ARRAY_ELEMENT;
      char note[64];
      std::snprintf(note, sizeof note, "Element %u", i);
      AddErrorInfo(ctx, note);
      return;
    }
  }
  b->eod = int32_t(count);
  set_handle_result(ctx, result, handle);
}

// How a buffer is passed to COM objects: 0 not at all (the handle is a number), 1 as an array of bytes,
// 2 as a string of the data's UTF-16 units, 3 as a string of the data's ANSI text; -1 only asks. Flag 1:
// the object may change the value, which then comes back into the buffer. The result is the previous type.
enum OleType : int32_t { OLE_QUERY = -1, OLE_NONE = 0, OLE_LAST = 3 };
constexpr int32_t OLE_FLAG_BY_REFERENCE = 1;

void bi_binaryoletype(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const int32_t type = arg_int(a, 2), flags = arg_int(a, 3);
  if (type < OLE_QUERY || type > OLE_LAST) ctx->err = ERR_BINARY_OLE_TYPE;
  else if (flags & ~OLE_FLAG_BY_REFERENCE) ctx->err = ERR_BINARY_OLE_FLAGS;
  else if (arg_int(a, 4) || arg_int(a, 5)) ctx->err = ERR_BINARY_OLE_RESERVED;
  if (ctx->err) return;
  set_integer(ctx, result->c, int32_t(b->oleType));
  if (type == OLE_QUERY) return;
  b->oleType = uint32_t(type);
  b->oleFlags = uint32_t(flags);
}

const BuiltinEntry kEntries[] = {
    {KW_BINARYCHECKSUM, bi_binarychecksum},     {KW_BINARYCOMP, bi_binarycomp},
    {KW_BINARYUNCOMP, bi_binaryuncomp},         {KW_BINARYCONVERT, bi_binaryconvert},
    {KW_BINARYXLATE, bi_binaryxlate},           {KW_BINARYSORT, bi_binarysort},
    {KW_BINARYHASHREC, bi_binaryhashrec},       {KW_BINARYALLOCARRAY, bi_binaryallocarray},
    {KW_BINARYOLETYPE, bi_binaryoletype},
};

}  // namespace

extern const BuiltinFamily kBinaryDataBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

int32_t uncompress_buffer(const void* source, uint32_t source_size, void* target, uint32_t target_size) {
  if ((!source && source_size) || (!target && target_size) || source_size > uint32_t(INT32_MAX) ||
      target_size > uint32_t(INT32_MAX))
    return UNCOMPRESS_BAD_ARGUMENTS;
  auto* out = static_cast<uint8_t*>(target);
  size_t produced = 0;
  const ZResult r = transform(false, COMPRESS_ZLIB, static_cast<const uint8_t*>(source), source_size, target_size,
                              [&](const uint8_t* p, size_t n) {
                                std::memcpy(out + produced, p, n);
                                produced += n;
                                return true;
                              });
  switch (r) {
    case ZResult::Done: return int32_t(produced);
    case ZResult::NoRoom: return UNCOMPRESS_NO_ROOM;
    case ZResult::BadData: return UNCOMPRESS_BAD_DATA;
    case ZResult::NoMemory: break;
  }
  return UNCOMPRESS_NO_MEMORY;
}

}  // namespace tov
