// Reporting errors: the error dialog (or its console form) and what the run does next.
#pragma once
#include <cstdint>
#include "platform/ui.h"

namespace tov {

struct RunContext;

enum Severity : int { SEV_MODERATE = 0, SEV_MINOR = 1, SEV_SEVERE = 13 };

Severity severity_of(uint32_t number);

// Shows the report of error `number` (title id above 99: that message becomes the report title; otherwise
// the caller has placed the failing line in es.reportTitle). Returns 1 to continue, 0 to end the run.
int ReportError(RunContext* ctx, plat::WindowHandle owner, uint32_t titleId, uint32_t number, int severity);

// Shows the report (dialog, console report or quiet log) for the report title and message already set.
// Returns the button: plat::ERRBOX_CONTINUE, ERRBOX_EXIT or ERRBOX_SUPPORT.
int show_report(RunContext* ctx, plat::WindowHandle owner, bool with_continue, uint32_t number,
                const char* message_text);

// Appends an entry to the quiet log (when one is set): the time and host caption, the message and the text.
void write_quiet_log(RunContext* ctx, const char* message, const char* text);

// Reports a failure of loading script text at once: for 102 and 217 the title is `name`, the number
// itself; for the others the title is the message of `number` and the number shown is 111. The number
// stays the current error.
void ReportLoadError(RunContext* ctx, uint32_t number, const char* name);

}  // namespace tov
