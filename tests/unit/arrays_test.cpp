// Array built-ins: who holds an array afterwards (no leaked or twice-freed blocks, no leaked strings), wide
// elements, and failures that must leave everything as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "diag/error_model.h"
#include "lang/arrays.h"
#include "lang/heap.h"
#include "lang/vartable.h"
#include "platform/memory.h"
#include "builtin_eval.h"

using namespace tov;
using tov::test::error_of;
using tov::test::TestContext;
using tov::test::wide_of;

namespace {

// A statement that must succeed (eval starts it with no assignment target, which drop would leave alone).
void run(TestContext& t, const std::string& statement) {
  t.assign(statement);
  EXPECT_EQ(t.err(), 0) << statement;
}

uint32_t array_of(TestContext& t, const char* name) {
  const uint16_t slot = slot_lookup(t.ctx(), name);
  EXPECT_NE(slot, SLOT_NONE) << name;
  if (slot == SLOT_NONE) return 0;
  const ValueCore& c = slot_at(t.ctx(), slot)->c;
  EXPECT_TRUE(c.type & VF_ARRAY) << name;
  return c.str;
}

uint32_t used_strings(TestContext& t) {
  HeapStats stats{};
  EXPECT_TRUE(heap_check(t.ctx(), &stats));
  return stats.usedBlocks;
}

std::string temp_file(const char* name) { return testing::TempDir() + name; }

}  // namespace

TEST(ArrayHolders, ReturnedArraysAreTemporaries) {
  TestContext t;
  run(t, "a = Arrayize(\"x,y\", \",\")");
  const std::string path = temp_file("tov_arrays_temporaries.csv");
  run(t, "n = ArrayFilePutCsv(\"" + path + "\", a)");
  const size_t live = plat::mem_live_count();
  const uint32_t strings = used_strings(t);
  // Each array below exists only while the expression is evaluated.
  EXPECT_EQ(t.text_of("ArrInfo(ArrayFromStr(\"abc\"), 1)"), "3");
  EXPECT_EQ(t.text_of("ArrInfo(Arrayize(\"a,b\", \",\"), 1)"), "2");
  EXPECT_EQ(t.text_of("ArrInfo(ArrayLocate(a, \"y\"), 1)"), "1");
  EXPECT_EQ(t.text_of(("ArrInfo(ArrayFileGet(\"" + path + "\"), 1)").c_str()), "2");
  EXPECT_EQ(t.text_of(("ArrInfo(ArrayFileGetCsv(\"" + path + "\", 0), 6)").c_str()), "2");
  EXPECT_EQ(t.text_of("ArrayToStr(ArrayFromStr(\"abc\"))"), "abc");
  EXPECT_EQ(plat::mem_live_count(), live);
  EXPECT_EQ(used_strings(t), strings);
  std::remove(path.c_str());
}

TEST(ArrayHolders, ChangesInPlaceKeepTheBlockAndItsHolders) {
  TestContext t;
  run(t, "a = Arrayize(\"c,a,b\", \",\")");
  run(t, "b = a");
  const uint32_t id = array_of(t, "a");
  const size_t live = plat::mem_live_count();
  ASSERT_EQ(plat::mem_lock_count(id), 3u);
  const char* const changes[] = {
      "ArrayInsert(a, 0, 1, \"x\")", "ArrayRemove(b, 1)",          "ArrayRedim(a, 10)",
      "ArrayRedim(b, 2, 3)",         "ArrayRedim(a, 4)",           "ArraySort(b)",
      "ArraySwapElements(a, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0)",      "ArrInitialize(b, \"z\")",
      "ArrayRemove(a, 0)",           "ArrayRemove(a, 0)",          "ArrayRemove(a, 0)",
      "ArrayRemove(a, 0)",           "ArrayInsert(b, 0)",
  };
  for (const char* change : changes) {
    run(t, change);
    EXPECT_EQ(array_of(t, "a"), id) << change;
    EXPECT_EQ(array_of(t, "b"), id) << change;
    EXPECT_EQ(plat::mem_lock_count(id), 3u) << change;
    EXPECT_EQ(plat::mem_live_count(), live) << change;
  }
  EXPECT_EQ(t.text_of("ArrInfo(b, 6)"), "1");
  run(t, "drop(a)");
  EXPECT_TRUE(plat::mem_valid(id));
  EXPECT_EQ(plat::mem_lock_count(id), 2u);
  run(t, "drop(b)");
  EXPECT_FALSE(plat::mem_valid(id));
}

// Strings of elements go with their elements; numbers written as text, compared as text or converted get
// strings of their own, which must go again.
TEST(ArrayHolders, ElementAndConversionStringsAreFreed) {
  TestContext t;
  run(t, "a = Arrayize(\"one,two,three,four\", \",\")");
  uint32_t strings = used_strings(t);
  const std::pair<const char*, uint32_t> steps[] = {{"ArrayRemove(a, 1)", 1}, {"ArrayRedim(a, 1)", 3},
                                                    {"ArrInitialize(a, \"x\")", 3}, {"ArrayInsert(a, 1, 1, \"y\")", 2},
                                                    {"drop(a)", 4}};
  for (const auto& [step, fewer] : steps) {
    run(t, step);
    EXPECT_EQ(used_strings(t), strings - fewer) << step;
  }

  for (const char* step : {"n = ArrDimension(3)", "n[0] = 1.5", "n[1] = 20", "n[2] = \"abc\""}) run(t, step);
  const std::string path = temp_file("tov_arrays_numbers.txt");
  strings = used_strings(t);
  run(t, "ArrayFilePut(\"" + path + "\", n)");
  run(t, "ArrayFilePutCsv(\"" + path + "\", n)");
  EXPECT_EQ(t.text_of("ArrayToStr(n)"), "1.520abc");
  run(t, "ArraySort(n, @descending)");
  EXPECT_EQ(t.text_of("ArraySearch(n, \"20\")"), "1");
  EXPECT_EQ(t.text_of("ArraySearch(n, \"ABC\", 1)"), "0");
  EXPECT_EQ(used_strings(t), strings);
  std::remove(path.c_str());
}

TEST(ArrayHolders, FailuresLeaveTheArrayAsItWas) {
  TestContext t;
  run(t, "a = Arrayize(\"a,b\", \",\")");
  const uint32_t id = array_of(t, "a");
  const size_t live = plat::mem_live_count();
  const uint32_t strings = used_strings(t);
  EXPECT_EQ(error_of(t, "ArrayRedim(a, 100000, 100000)"), 1644);
  EXPECT_EQ(error_of(t, "ArrayRedim(a, 0, 1)"), 1630);
  EXPECT_EQ(error_of(t, "ArrayInsert(a, 5)"), 1636);
  EXPECT_EQ(error_of(t, "ArrayFileGet(\"no such file here.txt\")"), 1701);
  t.assign("x = ArrayFileGetCsv(\"no such file here.txt\", 0)");
  EXPECT_EQ(t.err(), 1701);
  error_info_free(t.ctx());   // the error's own text is no block of the array's
  EXPECT_EQ(plat::mem_live_count(), live);
  EXPECT_EQ(used_strings(t), strings);
  EXPECT_EQ(plat::mem_lock_count(id), 2u);
  EXPECT_EQ(t.text_of("ArrayToStr(a)"), "ab");
}

// Running out of string memory half-way through filling a new array frees what was built.
TEST(ArrayHolders, ExhaustedStringsFreeTheHalfBuiltArray) {
  TestContext t(1024, size_t(1) << 20);
  run(t, "s = \"0123456789abcdef\"");
  for (int i = 0; i < 12; ++i) run(t, "s = s : s");
  const size_t live = plat::mem_live_count();
  const uint32_t strings = used_strings(t);
  t.assign("x = ArrayFromStr(s)");
  EXPECT_EQ(t.err(), 3096);
  EXPECT_EQ(plat::mem_live_count(), live);
  EXPECT_EQ(used_strings(t), strings);
}

TEST(ArrayWide, WideTextGivesWideElements) {
  TestContext t;
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "w", u"a\u00e9b", VF_WSTRING));
  run(t, "c = ArrayFromStr(w)");
  ArrayHeader* h = array_header(array_of(t, "c"));
  ASSERT_TRUE(h);
  ASSERT_EQ(h->count, 3u);
  EXPECT_EQ(array_elements(h)[1].type, uint32_t(VF_WSTRING));
  EXPECT_EQ(std::u16string(wstr_at(t.ctx(), array_elements(h)[1].wstr)), u"\u00e9");
  EXPECT_EQ(wide_of(t, "ArrayToStr(c)"), u"a\u00e9b");

  ASSERT_TRUE(set_variable_by_name(t.ctx(), "list", u"x,\u00e9,", VF_WSTRING));
  run(t, "i = Arrayize(list, \",\")");
  h = array_header(array_of(t, "i"));
  ASSERT_EQ(h->count, 3u);
  EXPECT_EQ(std::u16string(wstr_at(t.ctx(), array_elements(h)[1].wstr)), u"\u00e9");
  EXPECT_EQ(array_elements(h)[2].type, uint32_t(VF_WSTRING));

  // ANSI and wide elements together join as wide text.
  run(t, "i[2] = \"z\"");
  EXPECT_EQ(wide_of(t, "ArrayToStr(i)"), u"x\u00e9z");
}

TEST(ArrayWide, WideElementsAreWrittenInTheAnsiCodePage) {
  TestContext t;
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "w", u"caf\u00e9", VF_WSTRING));
  const std::string path = temp_file("tov_arrays_wide.txt");
  for (const std::string& step : {std::string("a = ArrDimension(1)"), std::string("a[0] = w"),
                                  "ArrayFilePut(\"" + path + "\", a)", "r = ArrayFileGet(\"" + path + "\")"})
    run(t, step);
  ArrayHeader* h = array_header(array_of(t, "r"));
  ASSERT_TRUE(h);
  EXPECT_EQ(array_elements(h)[0].type, uint32_t(VF_STRING));
  EXPECT_EQ(t.text_of("r[0] == w"), "1");
  std::remove(path.c_str());
}
