// The registry through the platform interface, where scripts cannot look (the script cases show the rest,
// against both the POSIX store and the Windows registry): key times, the Engine's settings, the POSIX
// classes root and paths the store refuses.
#include <gtest/gtest.h>

#include <string>

#include "builtins/reg_support.h"
#include "platform/registry.h"
#include "platform/settings.h"
#include "test_context.h"

namespace tov {
namespace {

using plat::RegKey;
using plat::RegView;

constexpr RegKey HKCU = plat::REGROOT_CURRENT_USER;
constexpr const char16_t* TEST_KEY = u"Software\\TovUnitStore";

std::string sz(const std::u16string& text) { return bytes_of_text(text, true); }

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override { plat::reg_delete_key(HKCU, TEST_KEY, RegView::Native); }
  void TearDown() override { plat::reg_delete_key(HKCU, TEST_KEY, RegView::Native); }

  static RegKey create() {
    RegKey k = 0;
    EXPECT_EQ(plat::reg_create_key(HKCU, TEST_KEY, RegView::Native, &k), 0u);
    return k;
  }
  static void set(RegKey k, const char16_t* name, uint32_t type, const std::string& data) {
    EXPECT_EQ(plat::reg_set_value(k, name, type, data.data(), data.size()), 0u);
  }
};

TEST_F(RegistryStore, LastWriteTimeFollowsChanges) {
  const RegKey k = create();
  set(k, u"v", plat::REGT_SZ, sz(u"x"));
  plat::LocalTime t{}, now = plat::local_time();
  ASSERT_EQ(plat::reg_last_write_time(k, &t), 0u);
  // The same day as now, give or take one for a test run at midnight.
  const int days = (now.year - t.year) * 372 + (now.month - t.month) * 31 + (now.day - t.day);
  EXPECT_LE(days < 0 ? -days : days, 1);
  plat::reg_close_key(k);
}

TEST_F(RegistryStore, EngineSettingsComeFromTheRegistry) {
  const std::u16string main = u"Software\\Marrowgate\\Settings\\ZRKQUILL\\MAIN";
  RegKey k = 0;
  ASSERT_EQ(plat::reg_create_key(plat::REGROOT_LOCAL_MACHINE, main.c_str(), RegView::Native, &k), 0u);
  set(k, u"Sounds", plat::REGT_DWORD, std::string("\x01\0\0\0", 4));
  set(k, u"PrettyDialogs", plat::REGT_SZ, sz(u"0"));
  EXPECT_EQ(plat::settings_get_int("ZRKQUILL.INI", "MAIN", "Sounds", 0), 1);
  EXPECT_EQ(plat::settings_get_int("ZRKQUILL.INI", "MAIN", "PrettyDialogs", 1), 0);
  EXPECT_EQ(plat::settings_get_int("ZRKQUILL.INI", "MAIN", "Missing", 7), 7);
  {
    test::TestContext t;
    EXPECT_EQ(t->bSounds, 1u);
    EXPECT_EQ(t->bPrettyDialogs, 0u);
  }
  plat::reg_close_key(k);
  plat::reg_delete_key(plat::REGROOT_LOCAL_MACHINE, u"Software\\Marrowgate", RegView::Native);
  test::TestContext t;
  EXPECT_EQ(t->bSounds, 0u);
  EXPECT_EQ(t->bPrettyDialogs, 1u);
}

#ifndef _WIN32
// On POSIX the classes root is the local machine's Software\Classes, as on Windows without per-user classes.
TEST_F(RegistryStore, ClassesRootIsTheMachinesClasses) {
  RegKey k = 0;
  ASSERT_EQ(plat::reg_create_key(plat::REGROOT_CLASSES, u".tovunit", RegView::Native, &k), 0u);
  set(k, u"", plat::REGT_SZ, sz(u"TovUnit.File"));
  plat::reg_close_key(k);
  uint32_t type;
  std::string data;
  EXPECT_EQ(plat::reg_get_value(plat::REGROOT_LOCAL_MACHINE, u"Software\\Classes\\.TOVUNIT", u"", &type, &data), 0u);
  EXPECT_EQ(data, sz(u"TovUnit.File"));
  EXPECT_EQ(plat::reg_delete_key(plat::REGROOT_CLASSES, u".tovunit", RegView::Native), 0u);
}

// Names that the store refuses as the registry does: an empty name inside a path, one over 255 characters.
TEST_F(RegistryStore, MalformedPaths) {
  RegKey k = 0;
  EXPECT_EQ(plat::reg_create_key(HKCU, u"\\Software", RegView::Native, &k), plat::REGERR_BAD_PATHNAME);
  EXPECT_EQ(plat::reg_create_key(HKCU, u"Software\\\\X", RegView::Native, &k), plat::REGERR_BAD_PATHNAME);
  EXPECT_EQ(plat::reg_create_key(HKCU, (u"Software\\" + std::u16string(256, u'n')).c_str(), RegView::Native, &k),
            plat::REGERR_INVALID_PARAMETER);
  EXPECT_EQ(plat::reg_connect(u"\\\\elsewhere.invalid", plat::REGROOT_LOCAL_MACHINE, &k), plat::REGERR_BAD_NETPATH);
  EXPECT_EQ(plat::reg_connect(u"", 0x12345, &k), plat::REGERR_INVALID_HANDLE);
  ASSERT_EQ(plat::reg_connect(u".", plat::REGROOT_LOCAL_MACHINE, &k), 0u);
  RegKey classes = 0;
  EXPECT_EQ(plat::reg_open_key(k, u"Software\\Classes", plat::RegAccess::Read, RegView::Native, &classes), 0u);
  plat::reg_close_key(classes);
  plat::reg_close_key(k);
}
#endif

}  // namespace
}  // namespace tov
