// The expression evaluator: precedence, integer and float arithmetic, comparison modes, concatenation,
// unary operators and the errors of each.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;

// Every expression, good or failing, returns the string heap to where it started.
TEST(Evaluator, ResultsAndErrors) {
  TestContext t;
  t.assign("s = \"text\"");
  t.assign("f = 2.5");
  t.assign("arr = arrdimension(2)");
  t.assign("x = \"5\"");
  t.assign("big = \"" + std::string(1500, 'z') + "\"");
  const uint32_t heap_before = t.heap_used();
  const std::pair<const char*, const char*> results[] = {
      // precedence and associativity, loosest last: logical, bitwise, comparison, concatenation, shifts
      {"--5", "5"}, {"10 - 4 - 3", "3"}, {"64 / 4 / 2", "8"}, {"1 + 2 << 3", "24"}, {"1 : 2 + 3", "15"},
      {"\"1\" : 2 == 12", "1"}, {"6 & 2 == 2", "0"}, {"1 | 2 && 0", "0"}, {"2 * 3 ** 2", "18"},
      {"-(2 + 3) * 2", "-10"}, {"!0 + 1", "2"}, {"~0", "-1"}, {"5 ^ 1", "4"}, {"0 || 0", "0"}, {"0 || 7", "1"},
      {"3 && 7", "1"}, {"0.0 || 0.5", "1"}, {"7 mod 4 * 2", "6"},
      // integers wrap and never trap
      {"2147483647 + 1", "-2147483648"}, {"-2147483647 - 2", "2147483647"}, {"65536 * 65536", "0"},
      {"-(-2147483647 - 1)", "-2147483648"}, {"1 << 33", "2"}, {"1 << 31", "-2147483648"}, {"-8 >> 1", "-4"},
      {"1 >> 32", "1"}, {"7 / 2", "3"}, {"-7 / 2", "-3"}, {"-7 mod 3", "-1"}, {"7 mod -3", "1"},
      {"(-2147483647 - 1) / -1", "-2147483648"}, {"(-2147483647 - 1) mod -1", "0"}, {"2 ** 10", "1024"},
      {"2 ** 0", "1"}, {"3 ** 40", "689956897"}, {"\"12\" * \"3\"", "36"},
      {"x + 1", "6"}, {"vartype(x)", "2"},   // arithmetic works on a copy
      // floats
      {"7.5 mod 2", "1.5"}, {"-7.5 mod 2", "-1.5"}, {"1 / 4.0", "0.25"}, {"\"1.5\" + 1", "2.5"},
      {"2 ** 0.5 * 2 ** 0.5", "2.0"}, {"1e-200 * 1e-200", "0.0"}, {"10.0 ** -400", "0.0"},
      // comparison: numbers when both sides are numbers, long digit strings digit by digit, floats equal
      // when they print the same but ordered by their values
      {"\"010\" == 10", "1"}, {"\"10\" == 10", "1"}, {"10 == \"10 \"", "0"}, {"\"abc\" < \"abd\"", "1"},
      {"\"abc\" == \"ABC\"", "0"}, {"\"1234567890\" > \"999999999\"", "1"}, {"\"-1234567890\" < \"-999999999\"", "1"},
      {"\"-0000000000\" == \"0000000000\"", "1"}, {"\"1234567890\" > 999999999", "1"},
      {"\"99999999999999999999\" > \"99999999999999999998\"", "1"}, {"0.1 + 0.2 == 0.3", "1"},
      {"0.1 + 0.2 > 0.3", "1"}, {"2 > 1.5", "1"}, {"3 == 3.0", "1"}, {"3 != 3.0", "0"}, {"2 > \"1.5\"", "1"},
      {"\"2.5\" < 3", "1"}, {"\"2.5\" == \"2.50\"", "1"}, {"\"x\" != 1", "1"}, {"\"b\" >= \"a\"", "1"},
      {"\"10\" < \"abc\"", "1"}, {"\" x\" < \"1\"", "1"}, {"\"*EOF*\" == \"*eof*\"", "0"}, {"\"a\" < \"B\"", "1"},
      {"1 : \"a\" : 2.5 : \"b\" : -3 : 0.5", "1a2.5b-30.5"}, {"s : s : s : s", "texttexttexttext"}, {"\"\" : 7 : \"\"", "7"},
      {"strlen(big : s : big)", "3004"}, {"strsub(big : s : 1 : big, 1499, 8)", "zztext1z"},
      {"\"line 1\" == \"*EOF*\"", "0"}, {"\"-x\" > \"-1\"", "1"}, {"s == \"text\"", "1"}, {"s != \"tex\"", "1"},
      {"1 <= 1", "1"}, {"1 <> 2", "1"}, {"1 < 2 == 1", "1"},
      // concatenation and unary operators
      {"\"a\" : 1", "a1"}, {"1.5 : \"\"", "1.5"}, {"\"\" : \"\"", ""}, {"-1 : -2.25 : \"x\"", "-1-2.25x"},
      {"s : f : 1", "text2.51"}, {"vartype(f)", "32"}, {"\"a\" < \"b\" : \"c\"", "1"}, {"strlen(big : big : big)", "4500"},
      {"!\"0\"", "1"}, {"!0.0", "1"}, {"!2.5", "0"}, {"-\"2.5\"", "-2.5"}, {"+\"7\"", "7"}, {"~\"1\"", "-2"},
  };
  for (const auto& [expr, text] : results) {
    EXPECT_EQ(t.text_of(expr), text) << expr;
    EXPECT_EQ(t.err(), 0) << expr;
    EXPECT_EQ(t.heap_used(), heap_before) << expr;
  }
  const std::pair<const char*, uint16_t> errors[] = {
      {"2 ** -1", ERR_FP_FACT_ARGS}, {"1 / 0", ERR_DIVIDE_BY_ZERO}, {"1 mod 0", ERR_DIVIDE_BY_ZERO},
      {"1.0 / 0", ERR_DIVIDE_BY_ZERO}, {"1 / 0.0", ERR_DIVIDE_BY_ZERO}, {"1.5 mod 0", ERR_DIVIDE_BY_ZERO},
      {"1e200 * 1e200", ERR_FP_OVERFLOW}, {"1e300 * 10", ERR_FP_OVERFLOW}, {"2 & 3.0", ERR_BINARY_OP_TYPE},
      {"1.5 << 1", ERR_BINARY_OP_TYPE}, {"\"abc\" + 1", ERR_NOT_NUMBER}, {"s + 1", ERR_NOT_NUMBER},
      {"arr == 1", ERR_NOT_NUMBER}, {"arr : 1", ERR_NOT_STRING}, {"!\"abc\" == 0", ERR_NOT_NUMBER},
      {"~1.0", ERR_UNARY_OP_TYPE}, {"&5", ERR_ADDRESS_OF}, {"&(1 + 2)", ERR_ADDRESS_OF}, {"*5", ERR_NOT_POINTER},
      {"*\"no pointer\"", ERR_NOT_POINTER}, {"(1 + 2", ERR_UNBALANCED_PARENS}, {"(s : 1", ERR_UNBALANCED_PARENS},
      {"1 +", ERR_ILLEGAL_SYNTAX}, {")", ERR_ILLEGAL_SYNTAX}, {"strlen", ERR_NO_OPEN_PAREN},
      {"undefined_name", ERR_UNINITIALIZED}, {"(f = 5)", ERR_ASSIGNMENT_NOT_LEGAL},
      {"arrinfo(f = 5, 0)", ERR_ASSIGNMENT_NOT_LEGAL}, {"1 = 1", ERR_ASSIGNMENT_NOT_LEGAL},
      // the pending floating-point errors of the power operator
      {"(-8.0) ** 0.5", ERR_FP_DOMAIN}, {"10.0 ** 400", ERR_FP_OVERFLOW}, {"0.0 ** -1", ERR_FP_SINGULARITY},
  };
  for (const auto& [expr, err] : errors) {
    EXPECT_EQ(t.error_of(expr), err) << expr;
    EXPECT_EQ(t.heap_used(), heap_before) << expr;
  }
  t.error_of("(f = 5)");
  EXPECT_STRNE(error_info_text(t.ctx()), "");
  // A raised error does not linger for the next operation.
  EXPECT_EQ(t.text_of("2.0 ** 2"), "4.0");
  EXPECT_EQ(fp_pending(), 0);
}
