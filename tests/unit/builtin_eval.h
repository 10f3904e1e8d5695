// Results of expressions evaluated in a test context, checked for their type on the way.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>

#include "test_context.h"

namespace tov::test {

inline double float_of(TestContext& t, const char* expr) {
  Value v = t.eval(expr);
  EXPECT_EQ(t.err(), 0) << expr;
  EXPECT_EQ(v.c.type, uint32_t(VF_FLOAT)) << expr;
  const double f = v.c.f;
  value_free(t.ctx(), v);
  return f;
}

inline int32_t integer_of(TestContext& t, const char* expr) {
  Value v = t.eval(expr);
  EXPECT_EQ(t.err(), 0) << expr;
  EXPECT_EQ(v.c.type, uint32_t(VF_INTEGER)) << expr;
  const int32_t i = v.c.i;
  value_free(t.ctx(), v);
  return i;
}

// The result of an expression that must give a wide string.
inline std::u16string wide_of(TestContext& t, const char* expr) {
  Value v = t.eval(expr);
  EXPECT_EQ(t.err(), 0) << expr;
  EXPECT_EQ(v.c.type, uint32_t(VF_WSTRING)) << expr;
  std::u16string s = (v.c.type & VF_WSTRING) ? std::u16string(wstr_at(t.ctx(), v.c.wstr)) : u"<not wide>";
  value_free(t.ctx(), v);
  return s;
}

// The error number an expression leaves (0 for none).
inline uint16_t error_of(TestContext& t, const char* expr) {
  Value v = t.eval(expr);
  value_free(t.ctx(), v);
  return t.err();
}

// Rows of an expression (or a variable's name) and what it must give, checked in order in one context.
struct TextRow {
  const char* expr;
  const char* text;
};
struct NumberRow {
  const char* expr;
  int32_t value;
};
inline void expect_texts(TestContext& t, std::initializer_list<TextRow> rows) {
  for (const TextRow& r : rows) EXPECT_EQ(t.text_of(r.expr), r.text) << r.expr;
}
inline void expect_vars(TestContext& t, std::initializer_list<TextRow> rows) {
  for (const TextRow& r : rows) EXPECT_EQ(t.var_text(r.expr), r.text) << r.expr;
}
inline void expect_errors(TestContext& t, std::initializer_list<NumberRow> rows) {
  for (const NumberRow& r : rows) EXPECT_EQ(t.error_of(r.expr), r.value) << r.expr;
}

}  // namespace tov::test
