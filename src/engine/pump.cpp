#include "engine/pump.h"

#include "engine/context.h"
#include "ext/host_call.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace tov {

namespace {
constexpr uint32_t PUMP_OFF = 2;        // nPumpFlags: no message pumping at all
constexpr uint32_t BREAK_IGNORED = 8;   // nBreakFlags: Ctrl+Break is ignored
constexpr uint32_t NOTIFY_PUMP = 1;     // nHostNotify
constexpr uint32_t STATEMENTS_PER_PUMP = 16;
}  // namespace

void CtrlBreakCheck(RunContext* ctx) {
  if (plat::ctrl_break_pressed() && !(ctx->nBreakFlags & BREAK_IGNORED)) {
    ctx->hdr.bCancel = 1;
    ctx->bCtrlBreak = 1;
  }
  if (ctx->nHostNotify & NOTIFY_PUMP) {
    // A notification must not change the run's error state.
    const uint16_t saved = ctx->err;
    notify_host(ctx, HOST_NOTIFY_PUMP, "1");
    ctx->err = saved;
  }
}

bool pump_only_counts(const RunContext* ctx, uint32_t* count) {
  if (ctx->nHostNotify) return false;
  if (ctx->nPumpFlags & PUMP_OFF) {
    *count = ctx->nPumpSkip;
    return true;
  }
  *count = STATEMENTS_PER_PUMP - 1;
  return plat::tick_count_coarse() == ctx->nLastPumpTick;
}

void PumpMessages(RunContext* ctx, bool fast, bool between_statements) {
  if (ctx->nPumpFlags & PUMP_OFF) return;
  // Between statements the system is asked for messages, keys and a time slice once per clock tick: a
  // tight loop of statements would otherwise spend most of its time in system calls.
  if (between_statements) {
    ctx->nPumpSkip = STATEMENTS_PER_PUMP - 1;
    const uint32_t now = plat::tick_count_coarse();
    if (now == ctx->nLastPumpTick) {
      if (ctx->nHostNotify & NOTIFY_PUMP) CtrlBreakCheck(ctx);
      return;
    }
    ctx->nLastPumpTick = now;
  }
  bool any = false;
  while (!ctx->hdr.bCancel && plat::pump_one_message()) {
    any = true;
    CtrlBreakCheck(ctx);
    plat::sleep_ms(fast ? 0 : 20);
  }
  if (!any) CtrlBreakCheck(ctx);
  if (!fast) plat::sleep_ms(0);
}

void Wait(RunContext* ctx, uint32_t ms) {
  if (ms) {
    const uint32_t start = plat::tick_count();
    uint32_t remaining = ms;
    for (;;) {
      if (!plat::wait_for_input(remaining)) break;
      PumpMessages(ctx);
      if (ctx->hdr.bCancel) break;
      const uint32_t elapsed = plat::tick_count() - start;
      if (elapsed >= ms) break;
      remaining = ms - elapsed;
    }
  }
  plat::sleep_ms(0);
}

}  // namespace tov
