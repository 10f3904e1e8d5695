// Math built-ins called through the evaluator: float edge cases, the pending math error, Random's
// distribution, the variadic argument lists and the number tests.
#include <gtest/gtest.h>

#include <string>

#include "builtin_eval.h"

namespace tov {
namespace {

using test::error_of;
using test::float_of;
using test::integer_of;
using test::TestContext;

TEST(MathBuiltins, PendingErrorIsRaisedOnceAndCleared) {
  TestContext t;
  EXPECT_EQ(error_of(t, "sqrt(-1)"), 1341);
  EXPECT_EQ(fp_pending(), 0);
  EXPECT_EQ(t.text_of("sqrt(4)"), "2.0");
  EXPECT_EQ(error_of(t, "loge(0)"), 1344);
  EXPECT_EQ(error_of(t, "1 + log10(-0.0)"), 1344);  // -0.0 is a zero, not a negative number
  EXPECT_EQ(error_of(t, "exp(709.8)"), 1342);
  EXPECT_EQ(t.text_of("exp(709.7)"), "1.65498403e+308");
  EXPECT_EQ(integer_of(t, "int(-2147483648.99)"), INT32_MIN);
  EXPECT_EQ(integer_of(t, "min(3, -2147483647 - 1, 2147483647)"), INT32_MIN);
}

TEST(MathBuiltins, AverageIsExactWhereTheArgumentsAllow) {
  TestContext t;
  // A sum in doubles gives 0.20000000000000004.
  EXPECT_EQ(float_of(t, "average(0.1, 0.2, 0.3)"), 0.2);
  EXPECT_EQ(float_of(t, "average(2147483647, 2147483647, 2147483647, 2147483647)"), 2147483647.0);
  EXPECT_EQ(float_of(t, "average(1e308, 1e308, -1e308)"), 1e308 / 3);
  EXPECT_EQ(float_of(t, "average(-2147483647 - 1, 2147483647)"), -0.5);
  EXPECT_EQ(float_of(t, "average(1, \"2.5\")"), 1.75);
}

TEST(MathBuiltins, VariadicArgumentListsEndAtTheirOwnParenthesis) {
  TestContext t;
  EXPECT_EQ(t.text_of("abs(min(-3, 2)) * 10"), "30");
  EXPECT_EQ(t.text_of("max((1 + 2), min(8, (9)), 4) : \"|\""), "8|");
  EXPECT_EQ(t.text_of("max(1, max(2, max(3, 4)), 0)"), "4");
  EXPECT_EQ(error_of(t, "max(1, 2"), 3066);
  EXPECT_EQ(error_of(t, "max(1, )"), 3061);
  EXPECT_EQ(error_of(t, "max x"), 3067);
}

TEST(MathBuiltins, NonNumericArgumentsOfMinMaxAverage) {
  TestContext t;
  EXPECT_EQ(error_of(t, "average(1, \"1.5x\")"), 3057);
  EXPECT_EQ(error_of(t, "max(\"\")"), 3057);
  t.eval("a = arrdimension(2)", true);
  ASSERT_EQ(t.err(), 0);
  EXPECT_EQ(error_of(t, "min(1, a)"), 3057);
  // Nothing is left behind in the heap by the values read before the failure: repeating the call does
  // not make the heap grow.
  EXPECT_EQ(error_of(t, "max(\"12\", \"abc\" : \"def\")"), 3057);
  const uint32_t end = t->heapEnd;
  for (int i = 0; i < 200; ++i) EXPECT_EQ(error_of(t, "max(\"12\", \"abc\" : \"def\")"), 3057);
  EXPECT_EQ(t->heapEnd, end);
}

TEST(MathBuiltins, NumberTests) {
  TestContext t;
  struct Case {
    const char* arg;
    int isint, isfloat, isnumber;
  };
  const Case cases[] = {
      {"5", 1, 0, 1},
      {"5.0", 0, 1, 1},
      {"\"2147483647\"", 1, 0, 1},
      {"\"-2147483648\"", 1, 0, 1},
      {"\"2147483648\"", 0, 1, 1},     // out of range: a number, but no 32-bit integer
      {"\"-2147483649\"", 0, 1, 1},
      {"\"0002147483647\"", 1, 0, 1},
      {"\"  +-12\"", 1, 0, 1},         // the forms the integer conversion accepts
      {"\"12 \"", 0, 0, 0},
      {"\"1e5\"", 0, 1, 1},
      {"\".5\"", 0, 1, 1},
      {"\"1e999\"", 0, 0, 0},          // overflows
      {"\"abc\"", 0, 0, 0},
      {"\"\"", 0, 0, 0},
      {"\"1d5\"", 0, 0, 0},
      {"chrstringtounicode(\"42\")", 1, 0, 1},
      {"chrstringtounicode(\"4.2\")", 0, 1, 1},
  };
  for (const Case& c : cases) {
    const std::string arg = c.arg;
    EXPECT_EQ(integer_of(t, ("isint(" + arg + ")").c_str()), c.isint) << arg;
    EXPECT_EQ(integer_of(t, ("isfloat(" + arg + ")").c_str()), c.isfloat) << arg;
    EXPECT_EQ(integer_of(t, ("isnumber(" + arg + ")").c_str()), c.isnumber) << arg;
  }
  t.eval("a = arrdimension(2)", true);
  EXPECT_EQ(integer_of(t, "isnumber(a)"), 0);
}

TEST(MathBuiltins, RandomIsReproducibleFromItsStateAndStaysInRange) {
  TestContext t;
  t->randomState = 12345;
  std::string first;
  for (int i = 0; i < 20; ++i) first += t.text_of("random(1000)") + ",";
  t->randomState = 12345;
  std::string second;
  for (int i = 0; i < 20; ++i) second += t.text_of("random(1000)") + ",";
  EXPECT_EQ(first, second);
  t->randomState = 12346;
  std::string other;
  for (int i = 0; i < 20; ++i) other += t.text_of("random(1000)") + ",";
  EXPECT_NE(first, other);
  for (int i = 0; i < 200; ++i) {
    const int32_t r = integer_of(t, "random(2147483647)");
    EXPECT_GE(r, 0);
  }
  EXPECT_EQ(integer_of(t, "random(0)"), 0);
  EXPECT_EQ(error_of(t, "random(-1)"), 1781);
}

TEST(MathBuiltins, RandomIsUniform) {
  TestContext t;
  t->randomState = 7;
  // Every value of a small range, in even shares (chi-square with 9 degrees of freedom).
  int counts[10] = {};
  const int draws = 20000;
  for (int i = 0; i < draws; ++i) {
    const int32_t r = integer_of(t, "random(9)");
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 9);
    ++counts[r];
  }
  double chi = 0;
  for (int c : counts) chi += (c - draws / 10.0) * (c - draws / 10.0) / (draws / 10.0);
  EXPECT_LT(chi, 30.0);
  // A range that does not divide 2^32: a plain remainder would give the lowest 2^30 values 3/4 of the draws
  // instead of 2/3.
  int low = 0;
  const int big_draws = 20000;
  for (int i = 0; i < big_draws; ++i)
    if (integer_of(t, "random(1610612735)") < (1 << 30)) ++low;
  EXPECT_NEAR(double(low) / big_draws, 2.0 / 3.0, 0.02);
}

TEST(MathBuiltins, TheWidestDecimalsFitTheText) {
  TestContext t;
  EXPECT_EQ(integer_of(t, "decimals(400)"), -1);
  EXPECT_EQ(t.text_of("1/3.0").size(), 402u);
  EXPECT_EQ(t.text_of("-1e300").size(), 1u + 1 + 1 + 400 + 5);
  EXPECT_EQ(t.text_of("-1e-300").size(), 1u + 1 + 1 + 400);
}

}  // namespace
}  // namespace tov
