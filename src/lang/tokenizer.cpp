#include "lang/tokenizer.h"

#include <cstdio>
#include <cstring>

#include "diag/errors.h"
#include "engine/context.h"
#include "engine/script.h"
#include "lang/keywords.h"
#include "lang/vartable.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr size_t PERSISTENT_NAME_MAX = 25;
constexpr uint16_t PERSISTENT_TWO_DIGITS = 256;   // function numbers from here take three hex digits
constexpr size_t TOKEN_TEXT_MAX = TOKEN_TEXT_BYTES - 1;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_quote(char c) { return c == '"' || c == '\'' || c == '`'; }
bool ends_line(char c) { return c == 0 || c == ';'; }

bool is_ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Letters and digits by the system's test, and '_' and '@'. Plain ASCII is decided here, quickly.
bool is_name_char(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c < 128) return is_ascii_letter(c) || is_digit(char(c)) || c == '_' || c == '@';
  return plat::is_alnum(p);
}

bool starts_name(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c < 128) return is_ascii_letter(c) || c == '_' || c == '@';
  return plat::is_alpha(p);
}

size_t char_len(const char* p) { return static_cast<unsigned char>(*p) < 128 ? 1 : plat::char_size(p, 4); }

// Appends the whole character at p to out (holding n bytes) when it fits within max bytes, advancing p.
bool take_char(char* out, size_t& n, const char*& p, size_t max) {
  const size_t cs = char_len(p);
  if (n + cs > max) return false;
  std::memcpy(out + n, p, cs);
  n += cs;
  p += cs;
  return true;
}

bool read_number(RunContext* ctx) {
  TokenState& t = ctx->tok;
  const char* p = t.prog;
  size_t n = 0;
  bool dot = false, exponent = false;
  t.tok_type = TT_INTEGER;
  for (;;) {
    const char c = *p;
    if (is_digit(c)) {
      // digits are always taken
    } else if (c == '.') {
      if (dot) {
        ctx->err = ERR_FP_ILLEGAL_DOTS;
        return false;
      }
      // A point after the exponent ("1e5.3") can never make a number.
      if (exponent) {
        ctx->err = ERR_UNRECOGNIZABLE;
        return false;
      }
      if (!is_digit(p[1]) && !(n && is_digit(t.text[n - 1]))) {
        ctx->err = ERR_UNRECOGNIZABLE;
        return false;
      }
      dot = true;
      t.tok_type = TT_FLOAT;
    } else if (c == 'e' || c == 'E') {
      if (exponent) {
        ctx->err = ERR_FP_ILLEGAL_ES;
        return false;
      }
      const bool sign = (p[1] == '+' || p[1] == '-') && is_digit(p[2]);
      if (!is_digit(p[1]) && !sign) {
        ctx->err = ERR_UNRECOGNIZABLE;
        return false;
      }
      exponent = true;
      t.tok_type = TT_FLOAT;
      if (sign) {
        if (n + 2 > TOKEN_TEXT_MAX) break;
        t.text[n++] = c;
        ++p;
      }
    } else {
      break;
    }
    if (n >= TOKEN_TEXT_MAX) {
      ctx->err = ERR_STRING_TOO_LONG;
      return false;
    }
    t.text[n++] = *p++;
  }
  t.text[n] = 0;
  t.prog = p;
  return true;
}

// A name that is no keyword names a variable: it is found, or created uninitialised, at once.
bool read_variable(RunContext* ctx, bool address_of_pending) {
  TokenState& t = ctx->tok;
  // A persistent name is prefixed "?nn__" with the function's number, so it keeps within 30 characters too.
  const size_t limit = !t.persistentMode ? VARNAMESIZE
                       : t.curUdfNumber < PERSISTENT_TWO_DIGITS ? PERSISTENT_NAME_MAX
                                                                 : PERSISTENT_NAME_MAX - 1;
  const char* p = t.prog;
  char raw[VARNAMESIZE + 8];
  size_t n = 0;
  while (*p && (is_name_char(p) || *p == '.')) {
    if (!take_char(raw, n, p, limit)) {
      ctx->err = ERR_VARNAME_TOO_LONG;
      return false;
    }
  }
  t.prog = p;
  char lower[VARNAMESIZE + 8];
  size_t ln = lower_name(raw, n, lower, sizeof lower);
  if (ln >= sizeof lower || ln > limit) {
    ctx->err = ERR_VARNAME_TOO_LONG;
    return false;
  }
  char* name = t.varName;
  if (t.persistentMode) std::snprintf(name, VARNAME_BYTES, "?%02x__%s", t.curUdfNumber, lower);
  else std::memcpy(name, lower, ln + 1);
  std::strcpy(t.text, name);
  t.tok_type = TT_VARIABLE;
  if (t.scanOnly) {
    t.varSlot = SLOT_NONE;
    return true;
  }
  if (t.derefPending) {
    // The name after "*" is handed over through the reserved slot; the top bit keeps it from matching.
    VarSlot& scratch = ctx->lpVars[0];
    std::memset(scratch.name, 0, sizeof scratch.name);
    std::memcpy(scratch.name, name, std::strlen(name));
    scratch.name[0] = char(uint8_t(scratch.name[0]) | 0x80);
    t.varSlot = 0;
    return true;
  }
  uint16_t slot = slot_find_or_create(ctx, name, address_of_pending);
  if (slot == SLOT_NONE) return false;
  t.varSlot = slot;
  return true;
}

bool read_string_literal(RunContext* ctx) {
  TokenState& t = ctx->tok;
  const char* p = t.prog;
  const char quote = *p++;
  size_t n = 0;
  while (*p && n < STRING_LITERAL_MAX) {
    if (*p == quote) {
      if (p[1] != quote) {
        ++p;
        break;
      }
      t.text[n++] = quote;
      p += 2;
      continue;
    }
    if (!take_char(t.text, n, p, STRING_LITERAL_MAX)) break;
  }
  t.text[n] = 0;
  t.prog = p;
  t.tok_type = TT_STRING;
  return true;
}

void copy_delimiter(RunContext* ctx, size_t len) {
  TokenState& t = ctx->tok;
  std::memcpy(t.text, t.prog, len);
  t.text[len] = 0;
  t.prog += len;
  t.tok_type = TT_DELIMITER;
}

}  // namespace

size_t lower_name(const char* raw, size_t n, char* out, size_t cap) {
  size_t i = 0;
  for (; i < n && static_cast<unsigned char>(raw[i]) < 128; ++i) {
    const char c = raw[i];
    out[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  }
  if (i == n) {
    out[n] = 0;
    return n;
  }
  return plat::lower_ansi(raw, n, out, cap);
}

void get_token(RunContext* ctx) {
  TokenState& t = ctx->tok;
  const uint8_t prev_type = t.tok_type;
  const int16_t prev_delim = t.delim_type;
  const bool address_of_pending = t.addressOfPending;
  bool address_of_next = false;
  t.tok_type = TT_END;
  while (is_blank(*t.prog)) ++t.prog;
  t.tokenStart = t.prog;
  const char* p = t.prog;

  if (p[0] == '&' && p[1] != '&' && prev_type == TT_DELIMITER && prev_delim != KW_RPAREN &&
      keyword_kind(ctx, prev_delim) != KW_CONSTANT)
    address_of_next = true;

  if (ends_line(*p)) {
    t.text[0] = 0;
  } else if (is_digit(*p) || *p == '.') {
    read_number(ctx);
  } else if (starts_name(p)) {
    if (keyword_lookup(ctx, true)) {
      if (t.delim_type == OBJECT_REFERENCE_CODE) {
        // An object reference: the whole dotted name.
        size_t n = 0;
        const char* q = p;
        if (*q == '@') t.text[n++] = *q++;
        while (*q && (is_name_char(q) || *q == '.') && *q != '@' && take_char(t.text, n, q, TOKEN_TEXT_MAX)) {
        }
        t.text[n] = 0;
        t.prog = q;
        t.tok_type = TT_DELIMITER;
      } else {
        copy_delimiter(ctx, keyword_name_length(ctx, t.delim_type));
      }
    } else {
      read_variable(ctx, address_of_pending);
    }
  } else if (keyword_lookup(ctx, false)) {
    copy_delimiter(ctx, keyword_name_length(ctx, t.delim_type));
  } else if (is_quote(*p)) {
    read_string_literal(ctx);
  } else {
    ctx->err = ERR_UNRECOGNIZABLE;
  }
  t.addressOfPending = address_of_next;
  t.derefPending = 0;
}

void putback(RunContext* ctx) {
  if (ctx->tok.tok_type != TT_END) ctx->tok.prog = ctx->tok.tokenStart;
}

void get_string_token(RunContext* ctx) {
  TokenState& t = ctx->tok;
  t.tok_type = TT_END;
  while (is_blank(*t.prog)) ++t.prog;
  t.tokenStart = t.prog;
  const char* p = t.prog;
  if (ends_line(*p)) {
    t.text[0] = 0;
    return;
  }
  if (!is_name_char(p)) {
    ctx->err = ERR_UNRECOGNIZABLE;
    return;
  }
  size_t n = 0;
  while (*p && is_name_char(p)) {
    if (!take_char(t.text, n, p, STRING_LITERAL_MAX)) {
      ctx->err = ERR_STRING_TOO_LONG;
      return;
    }
  }
  t.text[n] = 0;
  t.prog = p;
  t.tok_type = TT_STRING;
  t.delim_type = DELIM_STRING_TOKEN;
}

bool tok_is(const RunContext* ctx, int code) {
  return ctx->tok.tok_type == TT_DELIMITER && ctx->tok.delim_type == code;
}

}  // namespace tov
