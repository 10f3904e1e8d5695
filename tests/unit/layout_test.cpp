// The fixed records keep their sizes in every build.
#include <gtest/gtest.h>
#include "lang/value.h"

TEST(Layout, FixedRecordSizes) {
  EXPECT_EQ(sizeof(tov::Value), 52u);
  EXPECT_EQ(sizeof(tov::VarSlot), 76u);
  EXPECT_EQ(sizeof(tov::ValueCore), 44u);
}
