// System built-ins: the environment list, the exact time, wide calls.
#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "test_context.h"

namespace tov {
namespace {

using test::TestContext;

TEST(SystemBuiltins, EnvItemizeListsNameValueItems) {
  TestContext t;
  t.eval("environset(\"TOV_UNIT_ITEM\", \"a b\")");
  ASSERT_EQ(t.err(), 0);
  const std::string list = "\t" + t.text_of("envitemize()") + "\t";
  EXPECT_NE(list.find("\tTOV_UNIT_ITEM=a b\t"), std::string::npos);
  EXPECT_EQ(list.find("\t="), std::string::npos);  // no per-drive directory entries
  EXPECT_EQ(list.find("\t\t"), std::string::npos);
  t.eval("environset(\"TOV_UNIT_ITEM\", \"\")");
  EXPECT_EQ(t.text_of("envitemize()").find("TOV_UNIT_ITEM="), std::string::npos);
}

TEST(SystemBuiltins, ExactTimeAndTickCount) {
  TestContext t;
  const std::string now = t.text_of("getexacttime()");
  ASSERT_EQ(now.size(), 23u);
  for (size_t i : {4u, 7u, 10u, 13u, 16u}) EXPECT_EQ(now[i], ':') << now;
  EXPECT_EQ(now[19], '.');
  const uint32_t before = plat::tick_count();
  const uint32_t ticks = uint32_t(std::stol(t.text_of("gettickcount()")));
  EXPECT_LE(ticks - before, 1000u);
}

TEST(SystemBuiltins, WideCallsGiveWideResults) {
  TestContext t;
  plat::env_set_w(u"TOV_UNIT_WIDE", u"\x4E2D\xD83D\xDE00");
  Value v = t.eval("environment(chrstringtounicode(\"TOV_UNIT_WIDE\"))");
  ASSERT_EQ(t.err(), 0);
  ASSERT_EQ(v.c.type, uint32_t(VF_WSTRING));
  EXPECT_EQ(std::u16string(wstr_at(t.ctx(), v.c.wstr)), u"\x4E2D\xD83D\xDE00");
  value_free(t.ctx(), v);
  plat::env_set_w(u"TOV_UNIT_WIDE", nullptr);

  EXPECT_EQ(t.text_of("parsedata(chrstringtounicode('x \"y z\"'))"), "2");
  EXPECT_EQ(t.text_of("vartype(param2)"), "128");
  EXPECT_EQ(t.text_of("param2"), "y z");
}


}  // namespace
}  // namespace tov
