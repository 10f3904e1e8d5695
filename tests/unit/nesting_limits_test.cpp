// A hundred structures, or GoSub-style error handlers, may be open at once; the hundred and first fails.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "builtin_eval.h"

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
