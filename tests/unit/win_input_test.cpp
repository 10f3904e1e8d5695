// Windows, keystrokes and the mouse against another program: the input recorder (tests/tools) shows a
// window with a menu and two children, and logs every key and mouse event it receives. The built-ins run
// in this process and act on it as on any program's window.
#if defined(_WIN32)
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "builtin_eval.h"
#include "key_string_cases.h"
#include "win_gui.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tov::test {
namespace {

constexpr int SENTINEL_KEY = VK_F24;
constexpr auto EVENT_WAIT = 10s;

std::vector<std::string> read_lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One recorder process with a title of its own, closed at the end of the test.
class Recorder {
 public:
  explicit Recorder(const std::string& name, int close_after_ms = 0) {
    static int count = 0;
    title_ = "TOV recorder " + name + " " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
    log_ = fs::temp_directory_path() / (title_ + ".log");
    std::string command = std::string("\"") + TOV_INPUT_RECORDER_PATH + "\" \"" + title_ + "\" \"" + log_.string() + "\"";
    if (close_after_ms) command += " " + std::to_string(close_after_ms);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
  }
  ~Recorder() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      if (HWND w = window()) PostMessageA(w, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(process_.hProcess, 5000) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    std::error_code ignored;
    fs::remove(log_, ignored);
  }
  const std::string& title() const { return title_; }
  DWORD pid() const { return process_.dwProcessId; }
  HWND window() const { return FindWindowA("TovInputRecorder", title_.c_str()); }
  std::vector<std::string> lines() const { return read_lines(log_); }
  // Waits until the log has a line that is exactly `line` after the first `from` lines; true when it came.
  bool wait_for(const std::string& line, size_t from = 0) const {
    const auto until = std::chrono::steady_clock::now() + EVENT_WAIT;
    while (std::chrono::steady_clock::now() < until) {
      const auto all = lines();
      for (size_t i = from; i < all.size(); ++i)
        if (all[i] == line) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  bool ready() const { return started_ && wait_for("ready") && window(); }

 private:
  std::string title_;
  fs::path log_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

void tap(WORD vk) {
  INPUT in[2] = {key(vk, false), key(vk, true)};
  SendInput(2, in, sizeof in[0]);
}

// The key events of the log from line `from` up to the sentinel, in the table's form.
std::string key_events(const std::vector<std::string>& lines, size_t from) {
  std::string out;
  for (size_t i = from; i < lines.size(); ++i) {
    char direction[8] = "";
    unsigned code = 0;
    char ext[8] = "";
    if (std::sscanf(lines[i].c_str(), "key %7s %u %7s", direction, &code, ext) < 2) continue;
    if (code == SENTINEL_KEY) break;
    describe_key(out, int(code), std::string(direction) == "up", std::string(ext) == "ext");
  }
  return out;
}

class WinInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.assign("IntControl(46, 0, 0, 0, 0)");   // a missing window is reported at once
    t.assign("IntControl(70, 0, 0, 0, 0)");
  }
  std::string text(const std::string& expr) { return t.text_of(expr.c_str()); }
  int32_t number(const std::string& expr) { return integer_of(t, expr.c_str()); }
  TestContext t;
};

TEST_F(WinInputTest, KeyStringsReachTheWindowInFront) {
  Recorder r("keys");
  ASSERT_TRUE(r.ready());
  for (const KeyStringCase& c : kKeyStringCases) {
    const size_t from = r.lines().size();
    EXPECT_EQ(number("SendKeysTo(\"" + r.title() + "\", \"" + c.keys + "\")"), c.result) << c.keys;
    tap(SENTINEL_KEY);
    ASSERT_TRUE(r.wait_for("key up " + std::to_string(SENTINEL_KEY), from)) << c.keys;
    EXPECT_EQ(key_events(r.lines(), from), c.events) << c.keys;
  }
}

TEST_F(WinInputTest, LookupsListsAndWinIdsFindTheWindow) {
  Recorder r("lookup");
  ASSERT_TRUE(r.ready());
  const std::string q = "\"" + r.title() + "\"";
  EXPECT_EQ(number("WinExist(" + q + ")"), 1);
  EXPECT_EQ(number("WinExist(\"~" + r.title().substr(4) + "~\")"), 1);
  const std::string id = text("WinIdGet(" + q + ")");
  ASSERT_EQ(id.size(), 16u);
  EXPECT_EQ(id.substr(0, 8), "#WIN$ID#");
  EXPECT_EQ(number("WinExist(\"" + id + "\")"), 1);
  EXPECT_EQ(text("WinIdGet(\"" + id + "\")"), id);
  EXPECT_EQ(text("WinItemizeEx(" + q + ", 0, 0, 1)"), id);
  EXPECT_EQ(text("WinItemizeEx(" + q + ", 0, 0, 2)"), r.title() + "|" + id);
  EXPECT_EQ(text("WinItemProcId(" + std::to_string(r.pid()) + ", 0, 1)"), r.title());
  EXPECT_NE(("\t" + text("WinItemize()") + "\t").find("\t" + r.title() + "\t"), std::string::npos);
  EXPECT_NE(("|" + text("WinItemNameId()") + "|").find("|" + r.title() + "|" + id + "|"), std::string::npos);
  EXPECT_EQ(text("WinItemChild(" + q + ")"), "Child Button\tChild Label");
  EXPECT_EQ(number("WinExistChild(" + q + ", \"Child L\")"), 1);
  EXPECT_EQ(number("WinExistChild(" + q + ", \"Child L~\")"), 0);
  const std::string exe = text("WinExeName(" + q + ")");
  EXPECT_NE(exe.find("input_recorder.exe"), std::string::npos) << exe;
  EXPECT_EQ(number("WinIsDos(" + q + ")"), 0);

  EXPECT_EQ(number("WinTitle(" + q + ", \"" + r.title() + " renamed\")"), 1);
  EXPECT_EQ(number("WinExist(\"" + r.title() + "~\")"), 0);
  EXPECT_EQ(number("WinExist(\"" + r.title() + " renamed~\")"), 1);
  EXPECT_EQ(number("WinExist(\"" + id + "\")"), 1);

  // Titles and patterns are cut to 2049 characters: the longer title matches the longer pattern.
  EXPECT_EQ(number("WinTitle(\"" + id + "\", StrFill(\"T\", 3000))"), 1);
  EXPECT_EQ(number("StrLen(WinItemizeEx(StrFill(\"T\", 3000), 0, 0, 0))"), 2049);
  EXPECT_EQ(number("WinExist(ChrStringToUnicode(StrFill(\"T\", 2500)))"), 1);
}

TEST_F(WinInputTest, WindowStatesPlacesAndMenus) {
  Recorder r("states");
  ASSERT_TRUE(r.ready());
  const std::string q = "\"" + r.title() + "\"";
  EXPECT_EQ(number("WinState(" + q + ")"), 2);
  number("WinIconize(" + q + ")");
  EXPECT_EQ(number("WinState(" + q + ")"), 1);
  number("WinShow(" + q + ")");
  EXPECT_EQ(number("WinState(" + q + ")"), 2);
  number("WinZoom(" + q + ")");
  EXPECT_EQ(number("WinState(" + q + ")"), 3);
  number("WinShow(" + q + ")");
  number("WinHide(" + q + ")");
  EXPECT_EQ(number("WinState(" + q + ")"), -1);
  number("WinShow(" + q + ")");
  EXPECT_EQ(number("WinState(" + q + ")"), 2);

  EXPECT_EQ(number("WinPlace(100, 200, 500, 600, " + q + ")"), 1);
  int x1, y1, x2, y2;
  ASSERT_EQ(std::sscanf(text("WinPosition(" + q + ")").c_str(), "%d,%d,%d,%d", &x1, &y1, &x2, &y2), 4);
  EXPECT_NEAR(x1, 100, 2);
  EXPECT_NEAR(y1, 200, 2);
  EXPECT_NEAR(x2, 500, 2);
  EXPECT_NEAR(y2, 600, 2);

  number("WinActivate(" + q + ")");
  const size_t from = r.lines().size();
  EXPECT_EQ(number("MouseMove(50, 60, " + q + ", \"\")"), 1);
  RECT rc{};
  GetWindowRect(r.window(), &rc);
  EXPECT_EQ(text("MouseInfo(3)"), std::to_string(rc.left + 50) + " " + std::to_string(rc.top + 60));
  EXPECT_EQ(text("MouseInfo(0)"), r.title());
  EXPECT_EQ(number("MouseClick(@LCLICK, 0)"), 1);
  EXPECT_TRUE(r.wait_for("mouse up left", from));
  const auto lines = r.lines();
  std::string buttons;
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind("mouse down", 0) == 0 || lines[i].rfind("mouse up", 0) == 0) buttons += lines[i] + ";";
  EXPECT_EQ(buttons, "mouse down left;mouse up left;");

  EXPECT_EQ(number("WinClose(" + q + ")"), 1);
  EXPECT_TRUE(r.wait_for("closed"));
  EXPECT_EQ(number("WinExist(" + q + ")"), 0);
}

// Menus of another program cannot be read under Wine: the window with the menu is this process's own, and
// the commands reach it while the Engine pumps messages.
std::vector<UINT> g_commands;
LRESULT CALLBACK menu_window_proc(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && lparam == 0) g_commands.push_back(LOWORD(wparam));
  return DefWindowProcA(w, message, wparam, lparam);
}

TEST_F(WinInputTest, MenuItemsAreChosenByTheirPath) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = menu_window_proc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "TovMenuTest";
  RegisterClassA(&cls);
  HMENU bar = CreateMenu(), file = CreatePopupMenu(), edit = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 101, "&Open...\tCtrl+O");
  AppendMenuA(file, MF_STRING, 102, "&Save");
  AppendMenuA(file, MF_STRING | MF_GRAYED, 103, "E&xport");
  AppendMenuA(edit, MF_STRING, 201, "&Copy");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
  const std::string title = "TOV menu test " + std::to_string(GetCurrentProcessId());
  HWND w = CreateWindowExA(0, cls.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, bar,
                           cls.hInstance, nullptr);
  ASSERT_TRUE(w);
  const std::string q = "\"" + title + "\"";
  g_commands.clear();
  EXPECT_EQ(number("SendMenusTo(" + q + ", \"FileSave\")"), 1);
  EXPECT_EQ(number("SendMenusTo(" + q + ", \"file open\")"), 1);   // "Open..." with its shortcut
  EXPECT_EQ(number("SendMenusToEx(" + q + ", \"&Edit|&Copy\")"), 1);
  EXPECT_EQ(number("SendMenusToEx(" + q + ", \"File/Save\", \"/\")"), 1);
  EXPECT_EQ(number("SendMenusTo(" + q + ", \"FileExport\")"), 0);   // disabled
  EXPECT_EQ(number("SendMenusTo(" + q + ", \"FileQuit\")"), 0);
  EXPECT_EQ(number("SendMenusToEx(" + q + ", \"File\")"), 0);       // a menu, not an item
  t.assign("Delay(0.2)");
  EXPECT_EQ(g_commands, (std::vector<UINT>{102, 101, 201, 102}));
  DestroyWindow(w);
}

TEST_F(WinInputTest, WaitsForWindowsToComeAndGo) {
  EXPECT_EQ(number("WinWaitExist(\"TOV recorder that never comes\", 1)"), 0);
  Recorder r("waits", 3000);
  EXPECT_EQ(number("WinWaitExist(\"" + r.title() + "\", 30)"), 1);
  // The recorder closes its own window: the wait sees it go.
  EXPECT_EQ(number("WinWaitClose(\"" + r.title() + "\", 30)"), 1);
  EXPECT_TRUE(r.wait_for("closed"));
  EXPECT_EQ(number("WinExist(\"" + r.title() + "\")"), 0);
}

// The notepad example, run by tov as a user would: Notepad types, saves and closes, and the file holds
// what the keys typed.
TEST(NotepadExample, TypesALineAndSavesItWithTheKeyboard) {
  const fs::path dir = fs::temp_directory_path() / ("tov-notepad-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  const fs::path file = dir / "typed.txt";
  std::string command = std::string("\"") + TOV_RUNNER_PATH + "\" --console \"" + TOV_EXAMPLES_DIR +
                        "/notepad.tov\" \"" + file.string() + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION p{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.string().c_str(),
                             &startup, &p));
  const bool ended = WaitForSingleObject(p.hProcess, 180000) == WAIT_OBJECT_0;
  DWORD code = 1;
  if (!ended) TerminateProcess(p.hProcess, 1);
  GetExitCodeProcess(p.hProcess, &code);
  CloseHandle(p.hProcess);
  CloseHandle(p.hThread);
  ASSERT_TRUE(ended) << "the example did not end";
  EXPECT_EQ(code, 0u);

  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {   // UTF-16 with its mark
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  } else {
    text = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
  }
  EXPECT_EQ(text, "Typed by TOV\tinto Notepad\r\nSecond line  ends here\r\n");
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace tov::test
#endif
