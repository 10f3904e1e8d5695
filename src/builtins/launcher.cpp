#include "builtins/launcher.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/launch_registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "engine/pump.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/message_table.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr uint32_t WAIT_SLICE_MS = 50;    // longest wait between looks at messages and Ctrl+Break
constexpr uint32_t WAIT_PAUSE_MS = 20;    // pause after messages woke the wait
constexpr uint32_t SHELL_OK = 33;         // shell results above 32 are successes
constexpr uint32_t MSG_INVALID_SHORTCUT = 867;
constexpr uint32_t MSG_WINEXEC_ERROR = 868;

using plat::SYSERR_BAD_EXE_FORMAT;
using plat::SYSERR_FILE_NOT_FOUND;

// --- names and command lines ----------------------------------------------------------------------------

bool starts_with_quote(const std::u16string& s) { return !s.empty() && s[0] == u'"'; }

std::u16string quoted(const std::u16string& s) { return starts_with_quote(s) ? s : u"\"" + s + u"\""; }

std::u16string with_parameters(const std::u16string& line, const std::u16string& parameters) {
  return parameters.empty() ? line : line + u" " + parameters;
}

// The program's name without the double quotes it may be given in.
std::u16string unquoted(const std::u16string& s) {
  if (!starts_with_quote(s)) return s;
  const size_t close = s.find(u'"', 1);
  return s.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
}

bool is_separator(char16_t c) { return c < 0x80 && plat::is_path_separator(char(c)); }

std::u16string file_name_part(const std::u16string& path) {
  static const bool drive_letters = plat::path_has_directory("a:");   // "C:name" on Windows
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i)
    if (is_separator(path[i]) || (i == 1 && path[1] == u':' && drive_letters)) start = i + 1;
  return path.substr(start);
}

// ".ext" of a file name, "" when it has none.
std::u16string extension_of(const std::u16string& path) {
  const std::u16string name = file_name_part(path);
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

bool has_directory(RunContext* ctx, const std::u16string& path) {
  return plat::path_has_directory(ansi_of(ctx, path).c_str());
}

bool equal_ignoring_case(std::u16string a, std::u16string b) {
  plat::upper_wide(a.data(), a.size());
  plat::upper_wide(b.data(), b.size());
  return a == b;
}

// --- starting ---------------------------------------------------------------------------------------------

// The error code of each attempt, for the failure report; 0 for one that did not run.
struct Attempts {
  uint32_t app_path = 0, quoted = 0, unquoted = 0, association = 0, shortcut = 0;
  bool unquoted_ran = false, association_ran = false;
  std::u16string app_path_line, quoted_line, unquoted_line, association_line;
};

uint32_t start_line(RunContext* ctx, const LaunchRequest& r, const std::u16string& line, plat::Process* p) {
  if (r.logon)
    return plat::process_start_as_user(line, r.directory, r.show, ctx->nCreateFlags, r.logon->user, r.logon->domain,
                                       r.logon->password, r.logon->flags, p);
  return plat::process_start(line, r.directory, r.show, ctx->nCreateFlags, p);
}

// Puts a directory list in front of PATH for the duration of one launch.
class PathPrefix {
 public:
  void add(std::u16string directories) {
    // Registered lists separate their folders with ";" as on Windows; an empty entry would stand for the
    // current folder on POSIX.
    const char16_t separator = char16_t(plat::path_list_separator());
    std::replace(directories.begin(), directories.end(), u';', separator);
    while (!directories.empty() && directories.back() == separator) directories.pop_back();
    while (!directories.empty() && directories.front() == separator) directories.erase(0, 1);
    if (directories.empty()) return;
    existed_ = plat::env_get_w(u"PATH", &old_);
    const std::u16string updated = existed_ && !old_.empty() ? directories + separator + old_ : directories;
    if (existed_ && updated == old_) return;
    changed_ = plat::env_set_w(u"PATH", updated.c_str());
  }
  ~PathPrefix() {
    if (changed_) plat::env_set_w(u"PATH", existed_ ? old_.c_str() : nullptr);
  }

 private:
  std::u16string old_;
  bool existed_ = false, changed_ = false;
};

// 1. The program registered under App Paths.
bool start_registered(RunContext* ctx, const LaunchRequest& r, Attempts& a, plat::Process* p) {
  const std::u16string program = unquoted(r.program);
  std::u16string key = file_name_part(program);
  plat::upper_wide(key.data(), key.size());
  AppPathKey entry;
  if (key.empty() || (!read_app_path(key, &entry) && !(extension_of(key).empty() && read_app_path(key + u".EXE", &entry))))
    return false;
  const bool with_directory = has_directory(ctx, program);
  const std::u16string registered = plat::expand_environment(entry.program);
  const std::u16string path = with_directory ? r.program : registered;
  if (path.empty()) return false;
  a.app_path_line = with_parameters(quoted(path), r.parameters);
  PathPrefix prefix;
  if (!with_directory || plat::program_names_equal(unquoted(registered), program))
    prefix.add(plat::expand_environment(entry.path));
  a.app_path = start_line(ctx, r, a.app_path_line, p);
  return a.app_path == 0;
}

// The command line of a document's class association, "" when it has none.
std::u16string association_line(const LaunchRequest& r, const std::u16string& verb) {
  const std::u16string document = unquoted(r.program);
  const std::u16string extension = extension_of(document);
  if (extension.empty()) {
    const std::u16string program = plat::find_executable(document, r.directory);
    return program.empty() ? std::u16string() : with_parameters(quoted(program), r.parameters);
  }
  std::u16string command;
  if (!read_class_command(extension, verb, &command)) return std::u16string();
  // References to the environment first, so that a document name is taken as it is.
  return expand_command_template(plat::expand_environment(command), document, r.parameters);
}

// 5. A shortcut file of that name, started through the shell with its own arguments and directory.
bool start_shortcut(const LaunchRequest& r, Attempts& a, plat::Process* p) {
  const std::u16string link = plat::find_shortcut(unquoted(r.program));
  std::u16string target, arguments, directory;
  if (link.empty() || !plat::shortcut_read(link, &target, &arguments, &directory)) return false;
  uint32_t system_error = 0;
  const uint32_t result = plat::shell_execute(u"", target, arguments, directory, r.show, p, &system_error);
  if (result > 32) return true;
  a.shortcut = system_error ? system_error : result;
  return false;
}

bool is_shortcut_name(const std::u16string& program) { return equal_ignoring_case(extension_of(unquoted(program)), u".lnk"); }

// An attempt's code tells why the launch failed unless it only says that the program was not there or was
// no program, which later attempts were for.
bool telling(uint32_t code) { return code != 0 && code != SYSERR_FILE_NOT_FOUND && code != SYSERR_BAD_EXE_FORMAT; }

std::string loaded(RunContext* ctx, uint32_t id) {
  char text[512];
  load_string(ctx, id, text, sizeof text);
  return text;
}

std::string system_text(RunContext* ctx, uint32_t code) {
  const std::u16string text = plat::system_error_text(code);
  if (!text.empty()) return ansi_of(ctx, text);
  char number[40];
  std::snprintf(number, sizeof number, "System error %lu", static_cast<unsigned long>(code));
  return number;
}

void add_explanation(RunContext* ctx, const std::string& explanation) {
  const std::string heading = loaded(ctx, MSG_WINEXEC_ERROR);
  std::string note(heading.size() + explanation.size() + 8, '\0');
  const int n = std::snprintf(note.data(), note.size(), "%s\n\n    %s", heading.c_str(), explanation.c_str());
  note.resize(n > 0 ? size_t(n) : 0);
  AddErrorInfo(ctx, note.c_str());
}

// 1932 with the explanation of the most telling attempt.
void report_failure(RunContext* ctx, const LaunchRequest& r, const Attempts& a) {
  uint32_t code = 0;
  const std::u16string* line = &a.quoted_line;
  std::string explanation;
  if (a.association_ran) {
    code = a.association, line = &a.association_line;
  } else if (telling(a.quoted)) {
    code = a.quoted;
  } else if (a.unquoted_ran && telling(a.unquoted)) {
    code = a.unquoted, line = &a.unquoted_line;
  } else if (is_shortcut_name(r.program)) {
    if (a.shortcut) code = a.shortcut;
    else explanation = loaded(ctx, MSG_INVALID_SHORTCUT);
  } else if (a.app_path) {
    code = a.app_path, line = &a.app_path_line;
  } else {
    // Nothing ran that says more: the program was not there, or was no program.
    code = a.unquoted_ran ? a.unquoted : a.quoted;
    if (a.unquoted_ran) line = &a.unquoted_line;
  }
  if (explanation.empty()) {
    explanation = system_text(ctx, code);
    if (code == plat::SYSERR_ELEVATION_REQUIRED)
      explanation += "  " + ansi_of(ctx, plat::host_program_path()) + " does not have sufficient elevation to run " +
                     ansi_of(ctx, *line) + ".  Use ShellExecute?";
  }
  if (code) ReportApiError(ctx, code, "CreateProcess", false);
  ctx->err = ERR_RUN_FAILED;
  add_explanation(ctx, explanation);
}

// --- after the start ----------------------------------------------------------------------------------

// Gives a new program up to the run's input-idle timeout to be ready for input, pumping meanwhile.
void wait_until_ready(RunContext* ctx, plat::Process* p) {
  const uint32_t timeout = ctx->nIdleTimeout;
  const uint32_t start = plat::tick_count();
  for (;;) {
    const uint32_t elapsed = plat::tick_count() - start;
    if (elapsed >= timeout || plat::process_wait_idle(p, std::min(WAIT_SLICE_MS, timeout - elapsed))) return;
    PumpMessages(ctx);
    if (ctx->hdr.bCancel) return;
  }
}

// Waits for the program to end while messages are pumped; false when a stop request ended the wait.
bool wait_for_end(RunContext* ctx, plat::Process* p) {
  for (;;) {
    if (ctx->hdr.bCancel) return false;
    const plat::WaitResult w = plat::process_wait(p, WAIT_SLICE_MS);
    if (w == plat::WaitResult::Ended) return true;
    PumpMessages(ctx);
    if (ctx->hdr.bCancel) return false;
    if (w == plat::WaitResult::Woken) plat::sleep_ms(WAIT_PAUSE_MS);
  }
}

int32_t after_start(RunContext* ctx, plat::Process* p, int32_t wait) {
  const bool have_process = p->pid != 0;
  if (have_process && ctx->nIdleTimeout) wait_until_ready(ctx, p);
  int32_t result = 1;
  if (wait == WAIT_PID) {
    result = int32_t(p->pid);
  } else if (wait == WAIT_END || wait == WAIT_EXIT_CODE) {
    // Without a process to wait for (a document the shell handed to a running program) the exit code
    // stays unknown.
    if (have_process && !wait_for_end(ctx, p)) {
      result = 0;
    } else {
      if (have_process) ctx->nLastExitCode = p->exit_code;
      if (wait == WAIT_EXIT_CODE) result = int32_t(ctx->nLastExitCode);
    }
  }
  plat::process_close(p);
  return result;
}

// --- the shell where the system has none ----------------------------------------------------------------

uint32_t shell_result_of(uint32_t system_error) {
  switch (system_error) {
    case SYSERR_FILE_NOT_FOUND: return 2;
    case plat::SYSERR_PATH_NOT_FOUND: case plat::SYSERR_DIRECTORY: return 3;
    case plat::SYSERR_ACCESS_DENIED: return 5;
    case 8: return 8;
    case SYSERR_BAD_EXE_FORMAT: return 11;
    case plat::SYSERR_NO_ASSOCIATION: return 31;
    default: return 32;
  }
}

// Programs run as they are; documents through the verb's command of their class association.
uint32_t stand_in_shell(RunContext* ctx, const std::u16string& verb, const LaunchRequest& r, plat::Process* p,
                        uint32_t* system_error) {
  const std::u16string action = verb.empty() ? u"open" : verb;
  if (equal_ignoring_case(action, u"open")) {
    *system_error = start_line(ctx, r, with_parameters(quoted(r.program), r.parameters), p);
    if (*system_error == 0) return SHELL_OK;
    if (*system_error != SYSERR_BAD_EXE_FORMAT) return shell_result_of(*system_error);
  } else if (plat::file_check(ansi_of(ctx, unquoted(r.program)).c_str(), false) == plat::FileCheck::NotFound) {
    *system_error = SYSERR_FILE_NOT_FOUND;
    return 2;
  }
  const std::u16string line = association_line(r, action);
  *system_error = line.empty() ? plat::SYSERR_NO_ASSOCIATION : start_line(ctx, r, line, p);
  return *system_error == 0 ? SHELL_OK : shell_result_of(*system_error);
}

}  // namespace

void launcher_new_run(RunContext* ctx) {
  ctx->nIdleTimeout = IDLE_TIMEOUT_DEFAULT;
  ctx->nCreateFlags = 0;
}

std::u16string program_file_name(const std::u16string& program) { return file_name_part(unquoted(program)); }

bool display_state(int32_t display, plat::ShowState* show) {
  switch (display) {
    case 1: *show = plat::ShowState::Minimized; return true;
    case 2: *show = plat::ShowState::Normal; return true;
    case 3: *show = plat::ShowState::Maximized; return true;
    default:
      *show = plat::ShowState::Hidden;
      return display <= -1;
  }
}

bool valid_wait_mode(int32_t wait) { return wait >= WAIT_NONE && wait <= WAIT_EXIT_CODE; }

int32_t Launch(RunContext* ctx, const LaunchRequest& r) {
  ctx->nLastExitCode = EXIT_CODE_NONE;
  Attempts a;
  plat::Process p;
  bool started = start_registered(ctx, r, a, &p);
  uint32_t last = 0;
  if (!started) {
    a.quoted_line = with_parameters(quoted(r.program), r.parameters);
    last = a.quoted = start_line(ctx, r, a.quoted_line, &p);
    started = a.quoted == 0;
  }
  // 3. Where no shell runs shortcut files, a program name that holds its own arguments.
  if (!started && !plat::system_shell() && a.quoted == SYSERR_FILE_NOT_FOUND && !starts_with_quote(r.program)) {
    a.unquoted_ran = true;
    a.unquoted_line = with_parameters(r.program, r.parameters);
    last = a.unquoted = start_line(ctx, r, a.unquoted_line, &p);
    started = a.unquoted == 0;
  }
  // 4. A document: the program of its class association.
  if (!started && last == SYSERR_BAD_EXE_FORMAT) {
    a.association_ran = true;
    a.association_line = association_line(r, u"open");
    if (a.association_line.empty()) {
      a.association = plat::SYSERR_NO_ASSOCIATION;
    } else {
      last = a.association = start_line(ctx, r, a.association_line, &p);
      started = a.association == 0;
    }
  }
  // 5. A shortcut file, which only the shell can start (and only under the script's own account).
  if (!started && plat::system_shell() && !r.logon && (last == SYSERR_FILE_NOT_FOUND || last == SYSERR_BAD_EXE_FORMAT))
    started = start_shortcut(r, a, &p);
  if (!started) {
    report_failure(ctx, r, a);
    return 0;
  }
  return after_start(ctx, &p, r.wait);
}

int32_t ShellLaunch(RunContext* ctx, const std::u16string& verb, const LaunchRequest& r) {
  ctx->nLastExitCode = EXIT_CODE_NONE;
  plat::Process p;
  uint32_t system_error = 0;
  const uint32_t result = plat::system_shell()
                              ? plat::shell_execute(verb, r.program, r.parameters, r.directory, r.show, &p, &system_error)
                              : stand_in_shell(ctx, verb, r, &p, &system_error);
  if (result <= 32) {
    ctx->err = message_text(ERR_SHELL_BASE + result) ? uint16_t(ERR_SHELL_BASE + result) : uint16_t(ERR_RUN_FAILED);
    if (system_error) add_explanation(ctx, system_text(ctx, system_error));
    return 0;
  }
  return after_start(ctx, &p, r.wait);
}

std::u16string expand_command_template(const std::u16string& command, const std::u16string& document,
                                       const std::u16string& parameters) {
  if (command.find(u"%1") == std::u16string::npos)
    return with_parameters(command + u" \"" + document + u"\"", parameters);
  // Where each word of the parameters starts and ends.
  std::vector<std::pair<size_t, size_t>> words;
  for (size_t i = 0; i < parameters.size();) {
    if (parameters[i] == u' ' || parameters[i] == u'\t') {
      ++i;
      continue;
    }
    const size_t start = i;
    bool in_quotes = false;
    while (i < parameters.size() && (in_quotes || (parameters[i] != u' ' && parameters[i] != u'\t'))) {
      if (parameters[i] == u'"') in_quotes = !in_quotes;
      ++i;
    }
    words.emplace_back(start, i);
  }
  std::u16string line;
  size_t used = 0;   // words taken by %2 .. %9 so far
  for (size_t i = 0; i < command.size(); ++i) {
    const char16_t next = i + 1 < command.size() ? command[i + 1] : 0;
    if (command[i] != u'%' || !next) {
      line += command[i];
    } else if (next == u'1') {
      line += document;
      ++i;
    } else if (next >= u'2' && next <= u'9') {
      const size_t word = size_t(next - u'2');
      if (word < words.size()) line.append(parameters, words[word].first, words[word].second - words[word].first);
      used = std::max(used, word + 1);
      ++i;
    } else if (next == u'*') {
      if (used < words.size()) line.append(parameters, words[used].first, std::u16string::npos);
      ++i;
    } else if (next == u'%') {
      line += u"%%";
      ++i;
    } else {
      line += command[i];
    }
  }
  return line;
}

}  // namespace tov
