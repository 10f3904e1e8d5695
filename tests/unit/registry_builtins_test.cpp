// The registry built-ins where a script cannot look: the view each open uses, the keys a context holds,
// the conversions of registry data, and what POSIX does not support.
#include <gtest/gtest.h>

#include <string>

#include "builtins/reg_support.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "test_context.h"

namespace tov {
namespace {

using test::TestContext;
using plat::RegView;

TEST(RegistryBuiltins, ViewsFollowTheArgumentTheSettingAndTheMarks) {
  TestContext t;
  const bool views = plat::os_info().windows_64bit;
  const plat::RegKey local = plat::REGROOT_LOCAL_MACHINE, remote32 = 0x7001, remote64 = 0x7002;
  remember_key(t.ctx(), remote32, MARK_REMOTE32);
  remember_key(t.ctx(), remote64, MARK_REMOTE64);
  struct Case {
    uint32_t setting;
    int32_t view_arg;
    plat::RegKey parent;
    RegView view;       // where the registry has views
    bool explicit_view;
  } cases[] = {
      {0, 0, local, RegView::Wow64, false},     {2, 0, local, RegView::Wow64, false},
      {1, 0, local, RegView::Wow32, false},     {32, 0, local, RegView::Wow32, true},
      {64, 0, local, RegView::Wow64, true},     {1, 64, local, RegView::Wow64, true},
      {64, 32, local, RegView::Wow32, true},    {0, 32, remote32, RegView::Native, true},
      {0, 32, remote64, RegView::Wow32, true},  {1, 0, remote64, RegView::Wow32, false},
  };
  for (const Case& c : cases) {
    t->nRegOpenFlags = c.setting;
    ViewChoice choice{};
    ASSERT_TRUE(choose_view(t.ctx(), c.parent, c.view_arg, &choice));
    // A remote 64-bit registry has views even when this platform has none.
    const bool has_views = c.parent == remote64 || (c.parent == local && views);
    EXPECT_EQ(choice.view, has_views ? c.view : RegView::Native) << c.setting << " " << c.view_arg << " " << c.parent;
    EXPECT_EQ(choice.explicit_view, c.explicit_view) << c.setting << " " << c.view_arg;
  }
  ViewChoice choice{};
  EXPECT_FALSE(choose_view(t.ctx(), local, 16, &choice));
  EXPECT_EQ(t.err(), 1822);
  forget_key(t.ctx(), remote32);
  forget_key(t.ctx(), remote64);
}

TEST(RegistryBuiltins, KeysStillOpenAtShutdownAreClosed) {
  plat::RegKey key = 0;
  {
    TestContext t;
    key = plat::RegKey(std::stoul(t.text_of("RegCreateKey(@regcurrent, \"Software\\TovUnitShutdown\")")));
    ASSERT_EQ(t.err(), 0);
    // The view setting is the run's: every run starts again from the default.
    t.run("RegOpenFlags(32)\n");
    t.run("previous = RegOpenFlags(64)\n");
    EXPECT_EQ(t.var_text("previous"), sizeof(void*) == 4 && plat::os_info().windows_64bit ? "2" : "0");
  }
  EXPECT_EQ(plat::reg_close_key(key), plat::REGERR_INVALID_HANDLE);
  plat::reg_delete_key(plat::REGROOT_CURRENT_USER, u"Software\\TovUnitShutdown", RegView::Native);
}

TEST(RegistryBuiltins, DataConversions) {
  uint32_t n = 0;
  struct Dword {
    const char16_t* text;
    bool hex, ok;
    uint32_t value;
  } dwords[] = {
      {u"0", false, true, 0},           {u" 4294967295\t", false, true, 4294967295u},
      {u"4294967296", false, false, 0}, {u"-2147483648", false, true, 0x80000000u},
      {u"-2147483649", false, false, 0}, {u"-", false, false, 0},
      {u"", false, false, 0},           {u"1 2", false, false, 0},
      {u"ffffffff", true, true, 0xFFFFFFFFu}, {u"0x1A", true, true, 26},
      {u"123456789", true, false, 0},   {u"0x", true, false, 0},
      {u"g", true, false, 0},
  };
  for (const Dword& d : dwords) {
    EXPECT_EQ(dword_of_text(d.text, d.hex, &n), d.ok) << std::string(d.text, d.text + std::char_traits<char16_t>::length(d.text));
    if (d.ok) {
      EXPECT_EQ(n, d.value);
    }
  }

  // Multi-strings: the final terminators go, inner NULs become the delimiter (an empty string kept).
  EXPECT_EQ(multi_of_bytes(bytes_of_multi(u"a||b", u'|'), u','), u"a,,b");
  EXPECT_EQ(bytes_of_multi(u"", u'|'), std::string(4, '\0'));
  EXPECT_EQ(multi_of_bytes(bytes_of_text(u"x", true), u'|'), u"x");   // one terminator only
  EXPECT_EQ(text_of_bytes(std::string("a\0b\0\0\0c\0", 8)), u"ab");

  plat::env_set("TOV_UNIT_EXPAND", "value");
  EXPECT_EQ(expand_environment(u"%TOV_UNIT_EXPAND%/%NO_SUCH_TOV_VAR%/%%/%TOV_UNIT_EXPAND"),
            u"value/%NO_SUCH_TOV_VAR%/%%/%TOV_UNIT_EXPAND");
  EXPECT_EQ(expand_environment(u"%NO_SUCH_TOV_VAR%TOV_UNIT_EXPAND%"), u"%NO_SUCH_TOV_VARvalue");
  plat::env_set("TOV_UNIT_EXPAND", nullptr);
}

#ifndef _WIN32
TEST(RegistryBuiltins, HivesAreNotSupportedOnPosix) {
  TestContext t;
  EXPECT_EQ(t.error_of("RegLoadHive(@regusers, \"Hive\", \"/tmp/hive\")"), 1529);
  EXPECT_NE(std::string(error_info_text(t.ctx())).find("not supported"), std::string::npos);
  EXPECT_EQ(t.error_of("RegUnloadHive(@regusers, \"Hive\")"), 1529);
  EXPECT_EQ(t.error_of("RegConnect(\"\\\\elsewhere.invalid\", @regmachine)"), 1503);
}
#endif

}  // namespace
}  // namespace tov
