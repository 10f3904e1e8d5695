// Arrays: creation limits, subscripting and its errors, element reads and writes, sharing by reference,
// destruction, and the strings that elements hold.
#include <gtest/gtest.h>

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

TEST(ArrayCore, CreationLimits) {
  TestContext t;
  Value v;
  value_init(v);
  EXPECT_EQ(CreateMyArray(t.ctx(), &v, 2, 3, 0, 0, 0, 7, 2), 1);
  ArrayHeader* a = array_header(v.c.str);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->rank, 2);
  EXPECT_EQ(a->count, 6u);
  EXPECT_EQ(a->dataSize, 6u * 44);
  EXPECT_EQ(a->elementKind, 7);
  EXPECT_EQ(a->dataOffset, 40u);
  // Dimensions beyond the count given are taken as 0.
  EXPECT_EQ(CreateMyArray(t.ctx(), &v, 4, 5, 6, 7, 8, 0, 1), 1);   // frees the previous array
  EXPECT_EQ(array_header(v.c.str)->rank, 1);
  EXPECT_EQ(CreateMyArray(t.ctx(), &v, 0, 0, 0, 0, 0, 0, 5), 0);
  EXPECT_EQ(array_header(v.c.str)->rank, 0);
  value_free(t.ctx(), v);

  value_init(v);
  EXPECT_EQ(CreateMyArray(t.ctx(), &v, 3, 0, 2, 0, 0, 0, 3), -1);
  EXPECT_EQ(t.err(), ERR_ARR_ZERO_DIM);
  EXPECT_EQ(v.c.type, uint32_t(VF_INTEGER));   // the result is untouched on failure
  t->err = 0;
  EXPECT_EQ(t.error_of("arrdimension(3, 0, 2)"), ERR_ARR_ZERO_DIM);
  EXPECT_EQ(t.error_of("arrdimension(-1)"), ERR_ARR_INVALID_DIM);
  EXPECT_EQ(t.error_of("arrdimension(100000, 100000)"), ERR_ARR_TOO_LARGE);
  EXPECT_EQ(t.error_of("arrdimension(2147483647, 2147483647, 2147483647, 2147483647, 2147483647)"),
            ERR_ARR_TOO_LARGE);
  EXPECT_EQ(t.error_of("arrdimension(90909090)"), ERR_ARR_TOO_LARGE);   // 90909090 * 44 + 40 >= 4e9
  EXPECT_EQ(t.text_of("arrinfo(arrdimension(2, 3, 4, 5, 6), 6)"), "720");
}

TEST(ArrayCore, EmptyArray) {
  TestContext t;
  t.assign("a = arrdimension(0)");
  ASSERT_EQ(t.err(), 0);
  EXPECT_EQ(t.text_of("arrinfo(a, 0)"), "0");
  EXPECT_EQ(t.text_of("arrinfo(a, 6)"), "0");
  EXPECT_EQ(t.text_of("arrinfo(a, -1)"), "1");
  EXPECT_EQ(t.error_of("a[0]"), ERR_ARR_EMPTY);
  t.assign("a[0] = 1");
  EXPECT_EQ(t.err(), ERR_ARR_EMPTY);
}

TEST(ArrayCore, SubscriptsAndTheirErrors) {
  TestContext t;
  t.assign("a = arrdimension(2, 3)");
  t.assign("a[1, 2] = \"last\"");
  ASSERT_EQ(t.err(), 0);
  ArrayHeader* h = array_header(array_of(t, "a"));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(array_elements(h)[5].type, uint32_t(VF_STRING));   // row-major: 1 * 3 + 2
  EXPECT_EQ(t.text_of("a[1, 2]"), "last");
  EXPECT_EQ(t.text_of("a[ (0 + 1) , 4 - 2 ]"), "last");
  EXPECT_EQ(t.text_of("a[\"1\", \"2\"]"), "last");     // numeric strings are subscripts
  EXPECT_EQ(t.text_of("a[1.4, 2.4]"), "last");          // floats are rounded
  EXPECT_EQ(t.error_of("a[2, 0]"), ERR_ARR_OUT_OF_BOUNDS);
  EXPECT_EQ(t.error_of("a[-1, 0]"), ERR_ARR_OUT_OF_BOUNDS);
  EXPECT_EQ(t.error_of("a[0, 3]"), ERR_ARR_OUT_OF_BOUNDS);
  EXPECT_EQ(t.error_of("a[1.6, 0]"), ERR_ARR_OUT_OF_BOUNDS);
  EXPECT_EQ(t.error_of("a[1]"), ERR_ARR_WRONG_DIMS);
  EXPECT_EQ(t.error_of("a[1, 2, 0]"), ERR_ARR_SYNTAX);
  EXPECT_EQ(t.error_of("a[1; 2]"), ERR_ARR_SYNTAX);
  EXPECT_EQ(t.error_of("a[\"x\", 0]"), ERR_ARR_NOT_NUMERIC);
  EXPECT_EQ(t.error_of("a[0, 0]"), ERR_ARR_UNINIT_ELEMENT);
  EXPECT_EQ(t.text_of("vartype(a[0, 0])"), "0");
  EXPECT_EQ(t.error_of("a[a, 0]"), ERR_ARR_NOT_NUMERIC);
  EXPECT_EQ(t.error_of("a[1 / 0, 0]"), ERR_DIVIDE_BY_ZERO);
  // Element assignment needs a single "=" after the closing bracket.
  EXPECT_EQ(t.text_of("a[1, 2] == \"last\""), "1");
  t.assign("a[0, 0] = 1 2");
  EXPECT_EQ(t.err(), ERR_EXPRESSION_CONTINUES);
  EXPECT_EQ(t.error_of("a[0, 0]"), ERR_ARR_UNINIT_ELEMENT);   // left unassigned
  t.assign("a[0, \"]\"] = 1");
  EXPECT_EQ(t.err(), ERR_ARR_NOT_NUMERIC);                     // brackets in strings do not count
}

TEST(ArrayCore, NoEmbeddedArrays) {
  TestContext t;
  t.assign("a = arrdimension(2, 2)");
  t.assign("a[0, 0] = a");
  EXPECT_EQ(t.err(), ERR_EMBEDDED_ARRAY);
  t.assign("a[0, 1] = arrdimension(1)");
  EXPECT_EQ(t.err(), ERR_EMBEDDED_ARRAY);
  EXPECT_EQ(t.error_of("a[0, 0]"), ERR_ARR_UNINIT_ELEMENT);
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
}

TEST(ArrayCore, DestroyedWhileInUse) {
  TestContext t;
  // A subscript that drops the array it indexes ends the expression cleanly.
  t.assign("a = arrdimension(3)");
  t.assign("a[1] = 1");
  EXPECT_EQ(t.error_of("a[drop(a)]"), ERR_ARR_ACCESS);
  t.assign("a = arrdimension(3)");
  t.assign("x = a[drop(a)]");
  EXPECT_EQ(t.err(), ERR_ARR_ACCESS);
  // A variable whose block went away raises 1637 when used with subscripts.
  t.assign("b = arrdimension(2)");
  const uint16_t slot = slot_lookup(t.ctx(), "b");
  array_release(t.ctx(), slot_at(t.ctx(), slot)->c.str, true);
  EXPECT_EQ(slot_at(t.ctx(), slot)->c.str, 0u);
  EXPECT_EQ(t.error_of("b[0]"), ERR_ARR_ACCESS);
  t.assign("b[0] = 1");
  EXPECT_EQ(t.err(), ERR_ARR_ACCESS);
}

TEST(ArrayCore, ElementStringsGoBackToTheHeap) {
  TestContext t;
  const uint32_t before = t.heap_used();
  t.assign("a = arrdimension(10, 10)");
  t.assign("a[0, 0] = \"first\"");
  for (int i = 0; i < 10; ++i)
    t.assign(("a[" + std::to_string(i) + ", 9] = \"row " + std::to_string(i) + "\" : a[0, 0]").c_str());
  t.assign("a[0, 0] = \"replaced\"");   // the old string goes
  t.assign("a[1, 1] = 1.5");
  EXPECT_EQ(t.text_of("a[9, 9]"), "row 9first");
  t.assign("b = a");
  t.assign("drop(a)");
  EXPECT_GT(t.heap_used(), before);      // b still holds the strings
  t.assign("drop(b)");
  EXPECT_EQ(t.heap_used(), before);
  HeapStats stats{};
  EXPECT_TRUE(heap_check(t.ctx(), &stats));
}

TEST(ArrayCore, ArrinfoRequests) {
  TestContext t;
  t.assign("a = arrdimension(4, 5, 6)");
  EXPECT_EQ(t.text_of("arrinfo(a, -1) : arrinfo(a, 0) : arrinfo(a, 1) : arrinfo(a, 2) : arrinfo(a, 3)"),
            "13456");
  EXPECT_EQ(t.text_of("arrinfo(a, 4) : arrinfo(a, 5) : arrinfo(a, 6)"), "00120");
  EXPECT_EQ(t.text_of("arrinfo(5, -1)"), "0");
  EXPECT_EQ(t.error_of("arrinfo(a, 7)"), ERR_ARRINFO_REQUEST);
  EXPECT_EQ(t.error_of("arrinfo(a, -2)"), ERR_ARRINFO_REQUEST);
}
