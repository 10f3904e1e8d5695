// What one run leaves to the next in the same context, and what every run starts afresh.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "diag/trace.h"
#include "diag/trace_calls.h"
#include "test_context.h"

using tov::test::TestContext;

TEST(ContextRuns, DefinitionsOfAnEarlierRunStay) {
  TestContext t;
  t.run("#DefineFunction which()\n  Return \"first\"\n#EndFunction\nr = which()\n");
  EXPECT_EQ(t.var_text("r"), "first");
  // The same name defined again in a later run is ignored: the body of the first run stays.
  t.run("#DefineFunction which()\n  Return \"second\"\n#EndFunction\nr = which()\n");
  EXPECT_EQ(t.var_text("r"), "first");
  // A later run may call it without defining it.
  t.run("r = which() : \" again\"\n");
  EXPECT_EQ(t.var_text("r"), "first again");
}

TEST(ContextRuns, ErrorModeAndLastErrorStartAfreshHandlersStay) {
  TestContext t;
  t.run("ErrorMode(@OFF)\na = arrdimension(2)\nb = a[0]\nIntControl(73, 2, 0, \"\", 0)\n"
        "IntControl(87, 2, 0, 0, 0)\n");
  EXPECT_EQ(t->hdr.nRunResult, 1);
  t.run("mode = ErrorMode(@OFF)\nlast = LastError()\nhandler = IntControl(73, 0, 0, \"\", 0)\n"
        "setting = IntControl(87, 0, 0, 0, 0)\n");
  EXPECT_EQ(t.var_text("mode"), "1");       // @CANCEL again
  EXPECT_EQ(t.var_text("last"), "0");
  EXPECT_EQ(t.var_text("handler"), "2");    // still armed from the first run
  EXPECT_EQ(t.var_text("setting"), "2");
}

TEST(ContextRuns, ARunEndedInsideADefinitionDoesNotSwallowTheNext) {
  TestContext t;
  t.run("#DefineFunction open()\n  Return 1\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_DEFINITION_NOT_CLOSED);
  t.run("r = 5\n");
  EXPECT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("r"), "5");
}

TEST(ContextRuns, AContextHoldsAtMost512UserDefinedFunctions) {
  TestContext t;
  std::string script;
  for (int i = 0; i < 512; ++i)
    script += "#DefineFunction f" + std::to_string(i) + "()\n  Return " + std::to_string(i) + "\n#EndFunction\n";
  script += "r = f0() + f511()\n";
  t.run(script);
  ASSERT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("r"), "511");
  // The limit counts the definitions of every run in the context, and is checked before the name: once
  // the table is full even a repeated definition fails. The functions defined stay callable.
  t.run_reported("#DefineSubroutine one_more()\n  r = 0\n#EndSubroutine\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_TOO_MANY_UDFS);
  t.run_reported("#DefineFunction f7()\n  Return 0\n#EndFunction\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_TOO_MANY_UDFS);
  t.run("r = f7()\n");
  EXPECT_EQ(t.var_text("r"), "7");
}

// A call keeps the called name for its trace records, cut to the record's buffer; leaving a call brings
// back its name after a call inside it put another there.
TEST(ContextRuns, CallsKeepTheCalledNameCutToTheRecord) {
  TestContext t;
  tov::RunContext* ctx = t.ctx();
  tov::DebugCallSave outer, inner;
  const std::string long_name(400, 'n');
  const std::string cut = long_name.substr(0, tov::TRACE_CALLED_BYTES - 1);
  tov::debug_enter_call(ctx, &outer, long_name.c_str(), long_name.size(), true);
  EXPECT_EQ(tov::called_name(ctx->dbg), cut);
  tov::debug_enter_call(ctx, &inner, "area", 4, false);
  EXPECT_EQ(tov::called_name(ctx->dbg), "area");
  tov::debug_leave_call(ctx, inner, "area", 4, false);
  EXPECT_EQ(tov::called_name(ctx->dbg), "area");
  tov::debug_leave_call(ctx, outer, long_name.c_str(), long_name.size(), true);
  EXPECT_EQ(tov::called_name(ctx->dbg), cut);
}
