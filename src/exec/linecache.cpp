// The line cache: compiled lines keyed by script key and read position, and the compiler that reads a line
// once more (without touching any variable) to make its compiled form.
#include <atomic>
#include <cstring>
#include <cstdlib>

#include "engine/context.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "ext/extenders.h"
#include "builtins/callframe.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"

namespace tov {

namespace {

constexpr uint32_t MAX_TOKENS = 256;
constexpr uint32_t MAX_OPS = 255;
constexpr uint32_t MAX_VARS = 64;
constexpr uint16_t MAX_DEPTH = 24;                 // the evaluator's value stack
constexpr uint32_t DIAG_BUCKET_BOUNDS = 12;        // nDiagMode: every lookup shows itself, so none is skipped

const CompiledLine* const TOMBSTONE = reinterpret_cast<const CompiledLine*>(uintptr_t(1));

std::atomic<uint32_t> g_nextKey{1};

}  // namespace

namespace {

inline uint64_t make_key(const HeldScript* hs, uint32_t pos) { return uint64_t(hs->cacheKey) << 32 | pos; }

void reset(LineCache* c, const RunContext* ctx) {
  for (uint32_t i = 0; i < c->used; ++i) c->slots[c->taken[i]] = nullptr;
  c->lines = c->used = c->textLines = 0;
  c->arenaUsed = 0;
  c->udfCount = ctx->nUdfCount;
  c->extCount = ctx->ext.nFunctions;
  c->hostKeywords = ctx->lpHostKeywords;
  ++c->epoch;
}

bool environment_changed(const LineCache* c, const RunContext* ctx) {
  return c->udfCount != ctx->nUdfCount || c->extCount != ctx->ext.nFunctions || c->hostKeywords != ctx->lpHostKeywords;
}

void* arena_take(LineCache* c, size_t bytes) {
  const size_t at = (c->arenaUsed + 15) & ~size_t(15);
  if (at + bytes > LINECACHE_ARENA) return nullptr;
  c->arenaUsed = at + bytes;
  return c->arena + at;
}

const CompiledLine** find_slot(LineCache* c, uint64_t key) {
  for (uint32_t h = linecache_hash(key);; h = (h + 1) & (LINECACHE_SLOTS - 1)) {
    const CompiledLine* e = c->slots[h];
    if (!e || (e != TOMBSTONE && e->key == key)) return &c->slots[h];
  }
}

// Puts a new entry in the slot for its key: the first tombstone on its probe path, else the empty slot
// ending it.
void place(LineCache* c, uint64_t key, const CompiledLine* entry) {
  uint32_t h = linecache_hash(key);
  while (c->slots[h] && c->slots[h] != TOMBSTONE) h = (h + 1) & (LINECACHE_SLOTS - 1);
  if (!c->slots[h]) c->taken[c->used++] = uint16_t(h);
  ++c->lines;
  c->slots[h] = entry;
}

// The cache ready for use, made at the first need; null when it cannot be used now.
LineCache* usable_cache(RunContext* ctx, bool create) {
  LineCache* c = ctx->lineCache;
  if (!c) {
    if (!create) return nullptr;
    // Zeroed by the system as its pages are first touched: most runs use a small part of it.
    c = static_cast<LineCache*>(std::calloc(1, sizeof(LineCache)));
    if (!c) return nullptr;
    reset(c, ctx);
    ctx->lineCache = c;
  }
  if (environment_changed(c, ctx)) {
    if (ctx->nCompiledActive) return nullptr;
    reset(c, ctx);
  }
  return c;
}

// --- reading a line's tokens ------------------------------------------------------------------------

struct ScanToken {
  uint8_t type;
  int16_t code;
  uint16_t start, end;     // offsets in the line
  uint32_t text, length;   // TT_STRING, TT_VARIABLE, numbers: the token's text in the scan's text store
};

struct Scan {
  ScanToken tokens[MAX_TOKENS];
  uint32_t count = 0;
  char text[LINE_BUFFER_BYTES * 2];
  uint32_t textUsed = 0;
};

// Reads the tokens of line from offset to its end as the tokenizer would, with no variable looked up or
// created and the context's token state and error left as they were. False when a token cannot be read.
bool scan_tokens(RunContext* ctx, const char* line, uint32_t offset, Scan& scan) {
  static thread_local TokenState saved;
  saved = ctx->tok;
  const uint16_t saved_err = ctx->err;
  ctx->err = 0;
  TokenState& t = ctx->tok;
  t.scanOnly = 1;
  t.derefPending = 0;
  t.addressOfPending = 0;
  t.tok_type = TT_END;
  t.prog = line + offset;
  bool ok = true;
  for (;;) {
    get_token(ctx);
    if (ctx->err || scan.count >= MAX_TOKENS) {
      ok = false;
      break;
    }
    ScanToken& k = scan.tokens[scan.count++];
    k.type = t.tok_type;
    k.code = t.delim_type;
    k.start = uint16_t(t.tokenStart - line);
    k.end = uint16_t(t.prog - line);
    k.text = scan.textUsed;
    k.length = 0;
    if (t.tok_type == TT_STRING || t.tok_type == TT_VARIABLE || t.tok_type == TT_INTEGER || t.tok_type == TT_FLOAT) {
      const size_t n = std::strlen(t.text);
      if (scan.textUsed + n + 1 > sizeof scan.text) {
        ok = false;
        break;
      }
      std::memcpy(scan.text + scan.textUsed, t.text, n + 1);
      k.length = uint32_t(n);
      scan.textUsed += uint32_t(n + 1);
    }
    if (t.tok_type == TT_END) break;
  }
  ctx->tok = saved;
  ctx->err = saved_err;
  return ok;
}

// --- compiling ----------------------------------------------------------------------------------------

struct Builder {
  Op ops[MAX_OPS];
  uint32_t opCount = 0;
  VarRef vars[MAX_VARS];
  uint32_t varCount = 0;
  char strings[LINE_BUFFER_BYTES];
  uint32_t stringsUsed = 0;
};

class Compiler {
 public:
  Compiler(RunContext* ctx, const Scan& scan, Builder& b, uint32_t from) : ctx_(ctx), scan_(scan), b_(b), i_(from) {}

  const ScanToken& tok() const { return scan_.tokens[i_]; }
  uint32_t index() const { return i_; }
  void advance() {
    if (i_ + 1 < scan_.count) ++i_;
  }
  bool is(int code) const { return tok().type == TT_DELIMITER && tok().code == code; }
  bool at_end() const { return tok().type == TT_END; }

  // An expression from the current token; false when it is not one the compiled form covers.
  bool expression(CompiledExpr& out) {
    out.first = uint16_t(b_.opCount);
    depth_ = maxDepth_ = 0;
    calls_ = 0;
    lentTexts_ = 0;
    lentFirst_ = ctx_->nLentNext % LENT_BLOCKS;
    impure_ = false;
    textLent_ = false;
    if (!level(1)) return false;
    ctx_->nLentNext = (lentFirst_ + lentTexts_) % LENT_BLOCKS;
    // What is lent must stay as it is until it is used: a user-defined function or a built-in that runs
    // script code could change the variable, or lend the same constant block, meanwhile.
    if (impure_)
      for (uint32_t k = out.first; k < b_.opCount; ++k)
        if (b_.ops[k].code != OP_CALL) b_.ops[k].lend = 0;
    out.count = uint16_t(b_.opCount - out.first);
    // A concatenation with another after it makes a string with room for the parts to come.
    uint8_t later = 0;
    for (uint32_t k = b_.opCount; k-- > out.first;)
      if (b_.ops[k].code == OP_CONCAT) {
        b_.ops[k].argc = later;
        later = 1;
      }
    out.depth = maxDepth_;
    out.calls = uint16_t(calls_);
    out.integers = 1;
    for (uint32_t k = out.first; k < b_.opCount; ++k) {
      const Op& op = b_.ops[k];
      const bool covered = op.code == OP_INT || op.code == OP_VARIABLE || op.code == OP_UNARY ||
                           op.code == OP_BINARY || op.code == OP_CALL ||
                           (op.code == OP_CONSTANT && op.kw >= 0 && op.kw < int(NKEYTOKENS));
      if (!covered) out.integers = 0;
    }
    if (textLent_) out.integers = 0;
    return depth_ == 1;
  }

  // The index of a variable reference for a name (one reference per name and line).
  int variable(const char* name, uint32_t length) {
    if (length >= VARNAME_BYTES) return -1;
    for (uint32_t v = 0; v < b_.varCount; ++v)
      if (b_.vars[v].length == length && std::memcmp(b_.vars[v].name, name, length) == 0) return int(v);
    if (b_.varCount >= MAX_VARS) return -1;
    VarRef& r = b_.vars[b_.varCount];
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.name, name, length);
    r.length = uint16_t(length);
    r.slot = 0;
    return int(b_.varCount++);
  }

  int variable_of(const ScanToken& k) { return variable(scan_.text + k.text, k.length); }

 private:
  bool emit(const Op& op, int stack_change) {
    if (b_.opCount >= MAX_OPS) return false;
    b_.ops[b_.opCount++] = op;
    depth_ += stack_change;
    if (depth_ > maxDepth_) maxDepth_ = uint16_t(depth_);
    return depth_ <= MAX_DEPTH;
  }

  static Op make(OpCode code, int32_t kw = 0) {
    Op op{};
    op.code = code;
    op.kw = kw;
    return op;
  }

  static bool level_has(int level, int op) {
    switch (level) {
      case 1: return op == KW_LOGICAL_AND || op == KW_LOGICAL_OR;
      case 2: return op == KW_BIT_AND || op == KW_BIT_OR || op == KW_BIT_XOR;
      case 3: return op == KW_EQUAL || op == KW_NOT_EQUAL || op == KW_NOT_EQUAL_ALT || op == KW_LESS ||
                     op == KW_LESS_EQUAL || op == KW_GREATER || op == KW_GREATER_EQUAL;
      case 4: return op == KW_COLON;
      case 5: return op == KW_SHIFT_LEFT || op == KW_SHIFT_RIGHT;
      case 6: return op == KW_PLUS || op == KW_MINUS;
      case 7: return op == KW_MULTIPLY || op == KW_DIVIDE || op == KW_MOD;
      default: return op == KW_POWER;
    }
  }

  // The evaluator's precedence levels, 1 (loosest) to 8 (power); each one's operands are the next level.
  bool level(int n) {
    if (n > 8) return unary();
    const uint32_t left = b_.opCount;
    if (!level(n + 1)) return false;
    while (tok().type == TT_DELIMITER && level_has(n, tok().code)) {
      const int op = tok().code;
      advance();
      const uint32_t right = b_.opCount;
      if (!level(n + 1)) return false;
      // A comparison only reads its operands.
      if (n == 3) {
        lend_operand(left, right);
        lend_operand(right, b_.opCount);
      } else if (op == KW_COLON) {
        lend_operand(right, b_.opCount);   // a concatenation only reads its right part
      }
      if (!emit(make(op == KW_COLON ? OP_CONCAT : OP_BINARY, op), -1)) return false;
    }
    // "=" where a comparison could stand is an error the statement reports as it is read.
    return !(n == 3 && is(KW_ASSIGN));
  }

  bool unary() {
    if (tok().type == TT_DELIMITER) {
      const int op = tok().code;
      if (op == KW_NOT || op == KW_PLUS || op == KW_MINUS || op == KW_BIT_NOT) {
        advance();
        return unary() && emit(make(OP_UNARY, op), 0);
      }
      // Address-of and dereference read names through the variable tables: left to the tokenizer.
      if (op == KW_BIT_AND || op == KW_MULTIPLY) return false;
    }
    return primary();
  }

  bool primary() {
    const ScanToken& k = tok();
    const char* text = scan_.text + k.text;
    switch (k.type) {
      case TT_INTEGER: {
        uint32_t n = 0;
        for (const char* p = text; *p; ++p) n = n * 10u + uint32_t(*p - '0');
        Op op = make(OP_INT);
        op.payload.i = int32_t(n);
        advance();
        return emit(op, 1);
      }
      case TT_FLOAT: {
        double f = 0;
        if (!parse_float_text(text, &f)) return false;
        Op op = make(OP_FLOAT);
        op.payload.f = f;
        advance();
        return emit(op, 1);
      }
      case TT_STRING: {
        Op op = make(OP_STRING);
        op.payload.text.at = b_.stringsUsed;
        op.payload.text.length = k.length;
        if (b_.stringsUsed + k.length + 1 > sizeof b_.strings) return false;
        std::memcpy(b_.strings + b_.stringsUsed, text, k.length + 1);
        b_.stringsUsed += k.length + 1;
        advance();
        return emit(op, 1);
      }
      case TT_VARIABLE: {
        const int v = variable_of(k);
        if (v < 0) return false;
        advance();
        // Subscripts and member references depend on what the variable holds when the line runs.
        if (is(KW_LBRACKET)) return false;
        Op op = make(OP_VARIABLE);
        op.payload.index = uint32_t(v);
        return emit(op, 1);
      }
      case TT_DELIMITER: break;
      default: return false;
    }
    const int code = k.code;
    if (code == KW_LPAREN) {
      advance();
      const int depth_before = depth_;
      if (!level(1) || depth_ != depth_before + 1 || !is(KW_RPAREN)) return false;
      advance();
      return true;
    }
    if (code == OBJECT_REFERENCE_CODE) return false;
    const bool engine = code >= 0 && code < int(NKEYTOKENS);
    const bool udf = code >= UDFSTART && code < UDFSTART + int(UDF_MAX);
    if (!engine && !udf) return false;
    KeywordInfo info;
    if (!keyword_info(ctx_, code, &info) || (info.kind & KW_NOT_AVAILABLE_BIT)) return false;
    if (info.kind == KW_CONSTANT) {
      advance();
      return emit(make(OP_CONSTANT, code), 1);
    }
    if (info.kind != KW_FUNCTION) return false;
    return call(code, info);
  }

  // A call whose arguments are all there, separated by commas and closed: what the call frame would read.
  bool call(int code, const KeywordInfo& info) {
    const uint32_t required = info.required(), optional = info.optional();
    if (required == VARIADIC || too_many_args(info.value)) return false;
    const uint32_t total = required + optional;
    advance();
    if (!is(KW_LPAREN)) return false;
    advance();
    uint32_t argc = 0;
    const int depth_before = depth_;
    const bool pure = pure_builtin(code);
    if (!pure) impure_ = true;
    while (argc < total) {
      if (is(KW_RPAREN) && argc >= required) break;
      if (argc > 0) {
        if (!is(KW_COMMA)) return false;
        advance();
      }
      const uint32_t first_op = b_.opCount;
      if (!level(1)) return false;
      if (pure) {
        lend_operand(first_op, b_.opCount);
        // A variable read as text most likely holds text: the whole-number evaluation would only decline.
        const uint32_t type = uint32_t(info.argTypes >> (4 * argc)) & 15u;
        if (b_.ops[first_op].lend && type != ARG_INT && type != ARG_FLOAT) textLent_ = true;
      }
      ++argc;
      if (argc < required && !is(KW_COMMA)) return false;
    }
    if (!is(KW_RPAREN) || depth_ != depth_before + int(argc)) return false;
    advance();
    Op op = make(OP_CALL, code);
    op.lend = pure;
    ++calls_;
    op.argc = uint8_t(argc);
    op.total = uint8_t(total);
    op.payload.signature = info.argTypes;
    return emit(op, 1 - int(argc));
  }

  // An operand made of ops [from, to) that a pure built-in, a comparison or a concatenation only reads: a variable alone gets
  // its string handed over, a string constant alone a block of the context's (LENT_TEXTS of them, the ones
  // after the previous expression's).
  void lend_operand(uint32_t from, uint32_t to) {
    if (to != from + 1) return;
    Op& op = b_.ops[from];
    if (op.code == OP_VARIABLE) op.lend = 1;
    else if (op.code == OP_STRING && lentTexts_ < LENT_TEXTS) op.lend = uint8_t(1 + (lentFirst_ + lentTexts_++) % LENT_BLOCKS);
  }

  RunContext* ctx_;
  const Scan& scan_;
  Builder& b_;
  uint32_t i_;
  uint32_t lentTexts_ = 0;
  uint32_t lentFirst_ = 0;
  bool impure_ = false;
  bool textLent_ = false;
  int depth_ = 0;
  uint16_t maxDepth_ = 0;
  int calls_ = 0;
};

// Fills the statement part of a compiled line from its tokens; false when the compiled form does not cover
// the statement (it is then read as usual).
bool statement_from_tokens(RunContext* ctx, const char* line, Scan& scan, Builder& b, CompiledLine& cl,
                           uint32_t* inner_at) {
  Compiler c(ctx, scan, b, 0);
  const ScanToken first = c.tok();
  if (first.type == TT_END) return false;
  auto expression_to_end = [&](CompiledExpr& e) { return c.expression(e) && c.at_end(); };
  auto rest_after = [&](uint32_t end) {
    uint32_t r = end;
    while (is_blank(line[r])) ++r;
    cl.block = line[r] == 0 || line[r] == ';';
    *inner_at = r;
  };
  if (first.type == TT_DELIMITER) {
    const int code = first.code;
    const uint32_t kind = keyword_kind(ctx, code);
    if (kind == KW_COMMAND) return false;
    if (kind == KW_STRUCTURE) {
      c.advance();
      switch (code) {
        case KW_IF: {
          if (!c.expression(cl.e[0])) return false;
          if (c.is(KW_THEN)) {
            rest_after(c.tok().end);
          } else if (c.at_end()) {
            cl.block = 1;
          } else {
            return false;
          }
          cl.kind = LK_IF;
          return true;
        }
        case KW_ELSEIF:
          if (!c.expression(cl.e[0])) return false;
          if (c.is(KW_THEN)) c.advance();
          if (!c.at_end()) return false;
          cl.kind = LK_ELSEIF;
          return true;
        case KW_ELSE:
          rest_after(first.end);
          cl.kind = LK_ELSE;
          return true;
        case KW_ENDIF: cl.kind = LK_ENDIF; return true;
        case KW_WHILE:
          if (c.at_end() || !expression_to_end(cl.e[0])) return false;
          cl.kind = LK_WHILE;
          return true;
        case KW_ENDWHILE: cl.kind = LK_ENDWHILE; return true;
        case KW_FOR: {
          if (c.tok().type != TT_VARIABLE) return false;
          const int v = c.variable_of(c.tok());
          if (v < 0) return false;
          c.advance();
          if (!c.is(KW_ASSIGN)) return false;
          c.advance();
          if (!c.expression(cl.e[0]) || !c.is(KW_TO)) return false;
          cl.innerOffset = c.tok().start;
          c.advance();
          if (!c.expression(cl.e[1])) return false;
          if (c.is(KW_BY)) {
            c.advance();
            if (!c.expression(cl.e[2])) return false;
          }
          if (!c.at_end()) return false;
          cl.target = uint16_t(v);
          cl.kind = LK_FOR;
          return true;
        }
        case KW_TO:
          if (!c.expression(cl.e[1])) return false;
          if (c.is(KW_BY)) {
            c.advance();
            if (!c.expression(cl.e[2])) return false;
          }
          if (!c.at_end()) return false;
          cl.kind = LK_TO;
          return true;
        case KW_NEXT:
        case KW_ENDFOR: cl.kind = LK_NEXT; return true;
        case KW_SWITCH:
        case KW_SELECT:
          if (!expression_to_end(cl.e[0])) return false;
          cl.kind = LK_SWITCH;
          return true;
        case KW_CASE:
          if (!expression_to_end(cl.e[0])) return false;
          cl.kind = LK_CASE;
          return true;
        case KW_ENDSWITCH:
        case KW_ENDSELECT: cl.kind = LK_ENDSWITCH; return true;
        case KW_BREAK: cl.kind = LK_BREAK; return true;
        case KW_CONTINUE: cl.kind = LK_CONTINUE; return true;
        case KW_RETURN:
          if (!c.at_end() && !expression_to_end(cl.e[0])) return false;
          cl.kind = LK_RETURN;
          return true;
        default: return false;
      }
    }
  }
  // An expression statement; "name =" assigns.
  if (first.type == TT_VARIABLE) {
    const int v = c.variable_of(first);
    if (v < 0) return false;
    cl.firstVar = uint16_t(v);
    if (scan.count > 1 && scan.tokens[1].type == TT_DELIMITER && scan.tokens[1].code == KW_ASSIGN) {
      c.advance();
      c.advance();
      if (!expression_to_end(cl.e[0])) return false;
      cl.target = uint16_t(v);
      cl.kind = LK_EXPRESSION;
      return true;
    }
  }
  if (!expression_to_end(cl.e[0])) return false;
  cl.kind = LK_EXPRESSION;
  return true;
}

// The operands of the call or operator that ends an expression: where each starts, for the ops from first
// to end (exclusive) that leave `count` values. False when they do not split that way.
bool split_operands(const Op* ops, uint32_t first, uint32_t end, uint32_t count, uint32_t* starts) {
  uint32_t stack[MAX_DEPTH + 1];
  uint32_t n = 0;
  for (uint32_t k = first; k < end; ++k) {
    switch (ops[k].code) {
      case OP_BINARY:
      case OP_CONCAT:
        if (n < 2) return false;
        --n;   // the combined value starts where its left operand did
        break;
      case OP_UNARY:
        if (n < 1) return false;
        break;
      case OP_CALL: return false;   // a call could change the variable being added to
      default:
        if (n > MAX_DEPTH) return false;
        stack[n++] = k;
        break;
    }
  }
  if (n != count) return false;
  for (uint32_t i = 0; i < n; ++i) starts[i] = stack[i];
  return true;
}

CompiledExpr sub_expression(const Builder& b, uint32_t first, uint32_t end) {
  CompiledExpr e;
  e.first = uint16_t(first);
  e.count = uint16_t(end - first);
  e.depth = MAX_DEPTH;
  e.integers = 1;
  for (uint32_t k = first; k < end; ++k) {
    const Op& op = b.ops[k];
    if (!(op.code == OP_INT || op.code == OP_VARIABLE || op.code == OP_UNARY || op.code == OP_BINARY ||
          (op.code == OP_CONSTANT && op.kw >= 0 && op.kw < int(NKEYTOKENS))))
      e.integers = 0;
  }
  return e;
}

// Recognises "v = v : text" and "v = ItemInsert(item, index, v, delimiter)": both can add to v's string
// where it lies instead of building a new one.
void recognise_append(Builder& b, CompiledLine& cl) {
  if (cl.kind != LK_EXPRESSION || cl.target == NO_VAR) return;
  const CompiledExpr& e = cl.e[0];
  const uint32_t first = e.first, last = uint32_t(e.first) + e.count - 1;
  const Op& end = b.ops[last];
  const auto is_target = [&](uint32_t k) { return b.ops[k].code == OP_VARIABLE && b.ops[k].payload.index == cl.target; };
  uint32_t starts[4];
  if (end.code == OP_CONCAT && split_operands(b.ops, first, last, 2, starts) && starts[0] == first &&
      starts[1] == first + 1 && is_target(first)) {
    cl.append = APPEND_CONCAT;
    cl.e[1] = sub_expression(b, first + 1, last);
  } else if (end.code == OP_CALL && end.kw == KW_ITEMINSERT && end.argc == 4 &&
             split_operands(b.ops, first, last, 4, starts) && starts[3] == starts[2] + 1 && is_target(starts[2])) {
    cl.append = APPEND_ITEM;
    cl.e[1] = sub_expression(b, starts[0], starts[1]);
    cl.e[2] = sub_expression(b, starts[1], starts[2]);
    cl.e[3] = sub_expression(b, starts[3], last);
  }
}

// The variables a skipped If reads: every name up to its Then.
void record_touches(const Scan& scan, Builder& b, CompiledLine& cl) {
  Compiler c(nullptr, scan, b, 0);
  cl.touchFirst = uint16_t(b.opCount);
  cl.touchCount = 0;
  for (uint32_t i = 1; i < scan.count; ++i) {
    const ScanToken& k = scan.tokens[i];
    if (k.type == TT_END || (k.type == TT_DELIMITER && k.code == KW_THEN)) break;
    if (k.type != TT_VARIABLE || b.opCount >= MAX_OPS) continue;
    Op op{};
    op.code = OP_VARIABLE;
    op.payload.index = uint32_t(c.variable_of(k));
    b.ops[b.opCount++] = op;
    ++cl.touchCount;
  }
}

CompiledLine* store_line(LineCache* cache, const Builder& b, const CompiledLine& cl) {
  const size_t bytes = sizeof(CompiledLine) + b.opCount * sizeof(Op) + b.varCount * sizeof(VarRef) + b.stringsUsed + 48;
  char* p = static_cast<char*>(arena_take(cache, bytes));
  if (!p) return nullptr;
  auto* out = reinterpret_cast<CompiledLine*>(p);
  *out = cl;
  char* q = p + ((sizeof(CompiledLine) + 15) & ~size_t(15));
  out->ops = reinterpret_cast<Op*>(q);
  std::memcpy(q, b.ops, b.opCount * sizeof(Op));
  q += (b.opCount * sizeof(Op) + 15) & ~size_t(15);
  out->vars = reinterpret_cast<VarRef*>(q);
  std::memcpy(q, b.vars, b.varCount * sizeof(VarRef));
  q += b.varCount * sizeof(VarRef);
  std::memcpy(q, b.strings, b.stringsUsed);
  out->strings = q;
  out->varCount = uint16_t(b.varCount);
  return out;
}

void init_line(CompiledLine& cl) {
  cl = CompiledLine{};
  cl.target = cl.firstVar = NO_VAR;
}

bool compile_statement(RunContext* ctx, const char* line, uint32_t offset, Builder& b, CompiledLine& cl,
                       uint32_t* inner_at) {
  static thread_local Scan scan;
  scan.count = scan.textUsed = 0;
  const uint8_t first = uint8_t(line[offset]);
  if (first == '*' || first == RESOLVED_GOTO || first == RESOLVED_GOSUB) return false;
  if (!scan_tokens(ctx, line, offset, scan)) return false;
  if (!statement_from_tokens(ctx, line, scan, b, cl, inner_at)) return false;
  if (cl.kind == LK_IF) record_touches(scan, b, cl);
  recognise_append(b, cl);
  return true;
}

}  // namespace

uint32_t linecache_new_key() {
  uint32_t k = g_nextKey.fetch_add(1, std::memory_order_relaxed);
  if (k == 0) k = g_nextKey.fetch_add(1, std::memory_order_relaxed);
  return k;
}

const CompiledLine* linecache_find_slow(RunContext* ctx, const HeldScript* hs, uint32_t pos) {
  if (ctx->nDiagMode == DIAG_BUCKET_BOUNDS || ctx->bLineCacheOff) return nullptr;
  LineCache* c = usable_cache(ctx, false);
  return c ? *find_slot(c, make_key(hs, pos)) : nullptr;
}

namespace {

// Whether a line's expressions call only built-ins of pure_builtin's list (lent the call's marks them).
bool calls_only_pure(const CompiledLine& cl, const Op* ops) {
  for (const CompiledExpr& e : cl.e) {
    if (e.first == NO_EXPR) continue;
    for (uint32_t k = e.first; k < uint32_t(e.first) + e.count; ++k)
      if (ops[k].code == OP_CALL && !ops[k].lend) return false;
  }
  return true;
}

constexpr uint32_t OTHER_CALL = UINT32_MAX;

// The calls with an effect in a line's expression, all of which allowed takes; OTHER_CALL when one is not.
uint32_t calls_with_effect(const CompiledLine& cl, const Op* ops, bool (*allowed)(int)) {
  uint32_t calls = 0;
  const CompiledExpr& e = cl.e[0];
  for (uint32_t k = e.first; k < uint32_t(e.first) + e.count; ++k) {
    if (ops[k].code != OP_CALL || ops[k].lend) continue;
    if (!allowed(ops[k].kw)) return OTHER_CALL;
    ++calls;
  }
  return calls;
}

// Whether a line is an expression statement whose only call with an effect is one of file_line_builtin's list.
bool one_file_call(const CompiledLine& cl, const Op* ops) {
  return cl.kind == LK_EXPRESSION && !cl.append && calls_with_effect(cl, ops, file_line_builtin) == 1;
}

// Whether a line is an assignment or a Return whose only calls with an effect are of user-defined functions.
bool udf_calls_only(const CompiledLine& cl, const Op* ops) {
  const bool assignment = cl.kind == LK_EXPRESSION && cl.target != NO_VAR && !cl.append;
  if (!assignment && cl.kind != LK_RETURN) return false;
  const uint32_t calls = calls_with_effect(cl, ops, is_udf_code);
  return calls > 0 && calls != OTHER_CALL;
}

bool plain_operand(const Op& op) { return op.code == OP_INT || op.code == OP_VARIABLE; }

// The shape an expression of a compiled line has for the whole-number evaluation.
WholeShape whole_shape(const CompiledExpr& e, const Op* ops) {
  if (!e.integers || e.calls) return WHOLE_NONE;
  const Op* const op = ops + e.first;
  if (e.count == 1 && plain_operand(op[0])) return WHOLE_OPERAND;
  if (e.count == 3 && op[2].code == OP_BINARY && plain_operand(op[0]) && plain_operand(op[1])) return WHOLE_BINARY;
  return WHOLE_LANE;
}

// Compiles the statement at offset of a line into a new arena entry (inner statements included).
CompiledLine* compile_line(RunContext* ctx, LineCache* cache, const char* line, uint32_t offset, int nesting) {
  static thread_local Builder builders[2];
  Builder& b = builders[nesting];
  b.opCount = b.varCount = b.stringsUsed = 0;
  CompiledLine cl;
  init_line(cl);
  cl.offset = uint16_t(offset);
  uint32_t inner_at = 0;
  if (!compile_statement(ctx, line, offset, b, cl, &inner_at)) return nullptr;
  const bool has_inner = (cl.kind == LK_IF || cl.kind == LK_ELSE) && !cl.block;
  if (has_inner) cl.innerOffset = uint16_t(inner_at);
  cl.pure = calls_only_pure(cl, b.ops);
  if (!cl.pure && one_file_call(cl, b.ops)) cl.callsOut = CALLS_FILE;
  else if (!cl.pure && udf_calls_only(cl, b.ops)) cl.callsOut = CALLS_FUNCTIONS;
  // A file handle is a number marked as one, which the whole-number evaluation declines: such a line goes to
  // the general evaluation at once.
  if (cl.callsOut == CALLS_FILE) cl.e[0].integers = 0;
  for (CompiledExpr& e : cl.e) e.whole = whole_shape(e, b.ops);
  cl.straight = RunsStraight(cl);
  cl.mayEnd = cl.callsOut || cl.kind == LK_RETURN;
  CompiledLine* out = store_line(cache, b, cl);
  if (out && has_inner && nesting == 0) {
    out->inner = compile_line(ctx, cache, line, inner_at, 1);
    out->straight = RunsStraight(*out);   // a single-line If runs straight with its inner statement
    out->mayEnd = out->kind == LK_IF && out->inner && out->inner->kind == LK_RETURN;
  }
  return out;
}

}  // namespace

const CompiledLine* linecache_record(RunContext* ctx, const HeldScript* hs, uint32_t pos, uint32_t lineStart,
                                     uint32_t next, const char* line) {
  if (!hs->cacheKey || ctx->nDiagMode == DIAG_BUCKET_BOUNDS || ctx->bLineCacheOff) return nullptr;
  LineCache* c = usable_cache(ctx, true);
  if (!c) return nullptr;
  const uint64_t key = make_key(hs, pos);
  const CompiledLine** where = find_slot(c, key);
  const CompiledLine* seen = *where;
  if (!seen && (c->lines >= LINECACHE_LINES || c->used >= LINECACHE_SLOTS / 2)) {
    if (ctx->nCompiledActive) return nullptr;
    reset(c, ctx);
    where = find_slot(c, key);
  }
  CompiledLine cl;
  init_line(cl);
  cl.key = key;
  cl.lineStart = lineStart;
  cl.length = uint32_t(std::strlen(line));
  cl.next = next;
  CompiledLine* out = nullptr;
  if (!seen) {
    // The first run only notes where the line is: many lines run once, and reading them twice would cost.
    cl.kind = LK_SEEN;
    out = static_cast<CompiledLine*>(arena_take(c, sizeof(CompiledLine)));
    if (!out) {
      if (ctx->nCompiledActive) return nullptr;
      reset(c, ctx);
      return nullptr;
    }
    *out = cl;
    place(c, key, out);
    return out;
  }
  // The second run compiles it; a line with % is substituted each time, so only its place is kept.
  uint32_t offset = 0;
  if (std::strchr(line, '%')) {
    cl.kind = LK_SUBST;
  } else if (!line[0] || line[0] == ';') {
    cl.kind = LK_EMPTY;
  } else if (line[0] == ':') {
    const char* p = line;
    while (*p && !is_blank(*p)) ++p;
    while (is_blank(*p)) ++p;
    if (!*p || *p == ';') cl.kind = LK_EMPTY;
    else offset = uint32_t(p - line);
  }
  if (cl.kind != LK_EMPTY && cl.kind != LK_SUBST) {
    CompiledLine* compiled = compile_line(ctx, c, line, offset, 0);
    if (compiled) {
      compiled->key = cl.key;
      compiled->lineStart = cl.lineStart;
      compiled->length = cl.length;
      compiled->next = cl.next;
      out = compiled;
    } else {
      cl.kind = LK_SLOW;
      cl.offset = uint16_t(offset);
    }
  }
  if (!out) {
    out = static_cast<CompiledLine*>(arena_take(c, sizeof(CompiledLine)));
    if (!out) return nullptr;
    *out = cl;
  }
  ++c->epoch;
  *where = out;
  return out;
}

namespace {

constexpr uint64_t TEXT_KEY = uint64_t(1) << 63;   // script keys stay below it

// Eight bytes a step, as every substituted line is hashed; the fold carries each step's high bits down.
uint64_t text_key(const char* line, size_t n) {
  uint64_t h = 14695981039346656037ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, line + i, 8);
    h = (h ^ w) * 1099511628211ull;
    h ^= h >> 32;
  }
  for (; i < n; ++i) h = (h ^ uint8_t(line[i])) * 1099511628211ull;
  return h | TEXT_KEY;
}

}  // namespace

const CompiledLine* linecache_text(RunContext* ctx, const char* line, uint32_t offset) {
  if (ctx->nDiagMode == DIAG_BUCKET_BOUNDS || ctx->bLineCacheOff) return nullptr;
  LineCache* c = usable_cache(ctx, true);
  if (!c) return nullptr;
  const size_t n = std::strlen(line);
  const uint64_t key = text_key(line, n);
  const CompiledLine** where = find_slot(c, key);
  const CompiledLine* seen = *where;
  if (seen) {
    // Another text with the same hash keeps the place.
    if (seen->length != n || std::memcmp(seen->text, line, n) != 0 || seen->offset != offset) return nullptr;
    if (seen->kind != LK_SEEN) return seen;
  } else if (c->textLines >= LINECACHE_LINES / 4 || c->lines >= LINECACHE_LINES || c->used >= LINECACHE_SLOTS / 2) {
    // Scripts that build a new line every time must not crowd out the lines of the scripts themselves.
    return nullptr;
  }
  CompiledLine* out = nullptr;
  if (seen) {
    out = compile_line(ctx, c, line, offset, 0);
    // A substituted For line finds its "to" part in the script's text: it is read as usual.
    if (out && out->kind == LK_FOR) out = nullptr;
  }
  if (!out) {
    out = static_cast<CompiledLine*>(arena_take(c, sizeof(CompiledLine)));
    if (!out) return nullptr;
    init_line(*out);
    out->kind = seen ? LK_SLOW : LK_SEEN;
    out->offset = uint16_t(offset);
  }
  char* text = static_cast<char*>(arena_take(c, n + 1));
  if (!text) return nullptr;
  std::memcpy(text, line, n + 1);
  out->key = key;
  out->length = uint32_t(n);
  out->text = text;
  if (!seen) {
    place(c, key, out);
    ++c->textLines;
  } else {
    ++c->epoch;
    *where = out;
  }
  return out;
}

void* linecache_extra(RunContext* ctx, size_t bytes) {
  return ctx->lineCache ? arena_take(ctx->lineCache, bytes) : nullptr;
}

void linecache_forget_script(RunContext* ctx, uint32_t scriptKey) {
  LineCache* c = ctx->lineCache;
  if (!c || !scriptKey) return;
  ++c->epoch;
  for (uint32_t i = 0; i < c->used; ++i) {
    const CompiledLine*& e = c->slots[c->taken[i]];
    if (e != TOMBSTONE && uint32_t(e->key >> 32) == scriptKey) e = TOMBSTONE;
  }
}

void linecache_forget_line(RunContext* ctx, const HeldScript* hs, uint32_t at) {
  LineCache* c = ctx->lineCache;
  if (!c || !hs->cacheKey) return;
  ++c->epoch;
  for (uint32_t i = 0; i < c->used; ++i) {
    const CompiledLine*& e = c->slots[c->taken[i]];
    if (e == TOMBSTONE || uint32_t(e->key >> 32) != hs->cacheKey) continue;
    if (at >= e->lineStart && at <= e->lineStart + e->length) e = TOMBSTONE;
  }
}

void linecache_clear(RunContext* ctx) {
  LineCache* c = ctx->lineCache;
  if (c && !ctx->nCompiledActive) reset(c, ctx);
}

void linecache_release(RunContext* ctx) {
  std::free(ctx->lineCache);
  ctx->lineCache = nullptr;
}

}  // namespace tov
