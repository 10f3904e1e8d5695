// Characters, code pages and hexadecimal text: what depends on the platform's code pages, and the code
// page reaching every conversion.
#include <gtest/gtest.h>

#include <string>

#include "builtins/hex.h"
#include "platform/system.h"
#include "platform/text.h"
#include "builtin_eval.h"

namespace tov {
namespace {

using test::integer_of;
using test::TestContext;

TEST(HexText, BytesAndUnits) {
  EXPECT_EQ(hex_of_bytes("\x01\x7F\x80\xFF", 4), "017F80FF");
  EXPECT_EQ(hex_of_units(u"\x0041\x4E2D\xD83D", 3), "41002D4E3DD8");
  std::string bytes;
  EXPECT_TRUE(bytes_of_hex("017f80FF", &bytes));
  EXPECT_EQ(bytes, "\x01\x7F\x80\xFF");
  EXPECT_TRUE(bytes_of_hex("", &bytes));
  EXPECT_EQ(bytes, "");
  for (const char* bad : {"1", "0G", "G0", "0100", "00", " 01", "01 ", "0x01"})
    EXPECT_FALSE(bytes_of_hex(bad, &bytes)) << bad;
  std::u16string units;
  EXPECT_TRUE(units_of_hex("41002d4e", &units));
  EXPECT_EQ(units, u"\x0041\x4E2D");
  EXPECT_TRUE(units_of_hex("0001", &units));  // a unit with only its high byte set
  EXPECT_EQ(units, u"\x0100");
  for (const char* bad : {"410", "41", "0000", "4100000", "41Z0"}) EXPECT_FALSE(units_of_hex(bad, &units)) << bad;
}

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

TEST(Characters, Char2NumFollowsThePage) {
  TestContext t;
  t.eval("chrsetcodepage(65001)");
  EXPECT_EQ(integer_of(t, "char2num(chrhextostring(\"FF41\"))"), 0xFFFD);  // a malformed sequence
  t.eval("chrsetcodepage(1252)");
  EXPECT_EQ(integer_of(t, "char2num(chrhextostring(\"C3A9\"))"), 0xC3);
  EXPECT_EQ(integer_of(t, "char2num(chrhextounicode(\"3DD8\"))"), 0xD83D);  // a lone surrogate is itself
#ifndef _WIN32
  // The system's page is UTF-8 here, so a source text in UTF-8 reads as characters.
  t.eval("chrsetcodepage(0)");
  EXPECT_EQ(integer_of(t, "char2num(\"\xC3\xA9t\xC3\xA9\")"), 0xE9);
#endif
}

}  // namespace
}  // namespace tov
