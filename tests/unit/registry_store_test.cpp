// The registry through the platform interface: the POSIX store must behave as the Windows registry does
// (these tests run against both), and the Engine's settings are read from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/settings.h"
#include "test_context.h"

namespace tov {
namespace {

using plat::RegAccess;
using plat::RegKey;
using plat::RegView;

constexpr RegKey HKCU = plat::REGROOT_CURRENT_USER;
constexpr const char16_t* TEST_KEY = u"Software\\TovUnitStore";

std::string sz(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text + u'\0') bytes += {char(c & 0xFF), char(c >> 8)};
  return bytes;
}

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override { plat::reg_delete_key(HKCU, TEST_KEY, RegView::Native); }
  void TearDown() override { plat::reg_delete_key(HKCU, TEST_KEY, RegView::Native); }

  RegKey create(const std::u16string& sub) {
    RegKey k = 0;
    EXPECT_EQ(plat::reg_create_key(HKCU, (std::u16string(TEST_KEY) + sub).c_str(), RegView::Native, &k), 0u);
    return k;
  }
  static void set(RegKey k, const char16_t* name, uint32_t type, const std::string& data) {
    EXPECT_EQ(plat::reg_set_value(k, name, type, data.data(), data.size()), 0u);
  }
};

TEST_F(RegistryStore, KeysAndValuesByNamesWithoutCase) {
  const RegKey k = create(u"\\Deep\\Er");   // the missing keys of the path are made too
  set(k, u"Name", plat::REGT_SZ, sz(u"first"));
  set(k, u"NAME", plat::REGT_SZ, sz(u"second"));   // the same value
  set(k, u"", plat::REGT_DWORD, std::string("\x2A\0\0\0", 4));
  set(k, u"Bytes", plat::REGT_BINARY, std::string("\0\x01\xFF", 3));

  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(plat::reg_get_value(HKCU, u"software\\TOVUNITSTORE\\deep\\er", u"name", &type, &data), 0u);
  EXPECT_EQ(type, uint32_t(plat::REGT_SZ));
  EXPECT_EQ(data, sz(u"second"));
  ASSERT_EQ(plat::reg_query_value(k, u"bytes", &type, &data), 0u);
  EXPECT_EQ(type, uint32_t(plat::REGT_BINARY));
  EXPECT_EQ(data, std::string("\0\x01\xFF", 3));

  std::vector<std::u16string> names;
  ASSERT_EQ(plat::reg_value_names(k, &names), 0u);
  std::sort(names.begin(), names.end());   // values come in no order that Windows promises
  EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"Bytes", u"Name"}));   // each as first named

  RegKey parent = create(u"");
  for (const char16_t* sub : {u"beta", u"Alpha", u"gamma"}) {
    RegKey child = 0;
    ASSERT_EQ(plat::reg_create_key(parent, sub, RegView::Native, &child), 0u);
    plat::reg_close_key(child);
  }
  ASSERT_EQ(plat::reg_subkey_names(parent, &names), 0u);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"Deep", u"gamma"}));

  EXPECT_EQ(plat::reg_delete_value(k, u"NAME"), 0u);
  EXPECT_EQ(plat::reg_delete_value(k, u"Name"), plat::REGERR_NOT_FOUND);
  EXPECT_EQ(plat::reg_query_value(k, u"Name", &type, &data), plat::REGERR_NOT_FOUND);
  plat::reg_close_key(k);
  plat::reg_close_key(parent);
}

TEST_F(RegistryStore, HandlesAndTheirErrors) {
  const RegKey k = create(u"\\Sub");
  RegKey missing = 1;
  EXPECT_EQ(plat::reg_open_key(HKCU, u"Software\\TovUnitStore\\Nope", RegAccess::Read, RegView::Native, &missing),
            plat::REGERR_NOT_FOUND);
  EXPECT_EQ(missing, 0u);

  // A key opened for reading refuses changes.
  RegKey reader = 0;
  ASSERT_EQ(plat::reg_open_key(HKCU, u"Software\\TovUnitStore\\Sub", RegAccess::Read, RegView::Native, &reader), 0u);
  EXPECT_EQ(plat::reg_set_value(reader, u"x", plat::REGT_SZ, "", 0), plat::REGERR_ACCESS_DENIED);

  // Deleting a key leaves its open handles behind: they report the deletion.
  ASSERT_EQ(plat::reg_delete_key(HKCU, TEST_KEY, RegView::Native), 0u);
  uint32_t type;
  std::string data;
  EXPECT_EQ(plat::reg_query_value(k, u"x", &type, &data), plat::REGERR_KEY_DELETED);
  EXPECT_EQ(plat::reg_set_value(k, u"x", plat::REGT_SZ, "", 0), plat::REGERR_KEY_DELETED);

  EXPECT_EQ(plat::reg_close_key(k), 0u);
  EXPECT_EQ(plat::reg_close_key(k), plat::REGERR_INVALID_HANDLE);
  EXPECT_EQ(plat::reg_close_key(reader), 0u);
  EXPECT_EQ(plat::reg_close_key(0x12345), plat::REGERR_INVALID_HANDLE);
  EXPECT_EQ(plat::reg_set_value(0x12345, u"x", plat::REGT_SZ, "", 0), plat::REGERR_INVALID_HANDLE);
  EXPECT_EQ(plat::reg_close_key(HKCU), 0u);   // a root stays usable
  EXPECT_EQ(plat::reg_delete_key(HKCU, u"", RegView::Native), plat::REGERR_ACCESS_DENIED);
}

TEST_F(RegistryStore, DeletingAKeyTakesItsWholeTree) {
  const RegKey k = create(u"\\A\\B\\C");
  set(k, u"v", plat::REGT_SZ, sz(u"deep"));
  plat::reg_close_key(k);
  ASSERT_EQ(plat::reg_delete_key(HKCU, u"Software\\TovUnitStore\\a", RegView::Native), 0u);
  RegKey probe = 0;
  EXPECT_EQ(plat::reg_open_key(HKCU, u"Software\\TovUnitStore\\A", RegAccess::Read, RegView::Native, &probe),
            plat::REGERR_NOT_FOUND);
  EXPECT_EQ(plat::reg_open_key(HKCU, TEST_KEY, RegAccess::Read, RegView::Native, &probe), 0u);
  plat::reg_close_key(probe);
}

TEST_F(RegistryStore, LastWriteTimeFollowsChanges) {
  const RegKey k = create(u"");
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
  EXPECT_EQ(plat::reg_connect(u"", plat::REGROOT_CURRENT_USER, &k), plat::REGERR_INVALID_HANDLE);
  ASSERT_EQ(plat::reg_connect(u".", plat::REGROOT_LOCAL_MACHINE, &k), 0u);
  RegKey classes = 0;
  EXPECT_EQ(plat::reg_open_key(k, u"Software\\Classes", RegAccess::Read, RegView::Native, &classes), 0u);
  plat::reg_close_key(classes);
  plat::reg_close_key(k);
}
#endif

}  // namespace
}  // namespace tov
