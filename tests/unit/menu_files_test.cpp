// Menu files: line kinds, titles and hotkeys, and the three menu entry points driven as a host drives
// them — the menus built, the code extracted, the help texts, and every message of a bad menu file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "menu/menu_file.h"
#include "platform/menus.h"
#include "platform/ui.h"
#include "test_context.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using namespace tov;

namespace {

std::string as_text(uint16_t code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", code);
  return buf;
}

}  // namespace

TEST(MenuFileLines, KindsFromTheFirstFourCharacters) {
  const struct { const char* line; MenuLineKind kind; int level; } cases[] = {
      {"File", MenuLineKind::Title, 1},         {" Open", MenuLineKind::Title, 2},
      {"  Recent", MenuLineKind::Title, 3},     {"   Last", MenuLineKind::Title, 4},
      {"    x = 1", MenuLineKind::Code, 0},     {"\tx = 1", MenuLineKind::Code, 0},
      {"   \tx = 1", MenuLineKind::Code, 0},    {"        deep", MenuLineKind::Code, 0},
      {"; comment", MenuLineKind::Skip, 0},     {"   ' comment", MenuLineKind::Skip, 0},
      {"\t; comment", MenuLineKind::Skip, 0},   {"  \t ", MenuLineKind::Skip, 0},
      {"", MenuLineKind::Skip, 0},
  };
  for (const auto& c : cases) {
    int level = 0;
    EXPECT_EQ(classify_menu_line(c.line, std::strlen(c.line), &level), c.kind) << '"' << c.line << '"';
    if (c.kind == MenuLineKind::Title) {
      EXPECT_EQ(level, c.level) << '"' << c.line << '"';
    }
  }
}

TEST(MenuFileLines, HotkeyCodes) {
  const struct { const char* text; uint16_t code; } cases[] = {
      {"^E", 0x4045},        {"^e", 0x4045},         {"!{F5}", 0x3074},      {"^{F2}", 0x5071},
      {"{ENTER}", 0x000D},   {"^{ENTER}", 0x500D},   {"+{NUMPAD*}", 0x906A}, {"{f 1 2}", 0x107B},
      {"!a", 0x3041},        {"^1", 0x5031},         {"^@", 0x4040},         {"+^Z", 0xC05A},
      {"{x}", 0x0058},       {"{SP}", 0x0020},       {"{NOSUCHKEY}", 0},     {"^", 0},
      {"{}", 0},             {"{ESC", 0x001B},       {" ^ E", 0x4045},       {"{VERYLONGKEYNAMEINDEED}", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(as_text(hotkey_code(c.text, std::strlen(c.text))), as_text(c.code)) << c.text;
}

TEST(MenuFileLines, TitlesDescriptionsAndShownHotkeys) {
  MenuTitle t;
  parse_menu_title("&Edit\\^E", false, false, &t);
  EXPECT_STREQ(t.text, "&Edit\tCtrl+E");
  EXPECT_EQ(t.hotkey, 0x4045);
  // In a menu bar the hotkey text follows the title directly.
  parse_menu_title("&Edit\\^E", true, true, &t);
  EXPECT_STREQ(t.text, "&EditCtrl+E");
  parse_menu_title("Print\\ ! { F5 }  ; Prints it  ", false, false, &t);
  EXPECT_STREQ(t.text, "Print\tAlt+{F5}");
  EXPECT_EQ(t.hotkey, 0x3074);
  EXPECT_EQ(std::string(t.description, t.descriptionLength), "Prints it");

  parse_menu_title("_Save\tAs ;", false, false, &t);
  EXPECT_TRUE(t.separator);
  EXPECT_FALSE(t.columnBreak);
  EXPECT_STREQ(t.text, "Save As");
  EXPECT_EQ(t.descriptionLength, 0u);
  parse_menu_title("|Next", false, true, &t);
  EXPECT_TRUE(t.columnBreak);
  EXPECT_STREQ(t.text, "Next");
  parse_menu_title("|Next", false, false, &t);   // dropped where it has no effect
  EXPECT_FALSE(t.columnBreak);
  EXPECT_STREQ(t.text, "Next");

  parse_menu_title("@Quick\\^Q", false, false, &t);
  EXPECT_TRUE(t.hidden);
  EXPECT_EQ(t.hotkey, 0x4051);
  parse_menu_title("Run;^  \t", false, false, &t);
  EXPECT_TRUE(t.descriptionFromCode);
  parse_menu_title("Run; ^", false, false, &t);
  EXPECT_FALSE(t.descriptionFromCode);
  parse_menu_title("Run;^ more", false, false, &t);
  EXPECT_FALSE(t.descriptionFromCode);

  // 38 characters of the title are used, whatever follows; the description comes after the ";".
  const std::string fifty(50, 'x');
  const std::string long_title = fifty + ";text";   // the description points into the line
  parse_menu_title(long_title.c_str(), false, false, &t);
  EXPECT_EQ(std::string(t.text), std::string(38, 'x'));
  EXPECT_EQ(std::string(t.description, t.descriptionLength), "text");
  parse_menu_title((std::string(36, 'y') + "\\^{F12}").c_str(), false, false, &t);
  EXPECT_EQ(std::string(t.text), std::string(36, 'y') + "\tCtrl+");   // the hotkey text was cut too
  EXPECT_EQ(t.hotkey, 0);
}

// --- The entry points ------------------------------------------------------------------------------------

namespace {

constexpr uint32_t FIRST = 100, LAST = 199;

class MenuFiles : public ::testing::Test {
 protected:
  test::TestContext t;
  test::TestFolder folder;
  const fs::path& dir = folder.path;
  MenuFileState state{};
  HotkeyTable hotkeys{};
  std::string boxes;   // what the message boxes said

  void SetUp() override { plat::set_console_ui(true); }

  std::string write(const std::string& text, const char* name = "test.mnu") { return folder.write(name, text); }

  void* load(const std::string& text, uintptr_t kind = MENU_KIND_POPUP, uint32_t last = LAST) {
    const std::string path = write(text);
    state = MenuFileState{};
    path.copy(state.szFile, sizeof state.szFile - 1);
    return load_named(kind, last);
  }
  // Loads the file the state names, as it is.
  void* load_named(uintptr_t kind = MENU_KIND_POPUP, uint32_t last = LAST) {
    testing::internal::CaptureStdout();
    void* menu = LoadStandardMenu(t.handle(), nullptr, FIRST, last, &state, "Menus", &hotkeys, kind);
    boxes = testing::internal::GetCapturedStdout();
    return menu;
  }

  // The code of an item (or the leading code); "<none>" for no code, "<reload>" when asked to reload.
  std::string code(uint32_t id, bool leading = false) {
    testing::internal::CaptureStdout();
    void* block = ParseStandardMenu(t.handle(), nullptr, id, leading, FIRST, 0, &state, "Menus");
    boxes = testing::internal::GetCapturedStdout();
    if (block == MENU_RELOAD) return "<reload>";
    if (!block) return "<none>";
    std::string s = static_cast<const char*>(plat::host_lock(block));
    plat::host_unlock(block);
    plat::host_free(block);
    // The code follows a line marker that names the menu file and its line.
    EXPECT_EQ(s.substr(0, 2), ";\x0B");
    return s.substr(s.find('\n') + 1);
  }

  std::string help(uintptr_t wparam, void* menu, int32_t* result) {
    char buf[64] = "untouched";
    *result = MenuSelectProcessing(t.handle(), nullptr, wparam, reinterpret_cast<intptr_t>(menu), FIRST, LAST, buf,
                                   sizeof buf, &state, 1);
    return buf;
  }
};

// The menu as text: one line per entry, indented by level; items with their command ids.
std::string shape(plat::MenuHandle menu, int depth = 0) {
  std::string out;
  for (int i = 0; i < plat::menu_entry_count(menu); ++i) {
    plat::MenuItem e;
    if (!plat::menu_entry(menu, i, &e)) return out + "<unreadable>\n";
    out += std::string(size_t(depth) * 2, ' ');
    if (e.separator) out += "----\n";
    else if (e.submenu) out += std::string(e.text) + ":\n" + shape(e.submenu, depth + 1);
    else out += std::to_string(e.id) + " " + e.text + "\n";
  }
  return out;
}

const char FOUR_LEVELS[] =
    "; the code before the first title\n"
    "    lead = 1\n"
    "&File\n"
    " &New\\^N ; Makes a new file\n"
    "    new = 1\n"
    "\n"
    " _Recent\n"
    "  One\n"
    "   Deep\\{F2}\n"
    "\tdeep = 1\n"
    "   |Deeper;^\n"
    "\tdeeper = 1\n"
    "  Two\n"
    "    two = 1\n"
    " @Hidden\\!h\n"
    "    hidden = 1\n"
    "Help; all about it\n"
    "    help = 1\n"
    "    more = 2\n";

}  // namespace

TEST_F(MenuFiles, BuildsLevelsIdsHotkeysAndDescriptions) {
  void* menu = load(FOUR_LEVELS);
  ASSERT_NE(menu, nullptr) << boxes;
  EXPECT_EQ(boxes, "");
  EXPECT_EQ(shape(menu),
            "&File:\n"
            "  100 &New\tCtrl+N\n"
            "  ----\n"
            "  Recent:\n"
            "    One:\n"
            "      101 Deep\t{F2}\n"
            "      102 Deeper\n"
            "    103 Two\n"
            "105 Help\n");
  EXPECT_EQ(state.lastId, 105);
  EXPECT_EQ(std::string(state.szFile), (dir / "test.mnu").string());
  ASSERT_EQ(hotkeys.count, 3u);
  std::string pairs;
  for (uint32_t i = 0; i < 3; ++i) pairs += as_text(hotkeys.pairs[i][0]) + "=" + std::to_string(hotkeys.pairs[i][1]) + " ";
  EXPECT_EQ(pairs, "0x404E=100 0x1071=101 0x3048=104 ");   // the last is the hidden item's

  EXPECT_EQ(t.var_text("%MA100"), "Makes a new file");
  EXPECT_EQ(t.var_text("%MA102"), "deeper = 1");      // "^": the first code line
  EXPECT_EQ(t.var_text("%MA105"), "all about it");
  int32_t r = 0;
  EXPECT_EQ(help(100, menu, &r), "Makes a new file");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(help(103, menu, &r), "\"Two\" menu item");   // no description: the default text
  EXPECT_EQ(r, 1);
  EXPECT_EQ(help(0xFFFF0000u, nullptr, &r), "");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(help(250, menu, &r), "\"\" menu item");     // outside the menu's ids
  EXPECT_EQ(r, 4);
  EXPECT_EQ(help(0, menu, &r), "");
  EXPECT_EQ(r, 5);
  // A submenu is named by its position in the menu that holds it.
  EXPECT_EQ(help(0x00100000u, menu, &r), "\"&File\" popup menu");
  EXPECT_EQ(r, 3);
  // Items of the system menu have texts of their own; others get the default text.
  EXPECT_EQ(help(0x2000F060u, nullptr, &r), "Close down application");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(help(0x2000F090u, nullptr, &r), "\"\" menu item");
  EXPECT_EQ(r, 2);
  plat::menu_destroy(menu);

  // The code of each item, up to the next title; the leading code up to the first title.
  EXPECT_EQ(code(0, true), "    lead = 1\n");
  EXPECT_EQ(code(100), "    new = 1\n\n");
  EXPECT_EQ(code(102), "\tdeeper = 1\n");
  EXPECT_EQ(code(104), "    hidden = 1\n");
  EXPECT_EQ(code(105), "    help = 1\n    more = 2\n");   // the last item runs to the end of the file
  EXPECT_EQ(boxes, "");
  EXPECT_EQ(code(106), "<none>");
  EXPECT_EQ(boxes, "Menu file ended unexpectedly, or menu is invalid.: more = 2\n");
}

TEST_F(MenuFiles, ReloadingReplacesTheDescriptionsAndHotkeysOfItsMenuOnly) {
  plat::menu_destroy(load("A;first\n    a = 1\nB;second\n    b = 1\n"));
  EXPECT_EQ(t.var_text("%MA101"), "second");
  // Menu B, loaded after A, appends to the hotkey table and keeps A's descriptions.
  MenuFileState b{};
  write("C\\^C;third\n    c = 1\n", "b.mnu").copy(b.szFile, sizeof b.szFile - 1);
  b.menuIndex = 1;
  plat::menu_destroy(LoadStandardMenu(t.handle(), nullptr, 200, 299, &b, "", &hotkeys, MENU_KIND_BAR));
  ASSERT_EQ(hotkeys.count, 1u);
  EXPECT_EQ(hotkeys.pairs[0][1], 200);
  EXPECT_EQ(t.var_text("%MB200"), "third");
  EXPECT_EQ(t.var_text("%MA101"), "second");
  // Loading the first menu again starts the table afresh and drops that menu's old descriptions.
  plat::menu_destroy(load("A\\^A\n    a = 1\n"));
  ASSERT_EQ(hotkeys.count, 1u);
  EXPECT_EQ(hotkeys.pairs[0][1], 100);
  EXPECT_EQ(t.var_text("%MA100"), "");
  EXPECT_EQ(t.var_text("%MA101"), "");
  EXPECT_EQ(t.var_text("%MB200"), "third");
}

TEST_F(MenuFiles, StructureErrorsNameTheLineAndKeepWhatWasBuilt) {
  const struct { const char* text; const char* message; const char* line; } cases[] = {
      {" Edit\n    x = 1\n", "Need First level menu title.  Not found.", " Edit"},
      {"File\nEdit\n    x = 1\n", "Need batch code or second level menu title. Not found.", "Edit"},
      {"File\n Open\n   Deep\n", "Need batch code or third level menu title. Not found.", "   Deep"},
      {"File\n Open\n  Two\n Up\n", "Need batch code or fourth level menu title. Not found.", " Up"},
      {"F\n O\n  T\n   L\n   M\n", "Need batch code after fourth level menutitle.  Not found", "   M"},
      {"File\n    x = 1\n Open\n", "Need batch code or top level menu title. Not found.", " Open"},
      {"F\n O\n    x\n  T\n", "Need batch code or 1st or 2nd level menu title. Not found.", "  T"},
      {"F\n O\n  T\n    x\n   L\n", "Need batch code, 1st, 2nd or 3rd level menutitle. Not found", "   L"},
  };
  for (const auto& c : cases) {
    void* menu = load(c.text);
    ASSERT_NE(menu, nullptr) << c.text;   // what was built before the fault is still returned
    EXPECT_EQ(boxes, std::string("Menus: ") + c.message + "\nUnexpected menu line.  Check for proper indentation.: " +
                         (c.line + std::strspn(c.line, " ")) + "\n")
        << c.text;
    plat::menu_destroy(menu);
  }
  // The items before the fault are there; submenus open at the fault are kept too.
  void* menu = load("A\n    a = 1\nB\n Sub\n    s = 1\n  Bad\n");
  EXPECT_EQ(shape(menu), "100 A\nB:\n  101 Sub\n");
  plat::menu_destroy(menu);
  // Four levels need no fourth submenu: a fifth level does not exist.
  menu = load("F\n O\n  T\n   L\n    x = 1\n   M\n    y = 1\nG\n    g = 1\n");
  EXPECT_EQ(boxes, "");
  EXPECT_EQ(shape(menu), "F:\n  O:\n    T:\n      100 L\n      101 M\n102 G\n");
  plat::menu_destroy(menu);
}

TEST_F(MenuFiles, TooManyItemsStopTheBuild) {
  void* menu = load("A\n    a\nB\n    b\nC\n    c\n", MENU_KIND_POPUP, 101);
  EXPECT_EQ(boxes, "Menus: Too many menu items defined for current application.\n");
  EXPECT_EQ(shape(menu), "100 A\n101 B\n");
  EXPECT_EQ(state.lastId, 101);
  plat::menu_destroy(menu);
}

TEST_F(MenuFiles, LeadingCodeOnlyWhereItStandsBeforeTheFirstTitle) {
  plat::menu_destroy(load("A\n    a = 1\n"));
  EXPECT_EQ(code(0, true), "<none>");
  EXPECT_EQ(boxes, "");   // no leading code is no fault
  plat::menu_destroy(load("; only comments\n\n    lead = 1\n  \n    again = 2\n"));
  EXPECT_EQ(code(0, true), "    lead = 1\n  \n    again = 2\n");
  EXPECT_EQ(code(100), "<none>");
}

TEST_F(MenuFiles, FilesThatCannotBeReadOrChanged) {
  state = MenuFileState{};
  const std::string missing = (dir / "missing.mnu").string();
  missing.copy(state.szFile, sizeof state.szFile - 1);
  EXPECT_EQ(load_named(MENU_KIND_BAR), nullptr);
  EXPECT_EQ(boxes, "Menus: Menu file file open error. Maybe it does not exist???\n");

  void* menu = load("A\n    a = 1\n");
  plat::menu_destroy(menu);
  // An edit after the load asks for a reload; the code is not given.
  write("A\n    a = 2\n");
  fs::last_write_time(dir / "test.mnu", fs::last_write_time(dir / "test.mnu") + std::chrono::hours(1));
  EXPECT_EQ(code(100), "<reload>");
  EXPECT_EQ(boxes, "Menus: TOV Processor menu(s) will be reloaded\nto reflect recent changes.\n"
                   "Reselect menu option when reload complete.\n");
  fs::remove(dir / "test.mnu");
  EXPECT_EQ(code(100), "<none>");
  EXPECT_EQ(boxes, "Menus: Menu file re-open error\n");
  EXPECT_EQ(code(0, true), "<none>");
  EXPECT_EQ(boxes, "");

  // A name longer than the state's field is refused without reading past it.
  std::memset(state.szFile, 'x', sizeof state.szFile);
  EXPECT_EQ(load_named(MENU_KIND_BAR), nullptr);
  EXPECT_NE(boxes.find("Menu file file open error"), std::string::npos);
  // A menu to append to must be a menu.
  int not_a_menu = 0;
  load("A\n    a\n", reinterpret_cast<uintptr_t>(&not_a_menu));
  EXPECT_EQ(boxes, "Menus: Could not create menu bar\n");
}

TEST_F(MenuFiles, IncludesUnicodeAndLineEnds) {
  write("Included\n    inc = 1\n", "part.mnu");
  void* menu = load("#include \"part.mnu\"\r\nLast\r\n    last = 1\r\n");
  EXPECT_EQ(shape(menu), "100 Included\n101 Last\n");
  plat::menu_destroy(menu);
  EXPECT_EQ(code(100).substr(0, 14), "    inc = 1\n;\x0B");   // a marker takes up the including file again
  EXPECT_EQ(code(101), "    last = 1 \n");   // the CR of CR LF became a blank, as in scripts

  menu = load("#include \"nowhere.mnu\"\n");
  EXPECT_EQ(menu, nullptr);
  EXPECT_EQ(boxes, "Menus: Unable to access or process specified #include file\nnowhere.mnu\n");

  // UTF-16 with its byte-order mark.
  const std::u16string wide = u"\xFEFFWide\n    w = 1\n";
  menu = load(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  EXPECT_EQ(shape(menu), "100 Wide\n");
  plat::menu_destroy(menu);
  menu = load(std::string("\x02 encoded", 9));
  EXPECT_EQ(menu, nullptr);
  EXPECT_EQ(boxes, "Menus: Unknown QZC file format\n");
}

TEST_F(MenuFiles, LongLinesAreCutWithoutOverrun) {
  const std::string long_title = "Title" + std::string(5000, 'T') + ";" + std::string(3000, 'd');
  const std::string long_code = "    x = \"" + std::string(6000, 'c') + "\"\n";
  void* menu = load(long_title + "\n" + long_code + "Next;^\n" + long_code);
  EXPECT_EQ(boxes, "");
  EXPECT_EQ(shape(menu), "100 Title" + std::string(33, 'T') + "\n101 Next\n");
  plat::menu_destroy(menu);
  // The code is handed over whole; the run reports its line as too long.
  EXPECT_EQ(code(100), long_code);
  EXPECT_EQ(t.var_text("%MA101").size(), LINE_MAX_CHARS);
  EXPECT_EQ(t->nDeferredError, 0);
}

TEST_F(MenuFiles, MenuBarsBreaksAndExistingMenus) {
  void* bar = load("|&One\\^O\n    one\nTwo\n |Sub\n    sub\n _Other\n    other\n", MENU_KIND_BAR);
  EXPECT_EQ(shape(bar), "100 &OneCtrl+O\nTwo:\n  101 Sub\n  ----\n  102 Other\n");
  // Appending to an existing menu: the ids go on from the host's first id.
  void* same = load("More\n    more\n", reinterpret_cast<uintptr_t>(bar));
  EXPECT_EQ(same, bar);
  EXPECT_EQ(shape(bar), "100 &OneCtrl+O\nTwo:\n  101 Sub\n  ----\n  102 Other\n100 More\n");
  plat::menu_destroy(bar);
}
