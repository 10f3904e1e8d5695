// Feeds arbitrary lines to the tokenizer and the evaluator in one long-lived run context. Each line of an
// input goes through %name% substitution and is then evaluated as an expression statement (assignments,
// "*pointer = value" included). The lines then run again as the body of a loop of three passes, so that they
// are read, noted, compiled and run from the line cache. After each input every variable is dropped, and
// the string heap must be intact and back at the bytes it used before the input: a string that was not
// freed is a finding too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "engine/script.h"
#include "exec/compiled.h"
#include "exec/run.h"
#include "exec/udf.h"
#include "engine/tovengine.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "test_context.h"

using namespace tov;

namespace {

constexpr size_t MAX_LINES = 32;

test::TestContext& context() {
  static test::TestContext* t = [] {
    plat::set_console_ui(true);
    return new test::TestContext(4096, size_t(256) << 20);
  }();
  return *t;
}

// One statement, read the way the run loop reads an expression statement.
void run_line(RunContext* ctx, char* line) {
  ctx->err = 0;
  error_info_free(ctx);
  ctx->nTopTarget = 0xFFFFFFFFu;
  if (!SubstituteLine(ctx, line)) return;
  const char* stmt = line;
  while (*stmt == ' ' || *stmt == '\t') ++stmt;
  const bool through_pointer = *stmt == '*';
  if (through_pointer) ++stmt;
  ctx->szLine = line;
  ctx->tok.prog = stmt;
  ctx->tok.tok_type = TT_END;
  ctx->tok.derefPending = through_pointer;
  get_token(ctx);
  if (ctx->err || ctx->tok.tok_type == TT_END) return;
  Value v;
  value_init(v);
  ProcessSubExpression(ctx, &v, true, through_pointer);
  value_free(ctx, v);
}

constexpr uint32_t STATEMENT_BUDGET = 2000;
uint32_t g_statements = 0;
RunContext* g_ctx = nullptr;

// Pump notifications come once a statement: past the budget the loop is asked to stop, as Ctrl+Break would.
int32_t TOV_CALL host_callback(void*, void*, uint32_t, int32_t id, void*, void*, uint32_t*, void*, int32_t, void*) {
  if (id == -1 && g_ctx && ++g_statements > STATEMENT_BUDGET) g_ctx->hdr.bCancel = 1;
  return 0;
}

// The lines as the body of a loop run three times: the first pass reads them, the second compiles them, the
// third runs their compiled form.
void run_as_loop(RunContext* ctx, const std::string& body) {
  std::string text = "For fz_pass = 1 to 3\n" + body + "Next\n";
  HeldScript hs{};
  hs.text = text.data();
  hs.length = uint32_t(text.size());
  hs.udf = NO_UDF;
  hs.cacheKey = linecache_new_key();
  uint32_t line_start = 0, pos = 0;
  Value result;
  value_init(result);
  ctx->err = 0;
  g_ctx = ctx;
  g_statements = 0;
  ctx->lpfnHost = reinterpret_cast<void*>(&host_callback);
  ctx->nHostNotify = 1;
  ctx->hdr.bCancel = 0;
  RunLoop(ctx, &result, &hs, &line_start, &pos);
  // The loop's text lives on this frame: an error of a later line must not look it up, as after a host run.
  ctx->hRunScript = nullptr;
  ctx->hdr.bCancel = 0;
  ctx->nHostNotify = 0;
  ctx->lpfnHost = nullptr;
  value_free(ctx, result);
  linecache_forget_script(ctx, hs.cacheKey);
  ctx->nStructDepth = 0;
  ctx->bInLoop = 0;
  ctx->nPendingIf = -1;
  ctx->bInDefinition = 0;
  ctx->nDeferredError = 0;
}

// Functions and subroutines defined by earlier inputs live on in the context: a finding needs them replayed,
// so they are printed as definitions.
void print_definitions(RunContext* ctx) {
  for (int32_t i = 0; i < ctx->nUdfCount; ++i) {
    const UdfRecord* rec = ctx->apUdf[i];
    if (!rec || !rec->hBody) continue;
    const char* kind = rec->kind == UDF_SUBROUTINE ? "Subroutine" : "Function";
    std::fprintf(stderr, "#Define%s %s(", kind, rec->name);
    for (int p = 0; p < rec->paramCount; ++p) std::fprintf(stderr, "%s%s", p ? ", " : "", rec->params[p]);
    std::fprintf(stderr, ")\n%.*s#End%s\n", int(rec->bodyLength), rec->bodyText, kind);
  }
}

void reset(RunContext* ctx) {
  for (uint16_t i = ctx->nVarUsed; i-- > 1;)
    if (ctx->lpVars[i].c.type) slot_drop(ctx, i);
  // Dropping shrinks the table only from its top slot; free slots left below it go as well.
  for (uint16_t i = 1; i < ctx->nVarUsed; ++i)
    if (ctx->lpVars[i].c.type) std::abort();
  ctx->nVarUsed = 1;
  // The table changed behind the engine's back: it takes a new layout number, as a host's table does when a
  // run locks it, so that no slot remembered under the old number is taken again.
  new_layout(ctx);
  init_reserved_slot(&ctx->lpVars[0]);
  ctx->err = 0;
  ctx->decimals = -1;
  error_info_free(ctx);
  fp_clear();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Prompts read standard input: with none, every prompt answers Cancel at once.
  if (!std::freopen("/dev/null", "r", stdin)) std::abort();
  context();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test::TestContext& t = context();
  RunContext* ctx = t.ctx();
  static const uint32_t heap_at_start = t.heap_used();

  char line[LINE_BUFFER_BYTES];
  std::string body;
  size_t at = 0;
  for (size_t n = 0; n < MAX_LINES && at < size; ++n) {
    size_t len = 0;
    while (at < size && data[at] != '\n') {
      if (len < LINE_MAX_CHARS) line[len++] = char(data[at]);
      ++at;
    }
    ++at;
    line[len] = 0;
    body.append(line, len).append("\n");
    run_line(ctx, line);
  }
  reset(ctx);
  run_as_loop(ctx, body);
  reset(ctx);

  HeapStats stats{};
  if (!heap_check(ctx, &stats)) {
    std::fprintf(stderr, "string heap damaged\n");
    std::abort();
  }
  if (stats.usedBytes != heap_at_start) {
    std::fprintf(stderr, "string heap holds %u bytes after the input (%u before)\n", stats.usedBytes,
                 heap_at_start);
    print_definitions(ctx);
    std::abort();
  }
  return 0;
}
