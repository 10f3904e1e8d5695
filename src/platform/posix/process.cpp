// Running a program with redirected standard streams on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "platform/process.h"
#include "platform/system.h"

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

}  // namespace plat
