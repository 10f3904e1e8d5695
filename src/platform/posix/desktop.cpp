// The desktop on POSIX: no windows, and a simulated keyboard and mouse that record what is injected.
#include <unistd.h>
#include <array>
#include <mutex>
#include "platform/desktop.h"
#include "platform/posix/input_record.h"
#include "platform/system.h"
#include "platform/text.h"

namespace plat {
namespace {

constexpr int VK_CAPITAL_KEY = 20, VK_NUMLOCK_KEY = 144, VK_SCROLL_KEY = 145;
constexpr int32_t SHIFTED = 0x100, CONTROLLED = 0x200;

struct SimulatedInput {
  std::mutex lock;
  std::vector<InputEvent> events;
  std::array<bool, 256> down{}, toggled{};
  bool buttons[3] = {};
  int32_t x = 0, y = 0;
};
SimulatedInput& input() {
  static SimulatedInput s;
  return s;
}

// The United States layout: what typing each printable ASCII character takes.
int32_t us_layout_key(unsigned char c) {
  if (c >= 'a' && c <= 'z') return 'A' + (c - 'a');
  if (c >= 'A' && c <= 'Z') return SHIFTED | c;
  if (c >= '0' && c <= '9') return c;
  static const char kShiftedDigits[] = ")!@#$%^&*(";
  for (int d = 0; d < 10; ++d)
    if (c == static_cast<unsigned char>(kShiftedDigits[d])) return SHIFTED | ('0' + d);
  static const struct {
    char plain, shifted;
    int32_t key;
  } kPunctuation[] = {{';', ':', 0xBA}, {'=', '+', 0xBB}, {',', '<', 0xBC}, {'-', '_', 0xBD},
                      {'.', '>', 0xBE}, {'/', '?', 0xBF}, {'`', '~', 0xC0}, {'[', '{', 0xDB},
                      {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE}};
  for (const auto& p : kPunctuation) {
    if (c == static_cast<unsigned char>(p.plain)) return p.key;
    if (c == static_cast<unsigned char>(p.shifted)) return SHIFTED | p.key;
  }
  switch (c) {
    case ' ': return 0x20;
    case '\b': return 0x08;
    case '\t': return 0x09;
    case '\r': return 0x0D;
    case '\n': return CONTROLLED | 0x0D;
    case 27: return 0x1B;
    default: break;
  }
  if (c >= 1 && c <= 26) return CONTROLLED | ('A' + c - 1);
  return -1;
}

}  // namespace

// --- the record -----------------------------------------------------------------------------------------

std::vector<InputEvent> recorded_input() {
  std::lock_guard<std::mutex> g(input().lock);
  return input().events;
}

void clear_recorded_input(bool reset_toggles) {
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  s.events.clear();
  s.down.fill(false);
  if (reset_toggles) s.toggled.fill(false);
  for (bool& b : s.buttons) b = false;
}

bool key_down(int virtual_key) {
  std::lock_guard<std::mutex> g(input().lock);
  return virtual_key >= 0 && virtual_key < 256 && input().down[size_t(virtual_key)];
}

bool key_toggled(int virtual_key) {
  std::lock_guard<std::mutex> g(input().lock);
  return virtual_key >= 0 && virtual_key < 256 && input().toggled[size_t(virtual_key)];
}

bool inject_key(int virtual_key, bool up, bool extended) {
  if (virtual_key < 0 || virtual_key > 255) return false;
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  const auto key = size_t(virtual_key);
  if (!up && !s.down[key] &&
      (virtual_key == VK_CAPITAL_KEY || virtual_key == VK_NUMLOCK_KEY || virtual_key == VK_SCROLL_KEY))
    s.toggled[key] = !s.toggled[key];
  s.down[key] = !up;
  s.events.push_back({InputEvent::Key, up, extended, virtual_key, 0, 0});
  return true;
}

int32_t char_to_key(unsigned char c) { return us_layout_key(c); }

bool inject_mouse_move(int32_t x, int32_t y) {
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  s.x = x;
  s.y = y;
  s.events.push_back({InputEvent::MouseMove, false, false, 0, x, y});
  return true;
}

bool inject_mouse_button(MouseButton b, bool up) {
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  s.buttons[int(b)] = !up;
  s.events.push_back({InputEvent::MouseButton, up, false, int32_t(b), 0, 0});
  return true;
}

bool cursor_position(int32_t* x, int32_t* y) {
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  *x = s.x;
  *y = s.y;
  return true;
}

uint32_t mouse_buttons_down() {
  SimulatedInput& s = input();
  std::lock_guard<std::mutex> g(s.lock);
  return (s.buttons[0] ? 4u : 0u) | (s.buttons[1] ? 8u : 0u) | (s.buttons[2] ? 16u : 0u);
}

// --- no windows -----------------------------------------------------------------------------------------

void enum_top_windows(EnumWindowsProc, intptr_t) {}
void enum_child_windows(WindowHandle, EnumWindowsProc, intptr_t) {}
size_t window_text_w(WindowHandle, char16_t* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  return 0;
}
bool set_window_text(WindowHandle, const char*) { return false; }
bool set_window_text_w(WindowHandle, const char16_t*) { return false; }
std::u16string window_class_name(WindowHandle) { return {}; }
uint32_t window_id(WindowHandle w) { return uint32_t(reinterpret_cast<uintptr_t>(w)); }
WindowHandle window_from_id(uint32_t id) { return reinterpret_cast<WindowHandle>(intptr_t(int32_t(id))); }
bool window_visible(WindowHandle) { return false; }
bool window_minimized(WindowHandle) { return false; }
bool window_maximized(WindowHandle) { return false; }
bool window_descends_from(WindowHandle, WindowHandle) { return false; }
uint32_t window_process_id(WindowHandle) { return 0; }
std::u16string process_program_path(uint32_t) { return {}; }
IdleState wait_window_idle(WindowHandle, uint32_t) { return IdleState::Failed; }
WindowHandle foreground_window() { return nullptr; }
bool set_foreground_window(WindowHandle) { return false; }
WindowHandle top_child(WindowHandle) { return nullptr; }
void set_focus(WindowHandle) {}
void force_foreground(WindowHandle, int) {}
bool show_window(WindowHandle, Show) { return false; }
bool post_sys_command(WindowHandle, SysCommand) { return false; }
intptr_t send_window_message(WindowHandle, uint32_t, uintptr_t, intptr_t, bool) { return 0; }
bool window_rect(WindowHandle, Rect*) { return false; }
bool client_rect_on_screen(WindowHandle, Rect*) { return false; }
bool move_window(WindowHandle, const Rect&) { return false; }
Rect screen_rect() { return {0, 0, 0, 0}; }
Rect work_area() { return {0, 0, 0, 0}; }
bool get_placement(WindowHandle, Placement*) { return false; }
bool set_placement(WindowHandle, const Placement&) { return false; }
bool window_topmost(WindowHandle) { return false; }
bool set_topmost(WindowHandle, bool) { return false; }
bool arrange_windows(Arrangement) { return true; }
WindowHandle find_window_by_class(const char16_t*) { return nullptr; }
MenuHandle window_menu(WindowHandle) { return nullptr; }
MenuHandle system_menu(WindowHandle) { return nullptr; }
std::vector<MenuEntry> menu_entries(MenuHandle) { return {}; }
bool post_menu_command(WindowHandle, uint32_t, bool) { return false; }
WindowHandle top_window_at(int32_t, int32_t) { return nullptr; }
WindowHandle child_window_at(int32_t, int32_t) { return nullptr; }

// --- the system -----------------------------------------------------------------------------------------

int32_t system_metric(int32_t) { return 0; }
int32_t screen_bits_per_pixel() { return 0; }
int32_t screen_pixels_per_inch() { return 0; }
bool system_parameter_get(uint32_t, int32_t*) { return false; }
bool system_parameter_set(uint32_t, int32_t, const char16_t*, uint32_t) { return false; }
bool show_help(WindowHandle, const char16_t*, uint32_t, uintptr_t) { return false; }

MemoryStatus memory_status() {
  MemoryStatus m{};
  const long pages = sysconf(_SC_PHYS_PAGES), avail = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  if (pages > 0 && size > 0) {
    m.totalPhysical = uint64_t(pages) * uint64_t(size);
    m.freePhysical = avail > 0 ? uint64_t(avail) * uint64_t(size) : 0;
    m.loadPercent = uint32_t(100 - m.freePhysical * 100 / m.totalPhysical);
  }
  return m;
}

uint32_t processor_count() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? uint32_t(n) : 1;
}

uint32_t page_size() {
  const long n = sysconf(_SC_PAGESIZE);
  return n > 0 ? uint32_t(n) : 4096;
}

namespace {
std::u16string widen(const char* s) {
  const int need = ansi_to_wide(s, -1, nullptr, 0, CP_UTF8_PAGE);
  std::u16string w(need > 0 ? size_t(need) : 1, u'\0');
  if (need > 0) ansi_to_wide(s, -1, w.data(), need, CP_UTF8_PAGE);
  w.resize(w.size() - 1);
  return w;
}
}  // namespace

std::u16string computer_name() {
  char name[256] = "";
  gethostname(name, sizeof name - 1);
  return widen(name);
}

std::u16string user_name() {
  const char* name = getlogin();
  return widen(name ? name : "");
}

}  // namespace plat
