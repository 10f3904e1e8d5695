// Menus on POSIX: blocks of the process holding their entries. A handle is the block's address; the block
// carries a mark so that a handle that is no menu is refused. The blocks hold no global state, so a host
// and the Engine library read the same menu through their own copies of this code.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "platform/menus.h"

namespace plat {
namespace {

constexpr uint32_t MENU_MAGIC = 0x554E454Du;   // "MENU"

struct Menu;

struct Entry {
  uint32_t id;
  Menu* submenu;
  bool separator;
  std::string text;
};

struct Menu {
  uint32_t magic;
  bool bar;
  std::vector<Entry> entries;
};

Menu* as_menu(MenuHandle h) {
  auto* m = static_cast<Menu*>(h);
  return m && m->magic == MENU_MAGIC ? m : nullptr;
}

void fill(const Entry& e, MenuItem* out) {
  out->id = e.id;
  out->submenu = e.submenu;
  out->separator = e.separator;
  std::snprintf(out->text, sizeof out->text, "%s", e.text.c_str());
}

bool append(MenuHandle menu, Entry e) {
  Menu* m = as_menu(menu);
  if (!m) return false;
  m->entries.push_back(std::move(e));
  return true;
}

}  // namespace

MenuHandle menu_create(bool bar) { return new Menu{MENU_MAGIC, bar, {}}; }

void menu_destroy(MenuHandle menu) {
  Menu* m = as_menu(menu);
  if (!m) return;
  for (Entry& e : m->entries) menu_destroy(e.submenu);
  m->magic = 0;
  delete m;
}

bool is_menu(MenuHandle menu) { return as_menu(menu) != nullptr; }

bool menu_append_item(MenuHandle menu, uint32_t id, const char* text, uint32_t) {
  return append(menu, Entry{id, nullptr, false, text});
}

bool menu_append_submenu(MenuHandle menu, MenuHandle submenu, const char* text, uint32_t) {
  Menu* sub = as_menu(submenu);
  return sub && sub != as_menu(menu) && append(menu, Entry{0, sub, false, text});
}

bool menu_append_separator(MenuHandle menu) { return append(menu, Entry{0, nullptr, true, ""}); }

int menu_entry_count(MenuHandle menu) {
  Menu* m = as_menu(menu);
  return m ? int(m->entries.size()) : -1;
}

bool menu_entry(MenuHandle menu, int index, MenuItem* out) {
  Menu* m = as_menu(menu);
  if (!m || index < 0 || size_t(index) >= m->entries.size()) return false;
  fill(m->entries[size_t(index)], out);
  return true;
}

bool menu_find_command(MenuHandle menu, uint32_t id, MenuItem* out) {
  Menu* m = as_menu(menu);
  if (!m) return false;
  for (const Entry& e : m->entries) {
    if (e.submenu) {
      if (menu_find_command(e.submenu, id, out)) return true;
    } else if (!e.separator && e.id == id) {
      fill(e, out);
      return true;
    }
  }
  return false;
}

bool menu_find_submenu(MenuHandle menu, MenuHandle submenu, MenuItem* out) {
  Menu* m = as_menu(menu);
  if (!m) return false;
  for (const Entry& e : m->entries) {
    if (!e.submenu) continue;
    if (e.submenu == submenu) {
      fill(e, out);
      return true;
    }
    if (menu_find_submenu(e.submenu, submenu, out)) return true;
  }
  return false;
}

// There are no windows, so no window has a menu.
WindowHandle menu_window_create(const char*, const MenuWindowEvents*) { return nullptr; }
void menu_window_show(WindowHandle) {}
bool menu_window_set_menu(WindowHandle, MenuHandle) { return false; }
void menu_window_set_text(WindowHandle, const char*) {}
void menu_window_loop(WindowHandle) {}
void menu_window_close(WindowHandle) {}
uint32_t menu_window_track_popup(WindowHandle, MenuHandle) { return 0; }

}  // namespace plat
