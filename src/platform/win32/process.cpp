// Processes on Windows: running a program with redirected standard streams, starting programs for scripts,
// waiting for them, the shell, shortcut files and the running programs.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <cstring>
#include <string>
#include "platform/process.h"
#include "platform/system.h"
#include "platform/win32/ui_internal.h"

namespace plat {
namespace {

// Quotes one argument so that the program's command-line parser gives it back unchanged: inside
// quotes, backslashes are doubled where they precede a quote or the closing quote.
void append_argument(std::string* line, const char* arg) {
  if (!line->empty()) *line += ' ';
  if (*arg && !std::strpbrk(arg, " \t\n\v\"")) {
    *line += arg;
    return;
  }
  *line += '"';
  for (const char* p = arg;; ++p) {
    size_t backslashes = 0;
    while (*p == '\\') {
      ++p;
      ++backslashes;
    }
    if (*p == 0) {
      line->append(backslashes * 2, '\\');
      break;
    }
    if (*p == '"') {
      line->append(backslashes * 2 + 1, '\\');
    } else {
      line->append(backslashes, '\\');
    }
    *line += *p;
  }
  *line += '"';
}

HANDLE open_inheritable(const char* path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void close_handle(HANDLE h) {
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

}  // namespace

int run_captured(const char* const* argv, const char* cwd, const char* stdin_path, const char* stdout_path,
                 const char* stderr_path, uint32_t timeout_ms) {
  if (!argv || !argv[0]) return -1;
  std::string line;
  for (const char* const* a = argv; *a; ++a) append_argument(&line, *a);

  const bool shared_output = stdout_path && stderr_path && std::strcmp(stdout_path, stderr_path) == 0;
  HANDLE in = open_inheritable(stdin_path ? stdin_path : "NUL", false);
  HANDLE out = open_inheritable(stdout_path ? stdout_path : "NUL", true);
  HANDLE err = shared_output ? INVALID_HANDLE_VALUE : open_inheritable(stderr_path ? stderr_path : "NUL", true);
  PROCESS_INFORMATION process{};
  bool started = false;
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && (shared_output || err != INVALID_HANDLE_VALUE)) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = shared_output ? out : err;
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, cwd,
                             &startup, &process) != 0;
  }
  close_handle(in);
  close_handle(out);
  close_handle(err);
  if (!started) return -1;
  CloseHandle(process.hThread);
  int status = -1;
  // INFINITE is UINT32_MAX, the unlimited wait of the interface.
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hProcess);
  return status;
}

// --- Programs started for scripts -----------------------------------------------------------------------

namespace {

using win32::wide;
using win32::from_wide;
LPCWSTR wide_or_null(const std::u16string& s) { return s.empty() ? nullptr : wide(s); }

WORD show_command(ShowState show) {
  switch (show) {
    case ShowState::Hidden: return SW_HIDE;
    case ShowState::Minimized: return SW_SHOWMINIMIZED;
    case ShowState::Maximized: return SW_SHOWMAXIMIZED;
    default: return SW_SHOWNORMAL;
  }
}

STARTUPINFOW startup_for(ShowState show) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_command(show);
  return startup;
}

uint32_t started(BOOL ok, const PROCESS_INFORMATION& info, Process* out) {
  if (!ok) return GetLastError();
  CloseHandle(info.hThread);
  out->handle = info.hProcess;
  out->pid = info.dwProcessId;
  return 0;
}

// COM for the shell's calls on this thread, released again when it was started here.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace

uint32_t process_start(const std::u16string& command_line, const std::u16string& directory, ShowState show,
                       uint32_t creation_flags, Process* out) {
  *out = Process{};
  std::wstring line(wide(command_line));   // CreateProcessW may write into the line
  STARTUPINFOW startup = startup_for(show);
  PROCESS_INFORMATION info{};
  const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, creation_flags, nullptr,
                                 wide_or_null(directory), &startup, &info);
  return started(ok, info, out);
}

bool process_logon_supported() { return true; }

uint32_t process_start_as_user(const std::u16string& command_line, const std::u16string& directory,
                               ShowState show, uint32_t creation_flags, const std::u16string& user,
                               const std::u16string& domain, const std::u16string& password,
                               uint32_t logon_flags, Process* out) {
  *out = Process{};
  std::wstring line(wide(command_line));
  STARTUPINFOW startup = startup_for(show);
  PROCESS_INFORMATION info{};
  const BOOL ok = CreateProcessWithLogonW(wide(user), wide_or_null(domain), wide(password), logon_flags, nullptr,
                                          line.data(), creation_flags, nullptr, wide_or_null(directory), &startup,
                                          &info);
  return started(ok, info, out);
}

WaitResult process_wait(Process* p, uint32_t ms) {
  if (p->ended || !p->handle) return WaitResult::Ended;
  HANDLE handles[2] = {p->handle, win32::stop_event()};
  const DWORD count = handles[1] ? 2 : 1;
  const DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, ms, QS_ALLINPUT);
  if (r == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(p->handle, &code);
    p->ended = true;
    p->exit_code = code;
    return WaitResult::Ended;
  }
  return r == WAIT_TIMEOUT ? WaitResult::TimedOut : WaitResult::Woken;
}

bool process_wait_idle(Process* p, uint32_t ms) {
  // A console program has no input-idle state: the call fails at once, which counts as ready.
  return !p->handle || WaitForInputIdle(p->handle, ms) != WAIT_TIMEOUT;
}

void process_close(Process* p) {
  if (p->handle) CloseHandle(p->handle);
  *p = Process{};
}

// --- The system shell -----------------------------------------------------------------------------------

bool system_shell() { return true; }

uint32_t shell_execute(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                       const std::u16string& directory, ShowState show, Process* out, uint32_t* system_error) {
  *out = Process{};
  if (system_error) *system_error = 0;
  ComScope com;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No error boxes of the shell's own: the failure goes back to the script.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = wide_or_null(verb);
  info.lpFile = wide(file);
  info.lpParameters = wide_or_null(parameters);
  info.lpDirectory = wide_or_null(directory);
  info.nShow = show_command(show);
  if (ShellExecuteExW(&info)) {
    out->handle = info.hProcess;
    if (info.hProcess) out->pid = GetProcessId(info.hProcess);
    const auto r = reinterpret_cast<INT_PTR>(info.hInstApp);
    return r > 32 ? uint32_t(r) : 33;
  }
  const DWORD error = GetLastError();
  if (system_error) *system_error = error;
  const auto r = reinterpret_cast<INT_PTR>(info.hInstApp);
  if (r > 0 && r <= 32) return uint32_t(r);
  // The shell left no number of its own: the system error says what went wrong.
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND: case ERROR_DIRECTORY: return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED: return SE_ERR_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return SE_ERR_OOM;
    case ERROR_BAD_FORMAT: case ERROR_BAD_EXE_FORMAT: return ERROR_BAD_FORMAT;
    case ERROR_SHARING_VIOLATION: return SE_ERR_SHARE;
    case ERROR_NO_ASSOCIATION: return SE_ERR_NOASSOC;
    case ERROR_DLL_NOT_FOUND: return SE_ERR_DLLNOTFOUND;
    default: return 0;
  }
}

bool shortcut_read(const std::u16string& path, std::u16string* target, std::u16string* arguments,
                   std::u16string* directory) {
  ComScope com;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  bool ok = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t buffer[INFOTIPSIZE + 1] = L"";
    if (SUCCEEDED(file->Load(wide(path), STGM_READ)) && SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)) &&
        buffer[0]) {
      *target = from_wide(buffer);
      buffer[0] = 0;
      link->GetArguments(buffer, INFOTIPSIZE);
      *arguments = from_wide(buffer);
      buffer[0] = 0;
      link->GetWorkingDirectory(buffer, MAX_PATH);
      *directory = from_wide(buffer);
      ok = true;
    }
    file->Release();
  }
  link->Release();
  return ok;
}

std::u16string find_shortcut(const std::u16string& name) {
  const bool has_lnk = name.size() > 4 && CompareStringOrdinal(wide(name) + name.size() - 4, 4, L".lnk", 4, TRUE) == CSTR_EQUAL;
  const std::u16string wanted = has_lnk ? name : name + u".lnk";
  wchar_t found[MAX_PATH * 2];
  const DWORD n = SearchPathW(nullptr, wide(wanted), nullptr, MAX_PATH * 2, found, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return std::u16string();
  return from_wide(found);
}

std::u16string find_executable(const std::u16string& document, const std::u16string& directory) {
  wchar_t found[MAX_PATH] = L"";
  const auto r = reinterpret_cast<INT_PTR>(FindExecutableW(wide(document), wide_or_null(directory), found));
  return r > 32 ? from_wide(found) : std::u16string();
}

// --- Running programs -----------------------------------------------------------------------------------

std::vector<RunningProgram> running_programs() {
  std::vector<RunningProgram> list;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    // Older systems list the full path: the name is its last part.
    const wchar_t* name = entry.szExeFile;
    for (const wchar_t* c = entry.szExeFile; *c; ++c)
      if (*c == L'\\' || *c == L'/') name = c + 1;
    list.push_back({entry.th32ProcessID, from_wide(name)});
  }
  CloseHandle(snapshot);
  return list;
}

bool program_names_equal(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(wide(a), int(a.size()), wide(b), int(b.size()), TRUE) == CSTR_EQUAL;
}

bool process_running(uint32_t pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

uint32_t process_terminate(uint32_t pid) {
  HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!h) return GetLastError();
  uint32_t error = 0;
  if (!TerminateProcess(h, 1)) error = GetLastError();
  // The process is gone once the call returns, as on POSIX.
  else WaitForSingleObject(h, 5000);
  CloseHandle(h);
  return error;
}

uint32_t current_process_id() { return GetCurrentProcessId(); }

std::u16string host_program_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return std::u16string();
    if (n < path.size()) return from_wide(path.c_str());
    path.resize(path.size() * 2);
  }
}

std::u16string system_error_text(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::u16string result = n && text ? from_wide(text) : std::u16string();
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n')) result.pop_back();
  return result;
}

std::u16string expand_environment(const std::u16string& text) {
  const DWORD n = ExpandEnvironmentStringsW(wide(text), nullptr, 0);
  if (n == 0) return text;
  std::wstring out(n, L'\0');
  const DWORD m = ExpandEnvironmentStringsW(wide(text), out.data(), n);
  if (m == 0 || m > n) return text;
  return from_wide(out.c_str());
}

}  // namespace plat
