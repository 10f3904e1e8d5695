// The launcher that the Run family shares: finding what to run for a program, document or shortcut,
// starting it with the requested window state, and waiting for it while the Engine stays responsive.
#pragma once
#include <cstdint>
#include <string>

#include "platform/process.h"

namespace tov {

struct RunContext;

// Wait modes of the Run family (@NOWAIT, @WAIT, @GETPROCID, @GETEXITCODE).
enum WaitMode : int32_t {
  WAIT_NONE = 33,         // start and return 1
  WAIT_END = 34,          // start, wait until the program ends, return 1
  WAIT_PID = 35,          // start, return the process id
  WAIT_EXIT_CODE = 36,    // start, wait, return the exit code
};

constexpr uint32_t EXIT_CODE_NONE = 99999;      // the stored exit code before a waited-for program ended
constexpr uint32_t IDLE_TIMEOUT_DEFAULT = 10000;

// The launcher's settings at the start of a run: the input-idle timeout and no creation flags.
void launcher_new_run(RunContext* ctx);

// The window state of a display value: 1 minimised, 2 normal, 3 maximised, -1 and below hidden. False for
// any other value.
bool display_state(int32_t display, plat::ShowState* show);
bool valid_wait_mode(int32_t wait);

// The account a program is started under (RunWithLogon).
struct Logon {
  std::u16string user, domain, password;
  uint32_t flags;
};

struct LaunchRequest {
  std::u16string program, parameters, directory;   // directory empty: the current one
  plat::ShowState show;
  int32_t wait;
  const Logon* logon = nullptr;                     // null: the script's own account
};

// Starts the program and waits as the mode says. Returns the result of the Run family: 1, the process id
// or the exit code; 0 with ctx->err set (1932 and the explanation) when nothing could be started.
int32_t Launch(RunContext* ctx, const LaunchRequest& request);

// Applies a verb ("" for the default) to a file as the system's shell does, with the registry store's
// associations where the system has no such shell, then waits as the mode says (other values than 34,
// 35 and 36 do not wait). On failure sets ctx->err to 1900 + the shell's failure number (1932 when the
// string table has no text for it) and returns 0.
int32_t ShellLaunch(RunContext* ctx, const std::u16string& verb, const LaunchRequest& request);

// The file name of a program as scripts give it: without its double quotes and directory.
std::u16string program_file_name(const std::u16string& program);

// The command line of a class association's command template for a document: "%1" becomes the document,
// "%2" to "%9" the first to eighth words of the parameters (double quotes group words), "%*" the
// parameters from the word after the last one used, "%%" stays as it is. A template without "%1" gets
// the document in double quotes and the parameters added.
std::u16string expand_command_template(const std::u16string& command, const std::u16string& document,
                                       const std::u16string& parameters);

}  // namespace tov
