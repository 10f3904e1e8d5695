#include "ext/host_call.h"

#include <cstdio>
#include <cstring>

#include "builtins/callframe.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "engine/context.h"
#include "engine/tovengine.h"
#include "ext/extenders.h"
#include "ext/services.h"
#include "lang/keywords.h"
#include "lang/values.h"
#include "platform/library.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tov {

namespace {

bool is_host(int code) { return code >= PARENTSTART && code < PARENTSTART + HOST_KEYWORDS_MAX; }
bool is_extender(int code) { return code >= ADDONSTART && code < ADDONSTART + int(EXT_FUNCTIONS_MAX); }

// The host's callback takes the ten arguments of an extender entry (interface kind 4).
int32_t call_host(RunContext* ctx, int32_t id, ExtValue* args, int32_t argc, Value* result) {
  auto callback = reinterpret_cast<HostCallback>(ctx->lpfnHost);
  if (!callback) return 0;
  ServiceBlock block;
  make_service_block(ctx, &block, result);
  ExtValue answer{};
  AnswerTarget target(ctx, result);
  return callback(ctx->hwndOwner, plat::program_module(), INTERFACE_STAMP, id, reinterpret_cast<void*>(&viper_answer),
                  &block, nullptr, args, argc, &answer);
}

}  // namespace

AnswerTarget::AnswerTarget(RunContext* ctx, Value* result) : ctx_(ctx), saved_(ctx->ext.answerTarget) {
  ctx->ext.answerTarget = result;
}

AnswerTarget::~AnswerTarget() { ctx_->ext.answerTarget = saved_; }

void string_records(const char* const texts[5], ExtValue out[5]) {
  for (int i = 0; i < 5; ++i) {
    out[i] = ExtValue{};
    out[i].type = VF_STRING;
    out[i].str = texts[i] ? texts[i] : "";
  }
}

int32_t notify_host(RunContext* ctx, int32_t id, const char* t1, const char* t2, const char* t3, const char* t4,
                    const char* t5) {
  const char* texts[5] = {t1, t2, t3, t4, t5};
  ExtValue args[5];
  string_records(texts, args);
  return call_host(ctx, id, args, 5, nullptr);
}

void fill_records(RunContext* ctx, ArgBlock& args, int argc, uint64_t signature, bool wide, ExtValue* out) {
  const bool nt = plat::os_info().nt_family;
  for (int n = 1; n <= argc && n <= int(MAX_ARGS); ++n) {
    const bool as_wide = text_arrives_wide(arg_type(signature, n), wide, nt);
    record_of(ctx, args.slot[n].c, as_wide ? RecordText::Wide : RecordText::AsHeld, &out[n - 1]);
  }
}

void extender_failure(RunContext* ctx, int32_t status) {
  if (!ctx->es.extenderErrorText[0]) set_extender_message(ctx, nullptr);
  ctx->es.extendedCode = EXTENDED_ALREADY_SHOWN;
  int severity;
  switch (status) {
    case -1: ctx->err = ERR_EXTENDER_MINOR; severity = -1; break;
    case -2: ctx->err = ERR_EXTENDER_MODERATE; severity = -2; break;
    case -3: ctx->err = ERR_EXTENDER_SEVERE; severity = -3; break;
    default: ctx->err = ERR_EXTENDER_NO_MEMORY; severity = -3; break;
  }
  // A number at the start of the message (before a colon, within its first 9 characters) is the code.
  char head[10];
  std::snprintf(head, sizeof head, "%s", ctx->es.extenderErrorText);
  if (char* colon = std::strchr(head, ':')) *colon = 0;
  long code = 0;
  if (std::sscanf(head, "%ld", &code) == 1 && code != 0) ctx->es.extendedCode = uint32_t(code);
  switch (status) {
    case -4: return;
    case -5: ctx->err = STATUS_CANCEL; return;
    case -6: ctx->err = STATUS_TERMINATED; return;
    case -7: ctx->err = ERR_EXTENDER_ARRAY; return;
    default: break;
  }
  if ((ctx->es.errorMode == EM_OFF && severity == -1) || ctx->es.errorHandlerMode != HANDLER_OFF) return;
  std::snprintf(ctx->es.reportMessage, sizeof ctx->es.reportMessage, "TOV Extender Error:  %s",
                ctx->es.extenderErrorText);
  ensure_line(ctx);
  std::snprintf(ctx->es.reportTitle, sizeof ctx->es.reportTitle, "%s", ctx->szLine ? ctx->szLine : "");
  const bool ends = ctx->es.errorMode == EM_CANCEL || severity == -3;
  const uint16_t number = ctx->err;
  const int button = show_report(ctx, ctx->hwndOwner, !ends, number, ctx->es.extenderErrorText);
  ctx->err = STATUS_EXTENDER_REPORTED;
  if (!ends && button != plat::ERRBOX_EXIT && button != plat::ERRBOX_SUPPORT) ctx->es.continueFlag = 1;
}

void call_external(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t signature,
                   bool wide) {
  if (is_extender(code)) {
    call_extender(ctx, code, result, args, argc, signature, wide);
    return;
  }
  if (!is_host(code) || !ctx->lpfnHost) {
    ctx->err = ERR_FUNCTION_NOT_DEFINED;
    return;
  }
  ExtValue records[MAX_ARGS] = {};
  fill_records(ctx, args, argc, signature, wide, records);
  ctx->es.extenderErrorText[0] = 0;
  const int32_t status = call_host(ctx, code - PARENTSTART, records, argc, result);
  if (status < 0) extender_failure(ctx, status);
}

void call_external_command(RunContext* ctx, int code, Value* result) {
  if (is_extender(code)) {
    call_extender_command(ctx, code, result);
    return;
  }
  static const char* const empty[5] = {};
  ExtValue args[5];
  string_records(empty, args);
  ctx->es.extenderErrorText[0] = 0;
  const int32_t status = call_host(ctx, code - PARENTSTART, args, 5, result);
  if (status < 0) extender_failure(ctx, status);
}

}  // namespace tov
