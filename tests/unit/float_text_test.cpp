// Floats as text: a negative zero is a zero in every Decimals setting.
#include <gtest/gtest.h>

#include "test_context.h"

using tov::test::TestContext;

TEST(FloatText, NegativeZeroIsWrittenAndComparedAsZero) {
  TestContext t;
  for (int d : {-1, -2, -3, 0, 2}) {
    t->decimals = d;
    EXPECT_EQ(t.text_of("-0.0"), t.text_of("0.0")) << d;
    EXPECT_EQ(t.text_of("-0.0 == 0.0"), "1") << d;
    EXPECT_EQ(t.text_of("-0.0 != 0.0"), "0") << d;
  }
  t->decimals = 2;
  EXPECT_EQ(t.text_of("-0.0"), "0.00");
  EXPECT_EQ(t.text_of("-0.001"), "-0.00");  // a negative number that rounds to zero keeps its sign
}
