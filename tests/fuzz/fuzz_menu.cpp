// Menu files through the three menu entry points, as a host uses them: the input is written as a menu file
// (text after a line "#==include" goes to inc.mnu beside it, for #include), LoadStandardMenu builds a popup
// menu from it, then ParseStandardMenu extracts the leading code and the code of every command id the
// load assigned and one beyond, and MenuSelectProcessing describes each entry. Whatever the file holds,
// the menu's ids must be distinct and within the range, the hotkey table within its 100 pairs, every code
// block a marked, NUL-terminated text, and every help text within its buffer. Message boxes go to the
// console (standard output).
#include <unistd.h>   // mkdtemp

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "engine/tovengine.h"
#include "platform/menus.h"
#include "platform/ui.h"
#include "test_context.h"

namespace {

constexpr uint32_t FIRST = 100, LAST = 160;
constexpr size_t HELP_BYTES = 48;

std::string g_dir;
tov::test::TestContext* g_context = nullptr;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_menu: %s\n", what);
  std::abort();
}

void write_file(const std::string& name, const char* data, size_t n) {
  FILE* f = std::fopen((g_dir + "/" + name).c_str(), "wb");
  check(f != nullptr, "cannot write the menu file");
  if (n) std::fwrite(data, 1, n, f);
  std::fclose(f);
}

// Walks the menu: ids distinct and in range, help texts bounded.
void walk(plat::MenuHandle menu, std::set<uint32_t>& ids, tov::MenuFileState* state, int depth) {
  check(depth <= 4, "menu deeper than four levels");
  const int n = plat::menu_entry_count(menu);
  for (int i = 0; i < n; ++i) {
    plat::MenuItem e;
    check(plat::menu_entry(menu, i, &e), "unreadable entry");
    char help[HELP_BYTES + 8];
    std::memset(help, 0x5A, sizeof help);
    const uintptr_t wparam = e.submenu ? (uintptr_t(plat::MENU_POPUP) << 16) | uint32_t(i) : e.id;
    MenuSelectProcessing(g_context->handle(), nullptr, wparam, reinterpret_cast<intptr_t>(menu), FIRST, LAST, help,
                         HELP_BYTES, state, 1);
    check(std::memchr(help, 0, HELP_BYTES) != nullptr && help[HELP_BYTES] == 0x5A, "help text overran its buffer");
    if (e.submenu) {
      walk(e.submenu, ids, state, depth + 1);
    } else if (!e.separator) {
      check(e.id >= FIRST && e.id <= state->lastId, "command id outside the range");
      check(ids.insert(e.id).second, "command id used twice");
    }
  }
}

void check_block(void* block) {
  if (!block || block == tov::MENU_RELOAD) return;
  const size_t size = plat::host_size(block);
  const char* text = static_cast<const char*>(plat::host_lock(block));
  check(size >= 10 && text[0] == ';' && text[1] == 0x0B, "code block without its line marker");
  check(std::memchr(text, 0, size) != nullptr, "code block not terminated");
  plat::host_unlock(block);
  plat::host_free(block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/fuzz_menu_XXXXXX";
  check(mkdtemp(dir) != nullptr, "cannot make a folder");
  g_dir = dir;
  plat::set_console_ui(true);
  g_context = new tov::test::TestContext(512, size_t(16) << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  static const char SPLIT[] = "\n#==include\n";
  const char* split = static_cast<const char*>(memmem(text, size, SPLIT, sizeof SPLIT - 1));
  const size_t menu_size = split ? size_t(split - text) : size;
  write_file("test.mnu", text, menu_size);
  if (split) write_file("inc.mnu", split + sizeof SPLIT - 1, size - menu_size - (sizeof SPLIT - 1));

  tov::MenuFileState state{};
  const std::string path = g_dir + "/test.mnu";
  path.copy(state.szFile, sizeof state.szFile - 1);
  tov::HotkeyTable hotkeys{};
  void* menu = LoadStandardMenu(g_context->handle(), nullptr, FIRST, LAST, &state, "fuzz", &hotkeys,
                                tov::MENU_KIND_POPUP);
  if (!menu) return 0;
  check(hotkeys.count <= tov::HOTKEY_TABLE_PAIRS, "hotkey table overrun");
  check(state.lastId + 1 >= FIRST && state.lastId <= LAST, "last id outside the range");
  for (uint32_t i = 0; i < hotkeys.count; ++i)
    check(hotkeys.pairs[i][1] >= FIRST && hotkeys.pairs[i][1] <= state.lastId, "hotkey for an unknown id");
  std::set<uint32_t> ids;
  walk(menu, ids, &state, 0);
  plat::menu_destroy(menu);

  check_block(ParseStandardMenu(g_context->handle(), nullptr, 0, 1, FIRST, 0, &state, "fuzz"));
  for (uint32_t id = FIRST; id <= uint32_t(state.lastId) + 1; ++id)
    check_block(ParseStandardMenu(g_context->handle(), nullptr, id, 0, FIRST, 0, &state, "fuzz"));
  return 0;
}
