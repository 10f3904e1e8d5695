// Processes on POSIX: running a program with redirected standard streams, starting programs for scripts
// through posix_spawn, waiting for them, and the running programs as /proc lists them.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/posix/common.h"
#include "platform/process.h"
#include "platform/system.h"

extern char** environ;

namespace plat {
namespace {

// Descriptors for the child are kept above 2, so that placing one as a standard stream never overwrites
// another that is still to be placed.
int open_for_child(const char* path, int flags) {
  const int fd = open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

void close_all(const int* fds, int count) {
  for (int i = 0; i < count; ++i)
    if (fds[i] >= 0) close(fds[i]);
}

// Waits for the child; after timeout_ms (UINT32_MAX: no limit) its process group is killed.
int wait_child(pid_t pid, uint32_t timeout_ms) {
  const uint32_t start = tick_count();
  uint32_t pause = 1;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (done < 0 && errno != EINTR) return -1;
    if (timeout_ms != UINT32_MAX && tick_count() - start >= timeout_ms) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    sleep_ms(pause);
    if (pause < 20) pause *= 2;
  }
}

}  // namespace

int run_captured(const char* const* argv, const char* cwd, const char* stdin_path, const char* stdout_path,
                 const char* stderr_path, uint32_t timeout_ms) {
  if (!argv || !argv[0]) return -1;
  int fds[3] = {-1, -1, -1};
  constexpr int OUTPUT = O_WRONLY | O_CREAT | O_TRUNC;
  fds[0] = open_for_child(stdin_path ? stdin_path : "/dev/null", O_RDONLY);
  fds[1] = open_for_child(stdout_path ? stdout_path : "/dev/null", OUTPUT);
  // The same file for both streams is opened once, so the two do not overwrite each other.
  fds[2] = stderr_path && stdout_path && std::strcmp(stderr_path, stdout_path) == 0
               ? fcntl(fds[1], F_DUPFD_CLOEXEC, 3)
               : open_for_child(stderr_path ? stderr_path : "/dev/null", OUTPUT);
  // The child reports a failed chdir or exec through this pipe; a successful exec closes it.
  int report[2] = {-1, -1};
  if (fds[0] < 0 || fds[1] < 0 || fds[2] < 0 || pipe2(report, O_CLOEXEC) != 0) {
    close_all(fds, 3);
    return -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    if (!cwd || chdir(cwd) == 0) execvp(argv[0], const_cast<char* const*>(argv));
    const int err = errno;
    ssize_t ignored = write(report[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close_all(fds, 3);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return -1;
  }
  setpgid(pid, pid);
  int child_error = 0;
  ssize_t got;
  while ((got = read(report[0], &child_error, sizeof child_error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  const int status = wait_child(pid, timeout_ms);
  return got > 0 ? -1 : status;
}

// --- Programs started for scripts -----------------------------------------------------------------------

namespace {

using posix::utf16_of;
using posix::utf8_of;
using posix::windows_error_of;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits a command line into arguments by the rules Windows programs use: blanks separate arguments,
// double quotes group them ("" inside quotes is one quote), and backslashes are literal except before a
// quote, where each pair gives one backslash and an odd one makes the quote literal. The program name, the
// first word, ends at its closing quote or the first blank; backslashes in it are always literal.
std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  std::string program;
  if (i < line.size() && line[i] == '"') {
    const size_t close = line.find('"', i + 1);
    program = line.substr(i + 1, (close == std::string::npos ? line.size() : close) - i - 1);
    i = close == std::string::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !is_blank(line[i])) program += line[i++];
  }
  args.push_back(program);
  for (;;) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !is_blank(line[i]))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        arg.append(backslashes / 2, '\\');
        if (backslashes % 2) {
          arg += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(backslashes, '\\');
        if (i < line.size() && (quoted || !is_blank(line[i]))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

bool stat_of(const std::string& path, struct stat* st) { return !path.empty() && ::stat(path.c_str(), st) == 0; }

bool is_program_file(const std::string& path) {
  struct stat st;
  return stat_of(path, &st) && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string current_dir() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

// The file a program name stands for. A name with a directory is taken against the current directory
// (the new program's own directory does not count); a bare name is looked for as a program along PATH,
// then in the current directory, and failing that, as any file in the same places, so that a document
// found there is reported as "not a program" rather than as missing.
std::string locate_program(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return name[0] == '/' ? name : current_dir() + "/" + name;
  // Directories are made absolute: the new program may start in another one.
  const std::string here = current_dir();
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("PATH")) {
    const std::string list = path;
    size_t start = 0;
    for (;;) {
      const size_t end = list.find(':', start);
      const std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
      dirs.push_back(dir.empty() ? here : dir[0] == '/' ? dir : here + "/" + dir);
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  dirs.push_back(here);
  for (const std::string& dir : dirs)
    if (is_program_file(dir + "/" + name)) return dir + "/" + name;
  struct stat st;
  for (const std::string& dir : dirs)
    if (stat_of(dir + "/" + name, &st)) return dir + "/" + name;
  return std::string();
}

// Why a located file cannot be run, as Windows would say it; 0 when it looks like a program.
uint32_t program_file_error(const std::string& path) {
  struct stat st;
  if (!stat_of(path, &st)) return windows_error_of(errno);
  if (S_ISDIR(st.st_mode)) return SYSERR_ACCESS_DENIED;
  if (!S_ISREG(st.st_mode) || access(path.c_str(), X_OK) != 0) return SYSERR_BAD_EXE_FORMAT;
  return 0;
}

// Children started for scripts that nobody waits for; they are collected once they end, so that none
// lingers as a zombie or is taken for a running program.
std::mutex g_orphans_mutex;
std::vector<pid_t> g_orphans;

void collect_orphans() {
  std::lock_guard<std::mutex> lock(g_orphans_mutex);
  g_orphans.erase(std::remove_if(g_orphans.begin(), g_orphans.end(),
                                 [](pid_t pid) {
                                   int status;
                                   const pid_t r = waitpid(pid, &status, WNOHANG);
                                   return r == pid || (r < 0 && errno == ECHILD);
                                 }),
                  g_orphans.end());
}

uint32_t exit_code_of(int status) {
  if (WIFEXITED(status)) return uint32_t(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return uint32_t(128 + WTERMSIG(status));
  return 0;
}

// Sleeps up to ms or until a signal arrives (SIGINT is the stop request).
void nap(uint32_t ms) {
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace

uint32_t process_start(const std::u16string& command_line, const std::u16string& directory, ShowState,
                       uint32_t creation_flags, Process* out) {
  *out = Process{};
  collect_orphans();
  const std::string dir = utf8_of(directory);
  struct stat st;
  if (!dir.empty() && !(stat_of(dir, &st) && S_ISDIR(st.st_mode))) return SYSERR_DIRECTORY;
  std::vector<std::string> args = split_command_line(utf8_of(command_line));
  const std::string path = locate_program(args[0]);
  if (path.empty()) return SYSERR_FILE_NOT_FOUND;
  if (const uint32_t error = program_file_error(path)) return error;

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // Only the standard streams are handed on, as Windows hands on no handles; the signals that the Engine
  // catches or a host ignores start at their defaults.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  sigset_t defaults, none;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2, SIGTSTP, SIGTTIN,
                  SIGTTOU})
    sigaddset(&defaults, sig);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (creation_flags & CREATE_NEW_GROUP) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attr, 0);
  }
  posix_spawnattr_setflags(&attr, flags);
  pid_t pid = 0;
  const int err = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (err != 0) return windows_error_of(err);
  out->pid = uint32_t(pid);
  return 0;
}

bool process_logon_supported() { return false; }

uint32_t process_start_as_user(const std::u16string&, const std::u16string&, ShowState, uint32_t,
                               const std::u16string&, const std::u16string&, const std::u16string&, uint32_t,
                               Process* out) {
  *out = Process{};
  return SYSERR_NOT_SUPPORTED;
}

WaitResult process_wait(Process* p, uint32_t ms) {
  if (p->ended || p->pid == 0) return WaitResult::Ended;
  const pid_t pid = pid_t(p->pid);
  // A descriptor of the process wakes the wait when it ends; without one the wait goes in short naps.
  const int fd = int(syscall(SYS_pidfd_open, pid, 0));
  constexpr uint32_t NAP_MS = 10;
  const uint32_t start = tick_count();
  WaitResult result = WaitResult::TimedOut;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) {
      p->ended = true;
      p->exit_code = done == pid ? exit_code_of(status) : 0;
      result = WaitResult::Ended;
      break;
    }
    if (os::stop_pending()) {
      result = WaitResult::Woken;
      break;
    }
    const uint32_t elapsed = tick_count() - start;
    if (elapsed >= ms) break;
    const uint32_t slice = ms - elapsed;
    if (fd >= 0) {
      pollfd pfd{fd, POLLIN, 0};
      poll(&pfd, 1, int(std::min<uint32_t>(slice, 1000)));
    } else {
      nap(std::min(slice, NAP_MS));
    }
  }
  if (fd >= 0) close(fd);
  return result;
}

bool process_wait_idle(Process*, uint32_t) { return true; }

void process_close(Process* p) {
  if (p->pid && !p->ended) {
    std::lock_guard<std::mutex> lock(g_orphans_mutex);
    g_orphans.push_back(pid_t(p->pid));
  }
  *p = Process{};
  collect_orphans();
}

// --- The system shell: Linux has none that follows associations; the Engine stands in for it. ----------

bool system_shell() { return false; }

uint32_t shell_execute(const std::u16string&, const std::u16string&, const std::u16string&, const std::u16string&,
                       ShowState, Process* out, uint32_t* system_error) {
  *out = Process{};
  if (system_error) *system_error = SYSERR_NOT_SUPPORTED;
  return 31;
}

bool shortcut_read(const std::u16string&, std::u16string*, std::u16string*, std::u16string*) { return false; }
std::u16string find_shortcut(const std::u16string&) { return std::u16string(); }
std::u16string find_executable(const std::u16string&, const std::u16string&) { return std::u16string(); }

// --- Running programs -----------------------------------------------------------------------------------

namespace {

std::string read_small_file(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0 && text.size() < 65536) text.append(buf, size_t(n));
  close(fd);
  return text;
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The state letter of /proc/PID/stat ('Z' for a zombie), 0 when the process is gone.
char process_state(const std::string& pid) {
  const std::string stat = read_small_file("/proc/" + pid + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
}

// The program's file name: that of its executable, else its first argument's, else the kernel's short name.
std::string program_name(const std::string& pid) {
  char exe[PATH_MAX];
  const ssize_t n = readlink(("/proc/" + pid + "/exe").c_str(), exe, sizeof exe - 1);
  if (n > 0) {
    std::string path(exe, size_t(n));
    constexpr const char DELETED[] = " (deleted)";
    if (path.size() > sizeof DELETED - 1 && path.compare(path.size() - (sizeof DELETED - 1), std::string::npos, DELETED) == 0)
      path.resize(path.size() - (sizeof DELETED - 1));
    return base_name(path);
  }
  const std::string cmdline = read_small_file("/proc/" + pid + "/cmdline");
  if (!cmdline.empty() && cmdline[0]) return base_name(cmdline.c_str());
  std::string comm = read_small_file("/proc/" + pid + "/comm");
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();
  return comm;
}

}  // namespace

std::vector<RunningProgram> running_programs() {
  collect_orphans();
  std::vector<RunningProgram> list;
  DIR* proc = opendir("/proc");
  if (!proc) return list;
  while (dirent* entry = readdir(proc)) {
    const char* name = entry->d_name;
    if (!*name || std::strspn(name, "0123456789") != std::strlen(name)) continue;
    const char state = process_state(name);
    if (state == 0 || state == 'Z' || state == 'X') continue;
    list.push_back({uint32_t(std::strtoul(name, nullptr, 10)), utf16_of(program_name(name))});
  }
  closedir(proc);
  return list;
}

bool program_names_equal(const std::u16string& a, const std::u16string& b) { return a == b; }

bool process_running(uint32_t pid) {
  collect_orphans();
  if (pid == 0 || pid > uint32_t(INT32_MAX)) return false;
  const char state = process_state(std::to_string(pid));
  return state != 0 && state != 'Z' && state != 'X';
}

uint32_t process_terminate(uint32_t pid) {
  if (pid == 0 || pid > uint32_t(INT32_MAX)) return SYSERR_FILE_NOT_FOUND;
  if (kill(pid_t(pid), SIGKILL) != 0) return windows_error_of(errno);
  // The process is gone once the call returns, as on Windows: the signal is delivered asynchronously.
  constexpr uint32_t GONE_WAIT_MS = 5000;
  const uint32_t start = tick_count();
  while (process_running(pid) && tick_count() - start < GONE_WAIT_MS) nap(1);
  return 0;
}

uint32_t current_process_id() { return uint32_t(getpid()); }

std::u16string host_program_path() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return n > 0 ? utf16_of(exe, size_t(n)) : std::u16string();
}

std::u16string system_error_text(uint32_t code) {
  // The texts of the Windows numbers that POSIX failures are reported as.
  switch (code) {
    case 0: return u"The operation completed successfully.";
    case SYSERR_FILE_NOT_FOUND: return u"No such file or directory.";
    case SYSERR_PATH_NOT_FOUND: return u"A directory of the path does not exist.";
    case 4: return u"Too many open files.";
    case SYSERR_ACCESS_DENIED: return u"Permission denied.";
    case 8: return u"Not enough memory.";
    case 31: return u"The operation failed.";
    case 32: return u"The file is being used by another process.";
    case SYSERR_NOT_SUPPORTED: return u"The request is not supported.";
    case SYSERR_BAD_EXE_FORMAT: return u"The file is not a program that can be run.";
    case 206: return u"The file name or the command line is too long.";
    case SYSERR_DIRECTORY: return u"The directory name is invalid.";
    case SYSERR_NO_ASSOCIATION: return u"No application is associated with the specified file for this operation.";
    default: return std::u16string();
  }
}

std::u16string expand_environment(const std::u16string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t close = text[i] == u'%' ? text.find(u'%', i + 1) : std::u16string::npos;
    if (close != std::u16string::npos && close > i + 1) {
      std::u16string value;
      if (env_get_w(text.substr(i + 1, close - i - 1).c_str(), &value)) {
        out += value;
        i = close + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace plat
