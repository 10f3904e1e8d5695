// tov as a menu host. The menu is built by the Engine from the menu file (LoadStandardMenu); a chosen item's
// code comes from ParseStandardMenu and runs like any script buffer (ProcessDaBatBuffer); hotkeys are
// matched by HotKeyCheck and help texts come from MenuSelectProcessing. The code before the first title
// runs once when the menu is loaded, and again when it is reloaded after the file changed.
#include "host/menu_host.h"

#include <cstdlib>
#include <string>
#include <vector>
#include "platform/menus.h"
#include "platform/ui.h"

namespace tovhost {
namespace {

constexpr uint32_t FIRST_ID = 100, LAST_ID = 9999;
constexpr uint32_t WM_KEYDOWN_MSG = 256;
constexpr size_t HELP_TEXT_BYTES = 512;
const char WINDOW_HINT[] = "Choose an item from the menu.";

class MenuSession {
 public:
  MenuSession(EngineSession& session, const std::string& file, uintptr_t kind)
      : session_(session), file_(file), caption_("tov: " + file), kind_(kind) {}
  ~MenuSession() { destroy(); }
  MenuSession(const MenuSession&) = delete;
  MenuSession& operator=(const MenuSession&) = delete;

  const std::string& caption() const { return caption_; }
  plat::MenuHandle menu() const { return menu_; }
  void set_window(void* hwnd) { hwnd_ = hwnd; }
  // A menu bar given to the window belongs to it from then on.
  void give_menu_away() { menu_ = nullptr; }

  // Builds the menu from the file (again: from the path found the first time) and runs its leading code.
  bool load() {
    destroy();
    const std::string name = state_.szFile[0] ? std::string(state_.szFile) : file_;
    state_ = tov::MenuFileState{};
    if (name.size() >= sizeof state_.szFile) {
      complain("menu file name '" + name + "' is too long");
      return false;
    }
    name.copy(state_.szFile, name.size());
    menu_ = LoadStandardMenu(session_.context, hwnd_, FIRST_ID, LAST_ID, &state_, caption_.c_str(), &hotkeys_, kind_);
    if (!menu_) return false;
    run(0, true);
    return true;
  }

  enum class Outcome { Ran, Nothing, Reloaded, Failed };
  // Runs the code of an item, or the leading code. A changed file is loaded again.
  Outcome run(uint32_t id, bool leading = false) {
    void* block = ParseStandardMenu(session_.context, hwnd_, id, leading ? 1 : 0, FIRST_ID, 0, &state_, caption_.c_str());
    if (block == tov::MENU_RELOAD) return load() ? Outcome::Reloaded : Outcome::Failed;
    if (!block) return Outcome::Nothing;
    session_.run_block(block, hwnd_, file_);
    plat::host_free(block);
    return Outcome::Ran;
  }

  bool hotkey(uint32_t message, uint32_t key) {
    return HotKeyCheck(session_.context, hwnd_, message, key, &hotkeys_) != 0;
  }

  // The help text of an entry as a menu-select notification describes it.
  std::string help(uintptr_t wparam, intptr_t lparam, bool given_menu) {
    char text[HELP_TEXT_BYTES] = "";
    const int32_t r = MenuSelectProcessing(session_.context, hwnd_, wparam, lparam, FIRST_ID, LAST_ID, text,
                                           int32_t(sizeof text), &state_, given_menu ? 1 : 0);
    return r > 0 ? std::string(text) : std::string();
  }

 private:
  void destroy() {
    plat::menu_destroy(menu_);
    menu_ = nullptr;
  }

  EngineSession& session_;
  std::string file_, caption_;
  uintptr_t kind_;
  tov::MenuFileState state_{};
  tov::HotkeyTable hotkeys_{};
  plat::MenuHandle menu_ = nullptr;
  void* hwnd_ = nullptr;
};

// --- The console form -------------------------------------------------------------------------------------

// An entry's text as the console shows it: mnemonic marks dropped ("&&" is "&"), the shortcut set apart.
std::string plain_text(const char* text) {
  std::string s;
  for (const char* p = text; *p; ++p) {
    if (*p == '&' && p[1] == '&') s += *++p;
    else if (*p == '\t') s += "  ";
    else if (*p != '&') s += *p;
  }
  return s;
}

// Writes the entries of a menu, indented by depth; selectable items are numbered in order.
void list_menu(plat::MenuHandle menu, int depth, std::vector<uint32_t>& ids, std::string& out) {
  const int n = plat::menu_entry_count(menu);
  const std::string indent(size_t(depth) * 4, ' ');
  for (int i = 0; i < n; ++i) {
    plat::MenuItem e;
    if (!plat::menu_entry(menu, i, &e)) continue;
    if (e.separator) {
      out += indent + "    ----\n";
    } else if (e.submenu) {
      out += indent + "    " + plain_text(e.text) + "\n";
      list_menu(e.submenu, depth + 1, ids, out);
    } else {
      ids.push_back(e.id);
      const std::string number = std::to_string(ids.size());
      out += indent + std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') + number + " " +
             plain_text(e.text) + "\n";
    }
  }
}

// The item a typed number names (1-based); 0 when it names none.
uint32_t chosen_id(const std::string& typed, const std::vector<uint32_t>& ids) {
  char* end = nullptr;
  const unsigned long n = std::strtoul(typed.c_str(), &end, 10);
  if (typed.empty() || *end || n == 0 || n > ids.size()) return 0;
  return ids[n - 1];
}

std::string trimmed(const char* s) {
  std::string t(s);
  const size_t b = t.find_first_not_of(" \t"), e = t.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : t.substr(b, e - b + 1);
}

}  // namespace

int run_console_menu(EngineSession& session, const std::string& file) {
  MenuSession menu(session, file, tov::MENU_KIND_POPUP);
  if (!menu.load()) {
    complain("menu file '" + file + "' could not be loaded");
    return EXIT_NOT_STARTED;
  }
  for (;;) {
    std::vector<uint32_t> ids;
    std::string listing;
    list_menu(menu.menu(), 0, ids, listing);
    listing += "  0 Exit\nChoose an item (?N shows its help): ";
    plat::console_write(listing.c_str());
    char line[256];
    if (!plat::console_read_line(line, sizeof line, true)) break;
    const std::string typed = trimmed(line);
    if (typed == "0") break;
    const bool help = !typed.empty() && typed[0] == '?';
    const uint32_t id = chosen_id(help ? trimmed(typed.c_str() + 1) : typed, ids);
    if (!id) {
      plat::console_write(("There is no item '" + typed + "'.\n").c_str());
      continue;
    }
    if (help) {
      // The notification of a highlighted item: its command id, no flags, the menu that holds it.
      plat::console_write((menu.help(id, reinterpret_cast<intptr_t>(menu.menu()), true) + "\n").c_str());
      continue;
    }
    if (menu.run(id) == MenuSession::Outcome::Failed) {
      complain("menu file '" + file + "' could not be reloaded");
      return EXIT_ERROR;
    }
  }
  plat::console_write("\n");
  return EXIT_NORMAL;
}

// --- The window form ----------------------------------------------------------------------------------------

namespace {

class MenuWindow {
 public:
  MenuWindow(EngineSession& session, const std::string& file, bool popup)
      : menu_(session, file, popup ? tov::MENU_KIND_POPUP : tov::MENU_KIND_BAR), popup_(popup) {}
  ~MenuWindow() { plat::menu_window_close(hwnd_); }
  MenuWindow(const MenuWindow&) = delete;
  MenuWindow& operator=(const MenuWindow&) = delete;

  int run() {
    const plat::MenuWindowEvents events{this, on_command, on_key, on_menu_select};
    hwnd_ = plat::menu_window_create(menu_.caption().c_str(), &events);
    if (!hwnd_) {
      complain("cannot create the menu window");
      return EXIT_NOT_STARTED;
    }
    menu_.set_window(hwnd_);
    if (!load()) return EXIT_NOT_STARTED;
    if (!popup_) {
      // Shown only now, with its menu bar and hotkeys in place.
      plat::menu_window_show(hwnd_);
      plat::menu_window_loop(hwnd_);
      return EXIT_NORMAL;
    }
    for (;;) {
      pending_ = 0;
      uint32_t id = plat::menu_window_track_popup(hwnd_, menu_.menu());
      if (!id) id = pending_;
      if (!id) return EXIT_NORMAL;
      if (menu_.run(id) == MenuSession::Outcome::Failed) return EXIT_ERROR;
    }
  }

 private:
  bool load() {
    if (!menu_.load()) {
      complain("menu file could not be loaded");
      return false;
    }
    if (!popup_) {
      plat::menu_window_set_menu(hwnd_, menu_.menu());
      menu_.give_menu_away();
      plat::menu_window_set_text(hwnd_, WINDOW_HINT);
    }
    return true;
  }

  // Runs an item; commands that arrive while one runs are not queued.
  void choose(uint32_t id) {
    if (running_) return;
    running_ = true;
    const MenuSession::Outcome outcome = menu_.run(id);
    running_ = false;
    if (outcome == MenuSession::Outcome::Reloaded && !popup_) load();
    if (outcome == MenuSession::Outcome::Failed) plat::menu_window_close(hwnd_);
  }

  static void on_command(void* user, uint32_t id) {
    auto* w = static_cast<MenuWindow*>(user);
    // A popup menu's choice, and a command posted while HotKeyCheck waits, are run by their callers.
    if (w->popup_ || w->in_hotkey_) w->pending_ = id;
    else w->choose(id);
  }

  static bool on_key(void* user, uint32_t message, uint32_t key) {
    auto* w = static_cast<MenuWindow*>(user);
    if (w->running_) return false;
    w->in_hotkey_ = true;
    w->pending_ = 0;
    const bool taken = w->menu_.hotkey(message, key);
    w->in_hotkey_ = false;
    if (!w->popup_ && w->pending_) w->choose(w->pending_);
    return taken;
  }

  static void on_menu_select(void* user, uintptr_t wparam, intptr_t lparam) {
    auto* w = static_cast<MenuWindow*>(user);
    const std::string text = w->menu_.help(wparam, lparam, w->popup_);
    plat::menu_window_set_text(w->hwnd_, text.empty() ? WINDOW_HINT : text.c_str());
  }

  MenuSession menu_;
  bool popup_;
  void* hwnd_ = nullptr;
  bool running_ = false, in_hotkey_ = false;
  uint32_t pending_ = 0;
};

}  // namespace

int run_window_menu(EngineSession& session, const std::string& file, bool popup) {
  MenuWindow window(session, file, popup);
  return window.run();
}

}  // namespace tovhost
