// Math built-ins called through the evaluator: float edge cases, the pending math error, Random's
// distribution. Results and argument lists are checked by the script cases.
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

TEST(MathBuiltins, RandomIsReproducibleFromItsStateAndUniform) {
  TestContext t;
  auto draws = [&t](uint32_t state) {
    t->randomState = state;
    std::string s;
    for (int i = 0; i < 20; ++i) s += t.text_of("random(1000)") + ",";
    return s;
  };
  EXPECT_EQ(draws(12345), draws(12345));
  EXPECT_NE(draws(12345), draws(12346));
  for (int i = 0; i < 200; ++i) EXPECT_GE(integer_of(t, "random(2147483647)"), 0);
  EXPECT_EQ(integer_of(t, "random(0)"), 0);

  t->randomState = 7;
  // Every value of a small range, in even shares (chi-square with 9 degrees of freedom).
  int counts[10] = {};
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const int32_t r = integer_of(t, "random(9)");
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 9);
    ++counts[r];
  }
  double chi = 0;
  for (int c : counts) chi += (c - n / 10.0) * (c - n / 10.0) / (n / 10.0);
  EXPECT_LT(chi, 30.0);
  // A range that does not divide 2^32: a plain remainder would give the lowest 2^30 values 3/4 of the draws
  // instead of 2/3.
  int low = 0;
  for (int i = 0; i < n; ++i)
    if (integer_of(t, "random(1610612735)") < (1 << 30)) ++low;
  EXPECT_NEAR(double(low) / n, 2.0 / 3.0, 0.02);
}

TEST(MathBuiltins, TheWidestDecimalsFitTheText) {
  TestContext t;
  EXPECT_EQ(integer_of(t, "decimals(400)"), -1);
  EXPECT_EQ(t.text_of("1/3.0").size(), 402u);
  EXPECT_EQ(t.text_of("-1e300").size(), 1u + 1 + 1 + 400 + 5);
  EXPECT_EQ(t.text_of("-1e-300").size(), 1u + 1 + 1 + 400);
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


}  // namespace
}  // namespace tov
