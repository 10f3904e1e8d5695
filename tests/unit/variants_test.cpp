// COM variants in values: the integer, float and text forms, variants in expressions and built-in
// arguments, their lifetime, and strings converted for typed member parameters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "builtin_eval.h"
#include "com/variants.h"
#include "diag/errors.h"
#include "lang/vartable.h"
#include "platform/text.h"
#include "platform/variant.h"
#include "test_context.h"

namespace tov {
namespace {

using plat::VariantData;
using test::TestContext;

#ifdef _WIN32
#define COM_CALL __stdcall
#else
#define COM_CALL
#endif

// An object with the IUnknown table's layout that counts its references.
struct TestObject {
  struct Table {
    void* query_interface;
    uint32_t(COM_CALL* add_ref)(void*);
    uint32_t(COM_CALL* release)(void*);
  };
  const Table* table;
  uint32_t refs;
};
uint32_t COM_CALL object_add_ref(void* o) { return ++static_cast<TestObject*>(o)->refs; }
uint32_t COM_CALL object_release(void* o) { return --static_cast<TestObject*>(o)->refs; }
const TestObject::Table kObjectTable = {nullptr, object_add_ref, object_release};

// A variant of a type whose value is stored at the start of the value field.
template <typename T = int32_t>
VariantData make(uint16_t vt, T value = T{}) {
  VariantData v{};
  v.vt = vt;
  std::memcpy(&v.u64, &value, sizeof value);
  return v;
}
VariantData i4(int32_t i) { return make(plat::VT_I4, i); }
VariantData r8(double d) { return make(plat::VT_R8, d); }
VariantData r4(float f) { return make(plat::VT_R4, f); }
VariantData cy(int64_t ten_thousandths) { return make(plat::VT_CY, ten_thousandths); }
VariantData date(double days) { return make(plat::VT_DATE, days); }
VariantData boolean(bool b) { return make(plat::VT_BOOL, int16_t(b ? -1 : 0)); }
VariantData ui4(uint32_t u) { return make(plat::VT_UI4, u); }
VariantData decimal(const char16_t* text) {
  VariantData v{};
  EXPECT_TRUE(plat::text_to_decimal(text, &v));
  return v;
}
VariantData bstr(const char16_t* text) {
  VariantData v{};
  EXPECT_TRUE(plat::bstr_variant(text, std::char_traits<char16_t>::length(text), &v));
  return v;
}
VariantData reference(uint16_t vt, void* target) {
  VariantData v = make(uint16_t(vt | plat::VT_BYREF));
  plat::set_variant_pointer(v, target);
  return v;
}

// A value holding the variant, which it owns from then on: the helpers below consume their variants.
ValueCore value_of(const VariantData& d) {
  ValueCore v{};
  v.variant = d;
  v.type = VF_VARIANT;
  return v;
}

struct Outcome {
  bool ok;
  std::string text;   // the form as text
  uint16_t err;
};

Outcome integer_of(TestContext& t, const VariantData& d, bool allow_float) {
  ValueCore v = value_of(d);
  t->err = 0;
  const bool ok = variant_to_integer(t.ctx(), v, allow_float);
  Outcome o{ok, ok ? std::to_string(v.i) : "", t->err};
  if (ok) {
    EXPECT_EQ(v.type, uint32_t(VF_VARIANT | VF_INTEGER));
  }
  value_free(t.ctx(), v);
  return o;
}

Outcome float_of(TestContext& t, const VariantData& d) {
  ValueCore v = value_of(d);
  t->err = 0;
  const bool ok = variant_to_float(t.ctx(), v);
  char text[64] = {};
  if (ok) std::snprintf(text, sizeof text, "%.17g", v.f);
  if (ok) {
    EXPECT_EQ(v.type, uint32_t(VF_VARIANT | VF_FLOAT));
  }
  value_free(t.ctx(), v);
  return Outcome{ok, text, t->err};
}

Outcome text_of(TestContext& t, const VariantData& d, bool wide) {
  ValueCore v = value_of(d);
  t->err = 0;
  const bool ok = variant_to_string(t.ctx(), v, wide);
  std::string text;
  if (ok && wide) {
    for (const char16_t* w = wstr_at(t.ctx(), v.wstr); *w; ++w) text += *w < 0x80 ? char(*w) : '?';
  } else if (ok) {
    text = str_at(t.ctx(), v.str);
  }
  value_free(t.ctx(), v);
  return Outcome{ok, text, t->err};
}

void expect(const Outcome& o, const char* text, const char* what) {
  EXPECT_TRUE(o.ok) << what << " (error " << o.err << ")";
  EXPECT_EQ(o.text, text) << what;
  EXPECT_EQ(o.err, 0) << what;
}
void expect_mismatch(const Outcome& o, const char* what) {
  EXPECT_FALSE(o.ok) << what << " gave " << o.text;
  EXPECT_EQ(o.err, ERR_COM_TYPE_MISMATCH) << what;
}

TEST(Variants, ToInteger) {
  TestContext t;
  struct Case {
    const char* what;
    VariantData d;
    const char* strict;   // without allow_float; nullptr: fails without an error
    const char* rounded;  // with allow_float
  } cases[] = {
      {"I4", i4(-7), "-7", "-7"},
      {"EMPTY", make(plat::VT_EMPTY), "0", "0"},
      {"BOOL true", boolean(true), "-1", "-1"},
      {"UI4 in range", ui4(2147483647u), "2147483647", "2147483647"},
      {"UI4 beyond", ui4(3000000000u), nullptr, nullptr},
      {"R8 whole", r8(12.0), nullptr, "12"},
      {"R8 half", r8(2.5), nullptr, "3"},
      {"R8 negative half", r8(-2.5), nullptr, "-3"},
      {"R8 too large", r8(2147483645.0), nullptr, nullptr},
      {"R4", r4(0.7f), nullptr, "1"},
      {"CY whole", cy(120000), "12", "12"},
      {"CY fraction", cy(25000), nullptr, "3"},
      {"DATE midnight", date(36526.0), "36526", "36526"},
      {"DATE with time", date(36526.75), nullptr, "36527"},
      {"DECIMAL", decimal(u"-41"), "-41", "-41"},
      {"DECIMAL fraction", decimal(u"1.5"), nullptr, "2"},
      {"BSTR number", bstr(u" 12 "), "12", "12"},
      {"BSTR fraction", bstr(u"2.5"), nullptr, "3"},
  };
  for (const Case& c : cases) {
    VariantData copy;
    ASSERT_TRUE(plat::variant_copy(&copy, c.d));
    const Outcome strict = integer_of(t, copy, false), rounded = integer_of(t, c.d, true);
    if (c.strict) expect(strict, c.strict, c.what);
    else EXPECT_TRUE(!strict.ok && strict.err == 0) << c.what << " gave " << strict.text;
    if (c.rounded) expect(rounded, c.rounded, c.what);
    else EXPECT_TRUE(!rounded.ok && rounded.err == 0) << c.what << " gave " << rounded.text;
  }
  for (VariantData d : {make(plat::VT_NULL), bstr(u"abc"), bstr(u""), make(plat::VT_ERROR)}) {
    expect_mismatch(integer_of(t, d, true), "no number");
  }
}

TEST(Variants, ToFloat) {
  TestContext t;
  expect(float_of(t, r8(2.25)), "2.25", "R8");
  expect(float_of(t, r4(0.1f)), "0.10000000000000001", "R4 0.1 is the double 0.1");
  expect(float_of(t, r4(-0.1f)), "-0.10000000000000001", "R4 -0.1");
  expect(float_of(t, r4(0.7f)), "0.69999999999999996", "R4 0.7");
  expect(float_of(t, r4(1234.5f)), "1234.5", "R4 1234.5");
  expect(float_of(t, i4(-3)), "-3", "I4");
  expect(float_of(t, cy(-15000)), "-1.5", "CY");
  expect(float_of(t, date(36526.5)), "36526.5", "DATE");
  expect(float_of(t, decimal(u"0.125")), "0.125", "DECIMAL");
  expect(float_of(t, bstr(u"1e3")), "1000", "BSTR");
  expect(float_of(t, ui4(3000000000u)), "3000000000", "UI4 beyond the integer range");
  expect_mismatch(float_of(t, make(plat::VT_NULL)), "NULL");
  expect_mismatch(float_of(t, bstr(u"x1")), "BSTR no number");
}

TEST(Variants, ToText) {
  TestContext t;
  for (bool wide : {false, true}) {
    expect(text_of(t, make(plat::VT_NULL), wide), "", "NULL");
    expect(text_of(t, make(plat::VT_EMPTY), wide), "", "EMPTY");
    expect(text_of(t, r4(0.1f), wide), "0.1", "R4 0.1");
    expect(text_of(t, r4(-0.1f), wide), "-0.1", "R4 -0.1");
    expect(text_of(t, r4(0.7f), wide), "0.7", "R4 0.7");
    expect(text_of(t, r8(2.0), wide), "2.0", "R8 by the run's float format");
    expect(text_of(t, r8(1.0 / 3.0), wide), "0.33333333", "R8 a third");
    expect(text_of(t, i4(-42), wide), "-42", "I4");
    expect(text_of(t, ui4(4000000000u), wide), "4000000000", "UI4");
    expect(text_of(t, cy(12345), wide), "1.2345", "CY");
    expect(text_of(t, cy(-15000), wide), "-1.5", "CY negative");
    expect(text_of(t, cy(20000), wide), "2", "CY whole");
    expect(text_of(t, date(36526.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0), wide), "2000:01:01:13:05:09", "DATE");
    expect(text_of(t, date(-1.25), wide), "1899:12:29:06:00:00", "DATE before 1899-12-30");
    expect(text_of(t, date(1e7), wide), "0000:00:00:00:00:00", "DATE out of range");
    expect(text_of(t, bstr(u"hello"), wide), "hello", "BSTR");
    expect(text_of(t, decimal(u"-1.50"), wide), "-1.5", "DECIMAL");
    expect(text_of(t, boolean(true), wide), "-1", "BOOL");
    expect_mismatch(text_of(t, make(plat::VT_ERROR), wide), "ERROR");
  }
  // The ANSI text is in the run's code page.
  ValueCore accented = value_of(bstr(u"h\u00e9"));
  ASSERT_TRUE(to_string(t.ctx(), accented));
  char expected[8] = {};
  plat::wide_to_ansi(u"h\u00e9", 2, expected, sizeof expected - 1, t->nCodePage);
  EXPECT_STREQ(str_at(t.ctx(), accented.str), expected);
  value_free(t.ctx(), accented);
  t.eval("decimals(2)");
  expect(text_of(t, r8(2.0), false), "2.00", "R8 with Decimals(2)");
}

TEST(Variants, ReferencesAndObjects) {
  TestContext t;
  int32_t i = 41;
  double d = -2.5;
  VariantData inner = i4(9);
  expect(integer_of(t, reference(plat::VT_I4, &i), false), "41", "I4 by reference");
  expect(integer_of(t, reference(plat::VT_R8, &d), true), "-3", "R8 by reference");
  expect(text_of(t, reference(plat::VT_R8, &d), false), "-2.5", "R8 by reference as text");
  expect(integer_of(t, reference(plat::VT_VARIANT, &inner), false), "9", "variant by reference");
  expect_mismatch(integer_of(t, reference(plat::VT_I4, nullptr), false), "null reference");

  TestObject object{&kObjectTable, 1};
  void* unknown = &object;
  const std::string address = std::to_string(int32_t(uint32_t(reinterpret_cast<uintptr_t>(unknown))));
  VariantData o = make(plat::VT_DISPATCH);
  plat::set_variant_pointer(o, unknown);
  ValueCore v = value_of(o);
  ASSERT_TRUE(to_integer(t.ctx(), v, false));
  EXPECT_EQ(std::to_string(v.i), address);
  expect(integer_of(t, reference(plat::VT_UNKNOWN, &unknown), false), address.c_str(), "object by reference");
  expect(text_of(t, reference(plat::VT_DISPATCH, &unknown), false), address.c_str(), "object as text");
  void* none = nullptr;
  expect(integer_of(t, make(plat::VT_DISPATCH), false), "0", "null object");
  expect(integer_of(t, reference(plat::VT_DISPATCH, &none), false), "0", "null object by reference");
  expect(integer_of(t, make(plat::VT_DISPATCH | plat::VT_BYREF), false), "0", "null reference to an object");
  // Reading a variable copies the variant: one more reference, released with the copy.
  ValueCore copy{};
  ASSERT_TRUE(value_copy(t.ctx(), v, copy, VCOPY_DUP_STRINGS | VCOPY_DUP_VARIANT));
  EXPECT_EQ(object.refs, 2u);
  value_free(t.ctx(), copy);
  EXPECT_EQ(object.refs, 1u);
  value_free(t.ctx(), v, VFREE_KEEP_VARIANT);
  EXPECT_EQ(object.refs, 1u);
  value_free(t.ctx(), v);
  EXPECT_EQ(object.refs, 0u);
}

// A variable holding a variant; the variable owns it.
void set_variant(TestContext& t, const char* name, const VariantData& d) {
  t.assign(std::string(name) + " = 0");
  VarSlot* slot = &t->lpVars[slot_lookup(t.ctx(), name)];
  value_free(t.ctx(), slot->c);
  slot->c.variant = d;
  slot->c.type = VF_VARIANT;
}

TEST(Variants, InExpressionsAndArguments) {
  TestContext t;
  set_variant(t, "r", r8(2.5));
  set_variant(t, "n", i4(5));
  set_variant(t, "c", cy(25000));
  set_variant(t, "s", bstr(u"abc"));
  set_variant(t, "z", make(plat::VT_NULL));
  set_variant(t, "d", date(36526.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0));
  set_variant(t, "big", ui4(3000000000u));
  struct Case {
    const char* expr;
    const char* text;
  } cases[] = {
      {"r + 1", "3.5"},            {"r * 2", "5.0"},          {"-r", "-2.5"},        {"n + 1", "6"},
      {"c + 1", "3.5"},            {"big + 0", "3.00000000e+009"}, {"n == 5", "1"},   {"n == '5'", "1"},
      {"n > 4", "1"},              {"r == 2.5", "1"},         {"r < 3", "1"},        {"s == 'abc'", "1"},
      {"s == 'abd'", "0"},         {"z == ''", "1"},          {"s : 'x'", "abcx"},   {"n : ''", "5"},
      {"d : ''", "2000:01:01:13:05:09"}, {"strlen(s)", "3"},   {"abs(r)", "3"},       {"sqrt(n - 1)", "2.0"},
      {"vartype(r)", "512"},
  };
  for (const Case& c : cases) EXPECT_EQ(t.text_of(c.expr), c.text) << c.expr << " (error " << t.err() << ")";
  // A BSTR argument makes the call wide.
  EXPECT_EQ(test::wide_of(t, "strupper(s)"), u"ABC");
  EXPECT_EQ(t.error_of("z + 1"), ERR_COM_TYPE_MISMATCH);
  EXPECT_EQ(t.error_of("s + 1"), ERR_COM_TYPE_MISMATCH);
  EXPECT_EQ(t.var_text("d"), "2000:01:01:13:05:09");
  // The variables keep their variants after all this.
  EXPECT_EQ(t.text_of("vartype(s) : vartype(c)"), "512512");
}

std::string param_text(TestContext& t, const char16_t* text, ParamType type, uint16_t* vt) {
  VariantData out{};
  t->err = 0;
  if (!param_variant_from_string(t.ctx(), text, type, &out)) return "error " + std::to_string(t->err);
  *vt = out.vt;
  std::string result;
  if (out.vt == (plat::VT_ARRAY | plat::VT_UI1)) {
    std::string bytes;
    EXPECT_TRUE(plat::byte_array_bytes(out, &bytes));
    for (unsigned char b : bytes) result += std::to_string(b) + " ";
  } else {
    ValueCore v = value_of(out);
    EXPECT_TRUE(to_string(t.ctx(), v));
    result = str_at(t.ctx(), v.str);
    out = VariantData{};
    value_free(t.ctx(), v);
  }
  plat::variant_clear(&out);
  return result;
}

TEST(Variants, StringsForTypedParameters) {
  TestContext t;
  struct Case {
    const char16_t* in;
    ParamType type;
    uint16_t vt;
    const char* text;
  } cases[] = {
      {u"#CURRENCY:12.34", ParamType::Currency, plat::VT_CY, "12.34"},
      {u"-1,234.5", ParamType::Currency, plat::VT_CY, "-1234.5"},
      {u"0.00004", ParamType::Currency, plat::VT_CY, "0"},
      {u"0.00006", ParamType::Currency, plat::VT_CY, "0.0001"},
      {u"#currency:1", ParamType::Currency, plat::VT_CY, "1"},
      {u"twelve", ParamType::Currency, plat::VT_BSTR, "twelve"},
      {u"#CURRENCY:twelve", ParamType::Currency, 0, "error 1648"},
      {u"#DECIMAL:-0.000000000000000000000000001", ParamType::Decimal, plat::VT_DECIMAL, "-0.000000000000000000000000001"},
      {u"79228162514264337593543950335", ParamType::Decimal, plat::VT_DECIMAL, "79228162514264337593543950335"},
      {u"79228162514264337593543950336", ParamType::Decimal, plat::VT_BSTR, "79228162514264337593543950336"},
      {u"#DECIMAL:1.2.3", ParamType::Decimal, 0, "error 1649"},
      {u"2000:01:01:13:05:09", ParamType::Date, plat::VT_DATE, "2000:01:01:13:05:09"},
      {u"01:02:03", ParamType::Date, plat::VT_DATE, "2001:02:03:00:00:00"},
      {u"1/2/2000", ParamType::Date, plat::VT_DATE, "2000:01:02:00:00:00"},
      {u"13:05:09", ParamType::Date, plat::VT_DATE, "2013:05:09:00:00:00"},   // a YmdHms date first
      {u"1:05 PM", ParamType::Date, plat::VT_DATE, "1899:12:30:13:05:00"},
      {u"2000:02:30", ParamType::Date, plat::VT_BSTR, "2000:02:30"},
      {u"0050:01:01", ParamType::Date, plat::VT_BSTR, "0050:01:01"},     // before the first variant date
      {u"no date", ParamType::Date, plat::VT_BSTR, "no date"},
      {u"AB", ParamType::ByteArray, plat::VT_ARRAY | plat::VT_UI1, "65 0 66 0 "},
      {u"\u20ac", ParamType::ByteArray, plat::VT_ARRAY | plat::VT_UI1, "172 32 "},
      {u"", ParamType::ByteArray, plat::VT_ARRAY | plat::VT_UI1, "0 "},
  };
  for (const Case& c : cases) {
    uint16_t vt = 0;
    EXPECT_EQ(param_text(t, c.in, c.type, &vt), c.text) << c.text;
    EXPECT_EQ(vt, c.vt) << c.text;
  }
}

// The system's conversion rules on both platforms (Windows' own routines, POSIX's stand-ins).
TEST(Variants, SystemRules) {
  struct IntCase {
    VariantData d;
    const char* what;
    bool ok;
    int32_t value;
  } ints[] = {
      {bstr(u" 12 "), "blanks", true, 12},     {bstr(u"$12"), "currency sign", true, 12},
      {bstr(u"(5)"), "parentheses", true, -5}, {bstr(u"1,234"), "thousands", true, 1234},
      {bstr(u"&H1F"), "hexadecimal", true, 31}, {bstr(u"&O17"), "octal", true, 15},
      {bstr(u"5-"), "trailing sign", true, -5}, {bstr(u"1e3"), "exponent", true, 1000},
      {bstr(u"2.5"), "half to even", true, 2},  {bstr(u"3.5"), "half to even", true, 4},
      {bstr(u"-2.5"), "negative half", true, -2}, {bstr(u"-2147483648"), "smallest", true, INT32_MIN},
      {bstr(u"2147483648"), "too large", false, 0}, {bstr(u""), "empty", false, 0},
      {bstr(u"1 2"), "two numbers", false, 0},  {bstr(u"12abc"), "letters after", false, 0},
      {r8(2.5), "R8 half", true, 2},            {r8(3.5), "R8 half", true, 4},
      {cy(25000), "CY half", true, 2},          {cy(35000), "CY half", true, 4},
      {date(1.5), "DATE half", true, 2},        {boolean(true), "BOOL", true, -1},
      {make(plat::VT_I8, int64_t(1) << 40), "I8 too large", false, 0},
  };
  for (IntCase& c : ints) {
    int32_t value = 0;
    EXPECT_EQ(plat::variant_to_int32(c.d, &value), c.ok) << c.what;
    EXPECT_EQ(c.ok ? value : 0, c.value) << c.what;
    plat::variant_clear(&c.d);
  }
  struct DoubleCase {
    const char16_t* text;
    bool ok;
    double value;
  } doubles[] = {{u"1,234.5", true, 1234.5}, {u"(1.5)", true, -1.5}, {u".5", true, 0.5}, {u"1e400", false, 0}};
  for (const DoubleCase& c : doubles) {
    VariantData d = bstr(c.text);
    double value = 0;
    EXPECT_EQ(plat::variant_to_double(d, &value), c.ok);
    EXPECT_EQ(c.ok ? value : 0, c.value);
    plat::variant_clear(&d);
  }
  struct TextCase {
    VariantData d;
    const char16_t* text;
  } texts[] = {
      {date(36526.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0), u"1/1/2000 1:05:09 PM"},
      {date(36526.0), u"1/1/2000"},
      {date(0.5), u"12:00:00 PM"},
      {decimal(u"-0.000000000000000000000000001"), u"-0.000000000000000000000000001"},
      {make(plat::VT_UI8, uint64_t(18446744073709551615u)), u"18446744073709551615"},
      {r8(0.1), u"0.1"},
  };
  for (TextCase& c : texts) {
    std::u16string text;
    EXPECT_TRUE(plat::variant_to_text(c.d, &text));
    EXPECT_EQ(text, c.text);
    plat::variant_clear(&c.d);
  }
  struct DateCase {
    const char16_t* text;
    bool ok;
    double value;
  } dates[] = {
      {u"2000-01-02", true, 36527.0}, {u"1/2/2000", true, 36527.0}, {u"1/2/2000 12:00", true, 36527.5},
      {u"1/2/49", true, 54425.0},     {u"1/2/50", true, 18265.0},   {u"6:00 AM", true, 0.25},
      {u"no date", false, 0},         {u"13/45/2000", false, 0},
  };
  for (const DateCase& c : dates) {
    double value = 0;
    EXPECT_EQ(plat::text_to_date(c.text, &value), c.ok) << c.value;
    EXPECT_DOUBLE_EQ(c.ok ? value : 0, c.value) << c.value;
  }
}

}  // namespace
}  // namespace tov
