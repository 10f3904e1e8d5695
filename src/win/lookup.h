// Finding windows by name: the run's own window (""), a WinId, or a title pattern matched against the
// titles of the top-level windows in the system's order; child windows by a second pattern among a
// parent's descendants. Also activation, the console-window rule and the enumerated lists.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "builtins/callframe.h"
#include "engine/context.h"
#include "platform/ui.h"

namespace tov {

// A window name as a built-in received it: ANSI, or wide in a wide call.
struct WinName {
  const char* ansi;
  const char16_t* wide;    // set in a wide call, then ansi is null
  bool empty() const { return wide ? !*wide : !*ansi; }
};

// Argument n of a built-in as a window name, in the form of the call.
WinName win_name_arg(RunContext* ctx, ArgBlock& a, int n, bool wide);
// A window's title in UTF-16, read with the limit of the title buffers; "" for no window.
std::u16string window_title(plat::WindowHandle w);

// FindTopWindow: "" is the run's own window; a WinId its window when that exists (no retries); any other
// name is looked up retries + 1 times, one second apart, stopping at a stop request. Null when none.
plat::WindowHandle find_top_window(RunContext* ctx, const WinName& name, int32_t retries);
// A descendant of parent whose title matches the name (or whose WinId it is); null when none.
plat::WindowHandle find_child_window(RunContext* ctx, plat::WindowHandle parent, const WinName& name);

// Brings a window to the front as WinActivate does, and gives its topmost child the focus.
void activate_window(RunContext* ctx, plat::WindowHandle w);
// Activates the parent, then the child as an MDI child. False when the child is disabled.
bool activate_child(RunContext* ctx, plat::WindowHandle parent, plat::WindowHandle child);
// A console or DOS window: its program is winoa386.mod or winoldap.mod, or its class is a console's.
bool is_console_window(plat::WindowHandle w);

// The WinId of a window in the call's form.
std::u16string winid_of(plat::WindowHandle w);

// --- lists built by enumeration (results in the form of the call) ------------------------------------

enum class ListFormat { Titles, Ids, Pairs };   // TAB-separated titles or WinIds, or "title|WinId|" pairs

struct ListRequest {
  ListFormat format = ListFormat::Titles;
  // WinItemizeEx
  const WinName* pattern = nullptr;   // null: every window
  bool hidden = true;                 // hidden windows are listed
  bool multiple = true;               // false: the first listed window only
  // WinItemProcId
  uint32_t pid = 0;                   // 0: any process
  uint32_t procFlags = 0;
};

// Top-level windows (parent null) or the descendants of parent, listed as the request asks; false with
// ctx->err set when the result cannot be stored.
bool list_windows(RunContext* ctx, Value* result, bool wide, plat::WindowHandle parent, const ListRequest& request);
// WinItemNameId: every listed top-level window as "title|WinId|", the last "|" removed.
bool list_windows_with_ids(RunContext* ctx, Value* result, bool wide);
// WinItemProcId: the top-level windows of one process.
bool list_process_windows(RunContext* ctx, Value* result, bool wide, const ListRequest& request);

// WinCloseNot: closes every visible titled top-level window that none of the names matches.
void close_windows_except(RunContext* ctx, const std::vector<std::u16string>& names);

// Lays the visible minimised windows out in a row along the bottom of the work area.
void arrange_icons(RunContext* ctx);

}  // namespace tov
