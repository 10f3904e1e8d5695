// Values: conversions between representations, float text under the Decimals setting, copies and frees,
// and the text tests that built-ins use.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "diag/errors.h"
#include "platform/text.h"
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

std::string float_text(TestContext& t, double x, int decimals) {
  t->decimals = decimals;
  char buf[FLOAT_TEXT_BYTES];
  const bool ok = float_to_text(t.ctx(), x, buf);
  t->decimals = -1;
  return ok ? buf : "<fail>";
}

}  // namespace

TEST(Conversions, StringToInteger) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {{" 12", true, 12},  {"12 ", false, 0}, {"1 2", false, 0}, {"+", false, 0},
               {"", false, 0},     {"-7", true, -7},  {"4294967297", true, 1},
               {"+5", true, 5},    {"\t5", false, 0}, {"5.0", false, 0}, {"-2147483648", true, INT32_MIN},
               {"2147483648", true, INT32_MIN}};
  for (const Case& c : cases) {
    ValueCore v = text_value(t, c.text);
    EXPECT_EQ(to_integer(t.ctx(), v, true), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v.i, c.value) << c.text;
      EXPECT_EQ(v.type, uint32_t(VF_STRING | VF_INTEGER));   // the string is kept
    }
    value_free(t.ctx(), v);
  }
  EXPECT_EQ(t.heap_used(), heap_before);
}

TEST(Conversions, StringToFloat) {
  TestContext t;
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {{"1.5e3", true, 1500}, {"1d3", false, 0},     {"1D3", false, 0},   {"abc", false, 0},
               {" -.5", true, -0.5},  {"5.", true, 5},       {"1e", false, 0},    {"0x10", false, 0},
               {"inf", false, 0},     {"nan", false, 0},     {"1e400", false, 0}, {"1e-400", true, 0},
               {"12 ", false, 0},     {"", false, 0}};
  for (const Case& c : cases) {
    ValueCore v = text_value(t, c.text);
    EXPECT_EQ(to_float(t.ctx(), v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v.f, c.value) << c.text;
    }
    value_free(t.ctx(), v);
  }
  ValueCore abc = text_value(t, "abc");
  EXPECT_FALSE(to_integer(t.ctx(), abc, true));
  value_free(t.ctx(), abc);
}

TEST(Conversions, FloatToInteger) {
  TestContext t;
  struct Case {
    double f;
    bool ok;
    int32_t value;
  } cases[] = {{2147483644.6, true, 2147483645}, {2147483645.0, false, 0}, {-2.5, true, -3},
               {2.5, true, 3},                   {-2147483645.0, true, -2147483645},
               {-2147483645.5, false, 0},        {0.49999, true, 0},      {NAN, false, 0}};
  for (const Case& c : cases) {
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

TEST(Conversions, NumbersToText) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  ValueCore v{};
  v.i = INT32_MIN;
  v.type = VF_INTEGER;
  ASSERT_TRUE(to_string(t.ctx(), v));
  EXPECT_STREQ(str_at(t.ctx(), v.str), "-2147483648");
  ASSERT_TRUE(to_wstring(t.ctx(), v));
  EXPECT_EQ(std::u16string(wstr_at(t.ctx(), v.wstr)), u"-2147483648");
  value_free(t.ctx(), v);

  ValueCore w{};
  w.wstr = wstr_new(t.ctx(), u"\u00e9 7", 3);
  w.type = VF_WSTRING;
  ASSERT_TRUE(to_string(t.ctx(), w));
  char expected[16];
  const int n = plat::wide_to_ansi(u"\u00e9 7", 3, expected, sizeof expected - 1, t->nCodePage);
  ASSERT_GT(n, 0);
  expected[n] = 0;
  EXPECT_STREQ(str_at(t.ctx(), w.str), expected);   // the run's code page
  EXPECT_FALSE(to_integer(t.ctx(), w, true));
  value_free(t.ctx(), w);
  EXPECT_EQ(w.type, 0u);
  EXPECT_EQ(t.heap_used(), heap_before);
}

TEST(Conversions, ArithmeticWorksOnACopy) {
  TestContext t;
  t.assign("x = \"5\"");
  t.assign("y = x + 1");
  EXPECT_EQ(t.text_of("y"), "6");
  EXPECT_EQ(t.text_of("vartype(x)"), "2");
  EXPECT_EQ(t.text_of("vartype(y)"), "1");
  t.assign("f = 1.5");
  EXPECT_EQ(t.text_of("vartype(f)"), "32");
  t.assign("s = f : \"\"");
  EXPECT_EQ(t.text_of("vartype(f)"), "32");
  EXPECT_EQ(t.text_of("s"), "1.5");
}

TEST(FloatText, DecimalsSetting) {
  TestContext t;
  EXPECT_EQ(float_text(t, 3.14159, -1), "3.14159");
  EXPECT_EQ(float_text(t, 1.0 / 3, -1), "0.33333333");
  EXPECT_EQ(float_text(t, 2.0, -1), "2.0");
  EXPECT_EQ(float_text(t, 0.0, -1), "0.0");
  EXPECT_EQ(float_text(t, -0.5, -1), "-0.5");
  EXPECT_EQ(float_text(t, 1e10, -1), "1.00000000e+010");
  EXPECT_EQ(float_text(t, 0.00001, -1), "1.00000000e-005");
  EXPECT_EQ(float_text(t, 999999999.0, -1), "999999999.0");
  EXPECT_EQ(float_text(t, 1e300, -1), "1.00000000e+300");
  EXPECT_EQ(float_text(t, 3.14159, 2), "3.14");
  EXPECT_EQ(float_text(t, 2.0, 2), "2.00");
  EXPECT_EQ(float_text(t, 2.5, 0), "3");
  EXPECT_EQ(float_text(t, -2.5, 0), "-3");
  EXPECT_EQ(float_text(t, 0.0, 0), "0");
  EXPECT_EQ(float_text(t, 1e12, 0), "1.e+012");
  EXPECT_EQ(float_text(t, 1.0 / 3, -2), "0.333333");
  EXPECT_EQ(float_text(t, 1e10, -2), "1e+010");
  EXPECT_EQ(float_text(t, 100.0, -2), "100");
  EXPECT_EQ(float_text(t, 1.5, -3), "1.500000e+000");
  EXPECT_EQ(float_text(t, -0.00012, -3), "-1.200000e-004");
  // A large digit count must not overflow the text buffer.
  EXPECT_EQ(float_text(t, 123.25, 1000).size(), 3u + 1 + 400);
  EXPECT_EQ(float_text(t, -1e300, 1000).substr(0, 4), "-1.0");

  t->decimals = -1;
  char buf[FLOAT_TEXT_BYTES];
  EXPECT_FALSE(float_to_text(t.ctx(), NAN, buf));
  EXPECT_EQ(t.err(), ERR_FP_NAN);
}

TEST(Values, CopyDuplicatesStringsAndFreeReleasesThem) {
  TestContext t;
  const uint32_t heap_before = t.heap_used();
  ValueCore src = text_value(t, "hello");
  ASSERT_TRUE(to_wstring(t.ctx(), src));
  ValueCore dup{};
  ASSERT_TRUE(value_copy(t.ctx(), src, dup, VCOPY_DUP_STRINGS));
  EXPECT_NE(dup.str, src.str);
  EXPECT_NE(dup.wstr, src.wstr);
  EXPECT_STREQ(str_at(t.ctx(), dup.str), "hello");
  EXPECT_EQ(std::u16string(wstr_at(t.ctx(), dup.wstr)), u"hello");
  value_free(t.ctx(), src);
  EXPECT_STREQ(str_at(t.ctx(), dup.str), "hello");   // the copy lives on its own
  value_free(t.ctx(), dup);
  EXPECT_EQ(t.heap_used(), heap_before);
}

TEST(Values, TextTestsAndRadixes) {
  EXPECT_TRUE(is_integer_text(" -12 \t"));
  EXPECT_TRUE(is_integer_text(""));
  EXPECT_TRUE(is_integer_text("+"));
  EXPECT_FALSE(is_integer_text("1 2"));
  EXPECT_FALSE(is_integer_text("0x1"));
  EXPECT_TRUE(is_hex_text("\tDEADbeef "));
  EXPECT_FALSE(is_hex_text("g"));
  EXPECT_TRUE(is_integer_text_w(u" 42"));
  EXPECT_FALSE(is_hex_text_w(u"12z"));

  char out[80];
  integer_to_radix(255, 16, out);
  EXPECT_STREQ(out, "FF");
  integer_to_radix(-5, 2, out);
  EXPECT_STREQ(out, "-101");
  integer_to_radix(INT64_MIN, 2, out);
  EXPECT_EQ(std::strlen(out), 65u);
  integer_to_radix(0, 36, out);
  EXPECT_STREQ(out, "0");
  EXPECT_EQ(radix_to_integer("ff", 16), 255);
  EXPECT_EQ(radix_to_integer("Zz", 36), 35 * 36 + 35);
  EXPECT_EQ(radix_to_integer("-101", 2), -5);
  EXPECT_EQ(radix_to_integer("12", 2), -2);
  EXPECT_EQ(radix_to_integer("1", 37), -1);
  EXPECT_EQ(radix_to_integer("1", 1), -1);
  EXPECT_EQ(radix_to_integer("", 10), 0);
}

TEST(Values, VariantTypeNames) {
  uint32_t cls = 9;
  EXPECT_EQ(MyVariantStrToNum("vt_i4", &cls), 3);
  EXPECT_EQ(cls, 1u);
  EXPECT_EQ(MyVariantStrToNum("Bool", &cls), 11);
  EXPECT_EQ(MyVariantStrToNum("DATE", &cls), 7);
  EXPECT_EQ(cls, 2u);
  EXPECT_EQ(MyVariantStrToNum("I", &cls), -1);
  EXPECT_EQ(cls, 0u);
  EXPECT_EQ(MyVariantStrToNum("VT_", nullptr), -1);
  EXPECT_EQ(MyVariantStrToNum(nullptr, nullptr), -1);
}
