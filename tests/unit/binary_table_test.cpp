// The binary-buffer table where scripts cannot look: lookups far outside the table, zero-filled buffers,
// release at shutdown, and the typed handle that BinaryBufInfo asks for. The script case binary_table
// checks the handles, the 128 entries, reuse and the end of data.
#include <gtest/gtest.h>

#include "builtin_eval.h"
#include "builtins/binary.h"
#include "diag/errors.h"

namespace tov {
namespace {

using test::TestContext;

TEST(BinaryTable, LookupRejectsHandlesOutsideTheTable) {
  TestContext t;
  int32_t h = 0;
  ASSERT_EQ(binary_alloc(t.ctx(), 4, &h), 0);
  for (int32_t bad : {0, -1, BINARY_HANDLE_BASE - 1, BINARY_HANDLE_BASE + BINARY_SLOTS, INT32_MIN, INT32_MAX})
    EXPECT_EQ(binary_find(t.ctx(), bad), nullptr) << bad;
  EXPECT_EQ(t.err(), 0);   // the table's own routines leave the run's error alone
  EXPECT_EQ(binary_get(t.ctx(), BINARY_HANDLE_BASE + 1), nullptr);
  EXPECT_EQ(t.err(), ERR_BINARY_HANDLE);
  BinaryEntry* b = binary_find(t.ctx(), h);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(binary_handle(t.ctx(), b), h);
  EXPECT_EQ(b->data[0] | b->data[3], 0);   // zero-filled
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
  EXPECT_EQ(test::integer_of(t, "binaryeodset(h, 7)"), 0);
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(h, 2)"), 7);   // request 2 is the end of data
  // The same number as a plain integer is no handle to BinaryBufInfo, though it is to the others.
  EXPECT_EQ(test::integer_of(t, "binarybufinfo(987659, -1)"), 0);
  EXPECT_EQ(test::integer_of(t, "binaryeodget(987659)"), 7);
  // Request 1 is the address of the data.
  const auto address = uintptr_t(binary_find(t.ctx(), BINARY_HANDLE_BASE)->data);
  Value v = t.eval("binarybufinfo(h, 1)");
  EXPECT_EQ(v.c.type == VF_INTEGER ? uintptr_t(uint32_t(v.c.i)) : uintptr_t(v.c.f), address);
  value_free(t.ctx(), v);
}

}  // namespace
}  // namespace tov
