// Menus: menu bars and popup menus built item by item, read back entry by entry, and the window of a
// menu host.
//
// On Windows these are the system's menus. POSIX has none: a menu there is a block of the process that
// holds its entries, built and read through the same calls, so that the menu code and its console form
// work alike on both systems.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/desktop.h"
#include "platform/ui.h"

namespace plat {

// The item flags of a menu, as Windows numbers them.
enum MenuFlags : uint32_t {
  MENU_POPUP = 0x10,           // the entry opens a submenu
  MENU_BAR_BREAK = 0x20,       // the entry starts a new column (a new line of a menu bar)
  MENU_SEPARATOR = 0x800,
  MENU_SYSTEM = 0x2000,        // the window's system menu (in menu-select notifications)
  MENU_CLOSED = 0xFFFF,        // flags of the notification sent when a menu closes
};

MenuHandle menu_create(bool bar);          // a menu bar, or a popup menu; nullptr on failure
// Destroys a menu and the submenus it holds.
void menu_destroy(MenuHandle menu);
bool is_menu(MenuHandle menu);
// Appends an item with a command id, a submenu (which the menu then holds) or a separator. flags may
// carry MENU_BAR_BREAK.
bool menu_append_item(MenuHandle menu, uint32_t id, const char* text, uint32_t flags);
bool menu_append_submenu(MenuHandle menu, MenuHandle submenu, const char* text, uint32_t flags);
bool menu_append_separator(MenuHandle menu);

struct MenuItem {
  uint32_t id;                 // command id of an item (0 for submenus and separators)
  MenuHandle submenu;          // the submenu it opens, or nullptr
  bool separator;
  char text[260];              // the item text ("&" marks, TAB before a shortcut), cut to fit
};
int menu_entry_count(MenuHandle menu);     // -1 for no menu
bool menu_entry(MenuHandle menu, int index, MenuItem* out);
// The entry of a command id anywhere in the menu or its submenus.
bool menu_find_command(MenuHandle menu, uint32_t id, MenuItem* out);
// The entry, anywhere in the menu or its submenus searched depth-first, that opens the submenu.
bool menu_find_submenu(MenuHandle menu, MenuHandle submenu, MenuItem* out);


// --- The window of a menu host (Windows) ----------------------------------------------------------------
// A top-level window with a menu bar and a line of text, or a hidden owner of popup menus. Its events go
// to the host's handler; keys reach on_key before they are translated, and a key it takes is not
// processed further.
struct MenuWindowEvents {
  void* user;
  void (*on_command)(void* user, uint32_t id);
  // message: 256 for a key press (virtual key), 258 for a character. True when the key was taken.
  bool (*on_key)(void* user, uint32_t message, uint32_t key);
  void (*on_menu_select)(void* user, uintptr_t wparam, intptr_t lparam);
};
// Creates the window, hidden; nullptr on failure or where there are no windows (POSIX).
WindowHandle menu_window_create(const char* caption, const MenuWindowEvents* events);
// Shows the window and brings it to the front.
void menu_window_show(WindowHandle w);
// Puts a menu bar on the window (the window then holds it) in place of the one it had, which is destroyed.
bool menu_window_set_menu(WindowHandle w, MenuHandle bar);
void menu_window_set_text(WindowHandle w, const char* text);
// Dispatches messages until the window is closed or menu_window_close is called.
void menu_window_loop(WindowHandle w);
void menu_window_close(WindowHandle w);
// Shows a popup menu at the middle of the screen, owned by the window, and waits for a choice; keys reach
// on_key of the window's handler while it is open, and a command that arrives ends it. Returns the
// chosen command id, or 0 when the menu was dismissed.
uint32_t menu_window_track_popup(WindowHandle w, MenuHandle popup);

}  // namespace plat
