// The evaluator in a context set up by the Engine's own phases.
#include <gtest/gtest.h>

#include "test_context.h"

using tov::test::TestContext;

TEST(Evaluator, PrecedenceAndAssociativity) {
  TestContext t;
  EXPECT_EQ(t.text_of("1 + 2 * 3"), "7");
  EXPECT_EQ(t.text_of("2 ** 3 ** 2"), "64");
  EXPECT_EQ(t.text_of("-2 ** 2"), "4");
  EXPECT_EQ(t.text_of("1 < 2 == 1"), "1");
  EXPECT_EQ(t.text_of("\"a\" : 1"), "a1");
}
