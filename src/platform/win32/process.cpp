// Running a program with redirected standard streams on Windows.
#include <windows.h>
#include <cstring>
#include <string>
#include "platform/process.h"

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

}  // namespace plat
