// The POSIX registry store under stress: a tov killed in the middle of its writes leaves a readable store
// with every committed value, two tov processes writing at once lose nothing, and reading never creates
// the store.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "test_folder.h"

extern char** environ;

namespace tov {
namespace {

namespace fs = std::filesystem;

constexpr plat::RegKey HKCU = plat::REGROOT_CURRENT_USER;

class RegistryReliability : public ::testing::Test {
 protected:
  std::string script(const std::string& name, const std::string& text) { return folder_.write(name, text); }

  // Starts tov on a script with the environment of the tests, changed by the NAME=value items given.
  static pid_t start(const std::string& script_path, const std::vector<std::string>& env = {}) {
    std::vector<std::string> items(env);
    for (char** e = environ; *e; ++e) {
      const std::string item = *e;
      bool replaced = false;
      for (const std::string& given : env) replaced |= item.compare(0, given.find('=') + 1, given, 0, given.find('=') + 1) == 0;
      if (!replaced) items.push_back(item);
    }
    std::vector<char*> envp;
    for (std::string& item : items) envp.push_back(item.data());
    envp.push_back(nullptr);
    std::string tov = TOV_RUNNER_PATH, arg = script_path;
    char* argv[] = {tov.data(), arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
  }

  static int wait_exit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  test::TestFolder folder_;
};

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

int64_t number_of(const char16_t* subkey, const std::u16string& name) {
  uint32_t type = 0;
  std::string data;
  if (plat::reg_get_value(HKCU, subkey, name.c_str(), &type, &data) != 0 || type != plat::REGT_SZ) return -1;
  std::string digits;
  for (size_t i = 0; i + 1 < data.size() && data[i]; i += 2) digits += data[i];
  return digits.empty() ? -1 : std::stoll(digits);
}

TEST_F(RegistryReliability, KilledWriterLeavesEveryCommittedValue) {
  plat::reg_delete_key(HKCU, u"Software\\TovKill", plat::RegView::Native);
  // Round after round over the same 1,000 values, each write followed by the count of writes so far.
  const std::string writer = script("writer.tov",
                                    "key = RegCreateKey(@regcurrent, \"Software\\TovKill\")\n"
                                    "n = 0\n"
                                    "While 1\n"
                                    "  n = n + 1\n"
                                    "  RegSetValue(key, \"[v\" : (n mod 1000) : \"]\", n)\n"
                                    "  RegSetValue(key, \"[last]\", n)\n"
                                    "EndWhile\n");
  const pid_t pid = start(writer);
  ASSERT_GT(pid, 0);
  // Killed once every value has been written and the second round is under way.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (number_of(u"Software\\TovKill", u"last") < 1500 && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(pid, SIGKILL);
  EXPECT_EQ(wait_exit(pid), 128 + SIGKILL);

  const int64_t last = number_of(u"Software\\TovKill", u"last");
  ASSERT_GE(last, 1500) << "the writer did not get far enough";
  // Value j holds the last n <= last with n mod 1000 = j, or last + 1 when that write was committed but
  // the count after it was not.
  for (int64_t j = 0; j < 1000; ++j) {
    const int64_t expected = last - ((last - j) % 1000 + 1000) % 1000;
    const int64_t got = number_of(u"Software\\TovKill", u"v" + u16(std::to_string(j)));
    EXPECT_TRUE(got == expected || (got == last + 1 && (last + 1) % 1000 == j))
        << "v" << j << " = " << got << ", expected " << expected;
  }

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(std::getenv("TOV_REGISTRY"), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
  plat::reg_delete_key(HKCU, u"Software\\TovKill", plat::RegView::Native);
}

TEST_F(RegistryReliability, TwoWritersLoseNothing) {
  plat::reg_delete_key(HKCU, u"Software\\TovRace", plat::RegView::Native);
  // Both make the same subkey (each write opens or creates it) and write 1,000 values of their own.
  auto writer = [&](const char* who) {
    return script(std::string(who) + ".tov", std::string("For i = 1 to 1000\n"
                                                         "  RegSetValue(@regcurrent, \"Software\\TovRace\\Shared[") +
                                                 who + "\" : i : \"]\", i)\nNext\n");
  };
  const pid_t a = start(writer("a")), b = start(writer("b"));
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(wait_exit(a), 0);
  EXPECT_EQ(wait_exit(b), 0);
  int missing = 0;
  for (int i = 1; i <= 1000; ++i)
    for (const char16_t* who : {u"a", u"b"})
      missing += number_of(u"Software\\TovRace\\Shared", who + u16(std::to_string(i))) != i;
  EXPECT_EQ(missing, 0);
  plat::reg_delete_key(HKCU, u"Software\\TovRace", plat::RegView::Native);
}

TEST_F(RegistryReliability, ReadingDoesNotMakeTheStore) {
  const fs::path store = folder_.path / "sub" / "fresh.db";
  const std::vector<std::string> env{"TOV_REGISTRY=" + store.string()};
  const std::string reader = script("reader.tov",
                                    "ErrorMode(@OFF)\n"
                                    "RegExistKey(@regcurrent, \"Software\")\n"
                                    "RegQueryValue(@regmachine, \"Software[x]\")\n"
                                    "RegQueryKeys(@regusers)\n"
                                    "Exit\n");
  EXPECT_EQ(wait_exit(start(reader, env)), 0);
  EXPECT_FALSE(fs::exists(store));
  const std::string writer = script("writer.tov", "RegSetValue(@regcurrent, \"Software\\TovFresh[x]\", 1)\n");
  EXPECT_EQ(wait_exit(start(writer, env)), 0);
  EXPECT_TRUE(fs::exists(store));
}

}  // namespace
}  // namespace tov
#endif
