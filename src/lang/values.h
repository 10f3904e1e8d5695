// Values: heap strings, conversions between representations, copying and freeing, float text.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/context.h"
#include "lang/heap.h"
#include "lang/value.h"

namespace tov {

using wchar = char16_t;

// --- strings in the string heap -------------------------------------------------------------------------
inline char* str_at(RunContext* ctx, uint32_t off) { return ctx->lpHeap + off; }
inline wchar* wstr_at(RunContext* ctx, uint32_t off) { return reinterpret_cast<wchar*>(ctx->lpHeap + off); }
size_t wstr_len(const wchar* s);
// New heap strings (NUL-terminated copies). They return 0 and set 3096 when the heap is exhausted.
uint32_t str_new(RunContext* ctx, const char* s, size_t len);
uint32_t wstr_new(RunContext* ctx, const wchar* s, size_t len);

// --- results: replace whatever the value held ---------------------------------------------------------
void set_integer(RunContext* ctx, ValueCore& v, int32_t i);
void set_float(RunContext* ctx, ValueCore& v, double f);
bool set_string(RunContext* ctx, ValueCore& v, const char* s, size_t len);
bool set_wstring(RunContext* ctx, ValueCore& v, const wchar* s, size_t len);
// Makes v, which holds no array or object, plain text as a fresh value holding a copy of s would be: in v's
// own block when v holds plain text and the block has room (not much more than it needs), else in a new
// block. False with 3096 set and v as it was when the heap is exhausted.
bool assign_string(RunContext* ctx, ValueCore& v, const char* s, size_t len);

// --- conversions: each adds its representation to the value's type bits -------------------------------
// To integer: strings must be whole decimal integers; floats are accepted (rounded half away from zero
// within [-2147483645, 2147483645), replacing the float) only with allow_float.
bool to_integer(RunContext* ctx, ValueCore& v, bool allow_float);
bool to_float(RunContext* ctx, ValueCore& v);
// The integer conversion of arguments: a whole integer text, else any number rounded.
inline bool to_integer_rounded(RunContext* ctx, ValueCore& v) {
  return to_integer(ctx, v, false) || (to_float(ctx, v) && to_integer(ctx, v, true));
}
bool to_string(RunContext* ctx, ValueCore& v);     // sets 3096 when the heap is exhausted
bool to_wstring(RunContext* ctx, ValueCore& v);

// Text tests of the built-ins: optional blanks, optional sign, digits (none accepted), optional blanks.
bool is_integer_text(const char* s);
bool is_hex_text(const char* s);
bool is_integer_text_w(const wchar* s);
bool is_hex_text_w(const wchar* s);
// Integers in radix 2..36: "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" digits, a leading '-' for negatives.
void integer_to_radix(int64_t value, int radix, char* out);
// -1 for a radix outside 2..36, 0 for empty text, -2 for a character that is not a digit of the radix.
int64_t radix_to_integer(const char* s, int radix);

// Parses a whole decimal integer text (optional leading spaces, signs before the first digit, digits,
// nothing after) with 32-bit wrap-around.
bool parse_integer_text(const char* s, int32_t* out);
// Parses a whole decimal floating-point text; false for anything else, 'd' exponents and overflow.
bool parse_float_text(const char* s, double* out);

// Float to text by the Decimals setting; raises 1599 for NaN. The buffer holds FLOAT_TEXT_BYTES.
constexpr size_t FLOAT_TEXT_BYTES = 512;
bool float_to_text(RunContext* ctx, double x, char* out);
// A number's text as the conversions to text write it (a whole number, else a float by float_to_text) into
// buf (FLOAT_TEXT_BYTES), with its length; false for a value that is neither, or a float that has none.
bool number_text(RunContext* ctx, const ValueCore& v, char* buf, size_t* length);

// --- copying and freeing ------------------------------------------------------------------------------
enum ValueFreeMode : uint32_t {
  VFREE_HOLDER = 0,        // the value held its array as a holder: release that hold
  VFREE_TEMP = 1,          // a temporary: its array is destroyed only when nothing holds it
  VFREE_KEEP_ARRAY = 2,    // leave the array alone
  VFREE_KEEP_VARIANT = 4,
};
// The type bits whose value owns something that value_free releases.
constexpr uint32_t VALUE_OWNS = VF_STRING | VF_WSTRING | VF_ARRAY | VF_VARIANT;
// value_free's work for a value that owns something.
void value_release(RunContext* ctx, ValueCore& v, uint32_t mode);
inline void value_free(RunContext* ctx, ValueCore& v, uint32_t mode = VFREE_TEMP) {
  // A number holds nothing to release: the commonest case, settled without a call.
  if (!(v.type & VALUE_OWNS)) {
    v.wstr = 0;
    return;
  }
  value_release(ctx, v, mode);
}
inline void value_free(RunContext* ctx, Value& v, uint32_t mode = VFREE_TEMP) { value_free(ctx, v.c, mode); }

enum ValueCopyMode : uint32_t {
  VCOPY_DUP_STRINGS = 1,
  VCOPY_DUP_VARIANT = 2,
  VCOPY_LOCK_ARRAY = 4,    // the destination becomes a holder of the array
};
// Copies the value fields; duplicated strings that cannot be allocated raise 3096.
bool value_copy(RunContext* ctx, const ValueCore& src, ValueCore& dst, uint32_t mode);
// Reads a variable or element into a fresh temporary value with its strings duplicated.
bool value_read(RunContext* ctx, const ValueCore& src, Value& dst);

// Moves a value: dst takes over src's strings and array; src becomes a fresh value.
inline void value_move(Value& src, Value& dst) {
  dst = src;
  value_init(src);
}

// The pending floating-point error, process-wide: set by math operations, raised by their callers.
void fp_clear();
uint16_t fp_pending();
void fp_set(uint16_t number);
// Raises the pending error into the run (clearing the cell). True when one was pending.
bool fp_raise(RunContext* ctx);
// Checks a math-library result after a call made with the errno/exception state cleared by fp_begin():
// domain 1341, overflow 1342, singularity 1344; underflow gives 0.0. Failures make the result 1.0.
void fp_begin();
double fp_end(double result);

int32_t MyVariantStrToNum(const char* name, uint32_t* cls);

}  // namespace tov
