// A hundred structures, or GoSub-style error or cancel handlers, may be open at once; the hundred and first
// fails.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "builtin_eval.h"
#include "tov_program.h"

using tov::test::TestContext;

TEST(NestingLimits, AHundredStructuresOpenTheHundredAndFirstFails) {
  TestContext t;
  std::string script;
  for (int i = 1; i <= 100; ++i) script += "For i" + std::to_string(i) + " = 1 to 1\n";
  script += "inner = 1\n";
  for (int i = 1; i <= 100; ++i) script += "Next\n";
  // Closed loops free their places: a hundred more may open.
  script += "closed = 1\n";
  for (int i = 1; i <= 100; ++i) script += "While 1\n";
  script += "whiles = 1\nWhile 1\nafter = 1\n";
  const std::string err = t.run_reported(script);
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_NESTING_TOO_COMPLEX);
  EXPECT_NE(err.find(":304: error 3353"), std::string::npos) << err;
  expect_vars(t, {{"inner", "1"}, {"closed", "1"}, {"whiles", "1"}, {"after", ""}});
}

TEST(NestingLimits, AHundredErrorHandlersOpenTheHundredAndFirstFails) {
  // A handler that fails again before it returns nests one frame per error.
  TestContext t;
  const std::string err = t.run_reported(
      "depth = 0\nIntControl(73, 2, 0, \"\", 0)\nx = 1/0\nback = 1\nExit\n"
      ":QZERRORHANDLER\ndepth = depth + 1\nIntControl(73, 2, 0, \"\", 0)\ny = 1/0\nreturning = 1\nReturn\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_ERROR_HANDLER_NESTING);
  EXPECT_NE(err.find(":9: error 3619"), std::string::npos) << err;
  expect_vars(t, {{"depth", "100"}, {"back", ""}, {"returning", ""}});
}

// A cancel handler cancelled again before it returns nests one frame per cancel. The prompts of tov meet the
// end of its input, which is Cancel.
using NestedCancels = TovProgram;

TEST_F(NestedCancels, AHundredCancelHandlersOpenTheHundredAndFirstFails) {
  EXPECT_EQ(run_script("depth = 0\nIntControl(72, 2, 0, \"\", 0)\nx = Pause(\"first\", \"\")\nMessage(\"back\", 1)\n"
                       "Exit\n:CANCEL\ndepth = depth + 1\nMessage(\"depth\", depth)\nIntControl(72, 2, 0, \"\", 0)\n"
                       "y = AskYesNo(\"again\", \"\")\nMessage(\"returning\", depth)\nReturn\n"),
            1);
  EXPECT_NE(err.find("script.tov:10: error 3618: Unable to call Cancel Handler: Nesting of structures is too complex"),
            std::string::npos)
      << err;
  // Each handler shows its depth, then cancels the prompt that calls the next; none returns.
  std::string shown = "first: \n";
  for (int depth = 1; depth <= 100; ++depth) shown += "depth: " + std::to_string(depth) + "\nagain: \n";
  EXPECT_EQ(out, shown);
}
