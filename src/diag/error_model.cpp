#include "diag/error_model.h"

#include <cstdio>
#include <cstring>

#include "engine/context.h"
#include "engine/settings.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace tov {

namespace {
constexpr size_t INFO_TEXT_MAX = INFO_BLOCK_BYTES - 1;
}

void error_state_init(RunContext* ctx) {
  ctx->err = 0;
  ctx->es = ErrorState{};
  ctx->es.errorMode = EM_CANCEL;
  ctx->es.stmtOffset = 0xFFFFFFFFu;
  ctx->es.assignTarget = 0xFFFFFFFFu;
  char url[sizeof ctx->es.supportUrl];
  if (load_string(ctx, MSG_SUPPORT_URL, url, sizeof url) > 0) {
    std::strcpy(ctx->es.supportUrl, url);
    ctx->es.supportButton = 1;
  }
}

void error_state_new_run(RunContext* ctx) {
  ctx->es.errorMode = EM_CANCEL;
  ctx->es.lastError = 0;
  ctx->es.extendedCode = 0;
  ctx->es.continueFlag = 0;
}

void AddErrorInfo(RunContext* ctx, const char* text) {
  if (!text || !*text) return;
  if (!ctx->hInfoBlock) {
    ctx->hInfoBlock = plat::mem_alloc(INFO_BLOCK_BYTES, true);
    if (!ctx->hInfoBlock) return;
    plat::mem_lock(ctx->hInfoBlock);
  }
  char* info = static_cast<char*>(plat::mem_address(ctx->hInfoBlock));
  size_t n = strnlen(info, INFO_TEXT_MAX);
  auto append = [&](const char* s) {
    while (*s && n < INFO_TEXT_MAX) info[n++] = *s++;
    info[n] = 0;
  };
  if (n) {
    // Notes are separated by a rule of 40 hyphens and a line holding a no-break space, written in the ANSI
    // code page (one byte in the Windows code pages, two in UTF-8).
    append("\n\n");
    for (int i = 0; i < 40; ++i) append("-");
    static const plat::wchar kNoBreakSpace = 0xA0;
    char nbsp[8];
    const int len = plat::wide_to_ansi(&kNoBreakSpace, 1, nbsp, sizeof nbsp - 1);
    nbsp[len > 0 ? len : 0] = 0;
    append("\n");
    append(nbsp);
    append("\n");
  }
  append(text);
}

void add_hint(RunContext* ctx, uint32_t id) {
  char hint[512];
  if (load_string(ctx, id, hint, sizeof hint) > 0) AddErrorInfo(ctx, hint);
}

const char* error_info_text(RunContext* ctx) {
  return ctx->hInfoBlock ? static_cast<const char*>(plat::mem_address(ctx->hInfoBlock)) : "";
}

size_t error_info_length(RunContext* ctx) {
  return ctx->hInfoBlock ? strnlen(static_cast<const char*>(plat::mem_address(ctx->hInfoBlock)), INFO_TEXT_MAX) : 0;
}

void error_info_cut(RunContext* ctx, size_t length) {
  if (ctx->hInfoBlock) static_cast<char*>(plat::mem_address(ctx->hInfoBlock))[length] = 0;
}

void error_info_free(RunContext* ctx) {
  if (ctx->hInfoBlock) plat::mem_free(ctx->hInfoBlock);
  ctx->hInfoBlock = 0;
}

void ReportApiError(RunContext* ctx, uint32_t code, const char* api, bool show) {
  char value[300];
  std::snprintf(value, sizeof value, "%ld (%s)", long(code), api);
  char file[plat::MAX_PATH_CHARS];
  if (settings_file_path(file, sizeof file)) plat::profile_write_string(file, "KQZRT52M", "LastError", value);
  if (show) {
    char note[300];
    std::snprintf(note, sizeof note, "%s error:\n\n    %ld", api, long(code));
    AddErrorInfo(ctx, note);
  }
}

}  // namespace tov
