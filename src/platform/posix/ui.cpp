// The user interface on POSIX: no windows; SIGINT is the stop request; the console UI always.
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include "platform/hooks.h"
#include "platform/system.h"
#include "platform/ui.h"

extern char** environ;

namespace plat {
namespace {

volatile sig_atomic_t g_interrupted = 0;

void on_interrupt(int) { g_interrupted = 1; }

// The terminal's settings while echo is off or single keys are read, restored afterwards.
struct TerminalMode {
  termios saved{};
  bool changed = false;

  void set(tcflag_t clear_flags) {
    if (changed || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios mode = saved;
    mode.c_lflag &= ~clear_flags;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    changed = tcsetattr(STDIN_FILENO, TCSANOW, &mode) == 0;
  }
  void restore() {
    if (changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    changed = false;
  }
};
TerminalMode g_terminal;

// Waits at most ms for standard input to be readable; false on time-out or a signal.
bool stdin_readable(int ms) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

}  // namespace

bool pump_one_message() { return false; }

bool ctrl_break_pressed() {
  if (!g_interrupted) return false;
  g_interrupted = 0;
  return true;
}

void install_break_handler() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  struct sigaction action{};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;   // no restart: a blocking read returns so the stop is seen
  sigaction(SIGINT, &action, nullptr);
}

bool wait_for_input(uint32_t ms) {
  constexpr uint32_t SLICE_MS = 50;
  const uint32_t start = tick_count();
  for (;;) {
    if (g_interrupted) return true;
    const uint32_t elapsed = tick_count() - start;
    if (elapsed >= ms) return false;
    sleep_ms(std::min(SLICE_MS, ms - elapsed));
  }
}

bool block_input(bool, uint32_t* error) {
  if (error) *error = 0;
  return true;
}
WindowHandle focus_window() { return nullptr; }
WindowHandle window_parent(WindowHandle) { return nullptr; }
bool is_window(WindowHandle) { return false; }
bool window_enabled(WindowHandle) { return false; }
bool post_command(WindowHandle, uint32_t) { return false; }
size_t window_text(WindowHandle, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  return 0;
}
bool register_window_classes() { return true; }
int default_window_bottom() { return 0; }
bool has_cursor() { return false; }
CursorHandle wait_cursor() { return nullptr; }
CursorHandle arrow_cursor() { return nullptr; }
void set_cursor(CursorHandle) {}
void message_beep(int) {
  // A terminal bell stands for the system beep.
  if (isatty(STDERR_FILENO)) (void)!::write(STDERR_FILENO, "\a", 1);
}
void play_system_sound(const char*) {}
bool open_url(const char* url) {
  const char* argv[] = {"xdg-open", url, nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void set_console_ui(bool) {}
bool console_ui() { return true; }

int message_box(WindowHandle, const char* text, const char* caption, uint32_t flags) {
  return console_message_box(text, caption, flags);
}

namespace os {

bool stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }

ReadResult console_read_byte(unsigned char* byte) {
  constexpr int SLICE_MS = 50;
  for (;;) {
    if (g_interrupted) return ReadResult::Stopped;
    if (!stdin_readable(SLICE_MS)) continue;
    const ssize_t n = read(STDIN_FILENO, byte, 1);
    if (n == 1) return ReadResult::Byte;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return ReadResult::End;
  }
}

void console_echo(bool on) {
  if (on) g_terminal.restore();
  else g_terminal.set(ECHO);
}

void console_key_mode(bool on) {
  if (on) g_terminal.set(ECHO | ICANON);
  else g_terminal.restore();
}

bool console_key_slice(uint32_t ms) {
  if (!stdin_readable(static_cast<int>(ms))) return false;
  // One key may arrive as several bytes (an escape sequence); they all belong to it.
  char key[32];
  const ssize_t n = read(STDIN_FILENO, key, sizeof key);
  if (n > 0) return true;
  sleep_ms(ms);   // end of input: keep the wait from spinning
  return false;
}

bool stop_pending() { return g_interrupted != 0; }
void consume_stop() { g_interrupted = 0; }

void console_write_raw(const char* text, size_t n) {
  while (n) {
    const ssize_t written = write(STDOUT_FILENO, text, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text += written;
    n -= static_cast<size_t>(written);
  }
}

}  // namespace os
}  // namespace plat

namespace plat {
int show_error_dialog(WindowHandle, const ErrorDialogData& data) { return console_error_dialog(data); }
}  // namespace plat

namespace plat {
int message_box_w(WindowHandle, const char16_t* text, const char16_t* caption, uint32_t flags, const char16_t*,
                  const char16_t*) {
  return console_message_box_w(text, caption, flags);
}
bool display_text(WindowHandle, const char16_t* title, const char16_t* text, uint32_t ms) {
  return console_display_text(title, text, ms);
}
bool ask_line(WindowHandle, const char16_t* title, const char16_t* prompt, const char16_t* def, bool password,
              const char16_t*, const char16_t*, std::u16string* out) {
  return console_ask_line(title, prompt, def, password, out);
}
int confirm_replace(WindowHandle, const ReplaceQuestion& question) { return console_confirm_replace(question); }
int step_dialog(WindowHandle, const StepView& view, StepPlacement*) { return console_step_dialog(view); }
}  // namespace plat
