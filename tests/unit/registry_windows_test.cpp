// Under Windows (Wine): what tov writes to the registry and to INI files, other programs read through the
// system, and hives load and unload.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process.h"
#include "platform/settings.h"
#include "test_folder.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

class RegistryOnWindows : public ::testing::Test {
 protected:

  // Runs a program; returns its exit status, with its standard output in out_.
  int run(std::initializer_list<const char*> args) {
    std::vector<const char*> argv(args);
    argv.push_back(nullptr);
    const std::string out = (dir_ / "stdout").string(), cwd = dir_.string();
    const int code = plat::run_captured(argv.data(), cwd.c_str(), nullptr, out.c_str(), out.c_str(), 60000);
    std::ifstream in(out, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    out_ = s.str();
    return code;
  }
  int run_script(const std::string& text) {
    const std::string path = (dir_ / "script.tov").string();
    std::ofstream(path, std::ios::binary) << text;
    return run({TOV_RUNNER_PATH, "--console", path.c_str()});
  }

  test::TestFolder folder_;
  const fs::path& dir_ = folder_.path;
  std::string out_;
};

TEST_F(RegistryOnWindows, ValuesSetByTovAreReadByRegQuery) {
  ASSERT_EQ(run_script("RegSetValue(@regcurrent, \"Software\\TovWineCheck[Name]\", \"set by tov\")\n"
                       "RegSetDword(@regcurrent, \"Software\\TovWineCheck[Number]\", 255)\n"
                       "RegSetMulSz(@regcurrent, \"Software\\TovWineCheck[List]\", \"a|b\", \"|\")\n"),
            0)
      << out_;
  ASSERT_EQ(run({"reg", "query", "HKCU\\Software\\TovWineCheck"}), 0) << out_;
  EXPECT_NE(out_.find("set by tov"), std::string::npos) << out_;
  EXPECT_NE(out_.find("REG_DWORD"), std::string::npos) << out_;
  EXPECT_NE(out_.find("0xff"), std::string::npos) << out_;
  EXPECT_NE(out_.find("REG_MULTI_SZ"), std::string::npos) << out_;
  run({"reg", "delete", "HKCU\\Software\\TovWineCheck", "/f"});
}

TEST_F(RegistryOnWindows, IniFilesWrittenByTovAreReadByTheProfileFunctions) {
  const std::string ini = (dir_ / "written.ini").string();
  ASSERT_EQ(run_script("IniWritePvt(\"Section\", \"Key\", \"written by tov\", \"" + ini + "\")\n"
                       "IniWritePvt(\"Section\", \"Gone\", \"x\", \"" + ini + "\")\n"
                       "IniDeletePvt(\"Section\", \"Gone\", \"" + ini + "\")\n"),
            0)
      << out_;
  char value[100];
  plat::profile_get_string(ini.c_str(), "section", "KEY", "", value, sizeof value);
  EXPECT_STREQ(value, "written by tov");
  plat::profile_get_string(ini.c_str(), "Section", "Gone", "deleted", value, sizeof value);
  EXPECT_STREQ(value, "deleted");
}

// Saving a key needs the backup privilege enabled.
bool enable_backup_privilege() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES p{};
  p.PrivilegeCount = 1;
  p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool ok = LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &p.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return ok;
}

TEST_F(RegistryOnWindows, HivesLoadAndUnload) {
  // A hive file of a key saved by the system.
  ASSERT_TRUE(enable_backup_privilege());
  HKEY source;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TovHiveSource", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &source, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(source, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"in the hive"), 24);
  const fs::path hive = dir_ / "saved.hive";
  const LONG saved = RegSaveKeyW(source, hive.wstring().c_str(), nullptr);
  RegCloseKey(source);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TovHiveSource");
  ASSERT_EQ(saved, ERROR_SUCCESS);

  ASSERT_EQ(run_script("RegLoadHive(@regusers, \"TovHive\", \"" + hive.string() + "\")\n"
                       "Message(\"loaded\", RegQueryValue(@regusers, \"TovHive[v]\"))\n"
                       "RegUnloadHive(@regusers, \"TovHive\")\n"
                       "Message(\"unloaded\", RegExistKey(@regusers, \"TovHive\"))\n"),
            0)
      << out_;
  EXPECT_NE(out_.find("loaded: in the hive"), std::string::npos) << out_;
  EXPECT_NE(out_.find("unloaded: 0"), std::string::npos) << out_;
}

}  // namespace
}  // namespace tov
#endif
