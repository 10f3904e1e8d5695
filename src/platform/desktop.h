// The desktop: other programs' windows, injected keyboard and mouse input, and what the system says
// about its screen and itself. What the window built-ins, keystroke sending and the mouse built-ins need.
//
// On Windows these are the real Win32 services. POSIX has no windows: enumerations find none, lookups
// of a handle fail, and injected input goes to a simulated keyboard and mouse that record every event
// (platform/posix/input_record.h), so that the key-string logic runs and is checked natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui.h"

#if defined(_WIN32)
#define PLAT_CALLBACK __stdcall
#else
#define PLAT_CALLBACK
#endif

namespace plat {

// --- Enumeration --------------------------------------------------------------------------------------
// A callback of the system's window enumeration: nonzero continues, zero stops. The Engine exports its
// callbacks under their own names, so they have the system's calling convention.
using EnumWindowsProc = int32_t(PLAT_CALLBACK*)(WindowHandle w, intptr_t param);
// Top-level windows in the system's order (hidden ones included).
void enum_top_windows(EnumWindowsProc proc, intptr_t param);
// Every descendant of parent, the whole subtree.
void enum_child_windows(WindowHandle parent, EnumWindowsProc proc, intptr_t param);

// --- One window ---------------------------------------------------------------------------------------
// The caption in UTF-16, cut to out_cap - 1 units; "" for no window. window_text (ui.h) is the ANSI form.
size_t window_text_w(WindowHandle w, char16_t* out, size_t out_cap);
bool set_window_text(WindowHandle w, const char* text);
bool set_window_text_w(WindowHandle w, const char16_t* text);
std::u16string window_class_name(WindowHandle w);
// The handle's low 32 bits, which identify a window in every build, and back (sign-extended).
uint32_t window_id(WindowHandle w);
WindowHandle window_from_id(uint32_t id);

bool window_visible(WindowHandle w);
bool window_minimized(WindowHandle w);
bool window_maximized(WindowHandle w);
// The ancestor chain: the parent of a child, the owner of an owned top-level window.
bool window_descends_from(WindowHandle w, WindowHandle ancestor);

uint32_t window_process_id(WindowHandle w);
// The full path of the program file of a process; "" when the system does not tell.
std::u16string process_program_path(uint32_t pid);
enum class IdleState { Idle, Busy, Failed };
// Waits at most ms for the program that owns the window to wait for input.
IdleState wait_window_idle(WindowHandle w, uint32_t ms);

// --- Activation and showing ---------------------------------------------------------------------------
WindowHandle foreground_window();
bool set_foreground_window(WindowHandle w);
// The child at the top of the window's Z order; null when it has none.
WindowHandle top_child(WindowHandle w);
// Gives the keyboard focus to a window of another thread (its input is attached for the call).
void set_focus(WindowHandle w);
// Brings the window to the foreground by a stronger means (1..5, each adding to the one before): attach
// to the foreground thread's input; raise it to the top; lift the foreground lock time-out for the call;
// toggle its top-most state; tap Alt so that the system lets the caller set the foreground.
void force_foreground(WindowHandle w, int method);

enum class Show { Hide, ShowNoActivate, Show, MinimizeNoActivate, Maximize, Restore };
bool show_window(WindowHandle w, Show how);
enum class SysCommand { Close, Minimize, Maximize, Restore };
bool post_sys_command(WindowHandle w, SysCommand command);
// Sends a message and waits for its answer, giving up on a program that does not respond. lparam may
// point to text for the messages whose text the system carries across processes.
intptr_t send_window_message(WindowHandle w, uint32_t message, uintptr_t wparam, intptr_t lparam, bool wide);
constexpr uint32_t MSG_CHILD_ACTIVATE = 0x22;
constexpr uint32_t MSG_MDI_ACTIVATE = 0x222;

// --- Position and size (screen pixels) ----------------------------------------------------------------
struct Rect {
  int32_t left, top, right, bottom;
};
bool window_rect(WindowHandle w, Rect* r);
// The parent's client area in screen pixels.
bool client_rect_on_screen(WindowHandle w, Rect* r);
// Moves and sizes a window; a child's rectangle is given in screen pixels too.
bool move_window(WindowHandle w, const Rect& r);
// The screen, and the part of it that windows may use (without the task bar).
Rect screen_rect();
Rect work_area();

struct Placement {
  Rect normal;              // the restored rectangle, in work-area coordinates
  int32_t minX, minY;       // where it is shown when minimised
  int32_t maxX, maxY;       // where it is shown when maximised
};
bool get_placement(WindowHandle w, Placement* p);
bool set_placement(WindowHandle w, const Placement& p);
bool window_topmost(WindowHandle w);
bool set_topmost(WindowHandle w, bool on);

enum class Arrangement { Cascade, Tile, TileRows, TileColumns, Icons };
bool arrange_windows(Arrangement how);

// The first top-level window of a window class; null when none.
WindowHandle find_window_by_class(const char16_t* class_name);

// --- Menus of a window --------------------------------------------------------------------------------
using MenuHandle = void*;
struct MenuEntry {
  std::u16string text;      // as shown, with its "&" marks
  uint32_t id;              // the command id of an item
  MenuHandle submenu;       // null for an item
  bool enabled;
};
MenuHandle window_menu(WindowHandle w);
MenuHandle system_menu(WindowHandle w);
std::vector<MenuEntry> menu_entries(MenuHandle menu);
// Posts the command of a menu item as choosing it would (WM_COMMAND, or WM_SYSCOMMAND for the system
// menu's items).
bool post_menu_command(WindowHandle w, uint32_t id, bool system);

// --- Keyboard -----------------------------------------------------------------------------------------
// Injects one key event. The scan code comes from the key's virtual-key code.
bool inject_key(int virtual_key, bool up, bool extended);
// The key and shift state that type the character on the current keyboard layout: the virtual-key code
// in the low byte, the shift state in the high byte (1 Shift, 2 Control, 4 Alt, further bits as the
// layout sets them); -1 when the layout cannot type it.
int32_t char_to_key(unsigned char c);

// --- Mouse --------------------------------------------------------------------------------------------
enum class MouseButton { Left, Right, Middle };
bool inject_mouse_move(int32_t x, int32_t y);     // the pointer to screen pixel (x, y)
bool inject_mouse_button(MouseButton b, bool up);
bool cursor_position(int32_t* x, int32_t* y);
// The top-level window under a screen point, and the deepest child there.
WindowHandle top_window_at(int32_t x, int32_t y);
WindowHandle child_window_at(int32_t x, int32_t y);
// Pressed buttons, as the bits 4 left, 8 right, 16 middle.
uint32_t mouse_buttons_down();

// --- The system ---------------------------------------------------------------------------------------
// A system metric (GetSystemMetrics numbers); 0 for one that does not exist.
int32_t system_metric(int32_t index);
constexpr int32_t METRIC_MINIMIZED_WIDTH = 57, METRIC_MINIMIZED_HEIGHT = 58;
int32_t screen_bits_per_pixel();
int32_t screen_pixels_per_inch();
// A system parameter that is one integer (an SPI get request); false when the system refuses it.
bool system_parameter_get(uint32_t request, int32_t* value);
// Sets a system parameter: an integer in the request's first parameter, or a text (file names) in its
// pointer. update: 1 writes the user's profile, 2 also tells every window.
bool system_parameter_set(uint32_t request, int32_t value, const char16_t* text, uint32_t update);
// Opens a help file at a topic: command is the help engine's command number, data its argument.
bool show_help(WindowHandle owner, const char16_t* file, uint32_t command, uintptr_t data);

struct MemoryStatus {
  uint32_t loadPercent;
  uint64_t totalPhysical, freePhysical, totalVirtual, freeVirtual;
};
MemoryStatus memory_status();
uint32_t processor_count();
uint32_t page_size();
std::u16string computer_name();
std::u16string user_name();

}  // namespace plat
