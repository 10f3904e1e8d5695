// The menu entry points: LoadStandardMenu builds a menu bar or popup menu from a menu file, with its
// hotkeys and description variables; ParseStandardMenu extracts the code of one item (or the leading
// code) for the host to run; MenuSelectProcessing gives the help text of the highlighted entry. Every
// failure is told to the user in a message box owned by the host's window.
#include "menu/menus.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "diag/errors.h"
#include "engine/context.h"
#include "engine/lifecycle.h"
#include "engine/script.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "lang/variables.h"
#include "menu/menu_file.h"
#include "platform/files.h"
#include "platform/menus.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr uint16_t MSG_UNEXPECTED_LINE = 502;
constexpr uint16_t MSG_OPEN = 504, MSG_ALLOC = 505, MSG_LOCK = 506, MSG_READ = 507;
constexpr uint16_t MSG_NO_MENU_BAR = 513, MSG_SEPARATOR_FAILED = 515;
constexpr uint16_t MSG_POPUP_FAILED[] = {516, 517, 518};   // submenus of levels 1, 2, 3
constexpr uint16_t MSG_REOPEN = 522, MSG_SCAN_ALLOC = 523, MSG_SCAN_LOCK = 524, MSG_SCAN_READ = 525;
constexpr uint16_t MSG_INVALID_MENU = 527, MSG_RELOAD = 528, MSG_TOO_MANY_ITEMS = 599;
constexpr uint16_t MSG_SYSTEM_COMMANDS = 700;
constexpr uint32_t COMMAND_ID_MAX = 65535;   // command ids travel in 16 bits

// Locks the run context and its variable table for one menu call.
class MenuCall {
 public:
  explicit MenuCall(void* handle) : handle_(handle) {
    ctx_ = handle ? static_cast<RunContext*>(plat::host_lock(handle)) : nullptr;
    if (!ctx_ || ctx_->lpVars) return;   // a call during a run finds the table locked already
    ctx_->lpVars = static_cast<VarSlot*>(plat::host_lock(ctx_->hVarTable));
    new_layout(ctx_);
    if (!ctx_->lpVars) {
      plat::host_unlock(handle_);
      ctx_ = nullptr;
      return;
    }
    lockedTable_ = true;
    ctx_->aVarFrame[0].slots = ctx_->lpVars;
  }
  ~MenuCall() {
    if (!ctx_) return;
    if (lockedTable_) {
      plat::host_unlock(ctx_->hVarTable);
      ctx_->lpVars = nullptr;
      ctx_->aVarFrame[0].slots = nullptr;
    }
    plat::host_unlock(handle_);
  }
  MenuCall(const MenuCall&) = delete;
  MenuCall& operator=(const MenuCall&) = delete;
  RunContext* ctx() const { return ctx_; }

 private:
  void* handle_;
  RunContext* ctx_;
  bool lockedTable_ = false;
};

// A message box with the text of a message number (extra text on a line of its own).
void tell(RunContext* ctx, void* hwnd, uint16_t number, const char* caption, const char* extra = nullptr) {
  char text[1024];
  if (load_string(ctx, number, text, sizeof text) <= 0)
    std::snprintf(text, sizeof text, "Undefined error code -> %03u", unsigned(number));
  if (extra && *extra) {
    const size_t n = std::strlen(text);
    std::snprintf(text + n, sizeof text - n, "\n%s", extra);
  }
  plat::message_box(hwnd, text, caption ? caption : "", plat::MB_OK_ONLY | plat::MB_ICON_STOP);
}

// A box that shows a line of the menu file under a message used as its caption.
void show_line(RunContext* ctx, void* hwnd, uint16_t number, const char* line) {
  char caption[256];
  if (load_string(ctx, number, caption, sizeof caption) <= 0) caption[0] = 0;
  plat::message_box(hwnd, line, caption, plat::MB_OK_ONLY | plat::MB_ICON_STOP);
}

// The file name of a menu state, which the host may not have terminated.
void state_file(const MenuFileState* state, char* out) {
  std::memcpy(out, state->szFile, sizeof state->szFile);
  out[sizeof state->szFile] = 0;
}

char menu_letter(const MenuFileState* state) { return char('A' + state->menuIndex % 26); }

// The file's last write as a DOS date and time; false when the file cannot be seen.
bool dos_file_time(RunContext* ctx, const char* path, uint16_t* date, uint16_t* time) {
  plat::wchar wide[plat::MAX_PATH_CHARS * 2];
  if (!plat::ansi_to_wide(path, -1, wide, int(sizeof wide / sizeof wide[0]), ctx->nCodePage)) return false;
  plat::FileInfo info{};
  if (!plat::file_info_w(wide, &info, nullptr) || (info.attributes & plat::ATTR_DIRECTORY)) return false;
  const plat::LocalTime t = plat::file_time_to_local(info.modified);
  const int year = t.year < 1980 ? 0 : t.year > 2107 ? 127 : t.year - 1980;
  *date = uint16_t((year << 9) | (t.month << 5) | t.day);
  *time = uint16_t((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return true;
}

// Finds the menu file: the file search of scripts, else the Engine's own directory.
bool find_menu_file(const char* name, char* path, size_t cap) {
  if (plat::search_file(name, path, cap, false) != plat::FileCheck::NotFound) return true;
  if (plat::path_has_directory(name)) return false;
  const size_t dir = plat::engine_module_directory(path, cap);
  const size_t n = std::strlen(name);
  if (!dir || dir + n >= cap) return false;
  std::memcpy(path + dir, name, n + 1);
  return plat::file_check(path, false) != plat::FileCheck::NotFound;
}

// Reads and prepares a menu file. The messages of the reading steps are those of the caller: open,
// allocate, lock, read. Returns false after telling the user.
bool read_menu_file(RunContext* ctx, void* hwnd, const char* path, const char* caption, const uint16_t messages[4],
                    HeldScript* hs) {
  char failing[INCLUDE_NAME_MAX + 1];
  const uint16_t error = LoadTextFile(ctx, path, hs, failing);
  switch (error) {
    case 0: return true;
    case ERR_FILE_NOT_FOUND: tell(ctx, hwnd, messages[0], caption); break;
    case ERR_FILE_ALLOC: tell(ctx, hwnd, messages[1], caption); break;
    case ERR_FILE_LOCK: tell(ctx, hwnd, messages[2], caption); break;
    case ERR_FILE_READ: tell(ctx, hwnd, messages[3], caption); break;
    case ERR_INCLUDE_FILE: tell(ctx, hwnd, error, caption, failing); break;
    default: tell(ctx, hwnd, error, caption); break;
  }
  return false;
}

// --- Building -----------------------------------------------------------------------------------------

// Drops the description variables of earlier loads of this menu ("%M" and "%P" with its letter).
void drop_descriptions(RunContext* ctx, char letter) {
  const char lower = plat::lower_ascii(letter);
  for (uint16_t i = ctx->nVarUsed; i-- > 1;) {
    const char* name = ctx->lpVars[i].name;
    if (name[0] == '%' && (name[1] == 'm' || name[1] == 'p') && name[2] == lower) slot_drop(ctx, i);
  }
}

// Sets the description variable of an entry, or empties one that exists when there is no description.
void set_description(RunContext* ctx, const char* name, const char* text, size_t len) {
  char folded[VARNAME_BYTES];
  fold_name(name, folded);
  if (!len && slot_lookup(ctx, folded) == SLOT_NONE) return;
  char value[LINE_BUFFER_BYTES];
  std::memcpy(value, text, len);
  value[len] = 0;
  set_variable_by_name(ctx, name, value, VF_STRING);
  ctx->err = 0;   // a table or heap that is full leaves the entry without its help text
}

struct MenuBuild {
  RunContext* ctx;
  void* hwnd;
  const char* caption;
  HotkeyTable* hotkeys;
  char letter;
  bool bar;                                  // a menu bar or an existing menu: level-1 titles stand in a bar
  plat::MenuHandle open[MENU_LEVELS];        // open[0] the menu built; open[n] the submenu of level n
  int depth;                                 // submenus open
  uint32_t nextId, lastId;
};

// The description of a title: its text after ";", or the item's first code line for "^".
void describe(MenuBuild* b, const char* name, const MenuTitle& t, const char* firstCode) {
  if (t.descriptionFromCode && firstCode) set_description(b->ctx, name, firstCode, std::strlen(firstCode));
  else set_description(b->ctx, name, t.description, t.descriptionLength);
}

uint32_t entry_flags(const MenuTitle& t) { return t.columnBreak ? uint32_t(plat::MENU_BAR_BREAK) : 0u; }

bool add_separator(MenuBuild* b, const MenuTitle& t) {
  if (!t.separator || plat::menu_append_separator(b->open[b->depth])) return true;
  tell(b->ctx, b->hwnd, MSG_SEPARATOR_FAILED, b->caption);
  return false;
}

// A title that opens a submenu at the given level (1 to 3).
bool open_submenu(MenuBuild* b, int level, const char* line) {
  MenuTitle t;
  parse_menu_title(line, b->bar && level == 1, level == 1 || b->bar, &t);
  plat::MenuHandle sub = plat::menu_create(false);
  if (!add_separator(b, t)) {
    plat::menu_destroy(sub);
    return false;
  }
  if (!sub || !plat::menu_append_submenu(b->open[b->depth], sub, t.text, entry_flags(t))) {
    plat::menu_destroy(sub);
    tell(b->ctx, b->hwnd, MSG_POPUP_FAILED[level - 1], b->caption);
    return false;
  }
  char name[40];
  std::snprintf(name, sizeof name, "%%P%c%llu", b->letter, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(sub)));
  describe(b, name, t, nullptr);
  b->open[++b->depth] = sub;
  return true;
}

// A selectable item: its command id, its entry unless it is hidden, its hotkey and its description.
// Returns false when building stops (the message has been shown).
bool add_item(MenuBuild* b, int level, const char* line, const char* firstCode, bool* tooMany) {
  if (b->nextId > b->lastId) {
    tell(b->ctx, b->hwnd, MSG_TOO_MANY_ITEMS, b->caption);
    *tooMany = true;
    return false;
  }
  MenuTitle t;
  parse_menu_title(line, b->bar && level == 1, level == 1 || b->bar, &t);
  const uint32_t id = b->nextId;
  if (!t.hidden) {
    if (!add_separator(b, t)) return false;
    if (!plat::menu_append_item(b->open[b->depth], id, t.text, entry_flags(t))) {
      tell(b->ctx, b->hwnd, MSG_POPUP_FAILED[0], b->caption);
      return false;
    }
  }
  if (t.hotkey && b->hotkeys && b->hotkeys->count < HOTKEY_TABLE_PAIRS) {
    b->hotkeys->pairs[b->hotkeys->count][0] = t.hotkey;
    b->hotkeys->pairs[b->hotkeys->count][1] = uint16_t(id);
    ++b->hotkeys->count;
  }
  char name[40];
  std::snprintf(name, sizeof name, "%%M%c%u", b->letter, unsigned(id));
  describe(b, name, t, firstCode);
  ++b->nextId;
  return true;
}

// Builds the menu from the prepared text; false when building stopped at a failure.
bool build_menu(MenuBuild* b, const HeldScript* hs) {
  MenuScan* s = new (std::nothrow) MenuScan;
  if (!s) {
    tell(b->ctx, b->hwnd, MSG_ALLOC, b->caption);
    return false;
  }
  menu_scan_begin(s, b->ctx, hs);
  bool ok = true, tooMany = false;
  for (;;) {
    const MenuStep step = menu_scan_next(s);
    if (step.kind == MenuStepKind::End) {
      // A last title without code is still an item: choosing it finds no code.
      if (step.pendingTitle) ok = add_item(b, step.itemLevel, s->titles[step.itemLevel], nullptr, &tooMany);
      break;
    }
    if (step.kind == MenuStepKind::Error) {
      tell(b->ctx, b->hwnd, step.error, b->caption);
      show_line(b->ctx, b->hwnd, MSG_UNEXPECTED_LINE, s->line);
      ok = false;
      break;
    }
    if (step.kind == MenuStepKind::Title) {
      if (step.opensSubmenu) ok = open_submenu(b, step.level - 1, s->titles[step.level - 1]);
      else b->depth = step.level - 1;   // the deeper submenus are complete
    } else if (step.kind == MenuStepKind::Code && step.firstCode) {
      ok = add_item(b, step.itemLevel, s->titles[step.itemLevel], s->line, &tooMany);
    }
    if (!ok) {
      if (!tooMany) show_line(b->ctx, b->hwnd, MSG_UNEXPECTED_LINE, s->line);
      break;
    }
  }
  delete s;
  return ok;
}

// --- Extracting -------------------------------------------------------------------------------------------

// The code between two offsets of the menu text in a new host block, after a line marker that names the
// menu file and the line where the code starts, so that errors point into the menu file.
void* code_block(RunContext* ctx, const HeldScript* hs, uint32_t start, uint32_t end, const char* path) {
  char file[plat::MAX_PATH_CHARS + 1];
  int kind = -1;
  const uint32_t line = LocateLine(ctx, hs, start, file, sizeof file, nullptr, 0, nullptr, &kind);
  const char* marked = kind >= 0 && file[0] ? file : path;
  const size_t name_len = std::strlen(marked);
  const size_t size = LINE_MARKER_HEAD + name_len + 1 + (end - start) + 2;
  void* block = plat::host_alloc(size);
  auto* out = block ? static_cast<uint8_t*>(plat::host_lock(block)) : nullptr;
  if (!out) {
    plat::host_free(block);
    return nullptr;
  }
  line_marker_head(out, line);
  std::memcpy(out + LINE_MARKER_HEAD, marked, name_len);
  out[LINE_MARKER_HEAD + name_len] = '\n';
  std::memcpy(out + LINE_MARKER_HEAD + name_len + 1, hs->text + start, end - start);
  plat::host_unlock(block);
  return block;
}

struct CodeRange {
  bool found;
  uint32_t start, end;
};

// Finds the code of the chosen item, or the leading code. *invalid is set when the lines break the rules
// of the structure before the code was found (or while it was being read).
CodeRange find_code(MenuScan* s, bool leading, uint32_t chosenId, uint32_t firstId, bool* invalid) {
  CodeRange r{};
  uint32_t counter = firstId;
  bool in_range = false;
  *invalid = false;
  for (;;) {
    const MenuStep step = menu_scan_next(s);
    if (step.kind == MenuStepKind::End) {
      if (in_range) r.end = step.lineOffset;
      return r;
    }
    if (step.kind == MenuStepKind::Error) {
      *invalid = true;
      if (in_range) r.end = step.lineOffset;   // the code found ends where the structure breaks
      return r;
    }
    if (in_range && step.kind != MenuStepKind::Code && step.kind != MenuStepKind::LeadingCode) {
      r.end = step.lineOffset;
      return r;
    }
    if (leading && step.kind == MenuStepKind::Title) return r;   // no code stands before the first title
    if (leading && step.kind == MenuStepKind::LeadingCode && !in_range) {
      r = CodeRange{true, step.lineOffset, 0};
      in_range = true;
    } else if (!leading && step.kind == MenuStepKind::Code && step.firstCode) {
      if (counter == chosenId) {
        r = CodeRange{true, step.lineOffset, 0};
        in_range = true;
      }
      ++counter;
    }
  }
}

// --- Help texts -----------------------------------------------------------------------------------------

// The entry's text up to its TAB, quoted, with the word that says what it is; cut to the buffer.
void default_text(const plat::MenuItem* entry, bool popup, char* buffer, size_t size) {
  const char* text = entry ? entry->text : "";
  size_t n = std::strcspn(text, "\t");
  while (n && text[n - 1] == ' ') --n;
  std::snprintf(buffer, size, "\"%.*s\"%s", int(n), text, menu_word(popup));
}

// The value of a description variable; false when there is none.
bool description_text(RunContext* ctx, const char* name, char* buffer, size_t size) {
  char value[LINE_BUFFER_BYTES];
  if (variable_value_as_text(ctx, name, value, sizeof value) < 0) return false;
  std::snprintf(buffer, size, "%s", value);
  return true;
}

}  // namespace

void* load_standard_menu(void* hContext, void* hwnd, uint32_t firstId, uint32_t lastId, MenuFileState* state,
                         const char* caption, void* hotkeys, uintptr_t kind) {
  MenuCall call(hContext);
  RunContext* ctx = call.ctx();
  if (!ctx || !state) return nullptr;
  char name[sizeof state->szFile + 1], path[sizeof state->szFile];
  state_file(state, name);
  if (!find_menu_file(name, path, sizeof path)) {
    tell(ctx, hwnd, MSG_OPEN, caption);
    return nullptr;
  }
  std::memcpy(state->szFile, path, std::strlen(path) + 1);
  if (!dos_file_time(ctx, path, &state->dosDate, &state->dosTime)) {
    tell(ctx, hwnd, MSG_OPEN, caption);
    return nullptr;
  }
  static constexpr uint16_t READ_MESSAGES[4] = {MSG_OPEN, MSG_ALLOC, MSG_LOCK, MSG_READ};
  HeldScript hs;
  if (!read_menu_file(ctx, hwnd, path, caption, READ_MESSAGES, &hs)) return nullptr;

  auto* table = static_cast<HotkeyTable*>(hotkeys);
  if (table && state->menuIndex == 0) table->count = 0;
  plat::MenuHandle menu = kind == MENU_KIND_BAR || kind == MENU_KIND_POPUP ? plat::menu_create(kind == MENU_KIND_BAR)
                                                                             : reinterpret_cast<plat::MenuHandle>(kind);
  if (!plat::is_menu(menu)) {
    tell(ctx, hwnd, MSG_NO_MENU_BAR, caption);
    FreeHeldScript(&hs);
    return nullptr;
  }
  MenuBuild b{ctx, hwnd, caption, table, menu_letter(state), kind != MENU_KIND_POPUP, {menu}, 0, firstId,
              lastId < COMMAND_ID_MAX ? lastId : COMMAND_ID_MAX};
  drop_descriptions(ctx, b.letter);
  build_menu(&b, &hs);
  state->lastId = uint16_t(b.nextId - 1);
  FreeHeldScript(&hs);
  return menu;
}

void* parse_standard_menu(void* hContext, void* hwnd, uint32_t chosenId, bool leadingCode, uint32_t firstId,
                          MenuFileState* state, const char* caption) {
  MenuCall call(hContext);
  RunContext* ctx = call.ctx();
  if (!ctx || !state) return nullptr;
  char path[sizeof state->szFile + 1];
  state_file(state, path);
  uint16_t date = 0, time = 0;
  if (!dos_file_time(ctx, path, &date, &time)) {
    if (!leadingCode) tell(ctx, hwnd, MSG_REOPEN, caption);
    return nullptr;
  }
  if (date != state->dosDate || time != state->dosTime) {
    tell(ctx, hwnd, MSG_RELOAD, caption);
    return MENU_RELOAD;
  }
  static constexpr uint16_t SCAN_MESSAGES[4] = {MSG_REOPEN, MSG_SCAN_ALLOC, MSG_SCAN_LOCK, MSG_SCAN_READ};
  HeldScript hs;
  if (!read_menu_file(ctx, hwnd, path, caption, SCAN_MESSAGES, &hs)) return nullptr;

  MenuScan* s = new (std::nothrow) MenuScan;
  if (!s) {
    tell(ctx, hwnd, MSG_SCAN_ALLOC, caption);
    FreeHeldScript(&hs);
    return nullptr;
  }
  menu_scan_begin(s, ctx, &hs);
  bool invalid = false;
  const CodeRange r = find_code(s, leadingCode, chosenId, firstId, &invalid);
  void* block = nullptr;
  if (r.found) {
    block = code_block(ctx, &hs, r.start, r.end, path);
    if (!block) tell(ctx, hwnd, MSG_SCAN_ALLOC, caption);
  } else if (!leadingCode) {
    show_line(ctx, hwnd, MSG_INVALID_MENU, s->line);
  }
  delete s;
  FreeHeldScript(&hs);
  return block;
}

int32_t menu_select_processing(void* hContext, void* hwnd, uintptr_t wparam, intptr_t lparam, uint32_t firstId,
                               uint32_t lastId, char* buffer, int32_t size, const MenuFileState* state,
                               bool useGivenMenu) {
  MenuCall call(hContext);
  RunContext* ctx = call.ctx();
  if (!ctx) return -1;
  char scratch[1];
  if (!buffer || size <= 0) buffer = scratch, size = 1;
  buffer[0] = 0;
  const uint32_t id = uint32_t(wparam & 0xFFFF), flags = uint32_t((wparam >> 16) & 0xFFFF);
  if (flags == plat::MENU_CLOSED && id == 0) return 0;
  auto* given = reinterpret_cast<plat::MenuHandle>(lparam);
  const char letter = state ? menu_letter(state) : 'A';
  char name[40];
  plat::MenuItem entry{};
  if (flags & plat::MENU_SYSTEM) {
    if (flags & plat::MENU_POPUP) {
      default_text(plat::menu_entry(given, int(id), &entry) ? &entry : nullptr, true, buffer, size_t(size));
      return 2;
    }
    if (load_string(ctx, MSG_SYSTEM_COMMANDS + ((id & 0x1F0) >> 4), buffer, size) > 0) return 1;
    const bool known = plat::menu_find_command(plat::system_menu(hwnd), id, &entry);
    default_text(known ? &entry : nullptr, false, buffer, size_t(size));
    return 2;
  }
  if (flags & plat::MENU_POPUP) {
    // The notification names a submenu by its position in the menu that holds it.
    const bool known = plat::menu_entry(given, int(id), &entry) && entry.submenu;
    std::snprintf(name, sizeof name, "%%P%c%llu", letter,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(known ? entry.submenu : nullptr)));
    if (known && description_text(ctx, name, buffer, size_t(size))) return 1;
    default_text(known ? &entry : nullptr, true, buffer, size_t(size));
    return 3;
  }
  plat::MenuHandle root = useGivenMenu ? given : plat::window_menu(hwnd);
  const bool known = plat::menu_find_command(root, id, &entry);
  if (id >= firstId && id <= lastId && id != 0) {
    std::snprintf(name, sizeof name, "%%M%c%u", letter, unsigned(id));
    if (!description_text(ctx, name, buffer, size_t(size))) default_text(known ? &entry : nullptr, false, buffer, size_t(size));
    return 1;
  }
  if (id != 0) {
    default_text(known ? &entry : nullptr, false, buffer, size_t(size));
    return 4;
  }
  return 5;
}

}  // namespace tov
