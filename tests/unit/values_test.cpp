// Values: conversions between representations and float text under the Decimals setting.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "diag/errors.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;

namespace {

// A string value in the context's heap.
ValueCore text_value(TestContext& t, const char* s) {
  ValueCore v{};
  v.str = str_new(t.ctx(), s, std::strlen(s));
  v.type = VF_STRING;
  return v;
}

}  // namespace

TEST(Conversions, TextAndFloatToNumber) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  const struct { const char* text; bool ok; int32_t value; } integers[] = {
      {" 12", true, 12}, {"12 ", false, 0}, {"1 2", false, 0}, {"+", false, 0}, {"", false, 0},
      {"-7", true, -7}, {"4294967297", true, 1}, {"+5", true, 5}, {"\t5", false, 0}, {"5.0", false, 0},
      {"abc", false, 0}, {"-2147483648", true, INT32_MIN}, {"2147483648", true, INT32_MIN}};
  for (const auto& c : integers) {
    ValueCore v = text_value(t, c.text);
    EXPECT_EQ(to_integer(t.ctx(), v, true), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v.i, c.value) << c.text;
      EXPECT_EQ(v.type, uint32_t(VF_STRING | VF_INTEGER));   // the string is kept
    }
    value_free(t.ctx(), v);
  }
  const struct { const char* text; bool ok; double value; } floats[] = {
      {"1.5e3", true, 1500}, {"1d3", false, 0}, {"1D3", false, 0}, {"abc", false, 0}, {" -.5", true, -0.5},
      {"5.", true, 5}, {"1e", false, 0}, {"0x10", false, 0}, {"inf", false, 0}, {"nan", false, 0},
      {"1e400", false, 0}, {"1e-400", true, 0}, {"12 ", false, 0}, {"", false, 0}};
  for (const auto& c : floats) {
    ValueCore v = text_value(t, c.text);
    EXPECT_EQ(to_float(t.ctx(), v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v.f, c.value) << c.text;
    }
    value_free(t.ctx(), v);
  }
  EXPECT_EQ(t.heap_used(), heap_before);

  // Floats round to integers within limits.
  const struct { double f; bool ok; int32_t value; } cases[] = {
      {2147483644.6, true, 2147483645}, {2147483645.0, false, 0}, {-2.5, true, -3}, {2.5, true, 3},
      {-2147483645.0, true, -2147483645}, {-2147483645.5, false, 0}, {0.49999, true, 0}, {NAN, false, 0}};
  for (const auto& c : cases) {
    ValueCore v{};
    v.f = c.f;
    v.type = VF_FLOAT;
    EXPECT_FALSE(to_integer(t.ctx(), v, false)) << c.f;   // floats only when allowed
    EXPECT_EQ(to_integer(t.ctx(), v, true), c.ok) << c.f;
    if (c.ok) {
      EXPECT_EQ(v.i, c.value) << c.f;
      EXPECT_EQ(v.type, uint32_t(VF_INTEGER));   // the float is replaced
    }
  }
}

TEST(FloatText, DecimalsSetting) {
  TestContext t;
  const struct { double x; int decimals; const char* text; } cases[] = {
      {3.14159, -1, "3.14159"}, {1.0 / 3, -1, "0.33333333"}, {2.0, -1, "2.0"}, {-0.5, -1, "-0.5"},
      {1e10, -1, "1.00000000e+010"}, {0.00001, -1, "1.00000000e-005"}, {999999999.0, -1, "999999999.0"},
      {1e300, -1, "1.00000000e+300"}, {3.14159, 2, "3.14"}, {2.0, 2, "2.00"}, {2.5, 0, "3"}, {-2.5, 0, "-3"},
      {1e12, 0, "1.e+012"}, {1.0 / 3, -2, "0.333333"}, {1e10, -2, "1e+010"}, {100.0, -2, "100"},
      {1.5, -3, "1.500000e+000"}, {-0.00012, -3, "-1.200000e-004"},
      // a negative zero is a zero in every setting; a negative number that rounds to zero keeps its sign
      {-0.0, -1, "0.0"}, {0.0, -1, "0.0"}, {-0.0, -2, "0"}, {-0.0, -3, "0.000000e+000"}, {-0.0, 0, "0"},
      {0.0, 0, "0"}, {-0.0, 2, "0.00"}, {-0.001, 2, "-0.00"},
  };
  char buf[FLOAT_TEXT_BYTES];
  for (const auto& c : cases) {
    t->decimals = c.decimals;
    EXPECT_TRUE(float_to_text(t.ctx(), c.x, buf));
    EXPECT_STREQ(buf, c.text) << c.x << " at " << c.decimals;
  }
  for (int d : {-1, -2, -3, 0, 2}) {
    t->decimals = d;
    EXPECT_EQ(t.text_of("-0.0 == 0.0"), "1") << d;
    EXPECT_EQ(t.text_of("-0.0 != 0.0"), "0") << d;
  }
  // A large digit count must not overflow the text buffer.
  t->decimals = 1000;
  ASSERT_TRUE(float_to_text(t.ctx(), 123.25, buf));
  EXPECT_EQ(std::strlen(buf), 3u + 1 + 400);
  ASSERT_TRUE(float_to_text(t.ctx(), -1e300, buf));
  EXPECT_EQ(std::string(buf).substr(0, 4), "-1.0");
  t->decimals = -1;
  EXPECT_FALSE(float_to_text(t.ctx(), NAN, buf));
  EXPECT_EQ(t.err(), ERR_FP_NAN);
}
