// tov --menu on Windows, seen from outside: tov hosts a menu file in a window of its own, and this test
// chooses items as a user would — through the menu bar with the keyboard, by hotkey, and from the popup
// menu — and checks that the chosen item's code ran (it writes a file).
#if defined(_WIN32)
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_folder.h"
#include "win_gui.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto WAIT = 15s;

const char MENU[] =
    "    started = 1\n"
    "&File\n"
    " &Write\\^W ; Writes the file of the item\n"
    "    h = FileOpen(\"written.txt\", \"WRITE\")\n"
    "    FileWrite(h, \"by menu\")\n"
    "    FileClose(h)\n"
    " &Other\n"
    "    h = FileOpen(\"other.txt\", \"WRITE\")\n"
    "    FileWrite(h, \"other\")\n"
    "    FileClose(h)\n"
    "@Hidden\\{F7}\n"
    "    h = FileOpen(\"hidden.txt\", \"WRITE\")\n"
    "    FileWrite(h, \"hidden\")\n"
    "    FileClose(h)\n";

// Presses the keys in order and releases them in reverse order.
void chord(std::initializer_list<WORD> keys) {
  std::vector<INPUT> in;
  for (WORD k : keys) in.push_back(key(k, false));
  for (auto k = std::rbegin(keys); k != std::rend(keys); ++k) in.push_back(key(*k, true));
  SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

template <typename Check>
bool wait_until(Check check) {
  for (const auto until = Clock::now() + WAIT; !check(); std::this_thread::sleep_for(20ms))
    if (Clock::now() >= until) return false;
  return true;
}

std::string text_of(HWND w) {
  char buf[512] = "";
  DWORD_PTR n = 0;
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &n);
  return buf;
}

// tov hosting the menu file in a folder of its own.
class MenuHost {
 public:
  explicit MenuHost(bool popup) {
    file_ = folder_.write("test.mnu", MENU);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = std::string("\"") + TOV_RUNNER_PATH + "\" " + (popup ? "--popup " : "") + "--menu \"" +
                          file_ + "\"";
    const std::string cwd = dir_.string();
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                              cwd.c_str(), &startup, &process_) != 0;
    if (started_) CloseHandle(process_.hThread);
  }
  ~MenuHost() {
    if (started_) {
      if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
      CloseHandle(process_.hProcess);
    }
  }

  // A visible top-level window of tov: the host's own by its title, or a popup menu by its class.
  HWND window(const char* cls, const std::string& title) const {
    HWND found = nullptr;
    wait_until([&] {
      for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, cls, title.empty() ? nullptr : title.c_str()));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == process_.dwProcessId && IsWindowVisible(w)) return (found = w) != nullptr;
      }
      return !started_ || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
    });
    return found;
  }
  HWND main_window() const { return window(nullptr, "tov: " + file_); }

  // The content of a file the menu's code wrote; "" when it does not come in time.
  std::string written(const char* name) const {
    std::string content;
    wait_until([&] {
      std::ifstream in(dir_ / name, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      content = s.str();
      return !content.empty();
    });
    return content;
  }

  fs::path path(const char* name) const { return dir_ / name; }

  int status() const {
    if (!started_ || WaitForSingleObject(process_.hProcess, 15000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return int(code);
  }

 private:
  tov::test::TestFolder folder_;   // removed after the process has ended
  const fs::path& dir_ = folder_.path;
  std::string file_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

class WinMenu : public WindowsShown {};

}  // namespace

TEST_F(WinMenu, ItemChosenWithTheKeyboardThroughTheMenuBar) {
  MenuHost host(false);
  HWND w = host.main_window();
  ASSERT_TRUE(w) << "no menu window";
  ASSERT_TRUE(GetMenu(w)) << "the window has no menu bar";
  ASSERT_TRUE(bring_to_front(w));
  chord({VK_MENU, 'F'});   // opens the File menu; its first item is highlighted
  HWND text = FindWindowExA(w, nullptr, "STATIC", nullptr);
  EXPECT_TRUE(wait_until([&] { return text_of(text) == "Writes the file of the item"; })) << text_of(text);
  chord({'W'});
  EXPECT_EQ(host.written("written.txt"), "by menu\r\n");
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.status(), 0);
}

TEST_F(WinMenu, HotkeysRunShownAndHiddenItems) {
  MenuHost host(false);
  HWND w = host.main_window();
  ASSERT_TRUE(w) << "no menu window";
  ASSERT_TRUE(bring_to_front(w));
  chord({VK_CONTROL, 'W'});
  EXPECT_EQ(host.written("written.txt"), "by menu\r\n");
  // Keys typed while an item runs are not hotkeys: F7 is pressed again until the first run has ended.
  EXPECT_TRUE(wait_until([&] {
    bring_to_front(w);
    chord({VK_F7});
    std::this_thread::sleep_for(300ms);
    return fs::exists(host.path("hidden.txt"));
  }));
  EXPECT_EQ(host.written("hidden.txt"), "hidden\r\n");
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.status(), 0);
}

TEST_F(WinMenu, PopupMenuComesBackUntilDismissed) {
  MenuHost host(true);
  HWND popup = host.window("#32768", "");
  ASSERT_TRUE(popup) << "no popup menu";
  chord({'F'});          // opens File
  chord({'O'});         // chooses Other
  EXPECT_EQ(host.written("other.txt"), "other\r\n");
  ASSERT_TRUE(host.window("#32768", ""));
  chord({VK_ESCAPE});
  EXPECT_EQ(host.status(), 0);
}
#endif
