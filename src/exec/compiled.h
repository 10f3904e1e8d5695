// The compiled form of script lines: what reading a line produced (its statement, keyword ids, numbers
// already converted, string constants, variable references), kept so that a line run again is not read
// again. Lines are compiled on their second run; lines with % are read each time.
#pragma once
#include <cstdint>

#include "engine/context.h"
#include "engine/script.h"
#include "ext/extenders.h"
#include "lang/value.h"

namespace tov {

// One step of an expression in postfix order: operands push a value, operators combine the top ones.
enum OpCode : uint8_t {
  OP_INT,       // payload.i
  OP_FLOAT,     // payload.f
  OP_STRING,    // payload.text: offset and length in the line's string constants
  OP_CONSTANT,  // code: an @ constant of the Engine's table
  OP_VARIABLE,  // index: the line's variable reference
  OP_UNARY,     // code: KW_NOT, KW_PLUS, KW_MINUS, KW_BIT_NOT
  OP_BINARY,    // code: an arithmetic, bitwise, logical or comparison operator
  OP_CONCAT,    // ":"; argc 1 when another concatenation follows in the expression
  OP_CALL,      // code: built-in or user-defined function; argc arguments on the stack; total declared
};

struct Op {
  uint8_t code;
  uint8_t argc;
  uint8_t total;
  uint8_t lend;       // a pure built-in, a comparison or a concatenation (its right part) reads the operand
                      // as it stands: OP_VARIABLE 1, the variable's string itself; OP_STRING k, the
                      // context's block k - 1 holding the text; OP_CALL 1, a built-in of pure_builtin's list
  int32_t kw;
  union {
    int32_t i;
    double f;
    uint32_t index;
    uint64_t signature;
    struct {
      uint32_t at;
      uint32_t length;
    } text;
  } payload;
};

// A variable named by a line, with the slot it was last found in. The slot is a hint: it is used only while
// the current table holds the same name there, so drops, new frames and other tables are safe.
struct VarRef {
  char name[VARNAME_BYTES];   // zero-padded
  uint16_t slot;
  uint16_t length;
  LayoutNumber layout;        // the table's nVarLayout when slot was found
  // When the name was last made at the end of a table (in slot), the table's number before and after: a table
  // numbered madeFrom again takes it there again (a function's locals, made anew on every call).
  LayoutNumber madeFrom, madeTo;
};

constexpr uint16_t NO_EXPR = 0xFFFF;

// How the whole-number evaluation works an expression out, known once the line is compiled.
enum WholeShape : uint8_t {
  WHOLE_NONE,       // not made of plain whole numbers alone, or calls a function: declined at once
  WHOLE_OPERAND,    // a number or a variable alone
  WHOLE_BINARY,     // one operator between two of them
  WHOLE_LANE,       // anything else of plain whole numbers
};

struct CompiledExpr {
  uint16_t first = NO_EXPR;   // first op; NO_EXPR: no expression
  uint16_t count = 0;
  uint16_t depth = 0;         // values on the stack at most
  uint16_t calls = 0;         // function calls in it
  uint16_t integers = 0;      // made only of what the whole-number evaluation covers (calls included)
  uint8_t whole = WHOLE_NONE; // WholeShape
};

// Statement kinds of a compiled line.
enum LineKind : uint8_t {
  LK_SEEN,       // read once: its place is known, the statement is read as usual
  LK_EMPTY,      // blank, comment, or a label alone
  LK_SUBST,      // holds %: its text is substituted each time, and the result may be compiled by its text
  LK_SLOW,       // a statement the compiled form does not cover: read as usual
  LK_EXPRESSION, // an expression statement, with an assignment when target is set
  LK_IF,         // If cond [Then [statement]]; inner: the statement after Then
  LK_ELSEIF,
  LK_ELSE,       // Else [statement]
  LK_ENDIF,
  LK_WHILE,
  LK_ENDWHILE,
  LK_FOR,        // For var = e[0] To e[1] [By e[2]]
  LK_TO,         // the "to" part of a For line, run by each Next: To e[1] [By e[2]]
  LK_NEXT,
  LK_SWITCH,
  LK_CASE,
  LK_ENDSWITCH,
  LK_BREAK,
  LK_CONTINUE,
  LK_RETURN,     // Return [e[0]]
};

constexpr uint16_t NO_VAR = 0xFFFF;

// Assignments that only add to the end of the string their variable holds.
enum AppendKind : uint8_t {
  APPEND_NONE,
  APPEND_CONCAT,        // v = v : e[1]
  APPEND_ITEM,          // v = ItemInsert(e[1], e[2], v, e[3]) with a negative index
};

struct CompiledLine;

// A run of lines that a block in a skipping state passes over, from the line that holds it: the lines only
// read their first word (their variables exist) and leave the effects noted here. It holds while the
// cache's epoch, the variable table's layout, and the kind and state of the skipping record are the same.
struct SkipRun {
  const CompiledLine* last;   // the run's last line
  uint32_t epoch;
  LayoutNumber layout;
  uint16_t kind;              // the record's kind and state the run was found under
  uint8_t state;
  uint8_t lastClass;          // the statement class of the run's last statement
  uint8_t effects;            // SKIP_*
};

enum SkipEffect : uint8_t {
  SKIP_VALID = 1,
  SKIP_FORGETS_IF = 2,        // a structure statement in the run forgets a pending single-line If
  SKIP_CLEARS_BRANCH = 4,     // a Break, Continue or Else in the run
  SKIP_MEETS_ELSE = 8,        // the If's record became its Else's
};

// The branch a chain of tests reached for values met before: the Case line of a Switch's value, or the
// ElseIf (or Else) line of an If whose chain tests one variable for equality with numbers. The branch is found
// without testing the ones before it when those test numbers and the lines between them only read their
// first word (their variables exist). It holds while the cache's epoch and the variable table's layout are
// the same.
struct CaseJump {
  int32_t value;
  const CompiledLine* line;   // the branch's line: LK_CASE, LK_ELSEIF or LK_ELSE
};
constexpr uint32_t CASE_JUMPS = 8;
struct CaseTable {
  uint32_t epoch;
  LayoutNumber layout;
  uint32_t count;
  CaseJump jump[CASE_JUMPS];
};

// The calls with an effect of a line that runs straight.
enum CallsOut : uint8_t {
  CALLS_NONE = 0,
  CALLS_FILE = 1,        // an expression statement: one call of a built-in of file_line_builtin's list
  CALLS_FUNCTIONS = 2,   // an assignment or a Return: calls of user-defined functions only
};

struct CompiledLine {
  uint64_t key;               // script key << 32 | read position
  uint32_t lineStart;         // the line's first character after its leading blanks
  uint32_t length;            // characters of the line
  uint32_t next;              // read position after the line
  uint16_t offset;            // where the statement starts in the line (after a label)
  uint8_t kind;               // LineKind
  uint8_t block;              // If/Else/ElseIf: nothing follows (the block form); ElseIf: Then present
  uint16_t target;            // assignment target, For variable; NO_VAR
  uint16_t firstVar;          // the variable a skipped expression statement reads first; NO_VAR
  uint16_t innerOffset;       // If/Else single-line form: where the statement after Then/Else starts
  uint16_t touchFirst, touchCount;  // If: the variables a skipped If reads up to its Then
  uint8_t append;             // an assignment that appends to its target's string: APPEND_*
  uint8_t straight;           // RunsStraight: a line RunQuick may run
  uint8_t pure;               // its expressions call only built-ins of pure_builtin's list: working them out
                              // has no effect but a value or an error
  uint8_t callsOut;           // CALLS_*: a line whose only calls with an effect are these runs straight, as the
                              // general form runs it, and a failure is dispatched after it
  uint8_t mayEnd;             // a straight line after which the straight run looks at more than the next line:
                              // it calls out, or it is a Return (alone or after Then)
  CompiledExpr e[4];          // appends: the parts besides the target, from e[1]
  const CompiledLine* inner;  // the statement after Then/Else when it compiled; null otherwise
  Op* ops;
  VarRef* vars;
  const char* strings;
  const char* text;           // a line found by its substituted text: that text
  uint16_t varCount;
  // The lines a skipping block passes over from this one, when known: one run for a block whose condition
  // was false (where Case and ElseIf lines are tested), one for other skipping states.
  mutable SkipRun skip[2];
  mutable CaseTable* cases;   // a Switch or If line: its branches by value, once looked for
  // The line found at linkPos after this one, the last time, under the cache's epoch linkEpoch.
  mutable const CompiledLine* link;
  mutable uint32_t linkPos, linkEpoch;
};

// The line cache of a context. Entries live in one arena, found through a hash of their key; when either
// is full the whole cache is emptied (never while a compiled line is running).
constexpr uint32_t LINECACHE_SLOTS = 8192;              // a power of two, twice the line cap
static_assert(LINECACHE_SLOTS <= 65536, "slot numbers are kept in 16 bits");
constexpr uint32_t LINECACHE_LINES = 4096;              // lines kept at most; then the cache starts afresh
constexpr size_t LINECACHE_ARENA = size_t(2) << 20;     // bytes of compiled forms kept at most

struct LineCache {
  const CompiledLine* slots[LINECACHE_SLOTS];
  // The slots taken since the last reset, in order: clearing and forgetting visit only these.
  uint16_t taken[LINECACHE_SLOTS / 2];
  uint32_t lines;
  uint32_t textLines;      // lines kept by their substituted text (at most a quarter of the cap)
  uint32_t used;           // slots not empty (live or tombstones), at most half of them
  // What names mean depends on these: user-defined functions, extender functions, the host's keywords.
  int32_t udfCount;
  uint32_t extCount;
  const void* hostKeywords;
  size_t arenaUsed;
  // Changes whenever an entry goes or is replaced (never when one is added): what was noted about lines
  // under the same epoch still holds.
  uint32_t epoch;
  alignas(16) char arena[LINECACHE_ARENA];
};

inline uint32_t linecache_hash(uint64_t key) {
  return uint32_t((key * 0x9E3779B97F4A7C15ull) >> 40) & (LINECACHE_SLOTS - 1);
}

// The compiled line for a read position when the cache is in step with the names it was made under.
const CompiledLine* linecache_find_slow(RunContext* ctx, const HeldScript* hs, uint32_t pos);

// Whether the cache's lines were made under the names the context has now, with the cache in use: the
// fields are compared all at once (every line found goes through this).
inline bool linecache_in_step(const LineCache* c, const RunContext* ctx) {
  const uintptr_t keywords =
      reinterpret_cast<uintptr_t>(c->hostKeywords) ^ reinterpret_cast<uintptr_t>(ctx->lpHostKeywords);
  return ((uint32_t(c->udfCount) ^ uint32_t(ctx->nUdfCount)) | (c->extCount ^ ctx->ext.nFunctions) | keywords |
          ctx->nDiagMode | ctx->bLineCacheOff) == 0;
}

// The compiled line for a read position of a script, or null.
inline const CompiledLine* linecache_find(RunContext* ctx, const HeldScript* hs, uint32_t pos) {
  LineCache* c = ctx->lineCache;
  if (!c || !hs->cacheKey) return nullptr;
  if (!linecache_in_step(c, ctx)) return linecache_find_slow(ctx, hs, pos);
  const uint64_t key = uint64_t(hs->cacheKey) << 32 | pos;
  for (uint32_t h = linecache_hash(key);; h = (h + 1) & (LINECACHE_SLOTS - 1)) {
    const CompiledLine* e = c->slots[h];
    if (!e) return nullptr;
    if (reinterpret_cast<uintptr_t>(e) != 1 && e->key == key) return e;
  }
}
// The line at pos after the line from, which remembers the one it found last time (a loop's lines follow
// each other without a search).
inline const CompiledLine* linecache_after(RunContext* ctx, const HeldScript* hs, const CompiledLine& from,
                                           uint32_t pos) {
  const LineCache* c = ctx->lineCache;
  if (c && from.linkPos == pos && from.linkEpoch == c->epoch && from.link && linecache_in_step(c, ctx))
    return from.link;
  const CompiledLine* found = linecache_find(ctx, hs, pos);
  if (found) {
    from.link = found;
    from.linkPos = pos;
    from.linkEpoch = ctx->lineCache->epoch;
  }
  return found;
}
// linecache_after within a straight run, where the names lines were compiled under cannot change: the line's
// own link is enough.
[[gnu::always_inline]] inline const CompiledLine* linked_after(RunContext* ctx, const HeldScript* hs,
                                                              const CompiledLine& from, uint32_t pos) {
  return from.link && from.linkPos == pos && from.linkEpoch == ctx->lineCache->epoch
             ? from.link
             : linecache_after(ctx, hs, from, pos);
}
// Records a line just read from pos: the first time its place, the second time its compiled form (lines
// with % and definition lines are never recorded). Returns the entry or null.
const CompiledLine* linecache_record(RunContext* ctx, const HeldScript* hs, uint32_t pos, uint32_t lineStart,
                                     uint32_t next, const char* line);
// The compiled form of a statement by the substituted text of its line (offset: where the statement starts):
// noted the first time, compiled the second. Null, or an entry whose kind says whether it compiled.
const CompiledLine* linecache_text(RunContext* ctx, const char* line, uint32_t offset);
// Memory that lives as long as the cache's entries (null when the cache is full): for what is noted about
// lines after they were compiled.
void* linecache_extra(RunContext* ctx, size_t bytes);
// Forgets the compiled lines of a script whose text goes, or of one line whose text changed.
void linecache_forget_script(RunContext* ctx, uint32_t scriptKey);
void linecache_forget_line(RunContext* ctx, const HeldScript* hs, uint32_t lineStart);
// Empties the cache (a new run: the host's keyword table may differ).
void linecache_clear(RunContext* ctx);
void linecache_release(RunContext* ctx);
// A fresh key for a script text: keys are never reused, so a new text never meets an old text's lines.
uint32_t linecache_new_key();


// Runs a compiled statement (ExecuteStatement's contract).
struct StatementPlace;
int ExecuteCompiled(RunContext* ctx, Value* result, const StatementPlace& at, const CompiledLine& cl);

// Whether RunQuick may run a compiled line in a block that runs (its shape is one it covers).
bool RunsStraight(const CompiledLine& cl);
// The commonest compiled statements run straight, without the general statement protocol. When the
// statement ran (only a line that calls out can fail, its error left set for the caller to dispatch): the last
// compiled line that ran, cl or the head of the loop whose end
// cl is (the two run as one when nothing would happen between them); null with nothing done but variable
// lookups: the general path is to run it. The caller has done what every statement does first and does what
// follows every statement. *pos: the read position after the line (changed by jumps); *start, *length: the
// place of the last line that ran (a Switch or If may run its matching branch's line too, which is then the
// line returned).
const CompiledLine* RunQuick(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl,
                             uint32_t* pos, uint32_t* start, uint32_t* length);
// RunQuick for an expression line in a block that runs (the commonest statement, without the dispatch).
const CompiledLine* RunQuickExpression(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl);

// A block in a skipping state passes over the run of lines from first that only read their first word:
// the run's last line; null when first is not such a line.
const CompiledLine* PassSkippedLines(RunContext* ctx, const HeldScript* hs, const CompiledLine& first);

// Compiled expression n of a line when it compares a variable holding plain text with a string constant and
// one of the two cannot read as a number (the comparison is then one of texts): true with the truth (1 or
// 0); false with nothing done but the variable's lookup.
bool compare_text_with_constant(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out);
inline bool CompareTextWithConstant(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  return cl.e[n].count == 3 && compare_text_with_constant(ctx, cl, n, out);
}
// Evaluates compiled expression n of a line into result (freed first). Leaves the error in ctx->err.
void EvaluateCompiled(RunContext* ctx, const CompiledLine& cl, int n, Value* result);
// Whether the slot a variable reference was found in last time still holds it.
// (Slots past the used ones are never taken, whatever a table's number.)
inline bool hint_holds(const RunContext* ctx, const VarRef& ref) {
  return ref.slot && ref.layout == ctx->nVarLayout && ref.slot < ctx->nVarUsed && ctx->lpVars[ref.slot].c.type;
}
enum class Hinted { No, Yes, LookUp };
// A number, or a variable holding a plain integer, through the slot the variable was found in last time:
// LookUp when that does not hold (nothing was done).
[[gnu::always_inline]] inline Hinted hinted_operand(const RunContext* ctx, const CompiledLine& cl, const Op& op,
                                                    int32_t* out) {
  if (op.code == OP_INT) {
    *out = op.payload.i;
    return Hinted::Yes;
  }
  const VarRef& ref = cl.vars[op.payload.index];
  if (!hint_holds(ctx, ref)) return Hinted::LookUp;
  const ValueCore& v = ctx->lpVars[ref.slot].c;
  if (v.type != VF_INTEGER) return Hinted::No;
  *out = v.i;
  return Hinted::Yes;
}
bool evaluate_whole_number(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out);
// Compiled expression n of a line when it is a whole number worked out without anything the general
// evaluation would report or change: true with the number; false with nothing done but the same variable
// lookups, the general evaluation then to run. A number or a variable alone is read here.
inline bool EvaluateWholeNumber(RunContext* ctx, const CompiledLine& cl, int n, int32_t* out) {
  const CompiledExpr& e = cl.e[n];
  if (e.whole == WHOLE_OPERAND) {
    const Hinted h = hinted_operand(ctx, cl, cl.ops[e.first], out);
    if (h != Hinted::LookUp) return h == Hinted::Yes;
  }
  return evaluate_whole_number(ctx, cl, n, out);
}
// The slot of a variable reference in the current table, created uninitialised when missing (as reading
// its name would); SLOT_NONE with the error set when the table is full.
uint16_t resolve_var(RunContext* ctx, VarRef& ref);
// Frees the blocks that held string constants lent to pure built-ins and comparisons (at the end of a run).
void release_lent_texts(RunContext* ctx);
// An assignment of a plain whole number (expression 0) to a variable holding no array or object: true when
// done; false with nothing done but variable lookups.
bool AssignWholeNumber(RunContext* ctx, const CompiledLine& cl);
// An assignment statement: the target, then the value of expression 0 (ProcessSubExpression's contract).
// Without handle_errors an error is left in ctx->err before any handler runs, with nothing assigned.
void AssignCompiled(RunContext* ctx, const CompiledLine& cl, Value* result, bool handle_errors = true);

}  // namespace tov
