// Item lists in their wide form (a wide argument makes the call wide) and with multi-byte delimiters.
#include <gtest/gtest.h>

#include <string>

#include "lang/vartable.h"
#include "platform/text.h"
#include "builtin_eval.h"

using namespace tov;
using tov::test::error_of;
using tov::test::integer_of;
using tov::test::TestContext;
using tov::test::wide_of;

namespace {

void set_wide(TestContext& t, const char* name, const char16_t* text) {
  ASSERT_TRUE(set_variable_by_name(t.ctx(), name, text, VF_WSTRING));
}

}  // namespace

TEST(ItemListsWide, EditingAndSortingGiveWideLists) {
  TestContext t;
  set_wide(t, "w", u"a,b,c");
  EXPECT_EQ(integer_of(t, "ItemCount(w, \",\")"), 3);
  const std::pair<const char*, const char16_t*> edits[] = {
      {"ItemExtract(-1, w, \",\")", u"c"}, {"ItemExtract(4, w, \",\")", u""},
      {"ItemInsert(\"x\", 1, w, \",\")", u"a,x,b,c"}, {"ItemInsert(\"x\", -1, w, \",\")", u"a,b,c,x"},
      {"ItemRemove(-1, w, \",\")", u"a,b"}, {"ItemRemove(1, w, \",\")", u"b,c"}, {"ItemReplace(\"x\", -1, w, \",\")", u"a,b,x"}};
  for (const auto& [expr, want] : edits) EXPECT_EQ(wide_of(t, expr), want);
  EXPECT_EQ(integer_of(t, "ItemLocate(\"c\", w, \",\")"), 3);
  set_wide(t, "e", u"");
  EXPECT_EQ(wide_of(t, "ItemInsert(\"x\", 0, e, \",\")"), u"x");
  EXPECT_EQ(integer_of(t, "ItemLocate(\"\", e, \"too long\")"), 0);
  // Sorting keeps equal items in order and empty items first.
  for (const auto& [list, sorted] : {std::pair{u"b,,a", u",a,b"}, {u",,", u",,"}}) {
    set_wide(t, "w", list);
    EXPECT_EQ(wide_of(t, "ItemSort(w, \",\")"), sorted);
  }
  set_wide(t, "w", u"B,b,A,a");
  EXPECT_EQ(wide_of(t, "ItemSortNc(w, \",\")"), u"A,a,B,b");
}

TEST(ItemListsWide, DelimitersAreCodeUnits) {
  TestContext t;
  set_wide(t, "w", u"x\u00e9y\u00e9z");
  set_wide(t, "d", u"\u00e9");
  EXPECT_EQ(integer_of(t, "ItemCount(w, d)"), 3);
  EXPECT_EQ(wide_of(t, "ItemExtract(2, w, d)"), u"y");
  set_wide(t, "tabbed", u"a\tb");
  EXPECT_EQ(integer_of(t, "ItemCount(tabbed, \"\")"), 2);
  // A character outside the basic plane is two code units: too long for a delimiter.
  set_wide(t, "pair", u"\U0001F600");
  EXPECT_EQ(error_of(t, "ItemCount(w, pair)"), 1705);
  EXPECT_EQ(error_of(t, "ItemSort(w, \";;\")"), 1705);
}

TEST(ItemListsWide, CsvReading) {
  TestContext t;
  set_wide(t, "w", u"a, \"x\"\"y\" ,d");
  EXPECT_EQ(integer_of(t, "ItemCountCsv(w, 0)"), 3);
  EXPECT_EQ(wide_of(t, "ItemExtractCsv(2, w, 0)"), u"x\"y");
  EXPECT_EQ(wide_of(t, "ItemExtractCsv(-1, w, 0)"), u"d");
  set_wide(t, "s", u"  a  ;b");
  EXPECT_EQ(wide_of(t, "ItemExtractCsv(1, s, 0, \";\")"), u"a");
  EXPECT_EQ(wide_of(t, "ItemExtractCsv(1, s, 1, \";\")"), u"  a  ");
  set_wide(t, "bad", u"a\"b");
  EXPECT_EQ(error_of(t, "ItemCountCsv(bad, 0)"), 1706);
  EXPECT_EQ(error_of(t, "ItemExtractCsv(1, bad, 0)"), 1707);
  EXPECT_EQ(error_of(t, "ItemCountCsv(w, 0, \" \")"), 1712);
  EXPECT_EQ(error_of(t, "ItemExtractCsv(1, w, 0, \"\")"), 1713);
}

// A byte of 128 or above is one character in every build (Windows code pages; a lone byte in UTF-8).
TEST(ItemListsAnsi, HighByteDelimiter) {
  TestContext t;
  EXPECT_EQ(t.text_of("ItemCount(\"a\xA7" "b\xA7" "c\", \"\xA7\")"), "3");
  EXPECT_EQ(t.text_of("ItemRemove(2, \"a\xA7" "b\xA7" "c\", \"\xA7\")"), "a\xA7" "c");
  EXPECT_EQ(t.text_of("ItemExtractCsv(2, 'a\xA7\"b\xA7\"', 0, \"\xA7\")"), "b\xA7");
}

// Where the ANSI code page has multi-byte characters, a delimiter is a whole character.
TEST(ItemListsAnsi, MultiByteDelimiter) {
  if (plat::ansi_code_page() != plat::CP_UTF8_PAGE) GTEST_SKIP() << "the ANSI code page is not UTF-8";
  TestContext t;
  EXPECT_EQ(t.text_of("ItemCount(\"a\xE2\x82\xAC" "b\xE2\x82\xAC" "c\", \"\xE2\x82\xAC\")"), "3");
  EXPECT_EQ(t.text_of("ItemSort(\"b\xE2\x82\xAC" "a\", \"\xE2\x82\xAC\")"), "a\xE2\x82\xAC" "b");
  EXPECT_EQ(t.text_of("ItemInsert(\"x\", 1, \"a\xE2\x82\xAC" "b\", \"\xE2\x82\xAC\")"),
            "a\xE2\x82\xAC" "x\xE2\x82\xAC" "b");
  EXPECT_EQ(t.text_of("ItemExtractCsv(2, 'a\xE2\x82\xAC\"x\xE2\x82\xACy\"', 0, \"\xE2\x82\xAC\")"),
            "x\xE2\x82\xAC" "y");
  // Two characters, though one is a single byte.
  EXPECT_EQ(error_of(t, "ItemCount(\"a\", \"\xE2\x82\xAC,\")"), 1705);
}
