// Keeping the host responsive: message pumping, the Ctrl+Break check and the message-pumping wait.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;

// Dispatches waiting messages while no stop is requested, checking Ctrl+Break after each; fast yields
// with zero-length sleeps instead of 20 ms ones. Between statements the system is asked at most once per
// clock tick.
void PumpMessages(RunContext* ctx, bool fast = false, bool between_statements = false);
// Whether a pump between statements, now, would do nothing but set the count of statements to the next one
// (*count): pumps are off, or the last one was in this clock tick, and nothing listens.
bool pump_only_counts(const RunContext* ctx, uint32_t* count);
void CtrlBreakCheck(RunContext* ctx);
// Waits ms milliseconds while pumping messages; a stop request ends the wait early.
void Wait(RunContext* ctx, uint32_t ms);

}  // namespace tov
