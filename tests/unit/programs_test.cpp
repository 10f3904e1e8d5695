// Starting programs: the command lines of class associations, and the Run family seen from outside, with
// real programs started by a real tov (cmd.exe and notepad on Windows, sh and sleep on POSIX).
#include <gtest/gtest.h>
#include <chrono>
#include <string>
#include <thread>

#include "builtins/launcher.h"
#include "platform/registry.h"
#include "tov_program.h"

#if defined(_WIN32)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

TEST(CommandTemplate, ExpandsDocumentWordsAndTheRest) {
  const struct { const char16_t* command; const char16_t* parameters; const char16_t* line; } cases[] = {
      {u"view %1", u"", u"view my doc.txt"},
      {u"view \"%1\" /x", u"", u"view \"my doc.txt\" /x"},
      // Without %1 the document follows in quotes, then the parameters.
      {u"view", u"-a b", u"view \"my doc.txt\" -a b"},
      // Words are separated by blanks and grouped by double quotes, which they keep.
      {u"v %1 %2 %3 %*", u"one \"two 2\"  three four", u"v my doc.txt one \"two 2\" three four"},
      {u"v %1 %3", u"one \"two 2\" three", u"v my doc.txt \"two 2\""},
      {u"v %1 %*", u"  a  b ", u"v my doc.txt a  b "},
      {u"v %1 %2 %*", u"a", u"v my doc.txt a "},
      // %% stays as it is; other % sequences, a missing word and a final % are copied or left empty.
      {u"v %% %1 %x %9 %", u"a", u"v %% my doc.txt %x  %"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tov::expand_command_template(c.command, u"my doc.txt", c.parameters), c.line)
        << std::string(c.command, c.command + std::char_traits<char16_t>::length(c.command));
}

TEST(DisplayAndWait, ValuesOfTheRunFamily) {
  plat::ShowState show;
  for (int32_t display : {1, 2, 3, -1, -2, -1000}) EXPECT_TRUE(tov::display_state(display, &show)) << display;
  for (int32_t display : {0, 4, 99}) EXPECT_FALSE(tov::display_state(display, &show)) << display;
  ASSERT_TRUE(tov::display_state(-5, &show));
  EXPECT_EQ(show, plat::ShowState::Hidden);
  for (int32_t wait : {33, 34, 35, 36}) EXPECT_TRUE(tov::valid_wait_mode(wait));
  for (int32_t wait : {0, 32, 37}) EXPECT_FALSE(tov::valid_wait_mode(wait));
}

// Programs of the platform, as the arguments of a Run call.
#if defined(_WIN32)
const std::string EXIT_7 = R"("cmd.exe", "/c exit 7")";
const std::string EXIT_3 = R"("cmd.exe", "/c exit 3")";
const std::string LONG_RUNNING = R"("notepad.exe", "")";
const std::string WRITE_DIRECTORY = R"("cmd.exe", "/c cd > where.txt")";
#else
const std::string EXIT_7 = R"("sh", '-c "exit 7"')";
const std::string EXIT_3 = R"("sh", '-c "exit 3"')";
const std::string LONG_RUNNING = R"("sleep", "30")";
const std::string WRITE_DIRECTORY = R"("sh", '-c "pwd > where.txt"')";
#endif

using ProgramsRun = TovProgram;

TEST_F(ProgramsRun, ExitCodesAndWaitModes) {
  const std::string script =
      "a = RunWait(" + EXIT_7 + ")\n"
      "Message('RunWait', a : ' ' : IntControl(64, 0, 0, 0, 0))\n"
      "Message('36', RunShell(" + EXIT_3 + ", '', @HIDDEN, @GETEXITCODE) : ' ' : IntControl(64, 0, 0, 0, 0))\n"
      "Message('33', RunShell(" + EXIT_7 + ", '', @ICON, @NOWAIT) : ' ' : IntControl(64, 0, 0, 0, 0))\n"
      "p = RunShell(" + LONG_RUNNING + ", '', @ZOOMED, @GETPROCID)\n"
      "Message('35', (p > 0) : ' ' : AppExist(p, 1) : ' ' : (AppExist(p, 3) == p))\n"
      "Message('ended', TerminateApp(p) : ' ' : AppExist(p, 1) : ' ' : TerminateApp(p))\n";
  EXPECT_EQ(run_script(script), 0) << err;
  EXPECT_EQ(out, "RunWait: 1 7\n36: 3 3\n33: 1 99999\n35: 1 1 1\nended: 1 0 0\n");

  // Every fixed form: the Wait forms store the exit code, the others leave it unknown.
  std::string forms;
  for (const char* name : {"Run", "RunHide", "RunIcon", "RunZoom", "RunWait", "RunHideWait", "RunIconWait", "RunZoomWait"})
    forms += std::string("Message('") + name + "', " + name + "(" + EXIT_7 + ") : ' ' : IntControl(64, 0, 0, 0, 0))\n";
  EXPECT_EQ(run_script(forms), 0) << err;
  EXPECT_EQ(out, "Run: 1 99999\nRunHide: 1 99999\nRunIcon: 1 99999\nRunZoom: 1 99999\n"
                 "RunWait: 1 7\nRunHideWait: 1 7\nRunIconWait: 1 7\nRunZoomWait: 1 7\n");
}

TEST_F(ProgramsRun, WorkingDirectoryOfTheProgram) {
  std::filesystem::create_directory(dir / "sub");
  const std::string script = "RunShell(" + WRITE_DIRECTORY + ", 'sub', @NORMAL, @WAIT)\n"
                             "RunShell(" + WRITE_DIRECTORY + ", 'no-such-folder', @NORMAL, @WAIT)\n";
  EXPECT_EQ(run_script(script), 1);
  std::string where = slurp(dir / "sub" / "where.txt");
  while (!where.empty() && (where.back() == '\n' || where.back() == ' ')) where.pop_back();
  EXPECT_EQ(path(where).filename(), "sub") << where;
  EXPECT_NE(err.find("script.tov:2: error 1932: WinExec: Function Failed"), std::string::npos) << err;
  // The system's reason for the failure of the program as written, not "file not found".
  EXPECT_NE(err.find("WinExec Error:\n    \n        "), std::string::npos) << err;
  EXPECT_NE(err.find("irectory name"), std::string::npos) << err;
}

// RunWithLogon needs the system's logon service: Windows checks its flags and starts the program as the
// user; POSIX has no such service and says so.
TEST_F(ProgramsRun, RunWithLogon) {
  const std::string script = "RunWithLogon(" + EXIT_7 + ", '', @NORMAL, @NOWAIT, 'someone', '', 'secret', 3)\n";
  EXPECT_EQ(run_script(script), 1);
#if defined(_WIN32)
  EXPECT_NE(err.find("error 1822: Invalid flag(s)"), std::string::npos) << err;
#else
  EXPECT_NE(err.find("error 3385: RunWithLogon: Not supported on this platform"), std::string::npos) << err;
#endif
}

// A program of a name no other process has, found in the current directory, that runs about two seconds:
// a copy of tov running a script that waits (Windows), of sleep (POSIX).
class NamedProgram : public TovProgram {
 protected:
  std::string start_arguments;
  void SetUp() override {
#if defined(_WIN32)
    const path tov = TOV_RUNNER_PATH;
    std::filesystem::copy_file(tov, dir / "tovnapper.exe");
    std::filesystem::copy_file(tov.parent_path() / "tovengine.dll", dir / "tovengine.dll");
    write("nap.tov", "Delay(2)\n");
    start_arguments = "'tovnapper', '--console nap.tov'";
#else
    std::filesystem::copy_file(std::filesystem::exists("/usr/bin/sleep") ? "/usr/bin/sleep" : "/bin/sleep",
                               dir / "tovnapper");
    start_arguments = "'tovnapper', '2'";
#endif
  }
};

TEST_F(NamedProgram, AppExistAppWaitCloseAndTerminateApp) {
  const std::string script =
      "p = RunShell(" + start_arguments + ", '', @HIDDEN, @GETPROCID)\n"
      "Message('running', AppExist('tovnapper') : ' ' : (AppExist('tovnapper', 2) == p) : ' ' : AppExist(p, 1))\n"
      "Message('closed', AppWaitClose('tovnapper') : ' ' : AppExist('tovnapper') : ' ' : AppExist(p, 1))\n"
      "Message('none', AppWaitClose('tovnapper', 0, 2) : ' ' : AppExist('tovnapper', 0, 2) : ' ' : TerminateApp('tovnapper'))\n"
      "p = RunShell(" + start_arguments + ", '', @HIDDEN, @NOWAIT)\n"
      "Message('ended', TerminateApp('tovnapper') : ' ' : AppExist('tovnapper'))\n"
      "AppExist('tovnapper', 4)\n";
  EXPECT_EQ(run_script(script), 1);
  EXPECT_EQ(out, "running: 1 1 1\nclosed: 1 0 0\nnone: 0 0 0\nended: 1 0\n");
  EXPECT_NE(err.find("script.tov:7: error 1822: Invalid flag(s)"), std::string::npos) << err;
}

// Registry keys a test writes, deleted again at its end (on Windows they live in the Wine prefix's registry).
class RegisteredPrograms : public TovProgram {
 protected:
  std::vector<std::pair<plat::RegKey, std::u16string>> keys;

  void set(plat::RegKey root, const std::u16string& subkey, const char16_t* name, const std::string& text) {
    plat::RegKey key = 0;
    ASSERT_EQ(plat::reg_create_key(root, subkey.c_str(), plat::RegView::Native, &key), 0u);
    std::u16string value(text.begin(), text.end());
    plat::reg_set_value(key, name, plat::REGT_SZ, value.c_str(), (value.size() + 1) * sizeof(char16_t));
    plat::reg_close_key(key);
    keys.emplace_back(root, subkey);
  }
  void TearDown() override {
    for (const auto& [root, subkey] : keys) plat::reg_delete_key(root, subkey.c_str(), plat::RegView::Native);
  }
};

#if defined(_WIN32)
const std::string APP_PROGRAM = "%SystemRoot%\\system32\\cmd.exe";
const std::string APP_WRITE_PATH = R"('/c echo %%PATH%%> path.txt')";
const char PATH_SEPARATOR = ';';
const std::string OPEN_COMMAND = R"("%SystemRoot%\system32\cmd.exe" /c if exist "%1" exit %2)";
const std::string PRINT_COMMAND = R"(cmd.exe /c if exist "%1" exit 4)";
#else
const std::string APP_PROGRAM = "/bin/sh";
const std::string APP_WRITE_PATH = R"('-c "echo $PATH > path.txt"')";
const char PATH_SEPARATOR = ':';
const std::string OPEN_COMMAND = R"(sh -c "test -f '%1' && exit %2; exit 1")";
const std::string PRINT_COMMAND = R"(sh -c "test -f '%1' && exit 4")";
#endif

const std::u16string APP_PATHS = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A program registered under App Paths starts by its bare name, off PATH, with its Path directories in
// front of PATH for it alone.
TEST_F(RegisteredPrograms, AppPathsStartAProgramByName) {
  const std::string extra = (dir / "extra").string();
  set(plat::REGROOT_LOCAL_MACHINE, APP_PATHS + u"TOVAPPTEST.EXE", u"", APP_PROGRAM);
  set(plat::REGROOT_LOCAL_MACHINE, APP_PATHS + u"TOVAPPTEST.EXE", u"Path", extra + ";" + extra + "2;");
  const std::string script = "before = Environment('PATH')\n"
                             "Message('started', RunWait('tovapptest', " + APP_WRITE_PATH + "))\n"
                             "Message('PATH kept', Environment('PATH') == before)\n";
  EXPECT_EQ(run_script(script), 0) << err;
  EXPECT_EQ(out, "started: 1\nPATH kept: 1\n");
  EXPECT_EQ(slurp(dir / "path.txt").rfind(extra + PATH_SEPARATOR + extra + "2" + PATH_SEPARATOR, 0), 0u)
      << slurp(dir / "path.txt");
}

// A document runs the open command of its class association, with itself in place of %1 and the first
// parameter in place of %2; Print takes the print command of the class.
TEST_F(RegisteredPrograms, DocumentsOpenAndPrintThroughTheirAssociation) {
  set(plat::REGROOT_CLASSES, u".tovdoc", u"", "TovTest.Document");
  set(plat::REGROOT_CLASSES, u"TovTest.Document\\shell\\open\\command", u"", OPEN_COMMAND);
  set(plat::REGROOT_CLASSES, u"TovTest.Document\\shell\\print\\command", u"", PRINT_COMMAND);
  set(plat::REGROOT_CLASSES, u".tovnoprint", u"", "TovTest.Document2");
  set(plat::REGROOT_CLASSES, u"TovTest.Document2\\shell\\open\\command", u"", OPEN_COMMAND);
  write("notes.tovdoc", "text\n");
  write("other.tovnoprint", "text\n");
  const std::string script =
      "Message('open', RunShell('notes.tovdoc', '6 7', '', @NORMAL, @GETEXITCODE))\n"
      "Message('shell', ShellExecute('notes.tovdoc', '', '', @NORMAL, ''))\n"
      "Message('print', Print('notes.tovdoc', '', @NORMAL, @GETEXITCODE))\n"
      "Print('other.tovnoprint', '', @NORMAL, @WAIT)\n";
  EXPECT_EQ(run_script(script), 1);
  EXPECT_EQ(out, "open: 6\nshell: 1\nprint: 4\n");
  EXPECT_NE(err.find("script.tov:4: error 1931: WinExec 31: No File Association"), std::string::npos) << err;
}

#if defined(_WIN32)

// Saves a shortcut file to a program with its own arguments.
bool make_shortcut(const std::wstring& file, const wchar_t* target, const wchar_t* arguments) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  bool saved = false;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    link->SetPath(target);
    link->SetArguments(arguments);
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
      saved = SUCCEEDED(persist->Save(file.c_str(), TRUE));
      persist->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return saved;
}

// A name that is neither a program nor a document starts the shortcut file of that name, with the
// shortcut's own arguments; a shortcut that cannot be read is reported as one.
TEST_F(ProgramsRun, ShortcutsStartTheirTarget) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(make_shortcut((dir / "tovlink.lnk").wstring(), (std::wstring(system) + L"\\cmd.exe").c_str(), L"/c exit 8"));
  write("broken.lnk", "not a shortcut");
  const std::string script = "Message('link', RunShell('tovlink', '', '', @HIDDEN, @GETEXITCODE))\n"
                             "Message('by its name', RunShell('tovlink.lnk', '', '', @HIDDEN, @GETEXITCODE))\n"
                             "Run('broken.lnk', '')\n";
  EXPECT_EQ(run_script(script), 1);
  EXPECT_EQ(out, "link: 8\nby its name: 8\n");
  EXPECT_NE(err.find("script.tov:3: error 1932"), std::string::npos) << err;
}

#else

TEST_F(ProgramsRun, ArgumentsAsWindowsProgramsReadThem) {
  // Double quotes group words; a program name that holds its own arguments runs after the quoted form
  // was not found; one given in quotes is taken as a whole.
  const std::string script = R"(RunWait("sh", `-c "echo $#:$1:$2 > args.txt" zero "a b" c\"d`)
Message("unquoted", RunShell('sh -c "exit 5"', "", "", @NORMAL, @GETEXITCODE))
Message("true false", RunShell("true", "", "", @NORMAL, 36) : " " : RunShell("false", "", "", @NORMAL, 36))
RunShell('"sh -c exit"', "", "", @NORMAL, 36)
)";
  EXPECT_EQ(run_script(script), 1);
  EXPECT_EQ(slurp(dir / "args.txt"), "2:a b:c\"d\n");
  EXPECT_EQ(out, "unquoted: 5\ntrue false: 0 1\n");
  EXPECT_NE(err.find("script.tov:4: error 1932"), std::string::npos) << err;
}

TEST_F(ProgramsRun, DocumentWithoutAssociationAndNonPrograms) {
  write("notes.tovdoc", "text\n");
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(run_script("Run('notes.tovdoc', '')\n"), 1);
  EXPECT_NE(err.find("error 1932"), std::string::npos) << err;
  EXPECT_NE(err.find("No application is associated"), std::string::npos) << err;
  EXPECT_EQ(run_script("Run('./folder', '')\n"), 1);
  EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
}

// Ctrl+C (SIGINT) while tov waits for a program ends the wait and the run at once, whatever the program
// does. The limit is generous so that a loaded machine cannot fail it; the measured time is printed.
TEST_F(ProgramsRun, InterruptEndsTheWait) {
  write("script.tov", "RunWait('sh', '-c \"echo $$ > child.pid; exec sleep 60\"')\nMessage('', 'not reached')\n");
  const std::string tov = TOV_RUNNER_PATH, output = (dir / "output").string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    if (chdir(dir.c_str()) == 0) execl(tov.c_str(), tov.c_str(), "script.tov", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Interrupt once the child program runs, so that tov is inside its wait.
  const auto begun = std::chrono::steady_clock::now();
  while (slurp(dir / "child.pid").empty() && std::chrono::steady_clock::now() - begun < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto interrupted = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - interrupted < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - interrupted);
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  const int child = std::atoi(slurp(dir / "child.pid").c_str());
  if (child > 0) kill(child, SIGKILL);
  ASSERT_EQ(done, pid) << "tov still waits 10 s after the interrupt";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(slurp(dir / "output").find("not reached"), std::string::npos);
  std::printf("[ measured ] tov ended %lld ms after SIGINT\n", static_cast<long long>(latency.count()));
}

#endif

}  // namespace
