// A run context for unit tests, set up through the Engine's own initialisation phases, with helpers to run
// expressions and scripts in it.
#pragma once
#include <gtest/gtest.h>

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
#include "lang/variables.h"
#include "platform/memory.h"
#include "platform/ui.h"

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

  // Bytes of the string heap in use now.
  uint32_t heap_used() const {
    HeapStats stats{};
    return heap_check(ctx_, &stats) ? stats.usedBytes : UINT32_MAX;
  }

  // Runs script text through the host entry of the Engine, as a host would, as the script file `file`;
  // returns ProcessDaBatBuffer's result. The context's outcome stays readable (hdr.nRunResult,
  // hdr.nRunError) and variables too. The text may hold NUL bytes (UTF-16 texts).
  uint32_t run(const std::string& script, void* host_callback = nullptr, const void* host_keywords = nullptr,
               const char* file = "") {
    plat::HostHandle block = plat::host_alloc(script.size() + 2);
    std::memcpy(plat::host_lock(block), script.data(), script.size());
    plat::host_unlock(block);
    engine_init(nullptr, handle_, 0, INIT_SCRIPT_FILE, 0, file, nullptr);
    plat::host_unlock(table_);
    plat::host_unlock(handle_);
    const uint32_t r = engine_run(nullptr, handle_, block, host_callback, const_cast<void*>(host_keywords));
    plat::host_free(block);
    ctx_ = static_cast<RunContext*>(plat::host_lock(handle_));
    ctx_->lpVars = static_cast<VarSlot*>(plat::host_lock(table_));
    ctx_->aVarFrame[0].slots = ctx_->lpVars;
    return r;
  }
  // Runs script text whose error is expected, with reports as console lines; returns its standard error.
  std::string run_reported(const std::string& script, const char* file = "") {
    plat::set_console_ui(true);
    testing::internal::CaptureStderr();
    run(script, nullptr, nullptr, file);
    return testing::internal::GetCapturedStderr();
  }
  // The text of a variable's value ("" when it has none).
  std::string var_text(const char* name) {
    char buf[4096];
    return variable_value_as_text(ctx_, name, buf, sizeof buf) >= 0 ? std::string(buf) : std::string();
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
