// What the binary built-ins share: the buffer of an argument, the end-of-data rule and handle results.
#pragma once
#include <cstdint>

#include "builtins/args.h"
#include "builtins/binary.h"

namespace tov {

// The buffer whose handle is argument n, or nullptr with 3023 raised.
inline BinaryEntry* arg_buffer(RunContext* ctx, ArgBlock& a, int n) { return binary_get(ctx, arg_int(a, n)); }

// Data written (or read) up to `end` makes it meaningful: the end of data grows to it, never shrinks.
inline void grow_eod(BinaryEntry* b, int64_t end) {
  if (end > b->eod) b->eod = int32_t(end);
}

// A range [offset, offset + count) that lies within `limit` bytes; offset and count are not negative.
inline bool fits(int64_t offset, int64_t count, int64_t limit) { return offset + count <= limit; }

// Searching the data. Case-insensitive comparisons fold each byte to upper case as the system does for
// a character of that one byte (in a UTF-8 code page: ASCII letters only).
const uint8_t* upper_byte_map();
// The first position p in [first, last] where the n bytes of pat match, or -1; the caller keeps
// last + n within the buffer. find_last searches from last down to first.
int64_t find_first(const uint8_t* data, int64_t first, int64_t last, const uint8_t* pat, size_t n, bool fold);
int64_t find_last(const uint8_t* data, int64_t first, int64_t last, const uint8_t* pat, size_t n, bool fold);

inline void set_handle_result(RunContext* ctx, Value* result, int32_t handle) {
  set_integer(ctx, result->c, handle);
  result->c.type |= VF_BINARY;
}

}  // namespace tov
