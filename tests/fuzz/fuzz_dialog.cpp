// Feeds Dialog definitions built from the input: the dialog's own variables and up to eight control
// definitions whose fields mix the format's words (DEFAULT, type names, numbers, colours, fonts, quoted
// texts) with arbitrary bytes, and variables holding the controls' states. Each definition is validated
// and, when it passes, shown in the console form, which reads an empty standard input and so ends as
// Cancel. Every input must end in an error or a result, never a crash; afterwards the variables are dropped
// and the string heap must be back at the bytes it used before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "builtins/callframe.h"
#include "lang/keywords.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "test_context.h"

using namespace tov;

namespace {

constexpr int MAX_CONTROLS = 8;

test::TestContext& context() {
  static test::TestContext* t = [] {
    // The console form reads standard input: it is empty here, so every form ends at once.
    if (!std::freopen("/dev/null", "rb", stdin)) std::abort();
    plat::set_console_ui(true);
    return new test::TestContext(512, size_t(64) << 20);
  }();
  return *t;
}

const char* const kWords[] = {
    "DEFAULT", "default", "STATICTEXT", "EDITBOX", "RADIOBUTTON", "CHECKBOX", "VARYTEXT", "FILELISTBOX", "PUSHBUTTON",
    "ITEMBOX", "PICTUREBUTTON", "PICTURE", "DROPLISTBOX", "MULTILINEBOX", "GROUPBOX", "CALENDAR", "CALENDER",
    "SPINNER", "COMCONTROL", "MENUBAR", "MENUITEM", "0", "1", "2", "-1", "8", "300", "2147483647", "-2147483648",
    "v0", "v1", "v2", "c1", "c2", "\"a,b\"", "\"x\"\"y\"", "\"a\tb|c\"", "255|0|0", "1|2|3|4", "Arial|8192|1140|0",
    "|0|0|0", "1|10|2", "10|1", "2024:02:29", "*.tov", "", " ", "\"\"",
};

std::string field(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(24);
  return kWords[in.ConsumeIntegralInRange<size_t>(0, sizeof kWords / sizeof kWords[0] - 1)];
}

// Assigns a text to a variable of the context (texts end at a NUL, as script strings do).
void set_text(RunContext* ctx, const std::string& name, const std::string& value) {
  const std::string v = value.substr(0, value.find('\0'));
  set_variable_by_name(ctx, name.c_str(), v.c_str(), VF_STRING);
  ctx->err = 0;
}

void maybe_set(RunContext* ctx, FuzzedDataProvider& in, const char* suffix) {
  if (in.ConsumeBool()) set_text(ctx, std::string("d") + suffix, field(in));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test::TestContext& t = context();
  RunContext* ctx = t.ctx();
  static const uint32_t heap_at_start = t.heap_used();
  FuzzedDataProvider in(data, size);

  const int format = in.ConsumeIntegralInRange<int>(0, 3);
  if (format < 3) set_text(ctx, "dFormat", format == 0 ? "ZRKDLGED,6.2" : format == 1 ? "zrkdlged,6.1" : field(in));
  for (const char* s : {"x", "y", "Caption", "Procedure", "Font", "TextColor", "Background", "minwidth", "minheight"})
    maybe_set(ctx, in, s);
  set_text(ctx, "dWidth", in.ConsumeBool() ? "100" : field(in));
  set_text(ctx, "dHeight", in.ConsumeBool() ? "60" : field(in));
  const int count = in.ConsumeIntegralInRange<int>(0, MAX_CONTROLS);
  set_text(ctx, "dNumControls", in.ConsumeBool() ? std::to_string(count) : field(in));
  for (int i = 1; i <= count; ++i) {
    std::string def;
    const int fields = in.ConsumeIntegralInRange<int>(0, 16);
    for (int f = 0; f < fields; ++f) def += (f ? "," : "") + field(in);
    char name[8];
    std::snprintf(name, sizeof name, "d%03d", i);
    set_text(ctx, name, def);
  }
  for (const char* v : {"v0", "v1", "v2"})
    if (in.ConsumeBool()) set_text(ctx, v, field(in));

  ArgBlock args;
  for (Value& v : args.slot) value_init(v);
  set_string(ctx, args.slot[1].c, "d", 1);
  set_integer(ctx, args.slot[2].c, 1);
  const KeywordEntry& k = g_keywordTable[KW_DIALOG];
  Value result;
  value_init(result);
  ctx->err = 0;
  CallBuiltin(ctx, k.name, KW_DIALOG, &result, args, false, 2, uint64_t(k.argTypesHigh) << 32 | k.argTypesLow);
  release_args(ctx, args, ARG_SLOTS - 1);
  // A shown form ends at the empty input as Cancel, which the second argument turns into 0.
  if (!ctx->err && !(result.c.type & VF_INTEGER)) std::abort();
  value_free(ctx, result);
  ctx->err = 0;
  error_info_free(ctx);
  for (uint16_t i = ctx->nVarUsed; i-- > 1;)
    if (slot_at(ctx, i)->name[0]) slot_drop(ctx, i);
  if (t.heap_used() != heap_at_start) std::abort();
  return 0;
}
