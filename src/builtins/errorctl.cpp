// Error and run control of scripts: ErrorMode, LastError, ErrorEvent, Terminate and the error requests of
// IntControl.
#include <cstdio>
#include <cstring>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "diag/trace.h"
#include "lang/keywords.h"
#include "platform/ui.h"

namespace tov {

namespace {

constexpr int32_t USER_CODE_FIRST = 7000, USER_CODE_LAST = 7999;
constexpr size_t USER_TEXT_MAX = 255;
constexpr size_t HANDLER_NAME_MAX = 30;

bool extended_instead(uint32_t n) {
  return n == ERR_EXTENDER_MINOR || n == ERR_EXTENDER_MODERATE || n == ERR_EXTENDER_SEVERE ||
         n == STATUS_REPORTED_IN_CALL || n == STATUS_EXTENDER_REPORTED || n == STATUS_UDF_FAILED ||
         n == STATUS_USER_ERROR_REPORTED;
}

void bi_errormode(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const uint32_t previous = ctx->es.errorMode;
  const int32_t mode = arg_int(a, 1);
  ctx->es.errorMode = mode == 0 ? EM_OFF : mode == 1 ? EM_CANCEL : EM_NOTIFY;
  trace_error_mode(ctx);
  set_integer(ctx, result->c, int32_t(previous));
}

void bi_lasterror(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  const uint32_t last = ctx->es.lastError;
  set_integer(ctx, result->c, int32_t(extended_instead(last) ? ctx->es.extendedCode : last));
  ctx->es.lastError = 0;
  ctx->es.extendedCode = 0;
}

void bi_errorevent(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t severity = arg_int(a, 1), code = arg_int(a, 2);
  uint16_t number;
  switch (severity) {
    case -1: number = ERR_USER_MINOR; break;
    case -2: number = ERR_USER_MODERATE; break;
    case -3: number = ERR_USER_SEVERE; break;
    default: ctx->err = ERR_ERROREVENT_SEVERITY; return;
  }
  if (code < USER_CODE_FIRST || code > USER_CODE_LAST) {
    ctx->err = ERR_ERROREVENT_CODE;
    return;
  }
  set_integer(ctx, result->c, 1);
  ctx->es.extendedCode = uint32_t(code);
  std::snprintf(ctx->es.userErrorText, USER_TEXT_MAX + 1, "%s", arg_str(ctx, a, 3));
  ctx->err = number;
  // Suppressed or handled by the normal dispatch: it sees the code and the message.
  if ((ctx->es.errorMode == EM_OFF && severity == -1) || ctx->es.errorHandlerMode != HANDLER_OFF) return;
  std::snprintf(ctx->es.reportMessage, sizeof ctx->es.reportMessage, "User-Defined Error:  %d: %s", int(code),
                ctx->es.userErrorText);
  std::snprintf(ctx->es.reportTitle, sizeof ctx->es.reportTitle, "%s", ctx->es.userErrorText);
  ctx->es.lastError = number;
  const bool ends = ctx->es.errorMode == EM_CANCEL || severity == -3;
  // The box shows the report message, so the user's code is seen with the text.
  const int button = show_report(ctx, ctx->hwndOwner, !ends, number, ctx->es.reportMessage);
  error_info_free(ctx);
  ctx->err = STATUS_USER_ERROR_REPORTED;
  if (!ends && button != plat::ERRBOX_EXIT && button != plat::ERRBOX_SUPPORT) ctx->es.continueFlag = 1;
}

// Terminate(condition, title, message): a true condition ends the run after showing the message, if any.
void bi_terminate(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (!arg_int(a, 1)) {
    set_integer(ctx, result->c, 0);
    return;
  }
  const std::u16string title = arg_wide(ctx, a, 2), text = arg_wide(ctx, a, 3);
  if (!text.empty())
    plat::message_box_w(ctx->hwndHost, text.c_str(), title.c_str(), plat::MB_OK_ONLY | plat::MB_SET_FOREGROUND,
                        nullptr, nullptr);
  ctx->err = STATUS_TERMINATED;
}

// --- IntControl requests ------------------------------------------------------------------------------

void ic_quiet(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->es.quietMode);
  const int32_t mode = intcontrol_number(p[0]);
  if (mode == 0 || mode == 1) ctx->es.quietMode = uint32_t(mode);
  if (*p[1]) std::snprintf(ctx->es.quietLogFile, sizeof ctx->es.quietLogFile, "%s", p[1]);
  intcontrol_result(ctx, result, previous);
}

void ic_support(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->es.supportButton);
  const int32_t mode = intcontrol_number(p[0]);
  if (mode == 0 || mode == 1) ctx->es.supportButton = uint32_t(mode);
  if (*p[1] && std::strcmp(p[1], "0") != 0)
    std::snprintf(ctx->es.supportUrl, sizeof ctx->es.supportUrl, "%s", p[1]);
  intcontrol_result(ctx, result, previous);
}

void set_handler(RunContext* ctx, Value* result, const char* const p[4], int32_t& mode, char* func) {
  const int32_t previous = mode;
  const int32_t wanted = intcontrol_number(p[0]);
  if (wanted >= HANDLER_OFF && wanted <= HANDLER_UDF) {
    mode = wanted;
    if (wanted == HANDLER_UDF) std::snprintf(func, HANDLER_NAME_MAX + 1, "%s", p[2]);
  }
  if (intcontrol_number(p[1]) == 1) error_info_free(ctx);
  intcontrol_result(ctx, result, previous);
}

void ic_cancel_handler(RunContext* ctx, Value* result, const char* const p[4]) {
  set_handler(ctx, result, p, ctx->es.cancelHandlerMode, ctx->es.cancelHandlerFunc);
}

void ic_error_handler(RunContext* ctx, Value* result, const char* const p[4]) {
  set_handler(ctx, result, p, ctx->es.errorHandlerMode, ctx->es.errorHandlerFunc);
}

void ic_execute_setting(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->es.executeSetting);
  const int32_t setting = intcontrol_number(p[0]);
  if (setting >= 0 && setting <= 2) ctx->es.executeSetting = uint32_t(setting);
  intcontrol_result(ctx, result, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_ERRORMODE, bi_errormode},
    {KW_LASTERROR, bi_lasterror},
    {KW_ERROREVENT, bi_errorevent},
    {KW_TERMINATE, bi_terminate},
};

const IntControlEntry kRequests[] = {
    {38, ic_quiet}, {50, ic_support}, {72, ic_cancel_handler}, {73, ic_error_handler}, {87, ic_execute_setting},
};

}  // namespace

extern const BuiltinFamily kErrorBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kErrorIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
