// The step debugger: before each statement while stepping, the view of the statement just run and of the
// next one; Next runs one statement, Run stops stepping, Cancel ends the run, Show Var shows a variable.
#include <cstdio>
#include <cstring>
#include <string>

#include "diag/errors.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "exec/exec.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

std::string message(RunContext* ctx, uint32_t id) {
  char buf[256];
  load_string(ctx, id, buf, sizeof buf);
  return buf;
}

// The variable's name is the field's text up to the first blank or "=" outside square brackets.
std::string field_name(const char* field) {
  std::string name;
  int depth = 0;
  for (const char* p = field; *p; ++p) {
    if (*p == '[') ++depth;
    else if (*p == ']' && depth) --depth;
    else if (!depth && (*p == ' ' || *p == '\t' || *p == '=')) break;
    name += *p;
  }
  return name;
}

std::string show_variable(void* data, const char* field) {
  auto* ctx = static_cast<RunContext*>(data);
  const std::string name = field_name(field);
  const uint16_t saved = ctx->err;
  std::string shown;
  char folded[VARNAME_BYTES] = "";
  if (name.size() <= VARNAMESIZE) fold_name(name.c_str(), folded);
  const uint16_t slot = folded[0] ? slot_lookup(ctx, folded) : SLOT_NONE;
  if (slot != SLOT_NONE && value_has_value(slot_at(ctx, slot)->c) && !(slot_at(ctx, slot)->c.type & VF_ARRAY)) {
    ValueCore copy{};
    if (value_copy(ctx, slot_at(ctx, slot)->c, copy, VFREE_TEMP) && to_string(ctx, copy))
      shown = name + " = \"" + str_at(ctx, copy.str) + "\"";
    value_free(ctx, copy);
  }
  if (shown.empty()) shown = name + " " + message(ctx, 806);
  ctx->err = saved;
  return shown;
}

int show_step(RunContext* ctx, const char* next) {
  DebugState& d = ctx->dbg;
  const std::string next_label = message(ctx, 133), labels[4] = {message(ctx, 126), message(ctx, 121),
                                                                 message(ctx, 127), message(ctx, 128)};
  plat::StepView view{d.stepPrevious, d.stepOutcome, d.stepError, next_label.c_str(), next, d.stepVariable,
                      {labels[0].c_str(), labels[1].c_str(), labels[2].c_str(), labels[3].c_str()},
                      show_variable, ctx};
  plat::StepPlacement where{d.stepX, d.stepY, d.stepPlaced != 0};
  const int action = plat::step_dialog(ctx->hwndOwner, view, &where);
  d.stepX = where.x;
  d.stepY = where.y;
  d.stepPlaced = where.placed;
  return action;
}

}  // namespace

bool debug_before_statement(RunContext* ctx, const StatementPlace& at) {
  if (!ctx->dbg.stepMode) return true;
  const char* text = at.line + at.offset;
  std::string next = text;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  if (p[0] == RESOLVED_GOTO || p[0] == RESOLVED_GOSUB)
    next = std::string(p[0] == RESOLVED_GOTO ? "goto " : "gosub") + (std::strlen(text) > 5 ? text + 5 : "");
  switch (show_step(ctx, next.c_str())) {
    case plat::STEP_RUN: ctx->dbg.stepMode = 0; return true;
    case plat::STEP_CANCEL: return false;
    default: return true;
  }
}

void debug_step_end_of_job(RunContext* ctx) {
  char end[64];
  std::snprintf(end, sizeof end, ";;;%s;;;", message(ctx, 805).c_str());
  show_step(ctx, end);
}

}  // namespace tov
