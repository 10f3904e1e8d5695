#include "ext/host_call.h"

#include <cstdio>
#include <cstring>

#include "builtins/callframe.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "engine/context.h"
#include "ext/services.h"
#include "lang/keywords.h"
#include "lang/values.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tov {

namespace {

constexpr uint32_t EXT_WIDE_AT_INTEGER = 0x1000;    // a wide string whose address stands in the integer
constexpr uint32_t EXT_OBJECT_REFERENCE = 0x600;
constexpr size_t USER_TEXT_MAX = 255;

int32_t call_host(RunContext* ctx, int32_t id, ExtValue* args, int32_t argc, Value* result) {
  auto callback = reinterpret_cast<HostCallback>(ctx->lpfnHost);
  if (!callback) return 0;
  ServiceBlock block;
  make_service_block(ctx, &block, result);
  ExtValue answer = {};
  return callback(ctx->hwndOwner, nullptr, INTERFACE_STAMP, id, reinterpret_cast<void*>(&viper_answer), &block,
                  nullptr, args, argc, &answer);
}

void set_user_text(RunContext* ctx, const char* text) {
  std::snprintf(ctx->es.extenderErrorText, sizeof ctx->es.extenderErrorText, "%s", text);
  std::snprintf(ctx->es.userErrorText, USER_TEXT_MAX + 1, "%s", text);
}

}  // namespace

int32_t notify_host(RunContext* ctx, int32_t id, const char* t1, const char* t2, const char* t3, const char* t4,
                    const char* t5) {
  const char* texts[5] = {t1, t2, t3, t4, t5};
  ExtValue args[5] = {};
  for (int i = 0; i < 5; ++i) {
    args[i].type = VF_STRING;
    args[i].str = texts[i] ? texts[i] : "";
  }
  return call_host(ctx, id, args, 5, nullptr);
}

void make_service_block(RunContext* ctx, ServiceBlock* block, Value* request) {
  *block = ServiceBlock{};
  block->context = ctx->hContext;
  block->request = request;
  block->version = SERVICE_BLOCK_VERSION;
  block->size = sizeof(ServiceBlock);
  block->hostWindow = ctx->hwndHost;
}

int32_t viper_answer(int32_t status, int32_t, ServiceBlock* block, ExtValue* value) {
  if (!block || !block->context || !value) return -4;
  auto* ctx = static_cast<RunContext*>(plat::host_lock(block->context));
  if (!ctx) return -4;
  const uint32_t flags = value->type;
  int32_t r = status;
  if ((flags & EXT_OBJECT_REFERENCE) == EXT_OBJECT_REFERENCE) {
    r = -4;
  } else if (status >= 0) {
    Value* out = block->request;
    const uint16_t saved = ctx->err;
    bool ok = out != nullptr;
    if (!ok) {
      r = -4;
    } else if (flags & VF_VARIANT) {
      r = -4;  // object values need the COM layer
    } else if (flags & VF_ARRAY) {
      value_free(ctx, *out);
      out->c.type = VF_ARRAY;
      out->c.str = uint32_t(reinterpret_cast<uintptr_t>(value->str));
    } else if (flags & VF_WSTRING) {
      const auto* w = static_cast<const wchar*>(value->str ? value->str : u"");
      ok = set_wstring(ctx, out->c, w, wstr_len(w));
    } else if (flags & VF_FLOAT) {
      set_float(ctx, out->c, value->f);
    } else if (flags & VF_INTEGER) {
      set_integer(ctx, out->c, value->i);
    } else if (flags & VF_STRING) {
      const char* s = static_cast<const char*>(value->str ? value->str : "");
      ok = set_string(ctx, out->c, s, std::strlen(s));
    } else if ((flags & EXT_WIDE_AT_INTEGER) && sizeof(void*) == sizeof(int32_t)) {
      const auto* w = reinterpret_cast<const wchar*>(uintptr_t(uint32_t(value->i)));
      ok = set_wstring(ctx, out->c, w ? w : u"", w ? wstr_len(w) : 0);
    } else {
      r = -4;
    }
    if (!ok) r = -4;
    ctx->err = saved;
  } else {
    const bool message = !(flags & (VF_VARIANT | VF_ARRAY | VF_WSTRING | VF_FLOAT | VF_INTEGER)) && value->str;
    set_user_text(ctx, message ? static_cast<const char*>(value->str) : "Extender Error: Undefined error occurred");
  }
  plat::host_unlock(block->context);
  return r;
}

void extender_failure(RunContext* ctx, int32_t status) {
  if (!ctx->es.extenderErrorText[0]) set_user_text(ctx, "Extender Error: Undefined error occurred");
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

void call_external(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t) {
  if (code < PARENTSTART || code >= PARENTSTART + HOST_KEYWORDS_MAX || !ctx->lpfnHost) {
    ctx->err = ERR_FUNCTION_NOT_DEFINED;
    return;
  }
  ExtValue records[MAX_ARGS] = {};
  for (int n = 1; n <= argc && n <= int(MAX_ARGS); ++n) {
    const ValueCore& v = args.slot[n].c;
    ExtValue& r = records[n - 1];
    std::memcpy(r.internal, &v.variant, sizeof r.internal);
    r.f = v.f;
    r.i = v.i;
    r.type = v.type;
    if (v.type & VF_ARRAY) r.str = reinterpret_cast<const void*>(uintptr_t(v.str));
    else if (v.type & VF_STRING) r.str = str_at(ctx, v.str);
    else if (v.type & VF_WSTRING) r.str = wstr_at(ctx, v.wstr);
  }
  ctx->es.extenderErrorText[0] = 0;
  const int32_t status = call_host(ctx, code - PARENTSTART, records, argc, result);
  if (status < 0) extender_failure(ctx, status);
}

void call_host_command(RunContext* ctx, int code, Value* result) {
  ExtValue args[5] = {};
  for (ExtValue& a : args) {
    a.type = VF_STRING;
    a.str = "";
  }
  ctx->es.extenderErrorText[0] = 0;
  const int32_t status = call_host(ctx, code - PARENTSTART, args, 5, result);
  if (status < 0) extender_failure(ctx, status);
}

}  // namespace tov
