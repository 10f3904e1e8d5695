// A run context for unit tests, set up through the Engine's own initialisation phases, with helpers to run
// expressions and scripts in it.
#pragma once
#include <cstring>
#include <string>

#include "engine/context.h"
#include "engine/lifecycle.h"
#include "engine/tovengine.h"
#include "diag/error_model.h"
#include "lang/eval.h"
#include "lang/heap.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "platform/memory.h"

namespace tov::test {

class TestContext {
 public:
  explicit TestContext(uint16_t slots = 1024, size_t heap_reserve = size_t(64) << 20) : reserve_(heap_reserve) {
    const uint32_t size = engine_init(nullptr, nullptr, uintptr_t(ENGINE_INTERFACE_LEVEL) << 8, INIT_QUERY, 0,
                                      nullptr, nullptr);
    handle_ = plat::host_alloc(size);
    const uint32_t slot_size = engine_init(nullptr, handle_, 0, INIT_CONTEXT, 0, "test", nullptr);
    table_ = plat::host_alloc(size_t(slots) * slot_size);
    engine_init(nullptr, handle_, reinterpret_cast<uintptr_t>(table_), INIT_VARIABLES, slots, nullptr, nullptr);
    heap_ = plat::vm_reserve(reserve_);
    uint32_t sys = 0;
    plat::vm_commit(heap_, 65536, &sys);
    info_ = HeapInfo{sizeof(HeapInfo), 65536, heap_, reserve_};
    engine_init(nullptr, handle_, reinterpret_cast<uintptr_t>(heap_), INIT_HEAP, 65536, nullptr, &info_);
    ctx_ = static_cast<RunContext*>(plat::host_lock(handle_));
    ctx_->lpVars = static_cast<VarSlot*>(plat::host_lock(table_));
    ctx_->aVarFrame[0].slots = ctx_->lpVars;
  }
  ~TestContext() {
    plat::host_unlock(table_);
    ctx_->lpVars = nullptr;
    ctx_->aVarFrame[0].slots = nullptr;
    plat::host_unlock(handle_);
    engine_init(nullptr, handle_, 0, INIT_SHUTDOWN, 0, nullptr, nullptr);
    plat::vm_release(heap_, reserve_);
    plat::host_free(table_);
    plat::host_free(handle_);
  }
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;

  RunContext* ctx() { return ctx_; }
  RunContext* operator->() { return ctx_; }

  // Evaluates an expression (or an assignment statement) in the context; the error number stays in err().
  Value eval(const char* text, bool allow_assign = false) {
    std::strncpy(line_, text, sizeof line_ - 1);
    ctx_->err = 0;
    error_info_free(ctx_);
    ctx_->nTopTarget = 0xFFFFFFFFu;   // as at the start of every statement: no assignment target yet
    ctx_->szLine = line_;
    ctx_->tok.prog = line_;
    ctx_->tok.tok_type = TT_END;
    get_token(ctx_);
    Value v;
    value_init(v);
    if (!ctx_->err) ProcessSubExpression(ctx_, &v, allow_assign, false);
    return v;
  }
  // Runs an assignment statement (or any expression) and frees its value; the error stays in err().
  void assign(const char* text) {
    Value v = eval(text, true);
    value_free(ctx_, v);
  }
  void assign(const std::string& text) { assign(text.c_str()); }
  // The value of an expression as text ("" after an error), freeing the value.
  std::string text_of(const char* expr) {
    Value v = eval(expr);
    std::string s;
    if (!ctx_->err && to_string(ctx_, v.c)) s = str_at(ctx_, v.c.str);
    value_free(ctx_, v);
    return s;
  }
  uint16_t err() const { return ctx_->err; }
  // The error number an expression raises (0 when it succeeds).
  uint16_t error_of(const char* expr) {
    text_of(expr);
    return err();
  }
  uint16_t error_of(const std::string& expr) { return error_of(expr.c_str()); }

  // The context's handle, for the host entry points.
  plat::HostHandle handle() const { return handle_; }

  // Runs script text as a host buffer, the way ProcessDaBatBuffer does, under the name file; returns the
  // entry point's result. The variables stay for eval() afterwards; nRunResult and nRunError tell how the
  // run ended. The text may hold NUL bytes (UTF-16 texts).
  uint32_t run(const std::string& text, const char* file = "") {
    plat::HostHandle script = plat::host_alloc(text.size() + 2);
    std::memcpy(plat::host_lock(script), text.data(), text.size());
    plat::host_unlock(script);
    engine_init(nullptr, handle_, 0, INIT_SCRIPT_FILE, 0, file, nullptr);
    // The entry point leaves the variable table unlocked: it stays locked by this context, in place.
    VarSlot* vars = ctx_->lpVars;
    ctx_->lpVars = nullptr;
    ctx_->aVarFrame[0].slots = nullptr;
    const uint32_t r = engine_run(nullptr, handle_, script, nullptr, nullptr);
    ctx_->lpVars = vars;
    ctx_->aVarFrame[0].slots = vars;
    plat::host_free(script);
    return r;
  }

  // Bytes of the string heap in use now.
  uint32_t heap_used() const {
    HeapStats stats{};
    return heap_check(ctx_, &stats) ? stats.usedBytes : UINT32_MAX;
  }

 private:
  size_t reserve_;
  plat::HostHandle handle_ = nullptr, table_ = nullptr;
  void* heap_ = nullptr;
  HeapInfo info_{};
  RunContext* ctx_ = nullptr;
  char line_[2050] = {};
};

}  // namespace tov::test
