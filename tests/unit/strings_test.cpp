// Message texts: the string table, cutting, marker replacement, the wide form and language files.
//
// The language file is found the way the Engine finds it in production: a file named ZRKDLANG along
// PATH when ZRKDLANG.<code> is not beside the Engine. The tests point PATH (and on POSIX the settings
// folder, XDG_CONFIG_HOME) at temporary folders and restore them afterwards.
#include <gtest/gtest.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "engine/context.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace fs = std::filesystem;

namespace {

std::string load(uint32_t id, int32_t size = 4096, tov::RunContext* ctx = nullptr) {
  std::vector<char> buf(size > 0 ? size : 1, '#');
  int32_t n = tov::load_string(ctx, id, buf.data(), size);
  std::string s(buf.data());
  EXPECT_EQ(static_cast<size_t>(n), s.size()) << "id " << id;
  return s;
}

std::u16string load_w(uint32_t id, int32_t size = 4096, tov::RunContext* ctx = nullptr) {
  std::vector<char16_t> buf(size, u'#');
  int32_t n = tov::load_string_w(ctx, id, buf.data(), size);
  std::u16string s(buf.data());
  EXPECT_EQ(static_cast<size_t>(n), s.size()) << "id " << id;
  return s;
}

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

// Saves an environment variable and puts it back.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    char buf[32768];
    int n = plat::env_get(name, buf, sizeof buf);
    had_ = n >= 0;
    if (had_) value_ = buf;
  }
  ~EnvGuard() { plat::env_set(name_, had_ ? value_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
};

// Every test runs with its own empty settings folder and a PATH of one empty folder, so no language file
// of the machine is found; the language state is re-read at the start and at the end.
class Strings : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tov-strings-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_ / "path");
    fs::create_directories(dir_ / "config");
    plat::env_set("PATH", (dir_ / "path").string().c_str());
    plat::env_set("XDG_CONFIG_HOME", (dir_ / "config").string().c_str());
    refresh();
  }
  void TearDown() override {
    path_.reset();
    config_.reset();
    refresh();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static void refresh() {
    char buf[8];
    tov::load_string(nullptr, 0, buf, sizeof buf);
  }
  std::string language_file() {
    char buf[plat::MAX_PATH_CHARS];
    tov::language_file_in_use(buf, sizeof buf);
    return buf;
  }
  void use_language_file(const std::string& contents) {
    write_file(dir_ / "path" / "ZRKDLANG", contents);
    EXPECT_EQ(language_file(), "");   // looked up again only on a request for id 0
    refresh();
    ASSERT_NE(language_file().find("ZRKDLANG"), std::string::npos) << language_file();
  }

  std::unique_ptr<EnvGuard> path_ = std::make_unique<EnvGuard>("PATH");
  std::unique_ptr<EnvGuard> config_ = std::make_unique<EnvGuard>("XDG_CONFIG_HOME");
  fs::path dir_;
};

TEST_F(Strings, TableTextsAsTheSystemShowsThem) {
  EXPECT_EQ(language_file(), "");
  EXPECT_EQ(load(3062), "Attempt to divide by zero");
  EXPECT_EQ(load(3096), "Memory allocation failure.  Out of memory for strings");
  EXPECT_EQ(load(211),
            "Encrypted/Encoded verification failed.  \n\nIf you are CALL'ing a QZT from a compiled \n"
            "program, you must encode the QZT using \nthe compiler's Encode option.");
  EXPECT_EQ(load(731), " menu item");
  EXPECT_EQ(load(808), "VALUE");
  EXPECT_EQ(load(846), "Tag Overwrite 1");
  EXPECT_EQ(load(845), "INTERNAL DYNALLOC ERROR");
  EXPECT_EQ(load(3053), "Character string too long (>2048 chars?\?)");
  EXPECT_EQ(load(9999), "User requested Cancel");
  EXPECT_EQ(load(102), "Specified menu/batch file not found");
  EXPECT_EQ(load(tov::MSG_SUPPORT_URL).rfind("https://", 0), 0u);
}

TEST_F(Strings, UnknownIdsLoadAsEmpty) {
  EXPECT_EQ(load(12345), "");
  EXPECT_EQ(load(3063 + 10000), "");
  EXPECT_EQ(load(1), "");
  EXPECT_EQ(load(3058), "");   // between two texts
  EXPECT_EQ(load(65535), "");
}

TEST_F(Strings, CutToTheBuffer) {
  EXPECT_EQ(load(3062, 5), "Atte");
  EXPECT_EQ(load(3062, 1), "");
  EXPECT_EQ(load(3062, 26), "Attempt to divide by zero");   // exactly fits with its terminator
  EXPECT_EQ(load(3062, 25), "Attempt to divide by zer");
  char untouched[4] = "abc";
  EXPECT_EQ(tov::load_string(nullptr, 3062, untouched, 0), 0);
  EXPECT_STREQ(untouched, "abc");
  EXPECT_EQ(tov::load_string(nullptr, 3062, nullptr, 10), 0);
}

TEST_F(Strings, WideForm) {
  EXPECT_EQ(load_w(3062), u"Attempt to divide by zero");
  EXPECT_EQ(load_w(3062, 5), u"Atte");
  EXPECT_EQ(load_w(3062, 1), u"");
  EXPECT_EQ(load_w(12345), u"");
  EXPECT_EQ(load_w(211),
            u"Encrypted/Encoded verification failed.  \n\nIf you are CALL'ing a QZT from a compiled \n"
            u"program, you must encode the QZT using \nthe compiler's Encode option.");
  char16_t untouched[4] = u"abc";
  EXPECT_EQ(tov::load_string_w(nullptr, 3062, untouched, 0), 0);
  EXPECT_EQ(std::u16string(untouched), u"abc");
}

TEST_F(Strings, LanguageFileReplacesTextsFromId100) {
  use_language_file(
      "[MAIN]\r\n"
      "X3062=Division durch null~zweite Zeile\r\n"
      "X1002=Keine|Treffer~\r\n"
      "X50=never shown\r\n"
      "X3096=XXX\r\n"
      "X12345=only in the file\r\n");
  EXPECT_EQ(load(3062), "Division durch null\nzweite Zeile");
  EXPECT_EQ(load(1002), "Keine\tTreffer\n");
  EXPECT_EQ(load(50), "");                       // below 100: always the table
  EXPECT_EQ(load(3096), "Memory allocation failure.  Out of memory for strings");   // "XXX" falls back
  EXPECT_EQ(load(3065), "Unbalanced Parenthesis");   // not in the file
  EXPECT_EQ(load(12345), "only in the file");
  EXPECT_EQ(load(3062, 10), "Division ");
  EXPECT_EQ(load_w(3062), u"Division durch null\nzweite Zeile");

  fs::remove(dir_ / "path" / "ZRKDLANG");
  refresh();
  EXPECT_EQ(language_file(), "");
  EXPECT_EQ(load(3062), "Attempt to divide by zero");
}

TEST_F(Strings, MultiByteTextsKeepTheirCharactersWhole) {
  tov::RunContext ctx{};
  ctx.nCodePage = plat::CP_UTF8_PAGE;
  // "Größe" in UTF-8, then a tilde and a bar.
  use_language_file("[MAIN]\r\nX3062=Gr\xC3\xB6\xC3\x9F" "e~|\r\nX3063=\x83|~|\r\n");
  EXPECT_EQ(load(3062, 4096, &ctx), "Gr\xC3\xB6\xC3\x9F" "e\n\t");
  EXPECT_EQ(load_w(3062, 4096, &ctx), u"Größe\n\t");
  // Cutting never leaves half a character: 4 bytes hold "Gr" and "ö" but not half of "ß".
  EXPECT_EQ(load(3062, 6, &ctx), "Gr\xC3\xB6");
  EXPECT_EQ(load_w(3062, 4, &ctx), u"Grö");

  // In a double-byte code page the second byte of a character may be "|" or "~": it is not a marker.
  if (plat::is_lead_byte(0x83, 932)) {
    ctx.nCodePage = 932;
    EXPECT_EQ(load(3063, 4096, &ctx), "\x83|\n\t");
  }
}

#if !defined(_WIN32)
// The language code comes from the settings file, else from the system profile; ZRKDLANG.<code> beside
// the Engine takes precedence over a bare ZRKDLANG. Only here can the settings folder be redirected.
TEST_F(Strings, LanguageCodeChoosesTheFileBesideTheEngine) {
  char module_dir[plat::MAX_PATH_CHARS];
  ASSERT_GT(plat::engine_module_directory(module_dir, sizeof module_dir), 0u);
  const std::string code = "t" + std::to_string(std::random_device{}() % 100000);
  const fs::path coded = fs::path(module_dir) / ("ZRKDLANG." + code);
  write_file(coded, "[MAIN]\nX3062=coded file\n");
  if (!fs::exists(coded)) GTEST_SKIP() << "cannot write beside the test program";
  struct Remove {
    fs::path p;
    ~Remove() { std::error_code ec; fs::remove(p, ec); }
  } remove_coded{coded};
  write_file(dir_ / "path" / "ZRKDLANG", "[MAIN]\nX3062=bare file\n");

  fs::create_directories(dir_ / "config" / "Tarnwell" / "Settings");
  write_file(dir_ / "config" / "Tarnwell" / "Settings" / "ZRKQUILL.INI", "[MAIN]\nLanguage=" + code + "\n");
  refresh();
  EXPECT_EQ(load(3062), "coded file");
  EXPECT_EQ(fs::path(language_file()), coded);

  // "XXX" in the settings file defers to the system profile's sLanguage.
  write_file(dir_ / "config" / "Tarnwell" / "Settings" / "ZRKQUILL.INI", "[MAIN]\nLanguage=XXX\n");
  fs::create_directories(dir_ / "config" / "tov");
  write_file(dir_ / "config" / "tov" / "win.ini", "[INTL]\nsLanguage=" + code + "\n");
  refresh();
  EXPECT_EQ(load(3062), "coded file");

  // A code without its file: the bare name is used.
  write_file(dir_ / "config" / "tov" / "win.ini", "[INTL]\nsLanguage=none\n");
  refresh();
  EXPECT_EQ(load(3062), "bare file");
}
#endif

TEST_F(Strings, ConcurrentRequestsSeeAConsistentState) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&wrong, t] {
      char buf[64];
      for (int i = 0; i < 300; ++i) {
        tov::load_string(nullptr, (i + t) % 7 == 0 ? 0 : 3062, buf, sizeof buf);
        if ((i + t) % 7 != 0 && std::string(buf) != "Attempt to divide by zero") ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
