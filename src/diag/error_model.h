// The error model: the error state of a run, additional information, and what happens after a failure.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tov {

struct RunContext;

// Hint texts that the parsers add to the additional information.
enum Hint : uint32_t {
  HINT_THEN_MISSING = 9501,
  HINT_EXTRA_TOKENS = 9505,
};

void error_state_init(RunContext* ctx);     // at INIT_CONTEXT
void error_state_new_run(RunContext* ctx);  // at the start of every run

// Appends a note to the additional information (1024 bytes at most, notes separated by a rule).
void AddErrorInfo(RunContext* ctx, const char* text);
// Appends the hint with this message id.
void add_hint(RunContext* ctx, uint32_t id);
// The additional information gathered since the last report ("" when none).
const char* error_info_text(RunContext* ctx);
// Its length, and dropping what was added after it held length characters.
size_t error_info_length(RunContext* ctx);
void error_info_cut(RunContext* ctx, size_t length);
void error_info_free(RunContext* ctx);

// Records a failed system call: "code (api)" as the settings file's LastError, and with show the
// "api error:\n\n    code" note in the additional information.
void ReportApiError(RunContext* ctx, uint32_t code, const char* api, bool show);

}  // namespace tov
