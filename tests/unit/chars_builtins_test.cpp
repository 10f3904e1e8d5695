// Characters and code pages: what depends on the platform's code pages, and the code page reaching every
// conversion. Hexadecimal text is checked by the script cases.
#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "platform/text.h"
#include "builtin_eval.h"

namespace tov {
namespace {

using test::integer_of;
using test::TestContext;

TEST(CodePages, RequestsAndValidation) {
  TestContext t;
  EXPECT_EQ(integer_of(t, "chrgetcodepage(1)"), int32_t(plat::ansi_code_page()));
  EXPECT_EQ(integer_of(t, "chrgetcodepage(2)"), int32_t(plat::oem_code_page()));
  EXPECT_EQ(integer_of(t, "chrgetcodepage(0)"), int32_t(plat::ansi_code_page()));
  EXPECT_EQ(integer_of(t, "chrsetcodepage(1252)"), int32_t(plat::ansi_code_page()));
  EXPECT_EQ(t->nCodePage, 1252u);
  EXPECT_EQ(integer_of(t, "chrsetcodepage(0)"), 1252);
  EXPECT_EQ(t->nCodePage, 0u);
  t.eval("chrsetcodepage(3)");
  EXPECT_EQ(t.err(), 1782);
  EXPECT_EQ(t->nCodePage, 0u);
#ifdef _WIN32
  EXPECT_EQ(integer_of(t, "chrsetcodepage(437)"), int32_t(plat::ansi_code_page()));
#else
  // The POSIX platform converts UTF-8, Windows-1252 and Latin-1 only.
  EXPECT_EQ(plat::ansi_code_page(), 65001u);
  EXPECT_EQ(plat::oem_code_page(), 65001u);
  t.eval("chrsetcodepage(437)");
  EXPECT_EQ(t.err(), 1782);
  EXPECT_EQ(integer_of(t, "chrsetcodepage(28591)"), 65001);
#endif
}

TEST(CodePages, TheRunsPageReachesEveryConversion) {
  TestContext t;
  t.eval("e = chrhextostring(\"E9\")", true);  // one byte: e acute in 1252 and Latin-1, malformed in UTF-8
  ASSERT_EQ(t.err(), 0);
  t.eval("chrsetcodepage(1252)");
  // Concatenation with wide text, comparison with wide text, and the conversion of arguments.
  EXPECT_EQ(t.text_of("chrunicodetohex(e : chrhextounicode(\"4100\"))"), "E9004100");
  EXPECT_EQ(integer_of(t, "e == chrhextounicode(\"E900\")"), 1);
  EXPECT_EQ(t.text_of("chrunicodetohex(e)"), "E900");
  // A wide result meets an ANSI argument.
  EXPECT_EQ(t.text_of("chrstringtohex(chrhextounicode(\"AC20\"))"), "80");
  // The environment gets the character, not the byte.
  t.eval("environset(\"TOV_UNIT_CODE_PAGE\", e)");
  ASSERT_EQ(t.err(), 0);
  std::u16string value;
  ASSERT_TRUE(plat::env_get_w(u"TOV_UNIT_CODE_PAGE", &value));
  EXPECT_EQ(value, u"\x00E9");
  EXPECT_EQ(t.text_of("chrstringtohex(environment(\"TOV_UNIT_CODE_PAGE\"))"), "E9");
  t.eval("chrsetcodepage(65001)");
  EXPECT_EQ(t.text_of("chrstringtohex(environment(\"TOV_UNIT_CODE_PAGE\"))"), "C3A9");
  plat::env_set_w(u"TOV_UNIT_CODE_PAGE", nullptr);
}

}  // namespace
}  // namespace tov
