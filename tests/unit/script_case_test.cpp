// How the script-test runner judges a case and describes its failure.
#include <gtest/gtest.h>
#include "case_report.h"

using namespace scripttest;

TEST(ScriptCase, ExitStatusFile) {
  EXPECT_EQ(parse_code("0\n"), 0);
  EXPECT_EQ(parse_code(" 130\r\n"), 130);
  EXPECT_EQ(parse_code("-1"), -1);
  EXPECT_FALSE(parse_code(""));
  EXPECT_FALSE(parse_code("\n"));
  EXPECT_FALSE(parse_code("2 3"));
  EXPECT_FALSE(parse_code("two"));
  EXPECT_FALSE(parse_code("99999999999"));
}

TEST(ScriptCase, EveryDifferenceOnOneLine) {
  const std::string report = compare({0, "ok\n", std::string("error 217\n")},
                                     {2, "", "x.tov:1: error 217: Unable\nmore\n"});
  EXPECT_EQ(report,
            "exit status 2, expected 0; stderr \"x.tov:1: error 217: Unable\"; "
            "stdout line 1: expected \"ok\\n\", got end of output");
  EXPECT_EQ(report.find('\n'), std::string::npos);

  EXPECT_EQ(compare({2, "", std::string("error 217: Unable\r\n")}, {2, "", "x.tov:1: error 217: Unable\n"}), "");
  EXPECT_EQ(compare({2, "", std::string("error 218")}, {2, "", ""}), "stderr lacks \"error 218\", stderr is empty");
  EXPECT_EQ(compare({2, "", std::string("error 218")}, {2, "", "error 217\nnext\n"}),
            "stderr lacks \"error 218\", stderr begins \"error 217\"");
  EXPECT_EQ(compare({0, "", {}}, {-1, "", ""}),
            "did not run to its end (not started, crashed or killed), expected exit status 0");
}

TEST(ScriptCase, AnEmptyErrorFileMeansNothingOnStandardError) {
  EXPECT_EQ(compare({1, "", std::string("")}, {1, "", ""}), "");
  EXPECT_EQ(compare({1, "", std::string("\n")}, {1, "", ""}), "");
  EXPECT_EQ(compare({1, "", std::string("")}, {1, "", "x.tov:2: error 3062: Attempt\nmore\n"}),
            "stderr is not empty, it begins \"x.tov:2: error 3062: Attempt\"");
}
