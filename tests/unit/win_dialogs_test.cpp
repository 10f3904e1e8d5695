// The Windows user interface of scripts, seen from outside: tov runs a script without the console UI
// in a process of its own, and this test finds its boxes and dialogs by their titles, reads them, and
// answers them with keystrokes or button presses as a user would.
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

#include "platform/ui.h"
#include "resources/dialog_ids.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD WINDOW_WAIT_MS = 15000;
constexpr int MESSAGE_TEXT_ID = 0xFFFF;   // the text of a message box

std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 0x80 ? char(c) : '?';
  return s;
}

// A control's or window's text, asked for with WM_GETTEXT, which crosses process boundaries.
std::wstring text_of(HWND w) {
  wchar_t buf[4096] = L"";
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXT, sizeof buf / sizeof buf[0], reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                           5000, &n))
    return L"";
  return buf;
}

std::wstring item_text(HWND dialog, int id) { return text_of(GetDlgItem(dialog, id)); }

// Presses a button of a dialog as a click on it would.
void press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void send_keys(std::vector<INPUT> keys) { SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT)); }

INPUT key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

// Makes the window the one that takes the keyboard; true when it is.
bool bring_to_front(HWND w) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (GetForegroundWindow() == w) return true;
    SetForegroundWindow(w);
    std::this_thread::sleep_for(50ms);
  }
  return GetForegroundWindow() == w;
}

// Types a key on the keyboard into the window, which is brought to the front first.
void type_key(HWND w, WORD vk) {
  ASSERT_TRUE(bring_to_front(w)) << "the window did not come to the front";
  send_keys({key(vk, false), key(vk, true)});
}

void type_text(HWND w, const std::wstring& text) {
  ASSERT_TRUE(bring_to_front(w)) << "the window did not come to the front";
  std::vector<INPUT> keys;
  for (wchar_t c : text) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wScan = c;
    in.ki.dwFlags = KEYEVENTF_UNICODE;
    keys.push_back(in);
    in.ki.dwFlags |= KEYEVENTF_KEYUP;
    keys.push_back(in);
  }
  send_keys(keys);
}

bool gone(HWND w, DWORD timeout_ms = 5000) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (IsWindow(w) && IsWindowVisible(w)) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

bool is_centred(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  const int dx = (r.left + r.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
  const int dy = (r.top + r.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
  return dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
}

// The control that has the keyboard focus in the thread that owns the window.
HWND focus_in(HWND w) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A visible top-level window of the process with exactly this title; null when none comes in time or
// the process (when given) has ended.
HWND wait_window(DWORD pid, HANDLE process, const std::wstring& title, DWORD timeout_ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, title.c_str())) != nullptr;) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    if (Clock::now() >= until || (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0)) return nullptr;
    std::this_thread::sleep_for(20ms);
  }
}

std::string test_name() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

// One run of tov, without the console UI, on a script given as text and named after the test.
class GuiRun {
 public:
  explicit GuiRun(const std::string& script) {
    const std::string name = test_name();
    static int runs = 0;
    dir_ = fs::temp_directory_path() /
           ("tov-gui-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs));
    fs::create_directories(dir_);
    std::ofstream(dir_ / (name + ".tov"), std::ios::binary) << script;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const char* file) {
      return CreateFileA((dir_ / file).string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE out = open("stdout"), err = open("stderr");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string command = std::string("\"") + TOV_RUNNER_PATH + "\" \"" + (dir_ / (name + ".tov")).string() + "\"";
    const std::string cwd = dir_.string();
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, cwd.c_str(),
                              &startup, &process_) != 0;
    CloseHandle(out);
    CloseHandle(err);
    if (started_) CloseHandle(process_.hThread);
  }

  ~GuiRun() {
    if (started_) {
      if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
      CloseHandle(process_.hProcess);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  HWND window(const std::wstring& title, DWORD timeout_ms = WINDOW_WAIT_MS) const {
    return started_ ? wait_window(process_.dwProcessId, process_.hProcess, title, timeout_ms) : nullptr;
  }

  // Answers a message box: checks its text and types Enter.
  void answer_box(const std::wstring& title, const std::wstring& text) const {
    HWND box = window(title);
    ASSERT_TRUE(box) << "no window titled '" << narrow(title) << "'";
    EXPECT_EQ(narrow(item_text(box, MESSAGE_TEXT_ID)), narrow(text));
    type_key(box, VK_RETURN);
    EXPECT_TRUE(gone(box)) << "the box titled '" << narrow(title) << "' stayed open";
  }

  // The exit status; -1 when the run has not ended in time.
  int status(DWORD timeout_ms = 15000) const {
    if (!started_ || WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return int(code);
  }

  std::string output(const char* which) const {
    std::ifstream in(dir_ / which, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  fs::path dir_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

// Without a display (Wine outside a virtual X server) no window can be shown at all.
bool windows_can_be_shown() {
  HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!w) return false;
  DestroyWindow(w);
  return true;
}

class WinGui : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool usable = windows_can_be_shown();
    if (!usable) GTEST_SKIP() << "no display to show windows on";
  }
};

}  // namespace

// Declares `var` as the run's window with this title; the test ends when none comes.
#define WINDOW(var, run, title) \
  HWND var = (run).window(title); \
  ASSERT_TRUE(var) << "no window titled '" << narrow(title) << "'; the run's status " << (run).status(0) \
                   << ", its error output: " << (run).output("stderr")

TEST_F(WinGui, ButtonNamesRenameOneBoxAndCancelStopsTheRun) {
  GuiRun run("ButtonNames(\"Go &on\", \"&Stop here\")\n"
             "Pause(\"First pause\", \"renamed\")\n"
             "a = AskLine(\"Asking\", \"usual names\", \"\")\n"
             "Message(\"Not reached\", a)\n");
  WINDOW(pause, run, L"First pause");
  EXPECT_EQ(narrow(item_text(pause, IDOK)), "Go &on");
  EXPECT_EQ(narrow(item_text(pause, IDCANCEL)), "&Stop here");
  type_key(pause, VK_RETURN);
  WINDOW(ask, run, L"Asking");
  EXPECT_NE(narrow(item_text(ask, IDOK)), "Go &on");
  EXPECT_NE(narrow(item_text(ask, IDCANCEL)), "&Stop here");
  type_key(ask, VK_ESCAPE);
  EXPECT_EQ(run.status(), 130);
}

TEST_F(WinGui, AskYesNoReportsTheButton) {
  GuiRun run("ButtonNames(\"&Sure\", \"\")\n"
             "a = AskYesNo(\"First question\", \"Yes?\")\n"
             "b = AskYesNo(\"Second question\", \"No?\")\n"
             "Message(\"Answers\", a:\"/\":b)\n");
  WINDOW(first, run, L"First question");
  EXPECT_EQ(narrow(item_text(first, IDYES)), "&Sure");   // a Yes/No box has no OK button
  type_key(first, VK_RETURN);                            // Yes is the default
  WINDOW(second, run, L"Second question");
  press(second, IDNO);
  run.answer_box(L"Answers", L"1/0");
  EXPECT_EQ(run.status(), 0);
}

TEST_F(WinGui, ErrorDialogContinueOrExitUnderNotify) {
  const std::string script =
      "IntControl(50, 0, \"\", 0, 0)\n"
      "ErrorMode(@NOTIFY)\n"
      "x = ErrorEvent(-2, 7001, \"custom trouble\")\n"
      "Message(\"Went on\", \"yes\")\n";
  {
    GuiRun run(script);
    WINDOW(box, run, L"Error:  ");
    EXPECT_EQ(narrow(item_text(box, IDC_ERR_MESSAGE)), "User-Defined Error:  7001: custom trouble");
    EXPECT_EQ(narrow(item_text(box, IDC_ERR_FAILING_LINE)), "custom trouble");
    EXPECT_EQ(narrow(item_text(box, IDOK)), "&Continue");
    EXPECT_EQ(narrow(item_text(box, IDCANCEL)), "&Exit");
    EXPECT_NE(narrow(item_text(box, IDC_ERR_VERSION)).find("TOV Version: "), std::string::npos);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_ERR_MORE_INFO)));   // nothing more to tell
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(box, IDC_ERR_SUPPORT)));     // no support page given
    EXPECT_TRUE(is_centred(box));
    EXPECT_EQ(focus_in(box), GetDlgItem(box, IDOK));
    type_key(box, VK_RETURN);
    run.answer_box(L"Went on", L"yes");
    EXPECT_EQ(run.status(), 0);
    // The dialog took the place of the console report.
    EXPECT_EQ(run.output("stderr"), "");
    EXPECT_EQ(run.output("stdout"), "");
  }
  GuiRun run(script);
  WINDOW(box, run, L"Error:  ");
  press(box, IDCANCEL);
  EXPECT_EQ(run.status(), 1);
  EXPECT_FALSE(run.window(L"Went on", 0));
}

TEST_F(WinGui, SevereErrorDialogHasOneButtonMoreInfoAndTraceback) {
  const std::string name = test_name();
  GuiRun run("#DefineFunction convert(v)\n"
             "return Display(v, \"never\", \"shown\")\n"
             "#EndFunction\n"
             "IntControl(50, 1, \"https://example.invalid/help\", 0, 0)\n"
             "ButtonNames(\"&Understood\", \"\")\n"
             "x = convert(\"abc\")\n");
  WINDOW(box, run, L"Error:  ");
  EXPECT_EQ(narrow(item_text(box, IDOK)), "&Understood");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, IDC_ERR_SUPPORT)));
  EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
  EXPECT_EQ(narrow(item_text(box, IDC_ERR_MESSAGE)), "3057:  Variable could not be converted to a valid number");
  EXPECT_EQ(narrow(item_text(box, IDC_ERR_FAILING_LINE)), "return Display(v, \"never\", \"shown\")");
  EXPECT_EQ(narrow(item_text(box, IDC_ERR_ROUTINE_INFO)), "In Routine \"convert\"");
  // The script's path is longer than the fields: its middle gives way to an ellipsis, its name stays.
  const std::string script = narrow(item_text(box, IDC_ERR_SCRIPT)), line = narrow(item_text(box, IDC_ERR_LINE_INFO));
  EXPECT_NE(script.find("..."), std::string::npos) << script;
  EXPECT_TRUE(script.size() > name.size() + 4 && script.substr(script.size() - name.size() - 4) == name + ".tov")
      << script;
  EXPECT_EQ(line.rfind("On line 2 of ", 0), 0u) << line;
  EXPECT_NE(line.find("..."), std::string::npos) << line;

  ASSERT_TRUE(IsWindowEnabled(GetDlgItem(box, IDC_ERR_MORE_INFO)));
  press(box, IDC_ERR_MORE_INFO);
  run.answer_box(L"More Error Information", L"Argument number 1 could not be converted");
  ASSERT_TRUE(IsWindowVisible(box));

  press(box, IDC_ERR_TRACEBACK);
  WINDOW(trace, run, L"Traceback");
  HWND list = GetDlgItem(trace, IDC_TRACE_LIST);
  std::vector<std::string> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t buf[512] = L"";
    if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 512) SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
    lines.push_back(narrow(buf));
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "  # Type            Line# Error Line                       Source File");
  EXPECT_EQ(lines[1], "");
  // Line texts are padded to 32 characters, longer ones cut to 29 and three dots; files lose their folder.
  EXPECT_EQ(lines[2], "  1 <udf>               6 x = convert(\"abc\")" + std::string(15, ' ') + name + ".tov");
  EXPECT_EQ(lines[3], "  2 <error>             2 return Display(v, \"never\", \"s... " + name + ".tov");
  type_key(trace, VK_RETURN);
  EXPECT_TRUE(gone(trace));
  ASSERT_TRUE(IsWindowVisible(box));
  type_key(box, VK_RETURN);
  EXPECT_EQ(run.status(), 1);
}

// A host shows the dialog itself with the template and the procedure that the Engine's DLL exports.
TEST_F(WinGui, HostsCanShowTheErrorDialogThroughTheExportedProcedure) {
  const fs::path dll = fs::path(TOV_RUNNER_PATH).parent_path() / "tovengine.dll";
  HMODULE engine = LoadLibraryW(dll.wstring().c_str());
  ASSERT_TRUE(engine) << dll.string();
  const auto error_proc = reinterpret_cast<DLGPROC>(reinterpret_cast<void*>(GetProcAddress(engine, "ErrorMsgProc")));
  ASSERT_TRUE(error_proc);
  ASSERT_TRUE(GetProcAddress(engine, "StackInfoProc"));

  const char* traceback[] = {"heading", "", "  1 <error>   3 x"};
  plat::ErrorDialogData d{};
  d.withContinue = true;
  d.caption = "Host program";
  d.scriptFile = "C:\\jobs\\job.tov";
  d.reportMessage = "2669:  Moderate user-defined error";
  d.lineInfo = "On line 3 of C:\\jobs\\job.tov";
  d.routineInfo = "";
  d.failingLine = "first part\nsecond part";
  d.versionText = "Host program\nTOV Version: 1";
  d.moreInfo = "more to tell";
  d.okLabel = "&Ok";
  d.traceback = traceback;
  d.tracebackLines = 3;
  INT_PTR result = 0;
  std::thread shown([&] { result = DialogBoxParamA(engine, "ERRORMSGB", nullptr, error_proc, LPARAM(&d)); });
  HWND box = wait_window(GetCurrentProcessId(), nullptr, L"Error:  Host program", WINDOW_WAIT_MS);
  if (box) {
    // Short names are shown as they are; the edit field breaks lines at CR LF.
    EXPECT_EQ(narrow(item_text(box, IDC_ERR_SCRIPT)), "C:\\jobs\\job.tov");
    EXPECT_EQ(narrow(item_text(box, IDC_ERR_FAILING_LINE)), "first part\r\nsecond part");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(box, IDC_ERR_MORE_INFO)));
    press(box, IDCANCEL);
  }
  shown.join();
  ASSERT_TRUE(box);
  EXPECT_EQ(result, plat::ERRBOX_EXIT);
  FreeLibrary(engine);
}

TEST_F(WinGui, AskLineAndAskPasswordTakeWhatIsTyped) {
  GuiRun run("a = AskLine(\"Asking\", \"Your name?\", \"default text\")\n"
             "p = AskPassword(\"Secret\", \"Password?\")\n"
             "Message(\"Got\", a : \"/\" : p)\n");
  WINDOW(ask, run, L"Asking");
  HWND edit = GetDlgItem(ask, IDC_ASK_EDIT);
  EXPECT_EQ(narrow(item_text(ask, IDC_ASK_PROMPT)), "Your name?");
  EXPECT_EQ(narrow(text_of(edit)), "default text");
  EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD, 0);
  EXPECT_EQ(focus_in(ask), edit);
  EXPECT_TRUE(is_centred(ask));
  type_text(ask, L"typed words");   // replaces the selected default
  type_key(ask, VK_RETURN);

  WINDOW(secret, run, L"Secret");
  edit = GetDlgItem(secret, IDC_ASK_EDIT);
  EXPECT_NE(GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD, 0);
  EXPECT_EQ(narrow(text_of(edit)), "");
  type_text(secret, L"pw 42");
  type_key(secret, VK_RETURN);
  run.answer_box(L"Got", L"typed words/pw 42");
  EXPECT_EQ(run.status(), 0);
}

// Display closes by itself after its time or early on a key; Ctrl+Break ends it and the run.
TEST_F(WinGui, DisplayClosesByItselfOrEarly) {
  GuiRun run("a = Display(2, \"Notice\", \"This notice closes by itself after two seconds.\")\n"
             "b = Display(60, \"Key notice\", \"Press a key\")\n"
             "Message(\"Display results\", a:b)\n"
             "r = Display(60, \"Stoppable\", \"Ctrl+Break ends the run\")\n"
             "Message(\"Not reached\", r)\n");
  WINDOW(timed, run, L"Notice");
  const auto seen = Clock::now();
  EXPECT_TRUE(is_centred(timed));
  EXPECT_TRUE(gone(timed, 6000));
  const auto shown = Clock::now() - seen;
  EXPECT_GT(shown, 1200ms);
  EXPECT_LT(shown, 4000ms);

  WINDOW(keyed, run, L"Key notice");
  type_key(keyed, VK_SPACE);
  EXPECT_TRUE(gone(keyed, 2000));

  run.answer_box(L"Display results", L"01");

  WINDOW(stoppable, run, L"Stoppable");
  ASSERT_TRUE(bring_to_front(stoppable));
  send_keys({key(VK_CONTROL, false), key(VK_CANCEL, false), key(VK_CANCEL, true), key(VK_CONTROL, true)});
  EXPECT_TRUE(gone(stoppable, 2000));
  // The stop is reported before the run ends.
  WINDOW(box, run, L"Error:  ");
  EXPECT_EQ(narrow(item_text(box, IDC_ERR_MESSAGE)), "194:  Execution terminated by user request");
  type_key(box, VK_RETURN);
  EXPECT_EQ(run.status(), 130);
}

// FileCopy asks before it replaces a file: the dialog names both files with their times. Skip keeps the
// target, Overwrite All replaces it and the rest of the call's files without asking, Cancel ends the run.
TEST_F(WinGui, FileReplaceConfirmation) {
  GuiRun run("DirMake(\"dst\")\n"
             "FilePut(\"a.txt\", \"new a\")\nFilePut(\"b.txt\", \"new b\")\nFilePut(\"c.txt\", \"new c\")\n"
             "FilePut(\"dst\\a.txt\", \"old a\")\nFilePut(\"dst\\b.txt\", \"old b\")\nFilePut(\"dst\\c.txt\", \"old c\")\n"
             "FileTimeSet(\"dst\\a.txt\", \"2001:02:03:04:05:06\")\n"
             "FileTimeSet(\"a.txt\", \"2002:03:04:05:06:07\")\n"
             "r = FileCopy(\"?.txt\", \"dst\\\", @TRUE)\n"
             "Message(\"Copied\", r : \" \" : FileGet(\"dst\\a.txt\") : \",\" : FileGet(\"dst\\b.txt\") : \",\" : "
             "FileGet(\"dst\\c.txt\"))\n"
             "FileMove(\"a.txt\", \"dst\", @TRUE)\n"
             "Message(\"Not reached\", \"\")\n");
  WINDOW(first, run, L"Confirm File Replace");
  EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_LABEL)), "Replace file:");
  EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_TARGET)), "dst\\a.txt");
  EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_TARGET_TIME)), "2001:02:03:04:05:06");
  EXPECT_EQ(narrow(item_text(first, IDC_WITH_LABEL)), "with file:");
  EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_SOURCE)), "a.txt");
  EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_SOURCE_TIME)), "2002:03:04:05:06:07");
  const char* const labels[] = {"O&verwrite", "Overwrite &All", "&Skip", "Use &Newer", "Use Ne&wer All",
                                "Use O&lder", "Use Ol&der All"};
  for (int b = 0; b < 7; ++b) EXPECT_EQ(narrow(item_text(first, IDC_REPLACE_FIRST_BUTTON + b)), labels[b]);
  EXPECT_EQ(narrow(item_text(first, IDCANCEL)), "&Cancel");
  EXPECT_TRUE(is_centred(first));
  press(first, IDC_REPLACE_FIRST_BUTTON + plat::RB_SKIP);
  EXPECT_TRUE(gone(first));
  WINDOW(second, run, L"Confirm File Replace");
  EXPECT_EQ(narrow(item_text(second, IDC_REPLACE_TARGET)), "dst\\b.txt");
  press(second, IDC_REPLACE_FIRST_BUTTON + plat::RB_OVERWRITE_ALL);
  run.answer_box(L"Copied", L"1 old a,new b,new c");
  WINDOW(third, run, L"Confirm File Replace");
  press(third, IDCANCEL);
  EXPECT_EQ(run.status(), 130);
  EXPECT_FALSE(run.window(L"Not reached", 0));
}

// DllCall of the system's own message box: found by its title, read, and answered with Cancel.
TEST_F(WinGui, DllCallShowsTheSystemsMessageBox) {
  GuiRun run("r = DllCall(\"user32.dll\", long:\"MessageBoxA\", lpnull, lpstr:\"Shown by DllCall\", "
             "lpstr:\"DllCall box\", long:1)\n"
             "Message(\"Answer\", r)\n");
  WINDOW(box, run, L"DllCall box");
  EXPECT_EQ(narrow(item_text(box, MESSAGE_TEXT_ID)), "Shown by DllCall");
  press(box, IDCANCEL);
  run.answer_box(L"Answer", L"2");
  EXPECT_EQ(run.status(), 0);
}

#endif
