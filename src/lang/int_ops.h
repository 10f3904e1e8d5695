// Whole-number operators as the evaluator and the compiled forms work them out: wrapping arithmetic, and
// false for what raises an error (the caller reports it, or leaves it to the general evaluation).
#pragma once
#include <cstdint>

#include "lang/keywords.h"

namespace tov {

inline int32_t wrap_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t wrap_sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t wrap_mul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

inline int32_t int_power(int32_t base, int32_t exponent) {
  uint32_t result = 1, b = uint32_t(base);
  for (uint32_t e = uint32_t(exponent); e; e >>= 1) {
    if (e & 1) result *= b;
    b *= b;
  }
  return int32_t(result);
}

// Whole-number arithmetic; false for a zero divisor, a negative power, or an operator it does not know.
inline bool int_arith(int op, int32_t a, int32_t b, int32_t* r) {
  switch (op) {
    case KW_PLUS: *r = wrap_add(a, b); return true;
    case KW_MINUS: *r = wrap_sub(a, b); return true;
    case KW_MULTIPLY: *r = wrap_mul(a, b); return true;
    case KW_DIVIDE:
    case KW_MOD:
      if (b == 0) return false;
      // The smallest integer divided by -1 wraps instead of trapping.
      if (b == -1) *r = op == KW_DIVIDE ? wrap_sub(0, a) : 0;
      else *r = op == KW_DIVIDE ? a / b : a % b;
      return true;
    case KW_POWER:
      if (b < 0) return false;
      *r = int_power(a, b);
      return true;
    case KW_BIT_AND: *r = a & b; return true;
    case KW_BIT_OR: *r = a | b; return true;
    case KW_BIT_XOR: *r = a ^ b; return true;
    case KW_SHIFT_LEFT: *r = int32_t(uint32_t(a) << (b & 31)); return true;
    case KW_SHIFT_RIGHT: *r = a >> (b & 31); return true;
    case KW_LOGICAL_AND: *r = (a != 0 && b != 0); return true;
    case KW_LOGICAL_OR: *r = (a != 0 || b != 0); return true;
    default: return false;
  }
}

// A comparison or whole-number arithmetic in one dispatch: the compiled forms' commonest step.
[[gnu::always_inline]] inline bool int_compare_or_arith(int op, int32_t a, int32_t b, int32_t* r) {
  switch (op) {
    case KW_EQUAL: *r = a == b; return true;
    case KW_NOT_EQUAL:
    case KW_NOT_EQUAL_ALT: *r = a != b; return true;
    case KW_LESS: *r = a < b; return true;
    case KW_LESS_EQUAL: *r = a <= b; return true;
    case KW_GREATER: *r = a > b; return true;
    case KW_GREATER_EQUAL: *r = a >= b; return true;
    case KW_PLUS: *r = wrap_add(a, b); return true;
    case KW_MINUS: *r = wrap_sub(a, b); return true;
    case KW_MULTIPLY: *r = wrap_mul(a, b); return true;
    default: return int_arith(op, a, b, r);
  }
}

// A unary operator on a whole number (a plus leaves it as it is).
inline void whole_unary(int op, int32_t& i) {
  if (op == KW_NOT) i = i == 0;
  else if (op == KW_MINUS) i = wrap_sub(0, i);
  else if (op == KW_BIT_NOT) i = ~i;
}

}  // namespace tov
