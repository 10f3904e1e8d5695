// Results of expressions evaluated in a test context, checked for their type on the way.
#pragma once
#include <gtest/gtest.h>

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

}  // namespace tov::test
