// Programs: the Run family (Run, RunHide, RunIcon, RunZoom and their Wait forms, RunShell, RunEnviron,
// RunWithLogon), Print and ShellExecute through the shell, RunExit, and the running programs (AppExist,
// AppWaitClose, TerminateApp); the IntControl requests of the launcher.
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/launcher.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/process.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr int32_t APP_BY_PID = 1;          // AppExist, AppWaitClose: the name is a process id
constexpr int32_t APP_RETURN_PID = 2;      // AppExist: the result is the process id found
constexpr uint32_t APP_LOOK_AGAIN_MS = 100;

// --- launching ------------------------------------------------------------------------------------------

bool take_display(RunContext* ctx, int32_t display, LaunchRequest* r) {
  if (display_state(display, &r->show)) return true;
  ctx->err = ERR_RUN_DISPLAY;
  return false;
}

bool take_wait(RunContext* ctx, int32_t wait, LaunchRequest* r) {
  if (!valid_wait_mode(wait)) {
    ctx->err = ERR_RUN_WAIT;
    return false;
  }
  r->wait = wait;
  return true;
}

void launch(RunContext* ctx, Value* result, const LaunchRequest& r) {
  const int32_t value = Launch(ctx, r);
  if (!ctx->err) set_integer(ctx, result->c, value);
}

// Run, RunHide, RunIcon, RunZoom and their Wait forms: program and parameters, a fixed window and wait.
template <int32_t Display, int32_t Wait>
void bi_run_fixed(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  LaunchRequest r;
  r.program = arg_wide(ctx, a, 1);
  r.parameters = arg_wide(ctx, a, 2);
  display_state(Display, &r.show);
  r.wait = Wait;
  launch(ctx, result, r);
}

// RunShell (program, parameters, directory, display, wait).
void bi_runshell(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  LaunchRequest r;
  if (!take_display(ctx, arg_int(a, 4), &r) || !take_wait(ctx, arg_int(a, 5), &r)) return;
  r.program = arg_wide(ctx, a, 1);
  r.parameters = arg_wide(ctx, a, 2);
  r.directory = arg_wide(ctx, a, 3);
  launch(ctx, result, r);
}

// RunEnviron (program, parameters, display, wait): the program gets the environment EnvironSet made.
void bi_runenviron(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  LaunchRequest r;
  if (!take_display(ctx, arg_int(a, 3), &r) || !take_wait(ctx, arg_int(a, 4), &r)) return;
  r.program = arg_wide(ctx, a, 1);
  r.parameters = arg_wide(ctx, a, 2);
  launch(ctx, result, r);
}

// RunWithLogon (program, parameters, directory, display, wait, user, domain, password, logon flags).
void bi_runwithlogon(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (!plat::process_logon_supported()) {
    ctx->err = ERR_RUN_LOGON;
    return;
  }
  LaunchRequest r;
  if (!take_display(ctx, arg_int(a, 4), &r) || !take_wait(ctx, arg_int(a, 5), &r)) return;
  const int32_t flags = arg_int(a, 9);
  if (flags < 0 || flags > 2) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  const Logon logon{arg_wide(ctx, a, 6), arg_wide(ctx, a, 7), arg_wide(ctx, a, 8), uint32_t(flags)};
  r.program = arg_wide(ctx, a, 1);
  r.parameters = arg_wide(ctx, a, 2);
  r.directory = arg_wide(ctx, a, 3);
  r.logon = &logon;
  launch(ctx, result, r);
}

void shell_launch(RunContext* ctx, Value* result, const std::u16string& verb, const LaunchRequest& r) {
  const int32_t value = ShellLaunch(ctx, verb, r);
  if (!ctx->err) set_integer(ctx, result->c, value);
}

// Print (document, directory, display, wait): the shell's "print" verb. The wait is not checked; values
// other than 34, 35 and 36 do not wait.
void bi_print(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  LaunchRequest r;
  if (!take_display(ctx, arg_int(a, 3), &r)) return;
  r.program = arg_wide(ctx, a, 1);
  r.directory = arg_wide(ctx, a, 2);
  r.wait = arg_int(a, 4);
  shell_launch(ctx, result, u"print", r);
}

// ShellExecute (file, parameters, directory, display, verb): any verb of the shell, "" for its default.
void bi_shellexecute(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  LaunchRequest r;
  if (!take_display(ctx, arg_int(a, 4), &r)) return;
  r.program = arg_wide(ctx, a, 1);
  r.parameters = arg_wide(ctx, a, 2);
  r.directory = arg_wide(ctx, a, 3);
  r.wait = WAIT_NONE;
  shell_launch(ctx, result, arg_wide(ctx, a, 5), r);
}

void bi_runexit(RunContext* ctx, Value*, ArgBlock&, int, bool) { ctx->err = ERR_RUNEXIT; }

// --- running programs -----------------------------------------------------------------------------------

// A process id written as a whole decimal number; 0 when the text is none.
uint32_t pid_of(RunContext* ctx, const std::u16string& text) {
  int32_t pid = 0;
  return parse_integer_text(ansi_of(ctx, text).c_str(), &pid) && pid > 0 ? uint32_t(pid) : 0;
}

// The processes of a program given by its file name (a name without extension also matches the name
// with ".exe"), or the one process whose id the text is when by_pid.
std::vector<uint32_t> find_programs(RunContext* ctx, const std::u16string& name, bool by_pid) {
  std::vector<uint32_t> found;
  if (by_pid) {
    const uint32_t pid = pid_of(ctx, name);
    if (pid && plat::process_running(pid)) found.push_back(pid);
    return found;
  }
  const std::u16string wanted = program_file_name(name);
  if (wanted.empty()) return found;
  const bool bare = wanted.find(u'.') == std::u16string::npos;
  for (const plat::RunningProgram& p : plat::running_programs())
    if (plat::program_names_equal(p.name, wanted) || (bare && plat::program_names_equal(p.name, wanted + u".exe")))
      found.push_back(p.pid);
  return found;
}

// Looks for the program, and again up to `retries` times a moment apart while it is not found.
std::vector<uint32_t> find_with_retries(RunContext* ctx, const std::u16string& name, bool by_pid, int32_t retries) {
  std::vector<uint32_t> found = find_programs(ctx, name, by_pid);
  for (int32_t i = 0; found.empty() && i < retries && !ctx->hdr.bCancel; ++i) {
    Wait(ctx, APP_LOOK_AGAIN_MS);
    found = find_programs(ctx, name, by_pid);
  }
  return found;
}

bool take_app_flags(RunContext* ctx, ArgBlock& a, int argc, int32_t allowed, int32_t* flags, int32_t* retries) {
  *flags = argc >= 2 ? arg_int(a, 2) : 0;
  *retries = argc >= 3 ? arg_int(a, 3) : 0;
  if (*flags & ~allowed) {
    ctx->err = ERR_INVALID_FLAGS;
    return false;
  }
  return true;
}

// AppExist (program [, flags [, retries]]): 1 (or the process id) when the program runs, else 0.
void bi_appexist(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  int32_t flags, retries;
  if (!take_app_flags(ctx, a, argc, APP_BY_PID | APP_RETURN_PID, &flags, &retries)) return;
  const std::vector<uint32_t> found = find_with_retries(ctx, arg_wide(ctx, a, 1), flags & APP_BY_PID, retries);
  if (found.empty()) return;
  set_integer(ctx, result->c, flags & APP_RETURN_PID ? int32_t(found.front()) : 1);
}

// AppWaitClose (program [, flags [, retries]]): waits until the program's processes have ended; 1 after
// they did, 0 when none was running.
void bi_appwaitclose(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  int32_t flags, retries;
  if (!take_app_flags(ctx, a, argc, APP_BY_PID, &flags, &retries)) return;
  std::vector<uint32_t> running = find_with_retries(ctx, arg_wide(ctx, a, 1), flags & APP_BY_PID, retries);
  if (running.empty()) return;
  const uint32_t self = plat::current_process_id();
  for (;;) {
    std::erase_if(running, [self](uint32_t pid) { return pid == self || !plat::process_running(pid); });
    if (running.empty()) break;
    Wait(ctx, APP_LOOK_AGAIN_MS);
    if (ctx->hdr.bCancel) return;
  }
  set_integer(ctx, result->c, 1);
}

// TerminateApp (program): ends at once every process of the program (a whole number: the process with
// that id), never the Engine's own. 1 when one was ended, 0 when none was running.
void bi_terminateapp(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string name = arg_wide(ctx, a, 1);
  const bool by_pid = pid_of(ctx, name) != 0;
  const uint32_t self = plat::current_process_id();
  bool ended = false;
  for (uint32_t pid : find_programs(ctx, name, by_pid)) {
    if (pid == self) continue;
    if (const uint32_t code = plat::process_terminate(pid)) {
      ReportApiError(ctx, code, "TerminateProcess", true);
      ctx->err = ERR_FUNCTION_FAILED;
      return;
    }
    ended = true;
  }
  set_integer(ctx, result->c, ended ? 1 : 0);
}

// --- IntControl -----------------------------------------------------------------------------------------

// 64: the exit code of the last program a Run waited for (99999 before one ended).
void ic_exit_code(RunContext* ctx, Value* result, const char* const[4]) {
  intcontrol_result(ctx, result, int32_t(ctx->nLastExitCode));
}

// 88: milliseconds to wait for a started program to be ready for input (0: no wait); a negative p1
// leaves the setting as it is.
void ic_idle_timeout(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->nIdleTimeout);
  if (const int32_t ms = intcontrol_number(p[0]); ms >= 0) ctx->nIdleTimeout = uint32_t(ms);
  intcontrol_result(ctx, result, previous);
}

// 89: the process creation flags of the Run family; a negative p1 leaves them as they are.
void ic_creation_flags(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->nCreateFlags);
  if (const int32_t flags = intcontrol_number(p[0]); flags >= 0) ctx->nCreateFlags = uint32_t(flags);
  intcontrol_result(ctx, result, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_RUN, bi_run_fixed<2, WAIT_NONE>},
    {KW_RUNWAIT, bi_run_fixed<2, WAIT_END>},
    {KW_RUNHIDE, bi_run_fixed<-1, WAIT_NONE>},
    {KW_RUNHIDEWAIT, bi_run_fixed<-1, WAIT_END>},
    {KW_RUNICON, bi_run_fixed<1, WAIT_NONE>},
    {KW_RUNICONWAIT, bi_run_fixed<1, WAIT_END>},
    {KW_RUNZOOM, bi_run_fixed<3, WAIT_NONE>},
    {KW_RUNZOOMWAIT, bi_run_fixed<3, WAIT_END>},
    {KW_RUNSHELL, bi_runshell},
    {KW_RUNENVIRON, bi_runenviron},
    {KW_RUNWITHLOGON, bi_runwithlogon},
    {KW_RUNEXIT, bi_runexit},
    {KW_PRINT, bi_print},
    {KW_SHELLEXECUTE, bi_shellexecute},
    {KW_APPEXIST, bi_appexist},
    {KW_APPWAITCLOSE, bi_appwaitclose},
    {KW_TERMINATEAPP, bi_terminateapp},
};

const IntControlEntry kRequests[] = {
    {64, ic_exit_code},
    {88, ic_idle_timeout},
    {89, ic_creation_flags},
};

}  // namespace

extern const BuiltinFamily kProgramBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kProgramIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
