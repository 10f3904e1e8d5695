// Message texts: the string table, cutting, marker replacement, the wide form and language files.
//
// The language file is found the way the Engine finds it in production: a file named ZRKDLANG along
// PATH when ZRKDLANG.<code> is not beside the Engine. The tests point PATH (and on POSIX the settings
// folder, XDG_CONFIG_HOME) at temporary folders and restore them afterwards.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "engine/context.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/strings.h"
#include "test_folder.h"

namespace fs = std::filesystem;

namespace {

// A text through the ANSI (char) or the wide (char16_t) form; the count returned must match the text.
template <class C>
std::basic_string<C> load_as(uint32_t id, int32_t size, tov::RunContext* ctx) {
  std::vector<C> buf(size > 0 ? size : 1, C('#'));
  int32_t n;
  if constexpr (sizeof(C) == 1) n = tov::load_string(ctx, id, buf.data(), size);
  else n = tov::load_string_w(ctx, id, buf.data(), size);
  std::basic_string<C> s(buf.data());
  EXPECT_EQ(static_cast<size_t>(n), s.size()) << "id " << id;
  return s;
}
std::string load(uint32_t id, int32_t size = 4096, tov::RunContext* ctx = nullptr) { return load_as<char>(id, size, ctx); }
std::u16string load_w(uint32_t id, int32_t size = 4096, tov::RunContext* ctx = nullptr) {
  return load_as<char16_t>(id, size, ctx);
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
    std::ofstream(dir_ / "path" / "ZRKDLANG", std::ios::binary) << contents;
    EXPECT_EQ(language_file(), "");   // looked up again only on a request for id 0
    refresh();
    ASSERT_NE(language_file().find("ZRKDLANG"), std::string::npos) << language_file();
  }

  std::unique_ptr<EnvGuard> path_ = std::make_unique<EnvGuard>("PATH");
  std::unique_ptr<EnvGuard> config_ = std::make_unique<EnvGuard>("XDG_CONFIG_HOME");
  tov::test::TestFolder folder_;
  const fs::path& dir_ = folder_.path;
};

// Table texts, unknown ids as empty, and cutting to the buffer in both forms.
TEST_F(Strings, TableTextsAndCutting) {
  EXPECT_EQ(language_file(), "");
  const std::pair<uint32_t, const char*> texts[] = {
      {3096, "Memory allocation failure.  Out of memory for strings"},
      {211, "Encrypted/Encoded verification failed.  \n\nIf you are CALL'ing a QZT from a compiled \n"
            "program, you must encode the QZT using \nthe compiler's Encode option."},
      {731, " menu item"}, {808, "VALUE"}, {846, "Tag Overwrite 1"}, {845, "INTERNAL DYNALLOC ERROR"},
      {3053, "Character string too long (>2048 chars?\?)"}, {9999, "User requested Cancel"},
      {102, "Specified menu/batch file not found"}};
  for (const auto& [id, text] : texts) EXPECT_EQ(load(id), text);
  EXPECT_EQ(load(tov::MSG_SUPPORT_URL).rfind("https://", 0), 0u);
  for (uint32_t id : {12345u, 3063u + 10000, 1u, 3058u, 65535u}) EXPECT_EQ(load(id), "") << id;
  // 26 holds the text exactly with its terminator.
  for (const auto& [size, cut] : {std::pair{5, "Atte"}, {1, ""}, {26, "Attempt to divide by zero"}, {25, "Attempt to divide by zer"}})
    EXPECT_EQ(load(3062, size), cut) << size;
  char untouched[4] = "abc";
  EXPECT_EQ(tov::load_string(nullptr, 3062, untouched, 0), 0);
  EXPECT_STREQ(untouched, "abc");
  EXPECT_EQ(tov::load_string(nullptr, 3062, nullptr, 10), 0);

  EXPECT_EQ(load_w(3062), u"Attempt to divide by zero");
  EXPECT_EQ(load_w(3062, 5), u"Atte");
  EXPECT_EQ(load_w(3062, 1), u"");
  EXPECT_EQ(load_w(12345), u"");
  char16_t untouched_w[4] = u"abc";
  EXPECT_EQ(tov::load_string_w(nullptr, 3062, untouched_w, 0), 0);
  EXPECT_EQ(std::u16string(untouched_w), u"abc");
}

TEST_F(Strings, LanguageFileReplacesTextsFromId100) {
  use_language_file("[MAIN]\r\nX3062=Division durch null~zweite Zeile\r\nX1002=Keine|Treffer~\r\n"
                    "X50=never shown\r\nX3096=XXX\r\nX12345=only in the file\r\n");
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

}  // namespace
