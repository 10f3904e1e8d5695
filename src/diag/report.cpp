// The error report: the error dialog (or its console form), the quiet log and the traceback.
#include "diag/report.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/traceback.h"
#include "engine/context.h"
#include "engine/script.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr size_t MESSAGE_BYTES = 2050;
constexpr uint32_t MSG_OK_LABEL = 120;

struct Location {
  char file[plat::MAX_PATH_CHARS + 1];
  uint32_t line;
  int kind;
};

// Where the statement being reported stands, by the run's location fields.
Location locate_failure(RunContext* ctx) {
  Location loc{};
  if (ctx->hRunScript) {
    loc.line = LocateLine(ctx, ctx->hRunScript, ctx->nLineStart, loc.file, sizeof loc.file, nullptr, 0, nullptr,
                          &loc.kind);
  } else {
    std::strcpy(loc.file, ctx->szCurrentFile);
    loc.kind = -1;
  }
  if (!loc.file[0]) std::strcpy(loc.file, ctx->szCurrentFile);
  return loc;
}

const char* udf_name(RunContext* ctx) {
  const uint16_t u = ctx->nRunUdf;
  return (u != NO_UDF && int32_t(u) < ctx->nUdfCount && ctx->apUdf[u]) ? ctx->apUdf[u]->name : nullptr;
}

}  // namespace

void write_quiet_log(RunContext* ctx, const char* message, const char* text) {
  if (!ctx->es.quietLogFile[0]) return;
  const plat::LocalTime t = plat::local_time();
  char caption[256];
  plat::window_text(ctx->hwndHost, caption, sizeof caption);
  std::string out;
  char head[320];
  std::snprintf(head, sizeof head, "%02d/%02d/%02d  %02d:%02d:%02d  %s", t.month, t.day, t.year % 100, t.hour,
                t.minute, t.second, caption);
  out += head;
  out += "\r\n\r\n";
  if (message && *message) out += std::string(message) + "\r\n";
  out += "\r\n";
  if (text && *text) out += std::string(text) + "\r\n";
  out += "\r\n<HR>\r\n\r\n";
  plat::file_append(ctx->es.quietLogFile, out.data(), out.size());
}

Severity severity_of(uint32_t number) {
  if (number <= 2000) return SEV_MINOR;
  if (number <= 3000) return SEV_MODERATE;
  return SEV_SEVERE;
}

int show_report(RunContext* ctx, plat::WindowHandle owner, bool with_continue, uint32_t number,
                const char* message_text) {
  if (ctx->es.quietMode) {
    write_quiet_log(ctx, ctx->es.reportMessage, ctx->es.reportTitle);
    return plat::ERRBOX_EXIT;
  }
  if (ctx->bSounds) plat::play_system_sound("SystemHand");
  const Location loc = locate_failure(ctx);
  const char* routine = udf_name(ctx);
  char location[plat::MAX_PATH_CHARS + 24], line_info[plat::MAX_PATH_CHARS + 64] = "",
       routine_info[plat::MAX_PATH_CHARS + 64] = "";
  if (loc.line) std::snprintf(location, sizeof location, "%s:%u", loc.file[0] ? loc.file : "-", unsigned(loc.line));
  else std::snprintf(location, sizeof location, "%s", loc.file[0] ? loc.file : "-");
  if (loc.line) {
    int n = std::snprintf(line_info, sizeof line_info, "%s %u", loc.kind ? "On line" : "Near line", unsigned(loc.line));
    if (loc.kind != -1 && loc.file[0])
      std::snprintf(line_info + n, sizeof line_info - size_t(n), " of %s", loc.file);
    else if (loc.kind == -1 && routine)
      std::snprintf(line_info + n, sizeof line_info - size_t(n), " of Routine \"%s\"", routine);
  } else if (loc.file[0]) {
    std::snprintf(line_info, sizeof line_info, "In %s", loc.file);
  }
  if (loc.kind == -1 && loc.file[0] && loc.line) std::snprintf(routine_info, sizeof routine_info, "In %s", loc.file);
  else if (routine) std::snprintf(routine_info, sizeof routine_info, "In Routine \"%s\"", routine);

  char caption[256];
  plat::window_text(ctx->hwndHost, caption, sizeof caption);
  char version[320];
  std::snprintf(version, sizeof version, "%s\nTOV Version: %s", caption, TOV_VERSION_STRING);
  char ok_label[64];
  if (ctx->szButtonOk[0]) {
    std::strcpy(ok_label, ctx->szButtonOk);
    ctx->szButtonOk[0] = 0;
  } else {
    load_string(ctx, MSG_OK_LABEL, ok_label, sizeof ok_label);
  }
  const std::vector<std::string> lines = traceback_lines(ctx);
  bool in_routine = false;
  for (uint32_t i = 0; i < ctx->nStructDepth; ++i) {
    const uint16_t k = ctx->aStruct[i].kind;
    in_routine = in_routine || k == SK_UDF || k == SK_CALL || (k >= SK_GOSUB_FALSE && k <= SK_GOSUB_NONE);
  }
  std::vector<const char*> line_ptrs;
  for (const auto& l : lines) line_ptrs.push_back(l.c_str());

  plat::ErrorDialogData d{};
  d.withContinue = with_continue;
  d.caption = caption;
  d.scriptFile = ctx->szCurrentFile;
  d.location = location;
  d.number = number;
  d.messageText = message_text;
  d.reportMessage = ctx->es.reportMessage;
  d.lineInfo = line_info;
  d.routineInfo = routine_info;
  d.failingLine = ctx->es.reportTitle;
  d.versionText = version;
  d.moreInfo = error_info_text(ctx);
  d.okLabel = ok_label;
  d.supportUrl = ctx->es.supportButton && ctx->es.supportUrl[0] ? ctx->es.supportUrl : nullptr;
  d.traceback = line_ptrs.data();
  d.tracebackLines = line_ptrs.size();
  d.inRoutine = in_routine;
  const int button = plat::show_error_dialog(owner, d);
  if (button == plat::ERRBOX_SUPPORT && d.supportUrl) plat::open_url(d.supportUrl);
  return button;
}

int ReportError(RunContext* ctx, plat::WindowHandle owner, uint32_t titleId, uint32_t number, int severity) {
  ctx->es.lastError = number;
  if (ctx->es.errorMode == EM_OFF && severity == SEV_MINOR) return 1;
  if (titleId > 99) load_string(ctx, titleId, ctx->es.reportTitle, sizeof ctx->es.reportTitle);
  char text[MESSAGE_BYTES];
  load_string(ctx, number, text, sizeof text);
  std::snprintf(ctx->es.reportMessage, sizeof ctx->es.reportMessage, "%u:  %s", unsigned(number), text);
  const bool ends = ctx->es.errorMode == EM_CANCEL || severity == SEV_SEVERE;
  const int button = show_report(ctx, owner, !ends, number, text);
  if (ends || button == plat::ERRBOX_EXIT || button == plat::ERRBOX_SUPPORT) return 0;
  ctx->err = 0;
  return 1;
}

void ReportLoadError(RunContext* ctx, uint32_t number, const char* name) {
  const bool named = number == ERR_FILE_NOT_FOUND || number == ERR_INCLUDE_FILE;
  if (named) {
    std::snprintf(ctx->es.reportTitle, sizeof ctx->es.reportTitle, "%s", name ? name : "");
    ReportError(ctx, ctx->hwndOwner, 1, number, SEV_SEVERE);
  } else {
    ReportError(ctx, ctx->hwndOwner, number, ERR_EXECUTION, SEV_SEVERE);
  }
  error_info_free(ctx);
  // The load failed with this number: a Call that loaded the text fails too.
  ctx->err = uint16_t(number);
}

}  // namespace tov
