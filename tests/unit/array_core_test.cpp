// Arrays: creation limits, subscripting and its errors, sharing by reference and destruction.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/errors.h"
#include "lang/arrays.h"
#include "lang/vartable.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;

namespace {

uint32_t array_of(TestContext& t, const char* name) {
  const uint16_t slot = slot_lookup(t.ctx(), name);
  return slot == SLOT_NONE ? 0 : slot_at(t.ctx(), slot)->c.str;
}

}  // namespace

TEST(ArrayCore, SubscriptsAndTheirErrors) {
  TestContext t;
  t.assign("a = arrdimension(2, 3)");
  t.assign("a[1, 2] = \"last\"");
  ASSERT_EQ(t.err(), 0);
  ArrayHeader* h = array_header(array_of(t, "a"));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(array_elements(h)[5].type, uint32_t(VF_STRING));   // row-major: 1 * 3 + 2
  // Numeric strings are subscripts, floats are rounded.
  for (const char* e : {"a[1, 2]", "a[ (0 + 1) , 4 - 2 ]", "a[\"1\", \"2\"]", "a[1.4, 2.4]"}) EXPECT_EQ(t.text_of(e), "last") << e;
  EXPECT_EQ(t.text_of("a[1, 2] == \"last\""), "1");   // "==" after the bracket is no assignment
  EXPECT_EQ(t.text_of("vartype(a[0, 0])"), "0");
  t.assign("e = arrdimension(0)");
  const std::pair<const char*, uint16_t> errors[] = {
      {"arrdimension(3, 0, 2)", ERR_ARR_ZERO_DIM}, {"arrdimension(-1)", ERR_ARR_INVALID_DIM},
      {"arrdimension(100000, 100000)", ERR_ARR_TOO_LARGE},
      {"arrdimension(2147483647, 2147483647, 2147483647, 2147483647, 2147483647)", ERR_ARR_TOO_LARGE},
      {"arrdimension(90909090)", ERR_ARR_TOO_LARGE},   // 90909090 * 44 + 40 >= 4e9
      {"a[2, 0]", ERR_ARR_OUT_OF_BOUNDS}, {"a[-1, 0]", ERR_ARR_OUT_OF_BOUNDS}, {"a[0, 3]", ERR_ARR_OUT_OF_BOUNDS},
      {"a[1.6, 0]", ERR_ARR_OUT_OF_BOUNDS}, {"a[1]", ERR_ARR_WRONG_DIMS}, {"a[1, 2, 0]", ERR_ARR_SYNTAX},
      {"a[1; 2]", ERR_ARR_SYNTAX}, {"a[\"x\", 0]", ERR_ARR_NOT_NUMERIC}, {"a[a, 0]", ERR_ARR_NOT_NUMERIC},
      {"a[0, 0]", ERR_ARR_UNINIT_ELEMENT}, {"a[1 / 0, 0]", ERR_DIVIDE_BY_ZERO}, {"e[0]", ERR_ARR_EMPTY},
      {"e[0] = 1", ERR_ARR_EMPTY}, {"a[0, \"]\"] = 1", ERR_ARR_NOT_NUMERIC},   // brackets in strings do not count
      {"a[0, 0] = 1 2", ERR_EXPRESSION_CONTINUES}, {"a[0, 0] = a", ERR_EMBEDDED_ARRAY},
      {"a[0, 1] = arrdimension(1)", ERR_EMBEDDED_ARRAY}, {"a[drop(a)]", ERR_ARR_ACCESS},
      {"x = a[drop(a)]", ERR_ARR_ACCESS},
  };
  for (const auto& [stmt, err] : errors) {
    t.assign("a = arrdimension(2, 3)");
    t.assign(stmt);
    EXPECT_EQ(t.err(), err) << stmt;
    if (!std::strstr(stmt, "drop")) {
      EXPECT_EQ(t.error_of("a[0, 0]"), ERR_ARR_UNINIT_ELEMENT) << "left unassigned: " << stmt;
    }
  }
}

TEST(ArrayCore, SharingAndDestruction) {
  TestContext t;
  t.assign("a = arrdimension(3)");
  const uint32_t id = array_of(t, "a");
  ASSERT_TRUE(plat::mem_valid(id));
  EXPECT_EQ(plat::mem_lock_count(id), 2u);   // one more than the holders
  t.assign("a[0] = \"shared\"");
  t.assign("b = a");
  EXPECT_EQ(array_of(t, "b"), id);
  EXPECT_EQ(plat::mem_lock_count(id), 3u);
  t.assign("b[1] = 5");
  EXPECT_EQ(t.text_of("a[1]"), "5");         // one block, two names
  t.assign("a = a");                          // assigning to itself changes nothing
  EXPECT_EQ(plat::mem_lock_count(id), 3u);
  EXPECT_EQ(t.text_of("arrinfo(a, 6) + arrinfo(b, 1)"), "6");   // arguments hold the array for the call
  EXPECT_EQ(plat::mem_lock_count(id), 3u);
  t.assign("drop(a)");
  EXPECT_TRUE(plat::mem_valid(id));
  EXPECT_EQ(t.text_of("b[0]"), "shared");
  t.assign("drop(b)");
  EXPECT_FALSE(plat::mem_valid(id));

  // Overwriting the last holder destroys the block as well.
  t.assign("c = arrdimension(2)");
  const uint32_t id2 = array_of(t, "c");
  t.assign("c = 1");
  EXPECT_FALSE(plat::mem_valid(id2));
  // An array made and not kept goes at once.
  Value v = t.eval("arrdimension(4)");
  const uint32_t id3 = v.c.str;
  EXPECT_TRUE(plat::mem_valid(id3));
  value_free(t.ctx(), v);
  EXPECT_FALSE(plat::mem_valid(id3));

  // A holder whose block went away raises 1637 when used with subscripts.
  t.assign("d = arrdimension(2)");
  const uint16_t slot = slot_lookup(t.ctx(), "d");
  array_release(t.ctx(), slot_at(t.ctx(), slot)->c.str, true);
  EXPECT_EQ(slot_at(t.ctx(), slot)->c.str, 0u);
  EXPECT_EQ(t.error_of("d[0]"), ERR_ARR_ACCESS);
  t.assign("d[0] = 1");
  EXPECT_EQ(t.err(), ERR_ARR_ACCESS);
}
