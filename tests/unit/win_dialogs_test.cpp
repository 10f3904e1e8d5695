// The Windows user interface of scripts, seen from outside: tov runs a script without the console UI
// in a process of its own, and this test finds its boxes and dialogs by their titles, reads them, and
// answers them with keystrokes or button presses as a user would.
#if defined(_WIN32)
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ui.h"
#include "test_folder.h"
#include "win_gui.h"
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

// The texts of a dialog's controls, each against the one expected.
void expect_items(HWND dialog, std::initializer_list<std::pair<int, const char*>> items) {
  for (const auto& [id, text] : items) EXPECT_EQ(narrow(item_text(dialog, id)), text) << "control " << id;
}

// Presses a button of a dialog as a click on it would.
void press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void send_keys(std::vector<INPUT> keys) { SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT)); }

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

// A visible top-level window of the process of this class and title (null for any); null when none comes
// in time or the process (when given) has ended.
HWND wait_window(DWORD pid, HANDLE process, const wchar_t* cls, const wchar_t* title, DWORD timeout_ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, cls, title)) != nullptr;) {
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
    folder_.write(name + ".tov", script);
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
  }

  HWND window(const std::wstring& title, DWORD timeout_ms = WINDOW_WAIT_MS) const {
    return started_ ? wait_window(process_.dwProcessId, process_.hProcess, nullptr, title.c_str(), timeout_ms)
                    : nullptr;
  }

  // A visible dialog of the system (the file, folder, colour and font dialogs), whatever its title.
  HWND common_dialog() const {
    return started_ ? wait_window(process_.dwProcessId, process_.hProcess, L"#32770", nullptr, WINDOW_WAIT_MS)
                    : nullptr;
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
  tov::test::TestFolder folder_;   // removed after the process has ended
  const fs::path& dir_ = folder_.path;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

class WinGui : public WindowsShown {};

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
  expect_items(pause, {{IDOK, "Go &on"}, {IDCANCEL, "&Stop here"}});
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
    expect_items(box, {{IDC_ERR_MESSAGE, "User-Defined Error:  7001: custom trouble"},
                       {IDC_ERR_FAILING_LINE, "custom trouble"}, {IDOK, "&Continue"}, {IDCANCEL, "&Exit"}});
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
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, IDC_ERR_SUPPORT)));
  EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
  expect_items(box, {{IDOK, "&Understood"},
                     {IDC_ERR_MESSAGE, "3057:  Variable could not be converted to a valid number"},
                     {IDC_ERR_FAILING_LINE, "return Display(v, \"never\", \"shown\")"},
                     {IDC_ERR_ROUTINE_INFO, "In Routine \"convert\""}});
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
  HWND box = wait_window(GetCurrentProcessId(), nullptr, nullptr, L"Error:  Host program", WINDOW_WAIT_MS);
  if (box) {
    // Short names are shown as they are; the edit field breaks lines at CR LF.
    expect_items(box, {{IDC_ERR_SCRIPT, "C:\\jobs\\job.tov"}, {IDC_ERR_FAILING_LINE, "first part\r\nsecond part"}});
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

// --- Dialogs from definition variables, and the list, text, file, folder, colour and font prompts ------------

namespace {

HWND control_of(HWND dialog, int index) { return GetDlgItem(dialog, IDC_DLG_CONTROL_BASE + index); }

// Waits until a control's text is the expected one (the script changes it from its callback).
bool text_becomes(HWND w, const std::string& expected) {
  const auto until = Clock::now() + 10s;
  while (narrow(text_of(w)) != expected) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

const char kOrderDialog[] =
    "D = \"DEFAULT,DEFAULT,DEFAULT,DEFAULT\"\n"
    "ordFormat = \"ZRKDLGED,6.2\"\n"
    "ordCaption = \"Order form\"\n"
    "ordWidth = 200\n"
    "ordHeight = 120\n"
    "ordNumControls = 7\n"
    "ord001 = `8,4,180,10,STATICTEXT,intro,DEFAULT,\"Your order\",DEFAULT,DEFAULT,` : D\n"
    "ord002 = `8,16,180,12,EDITBOX,customer,name,\"\",DEFAULT,DEFAULT,` : D\n"
    "ord003 = `8,32,90,12,CHECKBOX,gift,options,\"Gift wrap\",2,DEFAULT,` : D\n"
    "ord004 = `8,48,80,40,ITEMBOX,extras,extras,\"milk|sugar|lemon\",DEFAULT,DEFAULT,` : D\n"
    "ord005 = `100,48,80,60,DROPLISTBOX,colour,colour,\"red|green|blue\",DEFAULT,DEFAULT,` : D\n"
    "ord006 = `40,96,50,14,PUSHBUTTON,ok,DEFAULT,\"&OK\",1,DEFAULT,` : D\n"
    "ord007 = `110,96,50,14,PUSHBUTTON,cancel,DEFAULT,\"Cancel\",0,DEFAULT,` : D\n"
    "options = 1\n"
    "colour = \"green\"\n";

}  // namespace

TEST_F(WinGui, DialogFromVariablesStoresWhatTheUserDid) {
  GuiRun run(std::string(kOrderDialog) +
             "r = Dialog(\"ord\")\n"
             "Message(\"Ordered\", r : \"/\" : name : \"/\" : options : \"/\" : extras : \"/\" : colour)\n");
  WINDOW(dialog, run, L"Order form");
  EXPECT_TRUE(is_centred(dialog));
  // Controls: 0 intro, 1 the edit box, 2 the check box, 3 the item box, 4 the drop list, 5 OK, 6 Cancel.
  EXPECT_EQ(narrow(text_of(control_of(dialog, 0))), "Your order");
  EXPECT_EQ(narrow(text_of(control_of(dialog, 2))), "Gift wrap");
  EXPECT_EQ(SendMessageW(control_of(dialog, 2), BM_GETCHECK, 0, 0), BST_UNCHECKED);   // options has bit 1, not 2
  EXPECT_EQ(SendMessageW(control_of(dialog, 3), LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(narrow(text_of(control_of(dialog, 4))), "green");
  // The edit box is the first control that takes the keyboard.
  EXPECT_EQ(focus_in(dialog), control_of(dialog, 1));
  type_text(dialog, L"Ann");
  EXPECT_TRUE(text_becomes(control_of(dialog, 1), "Ann"));
  SendMessageW(control_of(dialog, 2), BM_CLICK, 0, 0);
  SendMessageW(control_of(dialog, 3), LB_SETSEL, TRUE, 2);
  press(dialog, IDC_DLG_CONTROL_BASE + 5);
  EXPECT_TRUE(gone(dialog));
  run.answer_box(L"Ordered", L"1/Ann/3/lemon/green");
  EXPECT_EQ(run.status(), 0);
}

TEST_F(WinGui, DialogCancelAndTheCloseBoxStopTheRun) {
  GuiRun run(std::string(kOrderDialog) +
             "Message(\"First\", Dialog(\"ord\", 1) : \"/\" : isdefined(name))\n"
             "Dialog(\"ord\")\n"
             "Message(\"Not reached\", \"\")\n");
  WINDOW(first, run, L"Order form");
  press(first, IDC_DLG_CONTROL_BASE + 6);
  run.answer_box(L"First", L"0/0");
  WINDOW(second, run, L"Order form");
  PostMessageW(second, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(run.status(), 130);
}

TEST_F(WinGui, DialogCallbackSeesEventsAndChangesControls) {
  GuiRun run("#DefineFunction proc(h, event, control, reserved, data)\n"
             "  If event == 0\n"
             "    DialogProcOptions(h, 2, 1)\n"
             "    DialogProcOptions(h, 5, 1)\n"
             "    DialogControlSet(h, \"label\", 3, \"ready\")\n"
             "    Return -1\n"
             "  EndIf\n"
             "  If event == 5 Then DialogControlSet(h, \"label\", 3, \"typed \" : DialogControlGet(h, \"field\", 4))\n"
             "  If event == 2 && control == \"go\"\n"
             "    DialogControlSet(h, \"label\", 3, \"pressed\")\n"
             "    DialogControlState(h, \"stop\", 4, 2)\n"
             "    Return -1\n"
             "  EndIf\n"
             "  If event == 2 && control == \"stop\" Then Return 9\n"
             "  Return -1\n"
             "#EndFunction\n"
             "D = \"DEFAULT,DEFAULT,DEFAULT,DEFAULT\"\n"
             "cbFormat = \"ZRKDLGED,6.2\"\n"
             "cbCaption = \"Callback dialog\"\n"
             "cbWidth = 120\n"
             "cbHeight = 60\n"
             "cbProcedure = \"proc\"\n"
             "cbNumControls = 4\n"
             "cb001 = `4,4,110,10,VARYTEXT,label,shown,\"\",DEFAULT,DEFAULT,` : D\n"
             "cb002 = `4,16,110,12,EDITBOX,field,typed,\"\",DEFAULT,DEFAULT,` : D\n"
             "cb003 = `4,40,50,14,PUSHBUTTON,go,DEFAULT,\"Go\",3,DEFAULT,` : D\n"
             "cb004 = `60,40,50,14,PUSHBUTTON,stop,DEFAULT,\"Stop\",4,DEFAULT,2,DEFAULT,DEFAULT,DEFAULT`\n"
             "r = Dialog(\"cb\")\n"
             "Message(\"Callback result\", r : \"/\" : typed)\n");
  WINDOW(dialog, run, L"Callback dialog");
  HWND label = control_of(dialog, 0), stop = control_of(dialog, 3);
  EXPECT_TRUE(text_becomes(label, "ready"));
  EXPECT_FALSE(IsWindowEnabled(stop));
  type_text(dialog, L"ab");
  EXPECT_TRUE(text_becomes(label, "typed ab"));
  press(dialog, IDC_DLG_CONTROL_BASE + 2);
  EXPECT_TRUE(text_becomes(label, "pressed"));
  EXPECT_TRUE(IsWindowVisible(dialog));
  const auto until = Clock::now() + 5s;
  while (!IsWindowEnabled(stop) && Clock::now() < until) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(IsWindowEnabled(stop));
  press(dialog, IDC_DLG_CONTROL_BASE + 3);
  EXPECT_TRUE(gone(dialog));
  run.answer_box(L"Callback result", L"9/ab");
  EXPECT_EQ(run.status(), 0) << run.output("stderr");
}

TEST_F(WinGui, DialogMenuSpinnerAndCalendar) {
  GuiRun run("D = \"DEFAULT,DEFAULT,DEFAULT,DEFAULT\"\n"
             "mFormat = \"ZRKDLGED,6.2\"\n"
             "mCaption = \"Menu dialog\"\n"
             "mWidth = 160\n"
             "mHeight = 120\n"
             "mNumControls = 6\n"
             "m001 = `0,0,0,0,MENUBAR,bar`\n"
             "m002 = `0,0,0,0,MENUITEM,file,bar,\"&File\",DEFAULT,DEFAULT,DEFAULT`\n"
             "m003 = `0,0,0,0,MENUITEM,quit,file,\"&Quit\",DEFAULT,7,DEFAULT`\n"
             "m004 = `8,8,40,12,SPINNER,count,n,\"1|10\",DEFAULT,DEFAULT,` : D\n"
             "m005 = `8,24,140,90,CALENDAR,day,day,\"\",DEFAULT,DEFAULT,DEFAULT,DEFAULT`\n"
             "m006 = `100,8,50,14,PUSHBUTTON,ok,DEFAULT,\"OK\",1,DEFAULT,` : D\n"
             "n = 4\n"
             "day = \"2024:03:15\"\n"
             "r = Dialog(\"m\")\n"
             "Message(\"Menu result\", r : \"/\" : n : \"/\" : day)\n");
  WINDOW(dialog, run, L"Menu dialog");
  EXPECT_TRUE(GetMenu(dialog));   // its items belong to the other process: they are not read here
  HWND spin = control_of(dialog, 3);
  EXPECT_EQ(narrow(text_of(spin)), "4");
  SendMessageW(spin, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"6"));
  // Quit is the third control: a menu item of value 7 ends the dialog like a push button.
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DLG_CONTROL_BASE + 2, 0), 0);
  run.answer_box(L"Menu result", L"7/6/2024:03:15:00:00:00");
  EXPECT_EQ(run.status(), 0) << run.output("stderr");
}

TEST_F(WinGui, ListAndTextPromptsTakeTheChoice) {
  GuiRun run("ButtonNames(\"&Take\", \"\")\n"
             "a = AskItemList(\"Fruit\", \"pear|apple|fig\", \"|\", @SORTED, @MULTIPLE)\n"
             "b = AskTextBox(\"Note\", \"Write a note\", \"old\", 0, 0)\n"
             "c = TextSelect(\"Pick one\", \"b|a\", \"|\")\n"
             "Message(\"Chosen\", a : \"/\" : b : \"/\" : c)\n");
  WINDOW(list, run, L"Fruit");
  EXPECT_EQ(narrow(item_text(list, IDOK)), "&Take");
  HWND items = GetDlgItem(list, IDC_ASK_LIST);
  ASSERT_EQ(SendMessageW(items, LB_GETCOUNT, 0, 0), 3);
  wchar_t first[16] = L"";
  SendMessageW(items, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
  EXPECT_EQ(narrow(first), "apple");   // sorted
  SendMessageW(items, LB_SETSEL, TRUE, 0);
  SendMessageW(items, LB_SETSEL, TRUE, 2);
  press(list, IDOK);
  WINDOW(note, run, L"Note");
  // The names were for one prompt only.
  expect_items(note, {{IDOK, "OK"}, {IDC_ASK_PROMPT, "Write a note"}, {IDC_ASK_EDIT, "old"}});
  SendMessageW(GetDlgItem(note, IDC_ASK_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"new note"));
  press(note, IDOK);
  WINDOW(pick, run, L"Pick one");
  SendMessageW(GetDlgItem(pick, IDC_ASK_LIST), LB_SETCURSEL, 1, 0);
  press(pick, IDOK);
  run.answer_box(L"Chosen", L"apple|pear/new note/b");
  EXPECT_EQ(run.status(), 0);
}

TEST_F(WinGui, CommonDialogsAnswerFileFolderColourAndFont) {
  GuiRun run("a = AskFileName(\"Pick a file\", \"\", \"Scripts|*.tov|\", \"\", 1)\n"
             "Message(\"File\", StrSub(a, StrLen(a) - 3, -1))\n"
             "c = AskColor(\"10|20|30\", \"mine\", 0)\n"
             "Message(\"Colour\", c)\n"
             "f = AskFont(0, 0, \"Tahoma|10|400|0\")\n"
             "Message(\"Chosen font\", ItemCount(f, \"|\") : ItemExtract(4, f, \"|\"))\n");
  WINDOW(open, run, L"Pick a file");
  // The name goes into the dialog's file name field (the combo box 1148, or the edit 1152).
  HWND name = GetDlgItem(open, 1148);
  if (!name) name = GetDlgItem(open, 1152);
  ASSERT_TRUE(name);
  const std::string file = test_name() + ".tov";
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::wstring(file.begin(), file.end()).c_str()));
  press(open, IDOK);
  run.answer_box(L"File", L".tov");
  // The colour and font dialogs keep the colour and font they were given when OK is pressed.
  HWND colour = run.common_dialog();
  ASSERT_TRUE(colour);
  press(colour, IDOK);
  run.answer_box(L"Colour", L"10|20|30");
  HWND font = run.common_dialog();
  ASSERT_TRUE(font);
  press(font, IDOK);
  EXPECT_TRUE(gone(font));
  // Which faces there are depends on the system: the answer has its four parts, not italic.
  run.answer_box(L"Chosen font", L"40");
  EXPECT_EQ(run.status(), 0) << run.output("stderr");
}

TEST_F(WinGui, AskDirectoryBrowsesFromTheStartFolder) {
  GuiRun run("d = AskDirectory(\"Choose a folder\", \"\", \"C:\\windows\", \"\", 0)\n"
             "Message(\"Folder\", StrLower(StrSub(d, StrLen(d) - 6, -1)))\n");
  HWND browse = run.common_dialog();
  ASSERT_TRUE(browse);
  press(browse, IDOK);
  run.answer_box(L"Folder", L"windows");
  EXPECT_EQ(run.status(), 0);
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
  const int button = IDC_REPLACE_FIRST_BUTTON;
  expect_items(first, {{IDC_REPLACE_LABEL, "Replace file:"}, {IDC_REPLACE_TARGET, "dst\\a.txt"},
                       {IDC_REPLACE_TARGET_TIME, "2001:02:03:04:05:06"}, {IDC_WITH_LABEL, "with file:"},
                       {IDC_REPLACE_SOURCE, "a.txt"}, {IDC_REPLACE_SOURCE_TIME, "2002:03:04:05:06:07"},
                       {button, "O&verwrite"}, {button + 1, "Overwrite &All"}, {button + 2, "&Skip"},
                       {button + 3, "Use &Newer"}, {button + 4, "Use Ne&wer All"}, {button + 5, "Use O&lder"},
                       {button + 6, "Use Ol&der All"}, {IDCANCEL, "&Cancel"}});
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

TEST_F(WinGui, StepDebuggerStepsTwiceAndStops) {
  GuiRun run("Debug(1, \"a\")\n"
             "a = 5\n"
             "b = a * 2\n"
             "Message(\"Not reached\", b)\n");
  WINDOW(first, run, L"DEBUG");
  expect_items(first, {{IDC_STEP_STATEMENT, ""}, {IDC_STEP_NEXT_LABEL, "Next Statement..."}, {IDC_STEP_NEXT, "a = 5"},
                       {IDC_STEP_VARIABLE, "a"}, {IDOK, "&Next"}, {IDCANCEL, "&Cancel"}, {IDC_STEP_RUN, "&Run"},
                       {IDC_STEP_SHOW, "&Show Var"}});
  EXPECT_TRUE(GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_TOPMOST);
  press(first, IDOK);
  ASSERT_TRUE(gone(first));

  WINDOW(second, run, L"DEBUG");
  expect_items(second, {{IDC_STEP_STATEMENT, "a = 5"}, {IDC_STEP_OUTCOME, "VALUE INT => 5"}, {IDC_STEP_ERROR, ""},
                        {IDC_STEP_NEXT, "b = a * 2"}});
  press(second, IDC_STEP_SHOW);
  std::string shown;
  for (int i = 0; i < 250 && (shown = narrow(item_text(second, IDC_STEP_VARIABLE))) == "a"; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(shown, "a = \"5\"");
  RECT where{};
  GetWindowRect(second, &where);
  press(second, IDOK);
  ASSERT_TRUE(gone(second));

  WINDOW(third, run, L"DEBUG");
  expect_items(third, {{IDC_STEP_STATEMENT, "b = a * 2"}, {IDC_STEP_OUTCOME, "VALUE INT => 10"}});
  RECT again{};
  GetWindowRect(third, &again);
  EXPECT_EQ(again.left, where.left);   // the dialog comes back where it was left
  EXPECT_EQ(again.top, where.top);
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
