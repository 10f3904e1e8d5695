// Menu files: the kinds of their lines, the parts of a title line, hotkey texts, and the scan that walks a
// menu file's structure for both building a menu and extracting an item's code.
#pragma once
#include <cstddef>
#include <cstdint>
#include "engine/script.h"

namespace tov {

constexpr int MENU_LEVELS = 4;
constexpr size_t MENU_TITLE_CHARS = 38;        // characters of a title line that are used
constexpr size_t MENU_TEXT_BYTES = 256;        // a display text: the title and its shown hotkey
constexpr uint32_t MENU_HOTKEYS_MAX = 100;

// Key code bits of a hotkey, as HotKeyCheck builds them from key messages.
constexpr uint16_t HOTKEY_VIRTUAL = 0x1000, HOTKEY_ALT = 0x2000, HOTKEY_CONTROL = 0x4000, HOTKEY_SHIFT = 0x8000;

// A line of a menu file, from the first four characters of its raw text (leading blanks included).
enum class MenuLineKind { Skip, Title, Code };
// Comments and blank lines are skipped; level receives 1 to 4 for a title.
MenuLineKind classify_menu_line(const char* raw, size_t n, int* level);

// The key code of a hotkey text ("^E", "!{F5}", "+{NUMPAD*}"); 0 when it names no key.
uint16_t hotkey_code(const char* text, size_t n);

struct MenuTitle {
  bool separator;                 // "_": a separator goes before the entry
  bool columnBreak;               // "|" where it has an effect: the entry starts a new column
  bool hidden;                    // the shown text begins with "@": a hotkey-only item
  char text[MENU_TEXT_BYTES];     // the shown text: TABs made blanks, the hotkey after a TAB
  uint16_t hotkey;                // 0 when the title has none
  const char* description;        // the text after ";" without its outer blanks (points into the line)
  size_t descriptionLength;
  bool descriptionFromCode;       // the description is "^": the item's first code line stands for it
};

// Splits a title line (after its level's blanks). barTitle: a level-1 title of a menu bar or of an
// existing menu, where the hotkey text follows without a TAB; breaks: "|" starts a new column.
void parse_menu_title(const char* line, bool barTitle, bool breaks, MenuTitle* out);

// --- Walking a menu file --------------------------------------------------------------------------------
// The scan reads the significant lines of a prepared menu text one step at a time and follows the rules
// of its structure: a title followed by a deeper title opens a submenu, a title followed by code is an
// item, code before the first title is the leading code.

enum class MenuStepKind {
  LeadingCode,   // a code line before the first title
  Title,         // a title line, remembered in titles[level]; opensSubmenu: titles[level - 1] opens a submenu,
                 // else the submenus of this level and deeper are complete
  Code,          // a code line of an item; firstCode: the item of titles[itemLevel] is complete
  Error,         // the line breaks the structure: error holds the message number
  End,           // the end of the text; pendingTitle: titles[itemLevel] had no code
};

struct MenuStep {
  MenuStepKind kind;
  int level;                 // Title: the title's level
  bool opensSubmenu;         // Title
  bool firstCode;            // Code
  bool pendingTitle;         // End
  int itemLevel;             // Code, End: level of the item's title
  uint16_t error;            // Error
  uint32_t lineOffset;       // where the line begins in the text, before its blanks
};

struct MenuScan {
  RunContext* ctx;
  const HeldScript* hs;
  uint32_t pos, lineStart;
  enum { START, AFTER_TITLE, IN_CODE } state;
  int level;                                      // level of the last title
  char line[LINE_BUFFER_BYTES];                   // the current line, without its leading blanks
  char titles[MENU_LEVELS + 1][LINE_BUFFER_BYTES];   // the last title of each level 1..4
};

void menu_scan_begin(MenuScan* s, RunContext* ctx, const HeldScript* hs);
// The next step. Lines longer than the line buffer are cut; the rest of such a line is passed over.
MenuStep menu_scan_next(MenuScan* s);

}  // namespace tov
