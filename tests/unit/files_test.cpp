// Files: the matching of names against patterns, target names from masks, FileRead's buffer across chunk
// boundaries, and the open-file table's life in a context.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "builtins/filenames.h"
#include "diag/errors.h"
#include "platform/files.h"
#include "builtin_eval.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using tov::test::TestContext;

namespace {

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Each test works in a folder of its own as the current directory.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::current_path(folder_.path); }
  void TearDown() override { fs::current_path(home_); }
  void write(const std::string& name, const std::string& bytes) { folder_.write(name, bytes); }

  const fs::path home_ = fs::current_path();
  tov::test::TestFolder folder_;
};

}  // namespace

TEST(FileNames, PatternsMatchAsOnWindows) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*", "abc.txt", true},        {"*", "abc", true},           {"*.*", "abc", true},
      {"*.*", ".profile", true},     {"a*", "abc.txt", true},      {"a*", "bac", false},
      {"*.txt", "A.TXT", true},      {"*.htm", "page.html", false}, {"*.htm", "page.htm", true},
      {"abc.*", "abc", true},        {"abc.*", "abc.d.e", true},    {"*.", "abc", true},
      {"*.", "a.b", false},          {"a?c", "abc", true},          {"a?c", "ac", false},
      {"a*b", "ab_b", true},         {"a*b", "ab_bc", false},       {"*b*", "aab.c", true},
      {"*.tar.gz", "x.tar.gz", true}, {"*.tar.gz", "x.tar.gzz", false}, {"?.*", "ab", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tov::fname::name_matches(u16(c.pattern), u16(c.name)), c.match) << c.pattern << " " << c.name;
}

TEST(FileNames, MasksMakeTargetNames) {
  struct Case {
    const char* mask;
    const char* source;
    const char* target;
  };
  const Case cases[] = {
      {"*.bak", "abc.txt", "abc.bak"}, {"x?y.*", "abc.txt", "xby.txt"}, {"*", "abc.txt", "abc.txt"},
      {"*.*", "abc", "abc"},           {"new.txt", "abc.txt", "new.txt"}, {"*.txt", "noext", "noext.txt"},
      {"?", "abc", "a"},               {"*_old.*", "a.txt", "a_old.txt"}, {"???.*", "a.txt", "a.txt"},
      {"*.", "abc.txt", "abc"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tov::fname::map_name(u16(c.mask), u16(c.source)), u16(c.target)) << c.mask << " " << c.source;
}

TEST(FileNames, Parts) {
  using namespace tov::fname;
  EXPECT_EQ(directory_of(u"dir\\sub/name.x"), u"dir\\sub/");
  EXPECT_EQ(name_of(u"dir\\sub/name.x"), u"name.x");
  EXPECT_EQ(root_of(u"a.b.c"), u"a.b");
  EXPECT_EQ(extension_of(u"a.b.c"), u"c");
  EXPECT_EQ(extension_of(u"abc"), u"");
  // "C:name" is a name on the drive where names have drive letters, a plain name elsewhere.
  EXPECT_EQ(directory_length(u"C:name"), plat::has_drive_letters() ? 2u : 0u);
}

// Lines read through buffers of every small size must be the lines of the file, whatever the line ends, NUL
// characters and the places where the chunks of the file end.
TEST_F(FilesTest, ReadingThroughSmallBuffersGivesTheSameLines) {
  std::mt19937 random(7);
  std::string bytes, expected;
  for (int line = 0; line < 60; ++line) {
    const int length = int(random() % 7);
    std::string text;
    for (int i = 0; i < length; ++i) text += char('a' + random() % 26);
    std::string raw = text;
    if (length && random() % 4 == 0) raw.insert(random() % raw.size(), 1, '\0');
    if (length && random() % 4 == 0) raw.insert(random() % raw.size(), 1, '\r');
    bytes += raw + (random() % 2 ? "\r\n" : "\n");
    expected += "[" + text + "]";
  }
  write("lines.txt", bytes);
  for (int size : {0, 8, 9, 13, 64}) {
    TestContext t;
    t.run("IntControl(65, " + std::to_string(size) +
          ", 0, 0, 0)\nh = FileOpen(\"lines.txt\", \"READ\")\nall = \"\"\n"
          "While 1\n  l = FileRead(h)\n  If l == \"*EOF*\" Then Break\n  all = all : \"[\" : l : \"]\"\nEndWhile\n");
    EXPECT_EQ(t->hdr.nRunResult, 1) << "buffer " << size;
    EXPECT_EQ(t.var_text("all"), expected) << "buffer " << size;
  }
}

TEST_F(FilesTest, WideLinesCrossChunkBoundaries) {
  // "ab\r\ncd\nef" in UTF-16 little-endian, read through a buffer of three units.
  write("w.txt", std::string("\xFF\xFE" "a\0b\0\r\0\n\0c\0d\0\n\0e\0f\0", 20));
  TestContext t;
  t.run("IntControl(65, 3, 0, 0, 0)\nh = FileOpen(\"w.txt\", \"READ\")\n"
        "all = FileRead(h) : \"|\" : FileRead(h) : \"|\" : FileRead(h) : \"|\" : FileRead(h)\n");
  EXPECT_EQ(t.var_text("all"), "ab|cd|ef|*EOF*");
}

// Open files belong to the context: a later run reads on where the earlier one stopped, and shutting the
// context down closes them (the file opened without sharing can be opened again).
TEST_F(FilesTest, OpenFilesLastUntilTheContextEnds) {
  write("r.txt", "one\ntwo\n");
  {
    TestContext t;
    t.run("h = FileOpen(\"r.txt\", \"READ\")\nfirst = FileRead(h)\nw = FileOpen(\"w.txt\", \"WRITE\")\n");
    t.run("second = FileRead(h)\nFileWrite(w, \"later\")\n");
    EXPECT_EQ(t.var_text("first"), "one");
    EXPECT_EQ(t.var_text("second"), "two");
    uint32_t code = 0;
    EXPECT_EQ(plat::file_open_w(u"w.txt", plat::ACCESS_READ, plat::SHARE_READ,
                                plat::FileCreate::OpenExisting, &code),
              plat::INVALID_FILE);
    EXPECT_EQ(code, plat::SYSTEM_ERROR_SHARING);
  }
  const plat::FileHandle h = plat::file_open_w(u"w.txt", plat::ACCESS_WRITE, plat::SHARE_NONE,
                                               plat::FileCreate::OpenExisting, nullptr);
  EXPECT_NE(h, plat::INVALID_FILE);
  plat::file_close(h);
  std::ifstream in("w.txt", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "later\r\n");
}

// A directory named in PATH is searched for a name without a directory; "" when nothing is found.
TEST_F(FilesTest, FileLocateSearchesPath) {
  fs::create_directories("bin");
  write("bin/tool.cfg", "x");
  std::u16string old_path;
  const bool had_path = plat::env_get_w(u"PATH", &old_path);
  const std::string dir = (fs::current_path() / "bin").string();
  plat::env_set_w(u"PATH", (u16(dir) + char16_t(plat::path_list_separator()) + old_path).c_str());
  TestContext t;
  t.run("found = FileLocate(\"tool.cfg\")\nnone = FileLocate(\"other.cfg\")\n");
  plat::env_set_w(u"PATH", had_path ? old_path.c_str() : nullptr);
  EXPECT_EQ(fs::path(t.var_text("found")), fs::path(dir) / "tool.cfg");
  EXPECT_EQ(t.var_text("none"), "");
}

#if !defined(_WIN32)
// Linux keeps the rules of Windows for read-only files, whoever runs the script, and keeps the attributes
// it has no place for with the file; a name beginning with "." is hidden.
TEST_F(FilesTest, ReadOnlyAndKeptAttributesOnPosix) {
  write("ro.txt", "x");
  write("src.txt", "y");
  write(".dotted", "");
  TestContext t;
  t.run("ErrorMode(@OFF)\nFileAttrSet(\"ro.txt\", \"R\")\n"
        "FilePut(\"ro.txt\", \"z\")\nput = LastError()\n"
        "FileCopy(\"src.txt\", \"ro.txt\", 0)\ncopy = LastError()\n"
        "FileMove(\"src.txt\", \"ro.txt\", 0)\nmove = LastError()\n"
        "FileDelete(\"ro.txt\")\ndelete = LastError()\n"
        "w = FileOpen(\"ro.txt\", \"APPEND\")\nopen = LastError()\n"
        "content = FileGet(\"ro.txt\")\ndotted = FileAttrGet(\".dotted\")\n"
        "FileAttrSet(\"ro.txt\", \"raSH\")\nset = LastError()\nattributes = FileAttrGet(\"ro.txt\")\n");
  expect_vars(t, {{"put", "1053"}, {"copy", "1008"}, {"move", "1003"}, {"delete", "1046"}, {"open", "1077"},
                  {"content", "x"}, {"dotted", "-A-H"}});
  if (t.var_text("set") == "1057") GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_EQ(t.var_text("attributes"), "--SH");
}
#endif
