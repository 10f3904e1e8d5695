// The console form of the error dialog: the report goes to standard error.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/hooks.h"
#include "platform/ui.h"

namespace plat {

namespace {

void append_indented(std::string& out, const char* text) {
  // CR LF becomes LF; every line of the text is indented so the report's own lines stand out.
  out += "    ";
  for (const char* p = text; *p; ++p) {
    if (*p == '\r' && p[1] == '\n') continue;
    out += *p;
    if (*p == '\n' && p[1]) out += "    ";
  }
  out += '\n';
}

// Asks a terminal whether to go on after a report; without a terminal the answer is yes.
bool continue_after_report() {
  if (!os::stdin_is_terminal()) return true;
  std::fputs("Continue? [Y/n] ", stderr);
  std::fflush(stderr);
  char answer[16];
  if (!console_read_line(answer, sizeof answer, true)) return false;
  const char* a = answer;
  while (*a == ' ' || *a == '\t') ++a;
  return *a != 'n' && *a != 'N';
}

void write_report(const std::string& report) {
  std::fflush(stdout);
  std::fputs(report.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

int execute_error_box(WindowHandle owner, const char* line, const char* caption, bool with_cancel) {
  if (!console_ui())
    return message_box(owner, line, caption, (with_cancel ? MB_OK_CANCEL : MB_OK_ONLY) | MB_ICON_EXCLAMATION);
  std::string out = caption;
  out += '\n';
  append_indented(out, line);
  write_report(out);
  return !with_cancel || continue_after_report() ? ID_OK : ID_CANCEL;
}

int console_error_dialog(const ErrorDialogData& d) {
  std::string out;
  char head[64];
  std::snprintf(head, sizeof head, ": error %u: ", unsigned(d.number));
  out += d.location && *d.location ? d.location : "-";
  out += head;
  out += d.messageText ? d.messageText : "";
  out += '\n';
  if (d.failingLine && *d.failingLine) append_indented(out, d.failingLine);
  if (d.lineInfo && *d.lineInfo) out += std::string(d.lineInfo) + "\n";
  if (d.routineInfo && *d.routineInfo) out += std::string(d.routineInfo) + "\n";
  if (d.moreInfo && *d.moreInfo) append_indented(out, d.moreInfo);
  if (d.inRoutine && d.tracebackLines) {
    out += "Traceback:\n";
    for (size_t i = 0; i < d.tracebackLines; ++i) out += std::string(d.traceback[i]) + "\n";
  }
  write_report(out);
  if (!d.withContinue || continue_after_report()) return ERRBOX_CONTINUE;
  return ERRBOX_EXIT;
}

}  // namespace plat
