// The binary-buffer table: handles, the 128 entries, end of data, release at shutdown, and the typed
// handle that BinaryBufInfo asks for.
#include <gtest/gtest.h>

#include "builtin_eval.h"
#include "builtins/binary.h"
#include "diag/errors.h"

namespace tov {
namespace {

using test::TestContext;

TEST(BinaryTable, HandlesFillTheTableAndFreedEntriesAreReused) {
  TestContext t;
  int32_t first = 0, h = 0;
  ASSERT_EQ(binary_alloc(t.ctx(), 10, &first), 0);
  EXPECT_EQ(first, BINARY_HANDLE_BASE);
  for (int i = 1; i < BINARY_SLOTS; ++i) {
    ASSERT_EQ(binary_alloc(t.ctx(), i, &h), 0);
    EXPECT_EQ(h, BINARY_HANDLE_BASE + i);
  }
  EXPECT_EQ(binary_alloc(t.ctx(), 1, &h), ERR_BINARY_TOO_MANY);
  EXPECT_TRUE(binary_free(t.ctx(), BINARY_HANDLE_BASE + 5));
  EXPECT_FALSE(binary_free(t.ctx(), BINARY_HANDLE_BASE + 5));
  EXPECT_EQ(binary_find(t.ctx(), BINARY_HANDLE_BASE + 5), nullptr);
  ASSERT_EQ(binary_alloc(t.ctx(), 0, &h), 0);
  EXPECT_EQ(h, BINARY_HANDLE_BASE + 5);
  EXPECT_EQ(binary_find(t.ctx(), h)->size, 0);
  EXPECT_EQ(t.err(), 0);   // the table's own routines leave the run's error alone
}

TEST(BinaryTable, LookupRejectsHandlesOutsideTheTable) {
  TestContext t;
  int32_t h = 0;
  ASSERT_EQ(binary_alloc(t.ctx(), 4, &h), 0);
  for (int32_t bad : {0, -1, BINARY_HANDLE_BASE - 1, BINARY_HANDLE_BASE + BINARY_SLOTS, INT32_MIN, INT32_MAX})
    EXPECT_EQ(binary_find(t.ctx(), bad), nullptr) << bad;
  EXPECT_EQ(binary_get(t.ctx(), BINARY_HANDLE_BASE + 1), nullptr);
  EXPECT_EQ(t.err(), ERR_BINARY_HANDLE);
  BinaryEntry* b = binary_find(t.ctx(), h);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(binary_handle(t.ctx(), b), h);
  EXPECT_EQ(b->data[0] | b->data[3], 0);   // zero-filled
}

TEST(BinaryTable, EndOfDataStaysWithinTheBuffer) {
  TestContext t;
  int32_t h = 0, previous = -1;
  ASSERT_EQ(binary_alloc(t.ctx(), 8, &h), 0);
  BinaryEntry* b = binary_find(t.ctx(), h);
  EXPECT_EQ(binary_set_eod(b, 8, &previous), 0);
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(binary_set_eod(b, 9, &previous), ERR_BINARY_EODSET);
  EXPECT_EQ(binary_set_eod(b, -1, &previous), ERR_BINARY_OFFSET);
  EXPECT_EQ(b->eod, 8);
  EXPECT_EQ(binary_alloc(t.ctx(), -1, &h), ERR_BINARY_ALLOC);
}

TEST(BinaryTable, ShutdownFreesEveryBuffer) {
  const size_t before = plat::mem_live_count();
  {
    TestContext t;
    int32_t h = 0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(binary_alloc(t.ctx(), 1000, &h), 0);
  }
  EXPECT_EQ(plat::mem_live_count(), before);
}

TEST(BinaryTable, BufInfoWantsATypedHandle) {
  TestContext t;
  t.assign("h = binaryalloc(100)");
  ASSERT_EQ(t.err(), 0);
  EXPECT_EQ(t.text_of("vartype(h)"), "65");
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(h, -1)"), 1);
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(h, 0)"), 100);
  EXPECT_EQ(test::integer_of(t, "binaryeodset(h, 7)"), 0);
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(h, 2)"), 7);
  // The same number as a plain integer is no handle to BinaryBufInfo, though it is to the others.
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(987659, -1)"), 0);
  EXPECT_EQ(test::error_of(t, "binarybufinfo(987659, 0)"), ERR_BINARY_HANDLE);
  EXPECT_EQ(test::integer_of(t, "binaryeodget(987659)"), 7);
  EXPECT_EQ(test::error_of(t, "binarybufinfo(h, 3)"), ERR_INVALID_REQUEST);
  const auto address = uintptr_t(binary_find(t.ctx(), BINARY_HANDLE_BASE)->data);
  Value v = t.eval("binarybufinfo(h, 1)");
  EXPECT_EQ(v.c.type == VF_INTEGER ? uintptr_t(uint32_t(v.c.i)) : uintptr_t(v.c.f), address);
  value_free(t.ctx(), v);
  EXPECT_EQ(test::integer_of(t, "binaryfree(h)"), 0);
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(h, -1)"), 0);
  EXPECT_EQ(test::error_of(t, "binaryfree(h)"), ERR_BINARY_HANDLE);
}

}  // namespace
}  // namespace tov
