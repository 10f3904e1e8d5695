#include "builtins/intcontrol.h"

#include <cstdio>
#include <cstring>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "lang/keywords.h"

namespace tov {

extern const IntControlFamily kErrorIntControls;
extern const IntControlFamily kFileIntControls;
extern const IntControlFamily kKeyIntControls;
extern const IntControlFamily kProgramIntControls;
extern const IntControlFamily kSystemIntControls;
extern const IntControlFamily kTimeIntControls;
extern const IntControlFamily kWindowIntControls;

namespace {

const IntControlFamily* const kFamilies[] = {
    &kErrorIntControls,
    &kFileIntControls,
    &kKeyIntControls,
    &kProgramIntControls,
    &kSystemIntControls,
    &kTimeIntControls,
    &kWindowIntControls,
};

IntControlFn find_request(int32_t request) {
  for (const IntControlFamily* f : kFamilies)
    for (size_t i = 0; i < f->count; ++i)
      if (f->entries[i].request == request) return f->entries[i].fn;
  return nullptr;
}

void bi_intcontrol(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const char* p[4];
  for (int i = 0; i < 4; ++i) p[i] = arg_str(ctx, a, i + 2);
  // A request no family answers does nothing and returns 0.
  if (IntControlFn fn = find_request(arg_int(a, 1))) fn(ctx, result, p);
}

const BuiltinEntry kEntries[] = {{KW_INTCONTROL, bi_intcontrol}};

}  // namespace

int32_t intcontrol_number(const char* p) {
  int32_t v = 0;
  return parse_integer_text(p, &v) ? v : 0;
}

void intcontrol_result(RunContext* ctx, Value* result, int32_t previous) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", int(previous));
  set_string(ctx, result->c, buf, std::strlen(buf));
}

extern const BuiltinFamily kIntControlBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
