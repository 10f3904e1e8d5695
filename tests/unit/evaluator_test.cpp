// The expression evaluator: precedence, integer and float arithmetic, comparison modes, concatenation,
// unary operators, assignment and the errors of each.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;

TEST(Evaluator, PrecedenceLevels) {
  TestContext t;
  EXPECT_EQ(t.text_of("--5"), "5");
  EXPECT_EQ(t.text_of("10 - 4 - 3"), "3");         // left-associative
  EXPECT_EQ(t.text_of("64 / 4 / 2"), "8");
  EXPECT_EQ(t.text_of("1 + 2 << 3"), "24");        // shifts bind looser than addition
  EXPECT_EQ(t.text_of("1 : 2 + 3"), "15");         // concatenation looser than arithmetic
  EXPECT_EQ(t.text_of("\"1\" : 2 == 12"), "1");    // comparison looser than concatenation
  EXPECT_EQ(t.text_of("6 & 2 == 2"), "0");         // bitwise looser than comparison
  EXPECT_EQ(t.text_of("1 | 2 && 0"), "0");         // logical loosest
  EXPECT_EQ(t.text_of("2 * 3 ** 2"), "18");
  EXPECT_EQ(t.text_of("-(2 + 3) * 2"), "-10");
  EXPECT_EQ(t.text_of("!0 + 1"), "2");
  EXPECT_EQ(t.text_of("~0"), "-1");
  EXPECT_EQ(t.text_of("5 ^ 1"), "4");
  EXPECT_EQ(t.text_of("0 || 0"), "0");
  EXPECT_EQ(t.text_of("0 || 7"), "1");
  EXPECT_EQ(t.text_of("3 && 7"), "1");
  EXPECT_EQ(t.text_of("0.0 || 0.5"), "1");        // float logic gives an integer
  EXPECT_EQ(t.text_of("7 mod 4 * 2"), "6");
}

TEST(Evaluator, IntegerArithmeticWrapsAndNeverTraps) {
  TestContext t;
  EXPECT_EQ(t.text_of("2147483647 + 1"), "-2147483648");
  EXPECT_EQ(t.text_of("-2147483647 - 2"), "2147483647");
  EXPECT_EQ(t.text_of("65536 * 65536"), "0");
  EXPECT_EQ(t.text_of("-(-2147483647 - 1)"), "-2147483648");
  EXPECT_EQ(t.text_of("1 << 33"), "2");
  EXPECT_EQ(t.text_of("1 << 31"), "-2147483648");
  EXPECT_EQ(t.text_of("-8 >> 1"), "-4");           // keeps the sign
  EXPECT_EQ(t.text_of("1 >> 32"), "1");            // low five bits of the count
  EXPECT_EQ(t.text_of("7 / 2"), "3");
  EXPECT_EQ(t.text_of("-7 / 2"), "-3");
  EXPECT_EQ(t.text_of("-7 mod 3"), "-1");
  EXPECT_EQ(t.text_of("7 mod -3"), "1");
  EXPECT_EQ(t.text_of("(-2147483647 - 1) / -1"), "-2147483648");
  EXPECT_EQ(t.text_of("(-2147483647 - 1) mod -1"), "0");
  EXPECT_EQ(t.text_of("2 ** 10"), "1024");
  EXPECT_EQ(t.text_of("2 ** 0"), "1");
  EXPECT_EQ(t.text_of("3 ** 40"), std::to_string(int32_t(uint32_t(3486784401u) * 3486784401u)));
  EXPECT_EQ(t.error_of("2 ** -1"), ERR_FP_FACT_ARGS);
  EXPECT_EQ(t.error_of("1 / 0"), ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.error_of("1 mod 0"), ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.text_of("\"12\" * \"3\""), "36");    // numeric strings take part
}

TEST(Evaluator, FloatArithmetic) {
  TestContext t;
  EXPECT_EQ(t.text_of("7.5 mod 2"), "1.5");
  EXPECT_EQ(t.text_of("-7.5 mod 2"), "-1.5");
  EXPECT_EQ(t.text_of("1 / 4.0"), "0.25");
  EXPECT_EQ(t.text_of("\"1.5\" + 1"), "2.5");
  EXPECT_EQ(t.text_of("2 ** 0.5 * 2 ** 0.5"), "2.0");
  EXPECT_EQ(t.error_of("1.0 / 0"), ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.error_of("1 / 0.0"), ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.error_of("1.5 mod 0"), ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.error_of("1e200 * 1e200"), ERR_FP_OVERFLOW);
  EXPECT_EQ(t.error_of("1e300 * 10"), ERR_FP_OVERFLOW);
  EXPECT_EQ(t.text_of("1e-200 * 1e-200"), "0.0");   // below 1e-300: zero
  EXPECT_EQ(t.error_of("2 & 3.0"), ERR_BINARY_OP_TYPE);
  EXPECT_EQ(t.error_of("1.5 << 1"), ERR_BINARY_OP_TYPE);
  EXPECT_EQ(t.error_of("\"abc\" + 1"), ERR_NOT_NUMBER);
}

TEST(Evaluator, PendingMathErrorsOfPower) {
  TestContext t;
  EXPECT_EQ(t.error_of("(-8.0) ** 0.5"), ERR_FP_DOMAIN);
  EXPECT_EQ(t.error_of("10.0 ** 400"), ERR_FP_OVERFLOW);
  EXPECT_EQ(t.error_of("0.0 ** -1"), ERR_FP_SINGULARITY);
  EXPECT_EQ(t.text_of("10.0 ** -400"), "0.0");       // underflow is no error
  // A raised error does not linger for the next operation.
  EXPECT_EQ(t.text_of("2.0 ** 2"), "4.0");
  EXPECT_EQ(fp_pending(), 0);
}

TEST(Evaluator, ComparisonModes) {
  TestContext t;
  struct Case {
    const char* expr;
    const char* result;
  } cases[] = {
      {"\"010\" == 10", "1"},
      {"\"10\" == 10", "1"},
      {"10 == \"10 \"", "0"},                    // not a number: text
      {"\"abc\" < \"abd\"", "1"},
      {"\"abc\" == \"ABC\"", "0"},               // case-sensitive
      {"\"1234567890\" > \"999999999\"", "1"},   // long numbers digit by digit
      {"\"-1234567890\" < \"-999999999\"", "1"},
      {"\"-0000000000\" == \"0000000000\"", "1"},
      {"\"1234567890\" > 999999999", "1"},
      {"\"99999999999999999999\" > \"99999999999999999998\"", "1"},
      {"0.1 + 0.2 == 0.3", "1"},                 // equal when they print the same
      {"0.1 + 0.2 > 0.3", "1"},                  // ordering uses the numbers
      {"2 > 1.5", "1"},
      {"1.5 < 2", "1"},
      {"3 == 3.0", "1"},
      {"3 != 3.0", "0"},
      {"2 > \"1.5\"", "1"},
      {"\"2.5\" < 3", "1"},
      {"\"2.5\" == \"2.50\"", "1"},              // both floats
      {"\"x\" != 1", "1"},
      {"\"b\" >= \"a\"", "1"},
      {"1 <= 1", "1"},
      {"1 <> 2", "1"},
      {"1 < 2 == 1", "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(t.text_of(c.expr), c.result) << c.expr;
  t.assign("a = arrdimension(2)");
  EXPECT_EQ(t.error_of("a == 1"), ERR_NOT_NUMBER);
}

TEST(Evaluator, Concatenation) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  EXPECT_EQ(t.text_of("\"a\" : 1"), "a1");
  EXPECT_EQ(t.text_of("1 : 2"), "12");
  EXPECT_EQ(t.text_of("1.5 : \"\""), "1.5");
  EXPECT_EQ(t.text_of("\"\" : \"\""), "");
  EXPECT_EQ(t.text_of("-1 : -2.25 : \"x\""), "-1-2.25x");
  const std::string assign_big = "big = \"" + std::string(1500, 'z') + "\"";
  t.assign(assign_big);
  EXPECT_EQ(t.text_of("big : big : big").size(), 4500u);   // no limit but memory
  t.assign("a = arrdimension(1)");
  EXPECT_EQ(t.error_of("a : 1"), ERR_NOT_STRING);
  t.assign("drop(a, big)");
  EXPECT_EQ(t.heap_used(), heap_before);
}

TEST(Evaluator, UnaryOperators) {
  TestContext t;
  EXPECT_EQ(t.text_of("!\"0\""), "1");
  EXPECT_EQ(t.text_of("!\"abc\" == 0"), "");
  EXPECT_EQ(t.err(), ERR_NOT_NUMBER);
  EXPECT_EQ(t.text_of("!0.0"), "1");
  EXPECT_EQ(t.text_of("!2.5"), "0");
  EXPECT_EQ(t.text_of("-\"2.5\""), "-2.5");
  EXPECT_EQ(t.text_of("+\"7\""), "7");
  EXPECT_EQ(t.text_of("~\"1\""), "-2");
  EXPECT_EQ(t.error_of("~1.0"), ERR_UNARY_OP_TYPE);
  EXPECT_EQ(t.error_of("&5"), ERR_ADDRESS_OF);
  EXPECT_EQ(t.error_of("&(1 + 2)"), ERR_ADDRESS_OF);
  EXPECT_EQ(t.error_of("*5"), ERR_NOT_POINTER);
  EXPECT_EQ(t.error_of("*\"no pointer\""), ERR_NOT_POINTER);
}

TEST(Evaluator, SyntaxErrors) {
  TestContext t;
  EXPECT_EQ(t.error_of("(1 + 2"), ERR_UNBALANCED_PARENS);
  EXPECT_EQ(t.error_of("1 +"), ERR_ILLEGAL_SYNTAX);
  EXPECT_EQ(t.error_of(")"), ERR_ILLEGAL_SYNTAX);
  EXPECT_EQ(t.error_of("strlen"), ERR_NO_OPEN_PAREN);
  EXPECT_EQ(t.error_of("undefined_name"), ERR_UNINITIALIZED);
  t.assign("x = 1");
  EXPECT_EQ(t.error_of("(x = 5)"), ERR_ASSIGNMENT_NOT_LEGAL);
  EXPECT_STRNE(error_info_text(t.ctx()), "");
  EXPECT_EQ(t.error_of("arrinfo(x = 5, 0)"), ERR_ASSIGNMENT_NOT_LEGAL);
  EXPECT_EQ(t.error_of("1 = 1"), ERR_ASSIGNMENT_NOT_LEGAL);
}

TEST(Evaluator, Assignment) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  t.assign("s = \"one\"");
  ASSERT_EQ(t.err(), 0);
  t.assign("s = s : \"two\"");   // the old value goes after the new one is made
  EXPECT_EQ(t.text_of("s"), "onetwo");
  t.assign("s = 1 2");
  EXPECT_EQ(t.err(), ERR_EXPRESSION_CONTINUES);
  EXPECT_EQ(t.text_of("s"), "onetwo");   // a failed assignment leaves the target alone
  t.assign("n == 1");               // not an assignment: an expression over n
  EXPECT_EQ(t.err(), ERR_UNINITIALIZED);
  t.assign("s = 5 ; a comment");
  EXPECT_EQ(t.err(), 0);
  EXPECT_EQ(t.text_of("s"), "5");
  t.assign("drop(s, n)");
  EXPECT_EQ(t.heap_used(), heap_before);
}

TEST(Evaluator, ExpressionsReturnTheHeapToItsStart) {
  TestContext t;
  t.assign("s = \"text\"");
  t.assign("f = 2.5");
  const uint32_t before = t.heap_used();
  const char* exprs[] = {"s : f : 1", "s == \"text\"", "\"1234567890\" > s", "f * 2 == \"5.0\"",
                         "strlen(s : s)", "1 / 0", "s + 1", "(s : 1", "\"a\" < \"b\" : \"c\"",
                         "arrinfo(arrdimension(3), 6)"};
  for (const char* e : exprs) {
    t.text_of(e);
    EXPECT_EQ(t.heap_used(), before) << e;
  }
}
