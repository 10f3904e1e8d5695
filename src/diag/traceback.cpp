#include "diag/traceback.h"

#include <cstdio>
#include <cstring>

#include "engine/context.h"
#include "engine/script.h"
#include "lang/keywords.h"
#include "platform/files.h"

namespace tov {

namespace {

constexpr size_t LINE_SHOWN = 32, LINE_CUT = 29;

const char* base_name(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
  return base;
}

// The statement text as listed: resolved jumps spelled out again, long lines cut.
std::string listed_line(const char* text, size_t cut_from) {
  std::string s = jumps_spelled(text);
  if (s.size() >= cut_from) s = s.substr(0, LINE_CUT) + "...";
  return s;
}

}  // namespace

std::string jumps_spelled(const char* text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  if (p[0] != RESOLVED_GOTO && p[0] != RESOLVED_GOSUB) return text;
  std::string s = p[0] == RESOLVED_GOTO ? "goto " : "gosub";
  s += std::strlen(text) > 5 ? text + 5 : "";
  return s;
}

const char* struct_kind_name(uint16_t kind, uint32_t resume) {
  if (kind < NKEYTOKENS) return g_keywordTable[kind].name;
  switch (kind) {
    case SK_IF: return "if";
    case SK_ELSE: return "else";
    case SK_GOSUB_FALSE:
    case SK_GOSUB_TRUE:
    case SK_GOSUB_NONE: return "gosub";
    case SK_UDF:
      switch (resume) {
        case 0: return "<udf>";
        case 1: return "<dlg_callback>";
        case 2: return "<err_handler>";
        case 3: return "<com_event>";
        default: return "<callback>";
      }
    default: return "<unknown>";
  }
}

std::vector<std::string> traceback_lines(RunContext* ctx) {
  std::vector<std::string> out;
  char buf[LINE_BUFFER_BYTES + plat::MAX_PATH_CHARS + 64];
  std::snprintf(buf, sizeof buf, "%3s %-14s %6s %-32s %s", "#", "Type", "Line#", "Error Line", "Source File");
  out.emplace_back(buf);
  out.emplace_back("");
  char file[plat::MAX_PATH_CHARS + 1], text[LINE_BUFFER_BYTES];
  for (uint32_t i = 0; i < ctx->nStructDepth; ++i) {
    const StructRecord& r = ctx->aStruct[i];
    uint32_t line = 0;
    file[0] = text[0] = 0;
    if (r.script) line = LocateLine(ctx, r.script, r.lineStart, file, sizeof file, text, sizeof text, nullptr, nullptr);
    char kind[15];
    std::snprintf(kind, sizeof kind, "%s", struct_kind_name(r.kind, r.resume));
    std::snprintf(buf, sizeof buf, "%3d %-14s %6ld %-32s %s", int(i + 1), kind, long(line),
                  listed_line(text, LINE_SHOWN + 1).c_str(), base_name(file));
    out.emplace_back(buf);
  }
  uint32_t line = 0;
  file[0] = 0;
  if (ctx->hRunScript) line = LocateLine(ctx, ctx->hRunScript, ctx->nLineStart, file, sizeof file, nullptr, 0, nullptr, nullptr);
  char number[16];
  std::snprintf(number, sizeof number, "%u", unsigned(line));
  std::snprintf(buf, sizeof buf, "%3d %-14s %6s %-32s %s", int(ctx->nStructDepth + 1), "<error>", number,
                listed_line(ctx->es.reportTitle, LINE_SHOWN + 1).c_str(), base_name(file));
  out.emplace_back(buf);
  return out;
}

}  // namespace tov
