#include "lang/eval.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "builtins/callframe.h"
#include "com/variants.h"
#include "builtins/delimited.h"
#include "builtins/file_state.h"
#include "diag/dispatch.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "exec/compiled.h"
#include "exec/whole_body.h"
#include "lang/arrays.h"
#include "lang/heap.h"
#include "lang/int_ops.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr size_t LONG_NUMBER_CHARS = 9;    // longer numeric strings compare digit by digit
constexpr double FLOAT_LIMIT = 1e300;
constexpr double FLOAT_TINY = 1e-300;
// Nesting (parentheses, unary operators, calls) stops with an error while this much stack is left.
constexpr size_t STACK_MARGIN = 192 * 1024;

void level1(RunContext* ctx, Value& v);

bool is_delim(const RunContext* ctx) { return ctx->tok.tok_type == TT_DELIMITER; }

// --- numeric operands ---------------------------------------------------------------------------------

// Makes an operand numeric: integers and floats stay; strings, wide strings and variants become integers
// when they are whole numbers, floats otherwise. False (3057) for anything else.
bool make_numeric(RunContext* ctx, ValueCore& v) {
  if (v.type & (VF_INTEGER | VF_FLOAT)) return true;
  if (v.type & (VF_STRING | VF_WSTRING | VF_VARIANT)) {
    const uint16_t before = ctx->err;
    if (to_integer(ctx, v, false) || to_float(ctx, v)) return true;
    if (ctx->err == before) ctx->err = ERR_NOT_NUMBER;
    return false;
  }
  ctx->err = ERR_NOT_NUMBER;
  return false;
}

// Drops every representation but the numeric one and forgets where the value came from.
void keep_number(RunContext* ctx, Value& v, bool as_float) {
  const double f = v.c.f;
  const int32_t i = v.c.i;
  value_free(ctx, v);
  value_init(v);
  if (as_float) {
    v.c.f = f;
    v.c.type = VF_FLOAT;
  } else {
    v.c.i = i;
    v.c.type = VF_INTEGER;
  }
}

bool int_operation(RunContext* ctx, int op, int32_t a, int32_t b, int32_t* r) {
  if (int_arith(op, a, b, r)) return true;
  ctx->err = (op == KW_DIVIDE || op == KW_MOD) && b == 0 ? ERR_DIVIDE_BY_ZERO
             : op == KW_POWER && b < 0                  ? ERR_FP_FACT_ARGS
                                                        : ERR_ILLEGAL_SYNTAX;
  return false;
}

// Float operations; the result of "&&" and "||" is an integer (*is_int).
bool float_operation(RunContext* ctx, int op, double a, double b, double* r, bool* is_int) {
  *is_int = false;
  switch (op) {
    case KW_PLUS: *r = a + b; break;
    case KW_MINUS: *r = a - b; break;
    case KW_MULTIPLY: *r = a * b; break;
    case KW_DIVIDE:
      if (b == 0.0) {
        ctx->err = ERR_DIVIDE_BY_ZERO;
        return false;
      }
      *r = a / b;
      break;
    case KW_MOD:
      if (b == 0.0) {
        ctx->err = ERR_DIVIDE_BY_ZERO;
        return false;
      }
      *r = a - b * std::trunc(a / b);
      break;
    case KW_POWER:
      // Zero to a negative power is a singularity whatever the platform's library reports for it.
      if (a == 0.0 && b < 0.0) {
        fp_set(ERR_FP_SINGULARITY);
        *r = 1.0;
        break;
      }
      fp_begin();
      *r = fp_end(std::pow(a, b));
      break;
    case KW_LOGICAL_AND: *r = (a != 0.0 && b != 0.0); *is_int = true; return true;
    case KW_LOGICAL_OR: *r = (a != 0.0 || b != 0.0); *is_int = true; return true;
    default: ctx->err = ERR_BINARY_OP_TYPE; return false;
  }
  if (std::fabs(*r) > FLOAT_LIMIT) {
    ctx->err = ERR_FP_OVERFLOW;
    return false;
  }
  if (std::fabs(*r) < FLOAT_TINY) *r = 0.0;
  return true;
}

// --- comparison ---------------------------------------------------------------------------------------

enum class Operand { Integer, Float, Text, Other };

Operand classify(const ValueCore& v) {
  if (v.type & VF_INTEGER) return Operand::Integer;
  if (v.type & VF_FLOAT) return Operand::Float;
  if (v.type & (VF_STRING | VF_WSTRING)) return Operand::Text;
  return Operand::Other;
}

size_t text_length(RunContext* ctx, const ValueCore& v) {
  return (v.type & VF_STRING) ? std::strlen(str_at(ctx, v.str)) : wstr_len(wstr_at(ctx, v.wstr));
}

// Decimal texts compared as numbers of any length.
int compare_long_numbers(const char* a, const char* b) {
  auto normalise = [](const char*& s, bool& negative, size_t& digits) -> bool {
    while (*s == ' ') ++s;
    negative = false;
    while (*s == '+' || *s == '-') {
      if (*s == '-') negative = !negative;
      ++s;
    }
    while (*s == '0' && s[1] >= '0' && s[1] <= '9') ++s;
    digits = 0;
    while (s[digits] >= '0' && s[digits] <= '9') ++digits;
    return s[digits] == ' ';
  };
  bool na, nb;
  size_t da, db;
  // Both texts are normalised (their signs and lengths are needed) before the trailing-space check.
  const bool trailing_a = normalise(a, na, da), trailing_b = normalise(b, nb, db);
  if (trailing_a || trailing_b) {
    plat::message_box(plat::focus_window(), "Trailing spaces in numeric string", "TOV Internal Error",
                      plat::MB_OK_ONLY);
    return 0;
  }
  const bool zero_a = da == 1 && a[0] == '0', zero_b = db == 1 && b[0] == '0';
  if (zero_a && zero_b) return 0;
  if (zero_a) na = false;
  if (zero_b) nb = false;
  if (na != nb) return na ? -1 : 1;
  int r = da != db ? (da < db ? -1 : 1) : 0;
  for (size_t i = 0; !r && i < da; ++i) r = a[i] < b[i] ? -1 : a[i] > b[i] ? 1 : 0;
  return na ? -r : r;
}

enum class Mode { Integer, Float, Text, LongNumber };

// Whether a plain string could read as a number: the integer and the decimal forms both start, after their
// blanks, with a digit, a sign or a point. Texts that cannot are compared as text without trying.
inline bool text_may_be_number(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  return (*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == '.';
}
bool may_be_number(RunContext* ctx, const ValueCore& v) {
  return v.type != VF_STRING || text_may_be_number(str_at(ctx, v.str));
}

// Decides the comparison mode; the operands gain the representations the mode uses.
Mode choose_mode(RunContext* ctx, ValueCore& l, ValueCore& r, Operand cl, Operand cr) {
  if (cl == Operand::Integer && cr == Operand::Integer) return Mode::Integer;
  if (cl != Operand::Text && cr != Operand::Text) return Mode::Float;
  if ((cl == Operand::Text && !may_be_number(ctx, l)) || (cr == Operand::Text && !may_be_number(ctx, r)))
    return Mode::Text;
  if (cl == Operand::Text && cr == Operand::Text) {
    if (to_integer(ctx, l, false) && to_integer(ctx, r, false))
      return (text_length(ctx, l) > LONG_NUMBER_CHARS || text_length(ctx, r) > LONG_NUMBER_CHARS) ? Mode::LongNumber
                                                                                                : Mode::Integer;
    if (to_float(ctx, l) && to_float(ctx, r)) return Mode::Float;
    return Mode::Text;
  }
  // One number, one text.
  ValueCore& text = cl == Operand::Text ? l : r;
  const Operand number = cl == Operand::Text ? cr : cl;
  if (number == Operand::Integer) {
    if (to_integer(ctx, text, false)) return text_length(ctx, text) > LONG_NUMBER_CHARS ? Mode::LongNumber : Mode::Integer;
    if (to_float(ctx, text)) return Mode::Float;
    return Mode::Text;
  }
  return to_float(ctx, text) ? Mode::Float : Mode::Text;
}

// Text of an operand for the long-number mode (numbers in decimal).
bool number_text(RunContext* ctx, ValueCore& v, char* buf, const char** out) {
  if (v.type & (VF_STRING | VF_WSTRING)) {
    if (!to_string(ctx, v)) return false;
    *out = str_at(ctx, v.str);
  } else {
    std::snprintf(buf, 16, "%d", int(v.i));
    *out = buf;
  }
  return true;
}

int sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

// Frees the strings a comparison added to its copy of an operand.
void release_added_strings(RunContext* ctx, const ValueCore& v, uint32_t own) {
  if ((v.type & VF_STRING) && !(own & VF_STRING)) VFree(ctx, v.str);
  if ((v.type & VF_WSTRING) && !(own & VF_WSTRING)) VFree(ctx, v.wstr);
}

}  // namespace

int compare_values(RunContext* ctx, const ValueCore& left_in, const ValueCore& right_in, bool equality,
                   bool ignore_case) {
  // Plain texts of which one cannot read as a number compare as text, with nothing converted.
  if (left_in.type == VF_STRING && right_in.type == VF_STRING && left_in.str && right_in.str &&
      (!may_be_number(ctx, left_in) || !may_be_number(ctx, right_in)))
    return plat::compare_ansi(str_at(ctx, left_in.str), str_at(ctx, right_in.str), ignore_case);
  ValueCore l = left_in, r = right_in;
  // Conversions made here add representations to copies; their strings are freed below.
  const uint32_t own_l = l.type, own_r = r.type;
  if ((l.type | r.type) & VF_VARIANT) {
    // A variant takes part in the form its value has (the copies share the variants, never release them).
    if (((l.type & VF_VARIANT) && !variant_to_operand(ctx, l)) || ((r.type & VF_VARIANT) && !variant_to_operand(ctx, r))) {
      release_added_strings(ctx, l, own_l);
      release_added_strings(ctx, r, own_r);
      return 0;
    }
  }
  const Operand cl = classify(l), cr = classify(r);
  if (cl == Operand::Other || cr == Operand::Other) {
    ctx->err = ERR_NOT_NUMBER;
    return 0;
  }
  const uint16_t before = ctx->err;
  Mode mode = choose_mode(ctx, l, r, cl, cr);
  ctx->err = before;
  int result = 0;
  switch (mode) {
    case Mode::Integer: result = l.i < r.i ? -1 : l.i > r.i ? 1 : 0; break;
    case Mode::Float:
      // An integer operand has no floating-point representation yet.
      to_float(ctx, l);
      to_float(ctx, r);
      if (!equality) {
        result = sign(l.f - r.f);
      } else {
        char a[FLOAT_TEXT_BYTES], b[FLOAT_TEXT_BYTES];
        if (float_to_text(ctx, l.f, a) && float_to_text(ctx, r.f, b)) result = std::strcmp(a, b) ? 2 : 0;
      }
      break;
    case Mode::LongNumber: {
      char ba[16], bb[16];
      const char *ta = nullptr, *tb = nullptr;
      if (number_text(ctx, l, ba, &ta) && number_text(ctx, r, bb, &tb)) result = compare_long_numbers(ta, tb);
      break;
    }
    case Mode::Text:
      if ((l.type & VF_WSTRING) || (r.type & VF_WSTRING)) {
        if (to_wstring(ctx, l) && to_wstring(ctx, r))
          result = plat::compare_wide(wstr_at(ctx, l.wstr), wstr_at(ctx, r.wstr), ignore_case);
      } else if (to_string(ctx, l) && to_string(ctx, r)) {
        result = plat::compare_ansi(str_at(ctx, l.str), str_at(ctx, r.str), ignore_case);
      }
      break;
  }
  release_added_strings(ctx, l, own_l);
  release_added_strings(ctx, r, own_r);
  return result;
}

namespace {

inline bool relation_holds(int op, int r) {
  switch (op) {
    case KW_EQUAL: return r == 0;
    case KW_NOT_EQUAL:
    case KW_NOT_EQUAL_ALT: return r != 0;
    case KW_LESS: return r == -1;
    case KW_LESS_EQUAL: return r == -1 || r == 0;
    case KW_GREATER: return r == 1;
    case KW_GREATER_EQUAL: return r == 1 || r == 0;
    default: return false;
  }
}

bool is_relational(int op) {
  return op == KW_EQUAL || op == KW_NOT_EQUAL || op == KW_NOT_EQUAL_ALT || op == KW_LESS || op == KW_LESS_EQUAL || op == KW_GREATER || op == KW_GREATER_EQUAL;
}

}  // namespace

void apply_binary(RunContext* ctx, int op, Value& left, Value& right) {
  if (is_relational(op)) {
    const bool equality = op == KW_EQUAL || op == KW_NOT_EQUAL || op == KW_NOT_EQUAL_ALT;
    int r = compare_values(ctx, left.c, right.c, equality, false);
    if (ctx->err) return;
    value_free(ctx, left);
    value_free(ctx, right);
    value_init(left);
    left.c.i = relation_holds(op, r) ? 1 : 0;
    return;
  }
  if (!make_numeric(ctx, left.c) || !make_numeric(ctx, right.c)) return;
  const bool as_float = !(left.c.type & VF_INTEGER) || !(right.c.type & VF_INTEGER);
  if (!as_float) {
    int32_t r;
    if (!int_operation(ctx, op, left.c.i, right.c.i, &r)) return;
    keep_number(ctx, left, false);
    left.c.i = r;
    return;
  }
  if (op == KW_BIT_AND || op == KW_BIT_OR || op == KW_BIT_XOR || op == KW_SHIFT_LEFT || op == KW_SHIFT_RIGHT) {
    ctx->err = ERR_BINARY_OP_TYPE;
    return;
  }
  if (!to_float(ctx, left.c) || !to_float(ctx, right.c)) {
    ctx->err = ERR_NOT_NUMBER;
    return;
  }
  fp_clear();
  double r;
  bool is_int;
  if (!float_operation(ctx, op, left.c.f, right.c.f, &r, &is_int)) {
    fp_clear();
    return;
  }
  if (fp_raise(ctx)) return;
  keep_number(ctx, left, !is_int);
  if (is_int) left.c.i = int32_t(r);
  else left.c.f = r;
}

namespace {

// --- concatenation --------------------------------------------------------------------------------------

// A narrow part's text: its own string, or its number written out in buf (FLOAT_TEXT_BYTES); as to_string
// takes it, without making a string of it.
bool narrow_part(RunContext* ctx, const ValueCore& v, char* buf, const char** text, size_t* n) {
  if (v.type & VF_STRING) {
    *text = str_at(ctx, v.str);
    *n = ctx->lengthMark.text == v.str ? ctx->lengthMark.length : std::strlen(*text);
    return true;
  }
  *text = buf;
  return number_text(ctx, v, buf, n);
}

// left : right, into left. The left part's own string grows where it lies when its block has room; a new
// string gets room to spare when more parts are to follow (spare), so that a chain of parts is not copied
// at every part. A narrow string on the right is only read (it may be a variable's own, lent); the caller
// frees any other right part.
void concatenate(RunContext* ctx, Value& left, Value& right, bool spare) {
  const uint16_t before = ctx->err;
  if ((left.c.type | right.c.type) & (VF_WSTRING | VF_VARIANT)) {
    // A narrow right part is read through a copy whose wide form goes afterwards.
    const bool read_only = right.c.type == VF_STRING;
    Value copy = right;
    Value& r = read_only ? copy : right;
    const bool ok = to_wstring(ctx, left.c) && to_wstring(ctx, r.c);
    const size_t la = ok ? wstr_len(wstr_at(ctx, left.c.wstr)) : 0, lb = ok ? wstr_len(wstr_at(ctx, r.c.wstr)) : 0;
    const uint32_t off = ok && la + lb < 0x7FFFFFF0u ? VMalloc(ctx, uint32_t((la + lb + 1) * sizeof(wchar))) : 0;
    if (off) {
      wchar* w = wstr_at(ctx, off);
      std::memcpy(w, wstr_at(ctx, left.c.wstr), la * sizeof(wchar));
      std::memcpy(w + la, wstr_at(ctx, r.c.wstr), (lb + 1) * sizeof(wchar));
    }
    if (read_only && (copy.c.type & VF_WSTRING)) VFree(ctx, copy.c.wstr);
    if (!ok) {
      if (ctx->err == before) ctx->err = ERR_NOT_STRING;
    } else if (!off) {
      ctx->err = ERR_OUT_OF_STRINGS;
    } else {
      value_free(ctx, left);
      value_init(left);
      left.c.wstr = off;
      left.c.type = VF_WSTRING;
    }
    return;
  }
  char left_buf[FLOAT_TEXT_BYTES], right_buf[FLOAT_TEXT_BYTES];
  const char *a, *b;
  size_t la, lb;
  if (!narrow_part(ctx, left.c, left_buf, &a, &la) || !narrow_part(ctx, right.c, right_buf, &b, &lb)) {
    if (ctx->err == before) ctx->err = ERR_NOT_STRING;
    return;
  }
  if (la + lb >= 0xFFFFFFF0u) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return;
  }
  const uint32_t total = uint32_t(la + lb);
  uint32_t off = left.c.type == VF_STRING ? left.c.str : 0;
  if (off && heap_capacity(ctx, off) > total) {
    std::memmove(str_at(ctx, off) + la, b, lb + 1);
    if (ctx->itemMark.text == off) ctx->itemMark.text = 0;
  } else {
    off = spare && total < 0x10000000u ? VMalloc(ctx, total + 1 + total / 2) : 0;
    if (!off && !(off = VMalloc(ctx, total + 1))) {
      ctx->err = ERR_OUT_OF_STRINGS;
      return;
    }
    // The parts may lie in the heap, which the allocation may have moved.
    const char* left_text = left.c.type & VF_STRING ? str_at(ctx, left.c.str) : a;
    const char* right_text = right.c.type & VF_STRING ? str_at(ctx, right.c.str) : b;
    char* s = str_at(ctx, off);
    std::memcpy(s, left_text, la);
    std::memcpy(s + la, right_text, lb + 1);
    value_free(ctx, left);
  }
  value_init(left);
  left.c.str = off;
  left.c.type = VF_STRING;
  ctx->lengthMark = {off, total};
}

// --- primaries ----------------------------------------------------------------------------------------

void read_variable_operand(RunContext* ctx, Value& v) {
  const uint16_t slot = ctx->tok.varSlot;
  const VarSlot* s = slot_at(ctx, slot);
  if (!value_has_value(s->c)) {
    find_var(ctx, ctx->tok.text, 1);
    return;
  }
  get_token(ctx);
  if (ctx->err) return;
  if ((s->c.type & VF_ARRAY) && tok_is(ctx, KW_LBRACKET)) {
    const uint32_t id = s->c.str;
    if (!id) {
      ctx->err = ERR_ARR_ACCESS;
      return;
    }
    int32_t subs[ARRAY_MAX_DIMS] = {};
    if (!array_read_subscripts(ctx, id, subs)) return;
    ValueCore* e = array_element_at(ctx, id, subs);
    if (!e) return;
    if (!e->type) {
      ctx->err = ERR_ARR_UNINIT_ELEMENT;
      return;
    }
    if (!value_read(ctx, *e, v)) return;
    v.originSlot = ORIGIN_ELEMENT;
    v.originElement = uint32_t(e - array_elements(array_header(id))) + 1;
    get_token(ctx);
    return;
  }
  if (!value_read(ctx, s->c, v)) return;
  v.originSlot = slot;
  v.originFrame = ctx->nVarFrame;
}

void primary(RunContext* ctx, Value& v) {
  TokenState& t = ctx->tok;
  switch (t.tok_type) {
    case TT_INTEGER: {
      uint32_t n = 0;
      for (const char* p = t.text; *p; ++p) n = n * 10u + uint32_t(*p - '0');
      v.c.i = int32_t(n);
      v.c.type = VF_INTEGER;
      get_token(ctx);
      return;
    }
    case TT_FLOAT: {
      double f = 0;
      if (!parse_float_text(t.text, &f)) {
        ctx->err = ERR_FP_OVERFLOW;
        return;
      }
      v.c.f = f;
      v.c.type = VF_FLOAT;
      get_token(ctx);
      return;
    }
    case TT_STRING:
      if (!(v.c.str = str_new(ctx, t.text, std::strlen(t.text)))) return;
      v.c.type = VF_STRING;
      get_token(ctx);
      return;
    case TT_VARIABLE:
      read_variable_operand(ctx, v);
      return;
    case TT_DELIMITER: break;
    default: ctx->err = ERR_ILLEGAL_SYNTAX; return;
  }
  const int code = t.delim_type;
  if (code == KW_LPAREN) {
    get_token(ctx);
    if (ctx->err) return;
    ProcessSubExpression(ctx, &v, false, false);
    if (ctx->err) return;
    if (!tok_is(ctx, KW_RPAREN)) {
      ctx->err = ERR_UNBALANCED_PARENS;
      return;
    }
    get_token(ctx);
    return;
  }
  const uint32_t kind = keyword_kind(ctx, code);
  if (kind & KW_NOT_AVAILABLE_BIT) {
    ctx->err = ERR_NOT_AVAILABLE;
    return;
  }
  if (kind == KW_CONSTANT) {
    if (constant_value(ctx, code, v)) get_token(ctx);
    return;
  }
  if (kind == KW_FUNCTION || kind == KW_VARFUNC || code == OBJECT_REFERENCE_CODE) {
    ParseFunctionCall(ctx, &v);
    return;
  }
  ctx->err = ERR_ILLEGAL_SYNTAX;
}

// --- unary operators ----------------------------------------------------------------------------------

bool is_unary(const RunContext* ctx) {
  if (ctx->tok.tok_type != TT_DELIMITER) return false;
  switch (ctx->tok.delim_type) {
    case KW_NOT: case KW_BIT_AND: case KW_MULTIPLY: case KW_PLUS: case KW_MINUS: case KW_BIT_NOT: return true;
    default: return false;
  }
}

void address_of(RunContext* ctx, Value& v) {
  if (v.originSlot >= ORIGIN_ELEMENT || v.originFrame != ctx->nVarFrame) {
    ctx->err = ERR_ADDRESS_OF;
    return;
  }
  char pointer[POINTER_MAX + 1];
  char name[VARNAME_BYTES];
  std::strcpy(name, slot_at(ctx, v.originSlot)->name);
  make_pointer(ctx, ctx->nVarFrame, name, pointer);
  value_free(ctx, v);
  value_init(v);
  if ((v.c.str = str_new(ctx, pointer, std::strlen(pointer)))) v.c.type = VF_STRING;
}

// Reads the variable a pointer names, in its own frame: its value, or with "[" after it an element.
void dereference(RunContext* ctx, Value& v) {
  if (!(v.c.type & (VF_STRING | VF_WSTRING)) || !to_string(ctx, v.c)) {
    if (!ctx->err) ctx->err = ERR_NOT_POINTER;
    return;
  }
  char text[POINTER_MAX + 2];
  const char* s = str_at(ctx, v.c.str);
  if (std::strlen(s) > POINTER_MAX) {
    ctx->err = ERR_NOT_POINTER;
    return;
  }
  std::strcpy(text, s);
  value_free(ctx, v);
  value_init(v);
  const uint16_t home = ctx->nVarFrame;
  uint16_t frame;
  const uint16_t slot = pointer_target(ctx, text, &frame);
  // The target's fields are taken in its frame; subscripts are names of the current frame, so they are
  // read after switching back (strings and arrays live outside the tables).
  const ValueCore target = slot != SLOT_NONE ? slot_at(ctx, slot)->c : ValueCore{};
  if (ctx->nVarFrame != home && !frame_switch(ctx, home) && !ctx->err) ctx->err = ERR_POINTER_TABLE;
  if (slot == SLOT_NONE || ctx->err) return;
  if (tok_is(ctx, KW_LBRACKET)) {
    if (!(target.type & VF_ARRAY) || !target.str) {
      ctx->err = ERR_NOT_ARRAY;
    } else if (ValueCore* e = array_element_address(ctx, target.str)) {
      if (!e->type) ctx->err = ERR_ARR_UNINIT_ELEMENT;
      else if (value_read(ctx, *e, v)) get_token(ctx);
    }
  } else if (!value_has_value(target)) {
    ctx->err = ERR_POINTER_UNINIT;
  } else {
    value_read(ctx, target, v);
  }
}

// "!", "+", "-" and "~" applied to an evaluated operand.
void apply_unary(RunContext* ctx, int op, Value& v) {
  if (!make_numeric(ctx, v.c)) return;
  if (v.c.type & VF_INTEGER) {
    int32_t i = v.c.i;
    if (op == KW_NOT) i = i == 0;
    else if (op == KW_MINUS) i = wrap_sub(0, i);
    else if (op == KW_BIT_NOT) i = ~i;
    keep_number(ctx, v, false);
    v.c.i = i;
  } else {
    double f = v.c.f;
    if (op == KW_BIT_NOT) {
      ctx->err = ERR_UNARY_OP_TYPE;
      return;
    }
    if (op == KW_NOT) {
      keep_number(ctx, v, false);
      v.c.i = f == 0.0;
      return;
    }
    if (op == KW_MINUS) f = -f;
    keep_number(ctx, v, true);
    v.c.f = f;
  }
}

void unary(RunContext* ctx, Value& v) {
  if (!is_unary(ctx)) {
    primary(ctx, v);
    return;
  }
  if (plat::stack_exhausted(STACK_MARGIN)) {
    ctx->err = ERR_TOO_COMPLEX;
    return;
  }
  const int op = ctx->tok.delim_type;
  get_token(ctx);
  if (ctx->err) return;
  unary(ctx, v);
  if (ctx->err) return;
  switch (op) {
    case KW_BIT_AND: address_of(ctx, v); return;
    case KW_MULTIPLY: dereference(ctx, v); return;
    default: break;
  }
  apply_unary(ctx, op, v);
}

// --- binary levels --------------------------------------------------------------------------------------

using Level = void (*)(RunContext*, Value&);

template <Level Next, typename IsOp, typename Apply>
void binary_level(RunContext* ctx, Value& v, IsOp is_op, Apply apply) {
  Next(ctx, v);
  while (!ctx->err && is_delim(ctx) && is_op(ctx->tok.delim_type)) {
    const int op = ctx->tok.delim_type;
    get_token(ctx);
    if (ctx->err) return;
    Value r;
    value_init(r);
    Next(ctx, r);
    if (!ctx->err) apply(ctx, op, v, r);
    value_free(ctx, r);
  }
}

void apply_arith(RunContext* ctx, int op, Value& l, Value& r) { apply_binary(ctx, op, l, r); }
void apply_concat(RunContext* ctx, int, Value& l, Value& r) { concatenate(ctx, l, r, false); }

void level8(RunContext* ctx, Value& v) {
  binary_level<unary>(ctx, v, [](int op) { return op == KW_POWER; }, apply_arith);
}
void level7(RunContext* ctx, Value& v) {
  binary_level<level8>(ctx, v, [](int op) { return op == KW_MULTIPLY || op == KW_DIVIDE || op == KW_MOD; }, apply_arith);
}
void level6(RunContext* ctx, Value& v) {
  binary_level<level7>(ctx, v, [](int op) { return op == KW_PLUS || op == KW_MINUS; }, apply_arith);
}
void level5(RunContext* ctx, Value& v) {
  binary_level<level6>(ctx, v, [](int op) { return op == KW_SHIFT_LEFT || op == KW_SHIFT_RIGHT; }, apply_arith);
}
void level4(RunContext* ctx, Value& v) {
  binary_level<level5>(ctx, v, [](int op) { return op == KW_COLON; }, apply_concat);
}
void level3(RunContext* ctx, Value& v) {
  level4(ctx, v);
  while (!ctx->err && is_delim(ctx)) {
    const int op = ctx->tok.delim_type;
    if (op == KW_ASSIGN) {
      ctx->err = ERR_ASSIGNMENT_NOT_LEGAL;
      AddErrorInfo(ctx, "To compare two values, use == instead");
      return;
    }
    if (!is_relational(op)) return;
    get_token(ctx);
    if (ctx->err) return;
    Value r;
    value_init(r);
    level4(ctx, r);
    if (!ctx->err) apply_binary(ctx, op, v, r);
    value_free(ctx, r);
  }
}
void level2(RunContext* ctx, Value& v) {
  binary_level<level3>(ctx, v, [](int op) { return op == KW_BIT_AND || op == KW_BIT_OR || op == KW_BIT_XOR; }, apply_arith);
}
void level1(RunContext* ctx, Value& v) {
  binary_level<level2>(ctx, v, [](int op) { return op == KW_LOGICAL_AND || op == KW_LOGICAL_OR; }, apply_arith);
}

// --- assignment ---------------------------------------------------------------------------------------

// The text at p (after blanks) is a bracketed subscript list followed by a single "=".
bool element_assignment_follows(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  if (*p != '[') return false;
  int depth = 0;
  for (; *p; ++p) {
    if (*p == '"' || *p == '\'' || *p == '`') {
      const char q = *p++;
      while (*p && *p != q) ++p;
      if (!*p) return false;
      continue;
    }
    if (*p == '[') ++depth;
    else if (*p == ']' && --depth == 0) break;
  }
  if (!*p) return false;
  ++p;
  while (*p == ' ' || *p == '\t') ++p;
  return p[0] == '=' && p[1] != '=';
}

struct Target {
  uint16_t frame;
  uint16_t slot;
  bool element;
  int32_t subs[ARRAY_MAX_DIMS];
};

bool store(RunContext* ctx, const Target& tg, const Value& v) {
  const uint16_t home = ctx->nVarFrame;
  if (tg.frame != home && !frame_switch(ctx, tg.frame)) {
    ctx->err = ERR_POINTER_ACCESS;
    return false;
  }
  bool ok;
  if (tg.element) {
    const ValueCore& holder = slot_at(ctx, tg.slot)->c;
    ValueCore* e = nullptr;
    if (v.c.type & VF_ARRAY) ctx->err = ERR_EMBEDDED_ARRAY;
    else if (!(holder.type & VF_ARRAY) || !holder.str) ctx->err = ERR_ARR_ACCESS;
    else e = array_element_at(ctx, holder.str, tg.subs);
    ValueCore copy{};
    ok = e && value_copy(ctx, v.c, copy, VCOPY_DUP_STRINGS | VCOPY_DUP_VARIANT);
    if (ok) {
      value_free(ctx, *e, VFREE_HOLDER);
      *e = copy;
    }
  } else {
    ok = slot_store(ctx, tg.slot, v.c);
  }
  if (tg.frame != home && !frame_switch(ctx, home)) {
    ctx->err = ERR_POINTER_TABLE;
    return false;
  }
  return ok;
}

// Recognises the target of an assignment. Returns false (with the token stream restored) when the
// expression is not an assignment.
bool read_target(RunContext* ctx, bool ptr_target, Target* tg) {
  TokenState& t = ctx->tok;
  const char* start = t.tokenStart;
  *tg = Target{ctx->nVarFrame, t.varSlot, false, {}};
  if (ptr_target) {
    // The name after "*" came through the reserved slot; the pointer variable must exist already.
    char name[VARNAME_BYTES];
    std::strcpy(name, t.text);
    get_token(ctx);
    if (ctx->err) return false;
    if (!tok_is(ctx, KW_ASSIGN)) {
      // Not an assignment: the statement is evaluated whole, with its "*".
      const char* star = start;
      while (star > ctx->szLine && *star != '*') --star;
      t.prog = star;
      return false;
    }
    uint16_t ps = slot_lookup(ctx, name);
    const ValueCore* pv = ps == SLOT_NONE ? nullptr : &slot_at(ctx, ps)->c;
    if (!pv || !(pv->type & VF_STRING)) {
      ctx->err = ERR_NOT_POINTER;
      return true;
    }
    char text[POINTER_MAX + 2];
    const char* s = str_at(ctx, pv->str);
    if (std::strlen(s) > POINTER_MAX) {
      ctx->err = ERR_NOT_POINTER;
      return true;
    }
    std::strcpy(text, s);
    char target_name[VARNAME_BYTES];
    if (!parse_pointer(ctx, text, &tg->frame, target_name)) return true;
    const uint16_t home = ctx->nVarFrame;
    if (tg->frame != home && !frame_switch(ctx, tg->frame)) {
      ctx->err = ERR_POINTER_ACCESS;
      return true;
    }
    tg->slot = slot_find_or_create(ctx, target_name, false);
    if (tg->frame != home && !frame_switch(ctx, home) && !ctx->err) ctx->err = ERR_POINTER_TABLE;
    return true;
  }
  const VarSlot* s = slot_at(ctx, tg->slot);
  if ((s->c.type & VF_ARRAY) && element_assignment_follows(t.prog)) {
    get_token(ctx);
    if (ctx->err) return true;
    if (!s->c.str) {
      ctx->err = ERR_ARR_ACCESS;
      return true;
    }
    if (!array_read_subscripts(ctx, s->c.str, tg->subs)) return true;
    tg->element = true;
    get_token(ctx);
    return true;
  }
  get_token(ctx);
  if (ctx->err) return true;
  if (tok_is(ctx, KW_ASSIGN)) return true;
  t.prog = start;
  return false;
}

}  // namespace

void ProcessSubExpression(RunContext* ctx, Value* result, bool allow_assign, bool ptr_target) {
  value_free(ctx, *result);
  value_init(*result);
  if (plat::stack_exhausted(STACK_MARGIN)) {
    ctx->err = ERR_TOO_COMPLEX;
    return;
  }
  if (allow_assign && ctx->tok.tok_type == TT_VARIABLE) {
    Target tg;
    if (read_target(ctx, ptr_target, &tg)) {
      if (ctx->err) return;
      uint32_t* target = assignment_target_of_run(ctx);
      *target = uint32_t(tg.frame) << 16 | tg.slot;
      get_token(ctx);
      if (!ctx->err) level1(ctx, *result);
      if (!ctx->err && ctx->tok.tok_type != TT_END) {
        ctx->err = ERR_EXPRESSION_CONTINUES;
        add_hint(ctx, HINT_EXTRA_TOKENS);
      }
      if (ctx->err && handle_assignment_error(ctx, result)) {
        // The handler's value is assigned and the statement ends with the handled status.
        if (store(ctx, tg, *result)) ctx->err = STATUS_ASSIGNMENT_HANDLED;
        return;
      }
      if (!ctx->err) store(ctx, tg, *result);
      return;
    }
    if (ctx->err) return;
    get_token(ctx);
    if (ctx->err) return;
  }
  level1(ctx, *result);
}

bool constant_value(RunContext* ctx, int code, Value& out) {
  KeywordInfo info;
  if (!keyword_info(ctx, code, &info)) {
    ctx->err = ERR_ILLEGAL_SYNTAX;
    return false;
  }
  const uint32_t value = info.value;
  value_init(out);
  if ((value >> 8) == 0xF0F0F0u) {
    out.c.f = keyword_float_constant(value);
    out.c.type = VF_FLOAT;
  } else if ((value >> 8) == 0xFFF0F0u) {
    const char* s = keyword_string_constant(value);
    if (!(out.c.str = str_new(ctx, s, std::strlen(s)))) return false;
    out.c.type = VF_STRING;
  } else {
    out.c.i = int32_t(value);
    out.c.type = VF_INTEGER;
  }
  return true;
}

// --- compiled expressions ---------------------------------------------------------------------------

namespace {

// The call frame's argument block as ParseFunctionCall starts it: every slot empty.
ArgBlock empty_args() {
  ArgBlock a;
  for (Value& v : a.slot) value_init(v), v.c.type = 0;
  return a;
}
const ArgBlock kEmptyArgs = empty_args();

// Both names are NUL-terminated within 31 bytes and the reference is zero-padded after its name, so equal
// bytes up to the reference's NUL mean equal names.
inline bool same_name(const char* slot_name, const VarRef& ref) {
  uint64_t a[2], b[2];
  std::memcpy(a, slot_name, 16);
  std::memcpy(b, ref.name, 16);
  if (a[0] != b[0] || a[1] != b[1]) return false;
  return ref.length < 16 || std::memcmp(slot_name + 16, ref.name + 16, VARNAME_BYTES - 17) == 0;
}

// Out of line: what goes through the slot found last time stays small where it is inlined.
[[gnu::noinline]] uint16_t find_slot_again(RunContext* ctx, VarRef& ref) {
  const uint16_t hint = ref.slot;
  if (hint && hint < ctx->nVarUsed) {
    const VarSlot& s = ctx->lpVars[hint];
    if (s.c.type && same_name(s.name, ref)) {
      ref.layout = ctx->nVarLayout;
      return hint;
    }
  }
  // A name the table made at its end last time, numbered as now: made there again without a search.
  if (hint && ref.madeFrom && ref.madeFrom == ctx->nVarLayout) {
    const uint16_t again = slot_append_again(ctx, ref.name, hint, ref.madeTo);
    if (again != SLOT_NONE) {
      ref.layout = ctx->nVarLayout;
      return again;
    }
  }
  const uint16_t used = ctx->nVarUsed;
  const LayoutNumber before = ctx->nVarLayout;
  const uint16_t slot = slot_find_or_create_padded(ctx, ref.name);
  if (slot != SLOT_NONE) {
    ref.slot = slot;
    ref.layout = ctx->nVarLayout;
    const bool made_at_end = slot == used && before;
    ref.madeFrom = made_at_end ? before : 0;
    ref.madeTo = made_at_end ? ctx->nVarLayout : 0;
  }
  return slot;
}

// The slot a variable reference names: the one found last time while the table's layout is the same, else
// looked up again.
inline uint16_t find_slot_of(RunContext* ctx, VarRef& ref) {
  if (hint_holds(ctx, ref)) return ref.slot;
  return find_slot_again(ctx, ref);
}

// A variable's value read into a fresh temporary, as the evaluator reads a name.
inline bool read_slot(RunContext* ctx, uint16_t slot, Value& v) {
  const ValueCore& src = slot_at(ctx, slot)->c;
  if (!(src.type & (VF_STRING | VF_WSTRING | VF_ARRAY))) {
    value_init(v);
    v.c.variant = src.variant;
    v.c.f = src.f;
    v.c.i = src.i;
    v.c.type = src.type;
    v.c.str = src.str;
    v.c.wstr = src.wstr;
  } else if (!value_read(ctx, src, v)) {
    return false;
  }
  v.originSlot = slot;
  v.originFrame = ctx->nVarFrame;
  return true;
}

// Two plain integers: the operators' integer rules without the general conversions.
inline bool integer_binary(RunContext* ctx, int op, Value& l, const Value& r) {
  int32_t out;
  if (!int_compare_or_arith(op, l.c.i, r.c.i, &out) && !int_operation(ctx, op, l.c.i, r.c.i, &out)) return false;
  value_init(l);
  l.c.i = out;
  return true;
}

// A pure built-in called with its arguments in slots 1..argc of args (lent: bit n - 1 set when argument n is
// a variable's own string or a constant's block, which the call must not free): what is lent keeps its
// string through the call, and is not released after it. Only the declared slots are used and released.
[[gnu::always_inline]] inline void call_pure(RunContext* ctx, const Op& op, ArgBlock& args, uint32_t lent, Value& out) {
  for (int n = 1; n <= op.argc; ++n)
    if ((args.slot[n].c.type & VF_ARRAY) && args.slot[n].c.str) array_hold(args.slot[n].c.str);
  if (op.total > op.argc)
    std::memcpy(&args.slot[op.argc + 1], &kEmptyArgs.slot[op.argc + 1], size_t(op.total - op.argc) * sizeof(Value));
  CallPureBuiltin(ctx, op.kw, &out, args, op.argc, op.payload.signature);
  for (int n = 1; n <= op.total; ++n, lent >>= 1) {
    ValueCore& v = args.slot[n].c;
    if (lent & 1) v.type &= ~uint32_t(VF_STRING);
    if (v.type & VALUE_OWNS) value_free(ctx, v, VFREE_HOLDER);
  }
}

// Out of line: its argument block would otherwise enlarge every evaluation's stack frame.
// lent (pure built-ins only): as call_pure's, for the arguments on the stack. out may be the first argument's
// place: the arguments are taken first.
[[gnu::noinline]] void call_compiled(RunContext* ctx, const Op& op, Value* args_on_stack, uint32_t lent, Value& out) {
  ArgBlock args;
  if (op.lend) {
    std::memcpy(&args.slot[1], args_on_stack, size_t(op.argc) * sizeof(Value));
    call_pure(ctx, op, args, lent, out);
    return;
  }
  // Nothing is lent to other calls; their slots start empty.
  std::memcpy(args.slot, kEmptyArgs.slot, (size_t(op.total) + 1) * sizeof(Value));
  for (int n = 1; n <= op.argc; ++n) {
    Value& v = args_on_stack[n - 1];
    // The slot takes over the value; an array is held while it sits there.
    if ((v.c.type & VF_ARRAY) && v.c.str) array_hold(v.c.str);
    value_move(v, args.slot[n]);
  }
  value_init(out);
  CallBuiltin(ctx, "", op.kw, &out, args, false, op.argc, op.payload.signature);
  release_args(ctx, args, op.total);
}

// Adds the parts to the end of a variable's string: where it lies when its block has room, else in a new block
// with room to spare, so that a string built piece by piece is not copied at every piece.
bool append_to_string(RunContext* ctx, ValueCore& v, const TextSpan<char>* parts, int count) {
  const size_t la = ctx->lengthMark.text == v.str ? ctx->lengthMark.length : std::strlen(str_at(ctx, v.str));
  size_t total = la + 1;
  for (int i = 0; i < count; ++i) total += parts[i].n;
  if (total >= 0x7FFFFFF0u) return false;
  uint32_t target = v.str;
  if (total > heap_capacity(ctx, v.str)) {
    target = VMalloc(ctx, uint32_t(total + total / 2));
    if (!target) target = VMalloc(ctx, uint32_t(total));
    if (!target) return false;
    std::memcpy(str_at(ctx, target), str_at(ctx, v.str), la);
  }
  char* out = str_at(ctx, target) + la;
  for (int i = 0; i < count; ++i) {
    std::memcpy(out, parts[i].p, parts[i].n);
    out += parts[i].n;
  }
  *out = 0;
  if (ctx->itemMark.text == v.str) ctx->itemMark.text = 0;
  if (target != v.str) {
    VFree(ctx, v.str);
    v.str = target;
  }
  ctx->lengthMark = {target, uint32_t(total - 1)};
  return true;
}

// A part's text as the appending statements take it: plain text, or a whole number written out.
bool plain_text(RunContext* ctx, Value& part) {
  if (part.c.type == VF_STRING) return part.c.str != 0;
  return part.c.type == VF_INTEGER && to_string(ctx, part.c);
}

// "v = v : text" and "v = ItemInsert(item, index, v, delimiter)" with a negative index, when v holds plain
// text. The parts are evaluated in the statement's order; an error in them is the statement's. False with
// nothing changed (and no error) when anything is unusual: the statement is then evaluated in full.
// Compiled expression n of a line when it is a string constant alone: its text, with nothing to evaluate.
bool constant_text(const CompiledLine& cl, int n, TextSpan<char>* text) {
  const CompiledExpr& e = cl.e[n];
  if (e.count != 1 || cl.ops[e.first].code != OP_STRING) return false;
  const Op& op = cl.ops[e.first];
  *text = {cl.strings + op.payload.text.at, op.payload.text.length};
  return true;
}

bool append_statement(RunContext* ctx, const CompiledLine& cl, uint16_t slot) {
  if (slot_at(ctx, slot)->c.type != VF_STRING || !slot_at(ctx, slot)->c.str) return false;
  const int count = cl.append == APPEND_CONCAT ? 1 : 3;
  Value parts[3];
  TextSpan<char> texts[3] = {};
  bool constant[3] = {};
  for (Value& p : parts) value_init(p);
  int evaluated = 0;
  for (; evaluated < count && !ctx->err; ++evaluated) {
    constant[evaluated] = constant_text(cl, 1 + evaluated, &texts[evaluated]);
    if (!constant[evaluated]) EvaluateCompiled(ctx, cl, 1 + evaluated, &parts[evaluated]);
  }
  // A part's text: a constant's, or plain text (a whole number written out).
  auto text_of = [&](int i) {
    if (constant[i]) return true;
    if (!plain_text(ctx, parts[i])) return false;
    const char* p = str_at(ctx, parts[i].c.str);
    texts[i] = {p, std::strlen(p)};
    return true;
  };
  bool done = false;
  if (!ctx->err) {
    if (cl.append == APPEND_CONCAT) {
      if (text_of(0)) done = append_to_string(ctx, slot_at(ctx, slot)->c, texts, 1);
    } else {
      Delimiter<char> d;
      ValueCore& list = slot_at(ctx, slot)->c;
      const bool delimiter = constant[2] || (parts[2].c.type == VF_STRING && parts[2].c.str && text_of(2));
      if (!constant[1] && parts[1].c.type == VF_INTEGER && parts[1].c.i < 0 && delimiter && *str_at(ctx, list.str) &&
          read_delimiter(texts[2].p, &d) < 2 && text_of(0)) {
        if (!d.n) d.unit[0] = '\t', d.n = 1;
        const TextSpan<char> added[2] = {{d.unit, d.n}, texts[0]};
        done = append_to_string(ctx, list, added, 2);
      }
    }
    ctx->err = 0;
  }
  const bool failed = ctx->err != 0;
  for (int i = 0; i < evaluated; ++i)
    if (!constant[i]) value_free(ctx, parts[i]);
  return done || failed;
}

}  // namespace

namespace {

// A comparison of operands of which some are lent (pair: bit 0 the left, bit 1 the right): as apply_binary,
// releasing only what is not lent. False with the error set and both operands left as they were.
bool compare_lent(RunContext* ctx, int op, Value& left, Value& right, uint32_t pair) {
  const bool equality = op == KW_EQUAL || op == KW_NOT_EQUAL || op == KW_NOT_EQUAL_ALT;
  const int r = compare_values(ctx, left.c, right.c, equality, false);
  if (ctx->err) return false;
  if (!(pair & 1)) value_free(ctx, left);
  if (!(pair & 2)) value_free(ctx, right);
  value_init(left);
  left.c.i = relation_holds(op, r) ? 1 : 0;
  return true;
}

// The context's block k holding a copy of a string constant, lent to a pure built-in or a comparison instead
// of a string made and freed for each use; 0 when the heap has no room (a string of its own is then made).
uint32_t lent_text(RunContext* ctx, int k, const char* text, uint32_t n) {
  uint32_t& block = ctx->lentText[k];
  const uint32_t epoch = ctx->lineCache->epoch;
  if (block && ctx->lentFrom[k] == text && ctx->lentEpoch[k] == epoch) return block;
  ctx->lentFrom[k] = text;
  ctx->lentEpoch[k] = epoch;
  if (!block || ctx->lentCapacity[k] <= n) {
    if (block) VFree(ctx, block);
    block = VMalloc(ctx, n < 28 ? 28 : n + 1);
    ctx->lentCapacity[k] = block ? heap_capacity(ctx, block) : 0;
    if (!block) return 0;
  }
  // The block's text changes: an item read from it before is no guide.
  if (ctx->itemMark.text == block) ctx->itemMark.text = 0;
  if (ctx->lengthMark.text == block) ctx->lengthMark.text = 0;
  char* p = str_at(ctx, block);
  std::memcpy(p, text, n);
  p[n] = 0;
  return block;
}

enum class Pushed { None, Owned, Lent };

// The operands' values, as the evaluation pushes them: Lent when v holds a variable's own string or a
// constant's block, which is only read; None with the error set. (One function per kind: the evaluation's own
// switch goes straight to each.)
[[gnu::always_inline]] inline void push_int(Value& v, int32_t i) {
  value_init(v);
  v.c.i = i;
}

[[gnu::always_inline]] inline void push_float(Value& v, double f) {
  value_init(v);
  v.c.f = f;
  v.c.type = VF_FLOAT;
}

[[gnu::always_inline]] inline Pushed push_string(RunContext* ctx, const CompiledLine& cl, const Op& op, Value& v) {
  value_init(v);
  const char* text = cl.strings + op.payload.text.at;
  if (op.lend && (v.c.str = lent_text(ctx, op.lend - 1, text, op.payload.text.length))) {
    v.c.type = VF_STRING;
    return Pushed::Lent;
  }
  if (!(v.c.str = str_new(ctx, text, op.payload.text.length))) return Pushed::None;
  v.c.type = VF_STRING;
  return Pushed::Owned;
}

[[gnu::always_inline]] inline Pushed push_constant(RunContext* ctx, const Op& op, Value& v) {
  // A whole-number constant of the Engine's table is taken as the whole-number evaluation takes it.
  const bool engine = op.kw >= 0 && op.kw < int(NKEYTOKENS);
  const uint32_t value = engine ? g_keywordTable[op.kw].value : 0;
  if (engine && !is_float_constant(value) && !is_string_constant(value)) {
    push_int(v, int32_t(value));
    return Pushed::Owned;
  }
  return constant_value(ctx, op.kw, v) ? Pushed::Owned : Pushed::None;
}

[[gnu::always_inline]] inline Pushed push_variable(RunContext* ctx, const CompiledLine& cl, const Op& op, Value& v) {
  VarRef& ref = cl.vars[op.payload.index];
  const uint16_t slot = find_slot_of(ctx, ref);
  if (slot == SLOT_NONE) return Pushed::None;
  const ValueCore& held = slot_at(ctx, slot)->c;
  if (!value_has_value(held)) {
    find_var(ctx, ref.name, 1);
    return Pushed::None;
  }
  if (op.lend && held.type == VF_STRING && held.str) {
    value_core_copy(v.c, held);
    v.c.reserved = 0;
    v.originElement = 0;
    v.originSlot = slot;
    v.originFrame = ctx->nVarFrame;
    return Pushed::Lent;
  }
  return read_slot(ctx, slot, v) ? Pushed::Owned : Pushed::None;
}

// Any operand (an op whose code comes before OP_UNARY).
[[gnu::always_inline]] inline Pushed push_operand(RunContext* ctx, const CompiledLine& cl, const Op& op, Value& v) {
  switch (op.code) {
    case OP_INT: push_int(v, op.payload.i); return Pushed::Owned;
    case OP_FLOAT: push_float(v, op.payload.f); return Pushed::Owned;
    case OP_STRING: return push_string(ctx, cl, op, v);
    case OP_CONSTANT: return push_constant(ctx, op, v);
    default: return push_variable(ctx, cl, op, v);
  }
}

// The stack's new height after an operand was pushed at sp, its lent bit noted.
[[gnu::always_inline]] inline int pushed_at(Pushed p, int sp, uint32_t& lent) {
  if (p == Pushed::Lent) lent |= 1u << sp;
  return p == Pushed::None ? sp : sp + 1;
}

// An expression that is one call of a pure built-in (its last op, with as many operands before it as it takes) whose
// arguments are each a single operand: they go straight into the call's slots, as the evaluation would push
// them. False with nothing done for another.
bool single_pure_call(RunContext* ctx, const CompiledLine& cl, const Op* ops, uint32_t count, Value* result) {
  const Op& call = ops[count - 1];
  // (The operands' codes come first among the op codes.)
  for (uint32_t k = 0; k < call.argc; ++k)
    if (ops[k].code > OP_VARIABLE) return false;
  ArgBlock args;
  uint32_t lent = 0;
  for (int n = 0; n < call.argc; ++n) {
    const Pushed p = push_operand(ctx, cl, ops[n], args.slot[n + 1]);
    if (p == Pushed::None) {
      for (int k = 0; k < n; ++k)
        if (!(lent & (1u << k))) value_free(ctx, args.slot[k + 1]);
      return true;
    }
    if (p == Pushed::Lent) lent |= 1u << n;
  }
  call_pure(ctx, call, args, lent, *result);
  // A failed evaluation leaves no value.
  if (ctx->err) {
    value_free(ctx, *result);
    value_init(*result);
  }
  return true;
}

// The general evaluation of ops [op, end) onto a stack already holding sp values (lent: the bits of those
// that hold a variable's own string); the value left goes to result, or every value is freed on an error.
void run_ops(RunContext* ctx, const CompiledLine& cl, const Op* op, const Op* const end, Value* stack, int sp,
             uint32_t lent, Value* result) {
  for (; op < end; ++op) {
    switch (op->code) {
      case OP_INT: push_int(stack[sp++], op->payload.i); break;
      case OP_FLOAT: push_float(stack[sp++], op->payload.f); break;
      case OP_STRING: sp = pushed_at(push_string(ctx, cl, *op, stack[sp]), sp, lent); break;
      case OP_CONSTANT: sp = pushed_at(push_constant(ctx, *op, stack[sp]), sp, lent); break;
      case OP_VARIABLE: sp = pushed_at(push_variable(ctx, cl, *op, stack[sp]), sp, lent); break;
      case OP_UNARY: apply_unary(ctx, op->kw, stack[sp - 1]); break;
      case OP_BINARY: {
        Value& l = stack[sp - 2];
        Value& r = stack[sp - 1];
        const uint32_t lent_pair = (lent >> (sp - 2)) & 3u;
        if (l.c.type == VF_INTEGER && r.c.type == VF_INTEGER) {
          integer_binary(ctx, op->kw, l, r);
        } else if (lent_pair) {
          // On an error both operands stay on the stack, to be released below.
          if (!compare_lent(ctx, op->kw, l, r, lent_pair)) break;
          lent &= ~(3u << (sp - 2));
        } else {
          apply_binary(ctx, op->kw, l, r);
          value_free(ctx, r);
        }
        --sp;
        break;
      }
      case OP_CONCAT: {
        // The right part may be a variable's own string or a constant's block, only read.
        const uint32_t right_bit = 1u << (sp - 1);
        concatenate(ctx, stack[sp - 2], stack[sp - 1], op->argc != 0);
        if (!(lent & right_bit)) value_free(ctx, stack[sp - 1]);
        lent &= ~right_bit;
        --sp;
        break;
      }
      case OP_CALL:
        // The result takes the place of the first argument, which the call has taken over by then.
        sp -= op->argc;
        call_compiled(ctx, *op, stack + sp, lent >> sp, stack[sp]);
        lent &= (1u << sp) - 1;
        ++sp;
        break;
    }
    if (ctx->err) break;
  }
  if (ctx->err) {
    for (int i = 0; i < sp; ++i)
      if (!(lent & (1u << i))) value_free(ctx, stack[i]);
    return;
  }
  // A lent string that is the value itself (a part of a statement split up) gets a string of its own.
  if ((lent & 1) && !(stack[0].c.str = str_new(ctx, str_at(ctx, stack[0].c.str), std::strlen(str_at(ctx, stack[0].c.str)))))
    return;
  *result = stack[0];
}

enum class Lane { Whole, Declined, Finished };

// The general evaluation takes over from op with the whole numbers worked out so far (and got on top when
// given): out of line, so that the lane keeps a small frame.
[[gnu::noinline]] void hand_over(RunContext* ctx, const CompiledLine& cl, const Op* op, const Op* end,
                                 const int32_t* numbers, int sp, Value* got, Value* result) {
  Value values[24];
  for (int k = 0; k < sp; ++k) {
    value_init(values[k]);
    values[k].c.i = numbers[k];
  }
  if (got) values[sp++] = *got;
  run_ops(ctx, cl, op, end, values, sp, 0, result);
}

// A call from the lane with whole-number arguments: true with its whole-number result pushed; false with
// the error set, or with the general evaluation having gone on (result set).
[[gnu::noinline]] bool lane_call(RunContext* ctx, const CompiledLine& cl, const Op* op, const Op* end,
                                 int32_t* numbers, int& sp, Value* result) {
  if (plat::stack_exhausted(STACK_MARGIN)) {
    ctx->err = ERR_TOO_COMPLEX;
    return false;
  }
  sp -= op->argc;
  Value got;
  if (is_udf_code(op->kw)) {
    if (CallUdfWhole(ctx, op->kw, numbers + sp, op->argc, &numbers[sp])) {
      ++sp;
      return true;
    }
    CallUdfWithNumbers(ctx, op->kw, &got, numbers + sp, op->argc);
  } else {
    Value args[MAX_ARGS];
    for (int k = 0; k < op->argc; ++k) {
      value_init(args[k]);
      args[k].c.i = numbers[sp + k];
    }
    call_compiled(ctx, *op, args, 0, got);
  }
  if (ctx->err) return false;
  if (got.c.type == VF_INTEGER) {
    numbers[sp++] = got.c.i;
    return true;
  }
  // A result of another kind: the general evaluation goes on from the next op.
  hand_over(ctx, cl, op + 1, end, numbers, sp, &got, result);
  return false;
}

// Whole numbers only: integer literals and constants, variables holding plain integers, integer operators and
// calls whose results are plain integers are worked out on plain integers. Declined, with nothing done but the
// same variable lookups in the same order, when something else is met before any call; after a call the
// general evaluation takes over where the lane stopped (Finished: result or error set).
Lane integer_lane(RunContext* ctx, const CompiledLine& cl, const CompiledExpr& e, int32_t* out, uint16_t* origin,
                  Value* result) {
  int32_t stack[24];
  stack[0] = 0;
  int sp = 0;
  bool called = false;
  *origin = SLOT_NONE;
  const Op* const ops = cl.ops + e.first;
  const Op* const end = ops + e.count;
  for (const Op* op = ops; op < end; ++op) {
    switch (op->code) {
      case OP_INT: stack[sp++] = op->payload.i; continue;
      case OP_CONSTANT: {
        const uint32_t value = g_keywordTable[op->kw].value;
        if (is_float_constant(value) || is_string_constant(value)) break;
        stack[sp++] = int32_t(value);
        continue;
      }
      case OP_VARIABLE: {
        const uint16_t slot = find_slot_of(ctx, cl.vars[op->payload.index]);
        if (slot == SLOT_NONE) break;
        const ValueCore& v = slot_at(ctx, slot)->c;
        if (v.type != VF_INTEGER) break;
        stack[sp++] = v.i;
        if (e.count == 1) *origin = slot;
        continue;
      }
      case OP_UNARY: whole_unary(op->kw, stack[sp - 1]); continue;
      case OP_BINARY: {
        const int32_t a = stack[sp - 2], b = stack[sp - 1];
        int32_t r;
        // Operations that raise an error are left to the general evaluation, which reports them.
        if (!int_compare_or_arith(op->kw, a, b, &r)) break;
        stack[--sp - 1] = r;
        continue;
      }
      case OP_CALL:
        called = true;
        if (lane_call(ctx, cl, op, end, stack, sp, result)) continue;
        return Lane::Finished;
      default: break;
    }
    // Something the lane does not cover: before any call the general evaluation starts afresh, after one it
    // goes on from here with the numbers worked out so far.
    if (!called) return Lane::Declined;
    hand_over(ctx, cl, op, end, stack, sp, nullptr, result);
    return Lane::Finished;
  }
  *out = stack[0];
  return Lane::Whole;
}

}  // namespace

uint16_t resolve_var(RunContext* ctx, VarRef& ref) { return find_slot_of(ctx, ref); }

void release_lent_texts(RunContext* ctx) {
  for (int k = 0; k < LENT_BLOCKS; ++k) {
    if (ctx->lentText[k]) VFree(ctx, ctx->lentText[k]);
    ctx->lentText[k] = 0;
    ctx->lentCapacity[k] = 0;
    ctx->lentFrom[k] = nullptr;
  }
}

namespace {

// A number, or a variable holding a plain integer (looked up as the lane would).
inline bool whole_operand(RunContext* ctx, const CompiledLine& cl, const Op& op, int32_t* out) {
  if (op.code == OP_INT) {
    *out = op.payload.i;
    return true;
  }
  if (op.code != OP_VARIABLE) return false;
  const uint16_t slot = find_slot_of(ctx, cl.vars[op.payload.index]);
  if (slot == SLOT_NONE || slot_at(ctx, slot)->c.type != VF_INTEGER) return false;
  *out = slot_at(ctx, slot)->c.i;
  return true;
}

// "v = FileRead(h)" with h a variable holding a number (as the call's argument takes it) and the target
// slot holding no array or object: the line goes straight into the target, its block reused. True when
// done (ctx->err set on a failure, the target as it was); false with nothing done but the lookup of h.
bool read_line_into(RunContext* ctx, const CompiledLine& cl, uint16_t target) {
  const CompiledExpr& e = cl.e[0];
  const Op* const ops = cl.ops + e.first;
  if (e.count != 2 || ops[0].code != OP_VARIABLE || ops[1].code != OP_CALL || ops[1].kw != KW_FILEREAD) return false;
  const uint16_t slot = find_slot_of(ctx, cl.vars[ops[0].payload.index]);
  if (slot == SLOT_NONE) return false;
  const ValueCore& handle = slot_at(ctx, slot)->c;
  ValueCore& into = slot_at(ctx, target)->c;
  // (A pending floating-point fault is raised after the call: the general form reports it.)
  if (!(handle.type & VF_INTEGER) || (into.type & (VF_ARRAY | VF_VARIANT)) || fp_pending()) return false;
  return file_read_into(ctx, handle.i, into);
}

}  // namespace

// A variable alone, or one operator between two operands, with every variable looked up: out of line, so that
// what goes through the slots found last time keeps no frame.
[[gnu::noinline]] bool whole_number_looked_up(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  const CompiledExpr& e = cl.e[n];
  const Op* const op = cl.ops + e.first;
  if (e.whole == WHOLE_OPERAND) return whole_operand(ctx, cl, op[0], out);
  int32_t a, b;
  if (!whole_operand(ctx, cl, op[0], &a) || !whole_operand(ctx, cl, op[1], &b)) return false;
  return int_compare_or_arith(op[2].kw, a, b, out);
}

// A number or a variable alone, or one operator between two of them (the commonest limits, cases, conditions
// and results), worked out from the slots found last time: LookUp when one does not hold (nothing was done).
[[gnu::always_inline]] inline Hinted hinted_whole_number(const RunContext* ctx, const CompiledLine& cl, int n,
                                                         int32_t* out) {
  const CompiledExpr& e = cl.e[n];
  const Op* const op = cl.ops + e.first;
  if (e.whole == WHOLE_OPERAND) return hinted_operand(ctx, cl, op[0], out);
  int32_t a, b;
  const Hinted first = hinted_operand(ctx, cl, op[0], &a);
  if (first != Hinted::Yes) return first;
  const Hinted second = hinted_operand(ctx, cl, op[1], &b);
  if (second != Hinted::Yes) return second;
  return int_compare_or_arith(op[2].kw, a, b, out) ? Hinted::Yes : Hinted::No;
}

// EvaluateWholeNumber, inlined where a statement runs straight. What the slots found last time do not cover
// looks the variables up, in the same order, from the start.
[[gnu::always_inline]] inline bool whole_number(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  const CompiledExpr& e = cl.e[n];
  if (e.whole == WHOLE_NONE) return false;
  if (e.whole == WHOLE_LANE) {
    uint16_t origin;
    return integer_lane(ctx, cl, e, out, &origin, nullptr) == Lane::Whole;
  }
  const Hinted h = hinted_whole_number(ctx, cl, n, out);
  if (h != Hinted::LookUp) return h == Hinted::Yes;
  return whole_number_looked_up(ctx, cl, n, out);
}

bool evaluate_whole_number(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  return whole_number(ctx, cl, n, out);
}

// compare_values' text comparison without copying the constant into the heap.
bool compare_text_with_constant(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  const Op* const ops = cl.ops + cl.e[n].first;
  if (ops[2].code != OP_BINARY || !is_relational(ops[2].kw)) return false;
  const bool constant_first = ops[0].code == OP_STRING;
  const Op& variable = ops[constant_first ? 1 : 0];
  const Op& constant = ops[constant_first ? 0 : 1];
  if (variable.code != OP_VARIABLE || constant.code != OP_STRING) return false;
  const uint16_t slot = find_slot_of(ctx, cl.vars[variable.payload.index]);
  if (slot == SLOT_NONE) return false;
  const ValueCore& held = slot_at(ctx, slot)->c;
  if (held.type != VF_STRING || !held.str) return false;
  const char* const text = str_at(ctx, held.str);
  const char* const fixed = cl.strings + constant.payload.text.at;
  if (text_may_be_number(fixed) && text_may_be_number(text)) return false;
  const int r = constant_first ? plat::compare_ansi(fixed, text, false) : plat::compare_ansi(text, fixed, false);
  *out = relation_holds(ops[2].kw, r) ? 1 : 0;
  return true;
}

void EvaluateCompiled(RunContext* ctx, const CompiledLine& cl, int n, Value* result) {
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  const CompiledExpr& e = cl.e[n];
  if (e.integers) {
    uint16_t origin;
    switch (integer_lane(ctx, cl, e, &result->c.i, &origin, result)) {
      case Lane::Whole:
        if (origin != SLOT_NONE) {
          result->originSlot = origin;
          result->originFrame = ctx->nVarFrame;
        }
        return;
      case Lane::Finished: return;
      case Lane::Declined: break;
    }
  }
  if (CompareTextWithConstant(ctx, cl, n, &result->c.i)) return;
  // The stack grows only through calls: user-defined functions run their bodies from here (built-ins that
  // run no script code do not).
  if (e.calls && !cl.pure && cl.callsOut != CALLS_FILE && plat::stack_exhausted(STACK_MARGIN)) {
    ctx->err = ERR_TOO_COMPLEX;
    return;
  }
  const Op* op = cl.ops + e.first;
  const Op& last = op[e.count - 1];
  if (last.code == OP_CALL && last.lend && last.argc == e.count - 1 && single_pure_call(ctx, cl, op, e.count, result))
    return;
  Value stack[24];
  run_ops(ctx, cl, op, op + e.count, stack, 0, 0, result);
}

namespace {

inline void hold_whole(ValueCore& held, int32_t whole) {
  held = ValueCore{};
  held.i = whole;
  held.type = VF_INTEGER;
}

// AssignWholeNumber with every variable looked up.
[[gnu::noinline]] bool assign_whole_looked_up(RunContext* ctx, const CompiledLine& cl) {
  const uint16_t slot = find_slot_of(ctx, cl.vars[cl.target]);
  int32_t whole;
  if (slot == SLOT_NONE || !whole_number(ctx, cl, 0, &whole)) return false;
  // A whole number goes straight into a variable that holds no array or object.
  VarSlot* s = slot_at(ctx, slot);
  if (s->c.type & (VF_ARRAY | VF_VARIANT)) return false;
  if (s->c.type & VALUE_OWNS) value_free(ctx, s->c, VFREE_HOLDER);
  hold_whole(s->c, whole);
  return true;
}

}  // namespace

bool AssignWholeNumber(RunContext* ctx, const CompiledLine& cl) {
  if (cl.e[0].whole == WHOLE_NONE) return false;   // not a plain whole number: no lookup needed
  // The commonest assignment, of a plain value to a variable holding another, goes through the slots found
  // last time without a frame.
  const VarRef& target = cl.vars[cl.target];
  if (cl.e[0].whole != WHOLE_LANE && hint_holds(ctx, target) &&
      !(ctx->lpVars[target.slot].c.type & VALUE_OWNS)) {
    int32_t whole;
    const Hinted h = hinted_whole_number(ctx, cl, 0, &whole);
    if (h == Hinted::No) return false;
    if (h == Hinted::Yes) {
      hold_whole(ctx->lpVars[target.slot].c, whole);
      return true;
    }
  }
  return assign_whole_looked_up(ctx, cl);
}

void AssignCompiled(RunContext* ctx, const CompiledLine& cl, Value* result, bool handle_errors) {
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  const Target tg{ctx->nVarFrame, find_slot_of(ctx, cl.vars[cl.target]), false, {}};
  if (tg.slot == SLOT_NONE) return;
  *assignment_target_of_run(ctx) = uint32_t(tg.frame) << 16 | tg.slot;
  if (cl.append && append_statement(ctx, cl, tg.slot)) {
    if (ctx->err && handle_errors && handle_assignment_error(ctx, result)) {
      if (store(ctx, tg, *result)) ctx->err = STATUS_ASSIGNMENT_HANDLED;
    }
    return;
  }
  if (AssignWholeNumber(ctx, cl)) return;
  int32_t whole;
  if ((slot_at(ctx, tg.slot)->c.type & (VF_ARRAY | VF_VARIANT)) && EvaluateWholeNumber(ctx, cl, 0, &whole)) {
    result->c.i = whole;
    store(ctx, tg, *result);
    return;
  }
  const bool read = cl.callsOut == CALLS_FILE && read_line_into(ctx, cl, tg.slot);
  if (!read) EvaluateCompiled(ctx, cl, 0, result);
  if (ctx->err && handle_errors && handle_assignment_error(ctx, result)) {
    // The handler's value is assigned and the statement ends with the handled status.
    if (store(ctx, tg, *result)) ctx->err = STATUS_ASSIGNMENT_HANDLED;
    return;
  }
  if (ctx->err || read) return;
  VarSlot* s = slot_at(ctx, tg.slot);
  const uint32_t kinds = result->c.type | s->c.type;
  // A plain value moves into the variable: the statement's result is dropped right after it anyway.
  if (!(kinds & (VF_ARRAY | VF_VARIANT)) && tg.frame == ctx->nVarFrame &&
      (!(result->c.type & VF_STRING) || result->c.str != s->c.str) &&
      (!(result->c.type & VF_WSTRING) || result->c.wstr != s->c.wstr)) {
    if (s->c.type & VALUE_OWNS) value_free(ctx, s->c, VFREE_HOLDER);
    s->c = result->c;
    s->c.reserved = 0;
    value_init(*result);
    return;
  }
  store(ctx, tg, *result);
}

}  // namespace tov
