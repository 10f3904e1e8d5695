// Window lookup by name, activation, and the lists built by enumeration. The system's enumeration calls
// the exported callbacks below with the run context as its parameter; each reads one window's title into
// the context's buffer and compares it with the pattern there.
#include "win/lookup.h"

#include <cstring>

#include "builtins/args.h"
#include "engine/pump.h"
#include "engine/tovengine.h"
#include "platform/desktop.h"
#include "win/match.h"

namespace tov {

namespace {

using strtext::Ansi;
using strtext::Wide;

constexpr uint32_t RETRY_PAUSE_MS = 1000;
// WinCloseNot reads titles up to this many characters.
constexpr size_t CLOSE_TITLE_CHARS = 128;

RunContext* context_of(intptr_t param) { return reinterpret_cast<RunContext*>(param); }

// --- the two forms: the context's buffers and the system's titles ------------------------------------

Ansi form_of(RunContext* ctx, char) { return Ansi{ctx->nCodePage}; }
Wide form_of(RunContext*, char16_t) { return Wide{}; }
char* pattern_buffer(RunContext* ctx, char) { return ctx->win.pattern; }
char16_t* pattern_buffer(RunContext* ctx, char16_t) { return ctx->win.wpattern; }
char* text_buffer(RunContext* ctx, char) { return ctx->win.text; }
char16_t* text_buffer(RunContext* ctx, char16_t) { return ctx->win.wtext; }
size_t read_title(plat::WindowHandle w, char* out, size_t cap) { return plat::window_text(w, out, cap); }
size_t read_title(plat::WindowHandle w, char16_t* out, size_t cap) { return plat::window_text_w(w, out, cap); }

template <class U>
std::basic_string_view<U> title_of(RunContext* ctx, plat::WindowHandle w, size_t cap = WINDOW_TEXT_CHARS) {
  U* text = text_buffer(ctx, U());
  return {text, read_title(w, text, cap)};
}

template <class U>
std::basic_string_view<U> pattern_of(RunContext* ctx) {
  return std::basic_string_view<U>(pattern_buffer(ctx, U()));
}

// Copies a name into the pattern buffer, cut to whole characters that fit.
template <class U>
void set_pattern(RunContext* ctx, const U* name) {
  U* out = pattern_buffer(ctx, U());
  const auto form = form_of(ctx, U());
  const std::basic_string_view<U> src(name);
  size_t n = 0;
  while (n < src.size()) {
    const size_t units = form.char_units(src.data() + n, src.size() - n);
    if (n + units > WINDOW_TEXT_CHARS - 1) break;
    n += units;
  }
  std::memcpy(out, src.data(), n * sizeof(U));
  out[n] = 0;
}

// --- matching callbacks -----------------------------------------------------------------------------

template <class U>
int32_t enum_top(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  const auto form = form_of(ctx, U());
  if (!top_window_matches<decltype(form)>(title_of<U>(ctx, w), pattern_of<U>(ctx), form)) return 1;
  ctx->win.found = w;
  return 0;
}

template <class U>
int32_t enum_child(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  const auto form = form_of(ctx, U());
  if (!child_window_matches<decltype(form)>(title_of<U>(ctx, w), pattern_of<U>(ctx), form)) return 1;
  ctx->win.found = w;
  return 0;
}

// --- list jobs -----------------------------------------------------------------------------------------

template <class U>
struct ListJob {
  const ListRequest* request;
  std::basic_string<U> list;
  bool done = false;
};

template <class U>
void append_entry(ListJob<U>& job, std::basic_string_view<U> title, plat::WindowHandle w) {
  const ListFormat format = job.request->format;
  if (format != ListFormat::Ids) {
    job.list.append(title);
    job.list.push_back(format == ListFormat::Pairs ? U('|') : U('\t'));
  }
  if (format != ListFormat::Titles) {
    U id[WINID_CHARS + 1];
    format_winid(plat::window_id(w), id, WINID_CHARS + 1);
    job.list.append(id, WINID_CHARS);
    job.list.push_back(format == ListFormat::Pairs ? U('|') : U('\t'));
  }
}

template <class U>
ListJob<U>& job_of(RunContext* ctx) {
  return *static_cast<ListJob<U>*>(ctx->win.job);
}

// WinItemize, WinItemChild, WinItemNameId: every titled window but the DOS placeholder.
template <class U>
int32_t enum_item(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  const auto title = title_of<U>(ctx, w);
  if (!title.empty() && !is_winoldap<decltype(form_of(ctx, U()))>(title)) append_entry(job_of<U>(ctx), title, w);
  return 1;
}

// WinItemizeEx: titled windows, visible ones unless hidden ones are asked for, matching the pattern.
template <class U>
int32_t PLAT_CALLBACK enum_item_ex(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  ListJob<U>& job = job_of<U>(ctx);
  const auto form = form_of(ctx, U());
  const auto title = title_of<U>(ctx, w);
  if (title.empty() || is_winoldap<decltype(form)>(title)) return 1;
  if (!job.request->hidden && !plat::window_visible(w)) return 1;
  if (job.request->pattern && !match_title<decltype(form)>(title, pattern_of<U>(ctx), form)) return 1;
  append_entry(job, title, w);
  return job.request->multiple ? 1 : 0;
}

// WinItemProcId: the windows of one process; flags admit untitled (1), hidden (2), disabled (4) windows
// and the DOS placeholder (8).
template <class U>
int32_t enum_from_proc_id(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  ListJob<U>& job = job_of<U>(ctx);
  const uint32_t flags = job.request->procFlags;
  if (plat::window_process_id(w) != job.request->pid) return 1;
  const auto title = title_of<U>(ctx, w);
  if ((title.empty() && !(flags & 1)) || (!(flags & 2) && !plat::window_visible(w)) ||
      (!(flags & 4) && !plat::window_enabled(w)) ||
      (!(flags & 8) && is_winoldap<decltype(form_of(ctx, U()))>(title)))
    return 1;
  append_entry(job, title, w);
  return 1;
}

// --- WinCloseNot ---------------------------------------------------------------------------------------

struct CloseJob {
  const std::vector<std::u16string>* names;
};

bool spared_by(plat::WindowHandle w, std::u16string_view title, const std::u16string& name) {
  uint32_t id = 0;
  if (parse_winid<char16_t>(name, &id)) return plat::window_from_id(id) == w;
  return match_title<Wide>(title, name, Wide{});
}

int32_t enum_close(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  if (!plat::window_visible(w)) return 1;
  const auto title = title_of<char16_t>(ctx, w, CLOSE_TITLE_CHARS);
  if (title.empty() || is_winoldap<Wide>(title)) return 1;
  const auto* job = static_cast<const CloseJob*>(ctx->win.job);
  for (const std::u16string& name : *job->names)
    if (spared_by(w, title, name)) return 1;
  if (w != ctx->hwndOwner) {
    plat::post_sys_command(w, plat::SysCommand::Close);
    Wait(ctx, ctx->nHotkeyDelay);
  }
  return ctx->hdr.bCancel ? 0 : 1;
}

// --- icons -----------------------------------------------------------------------------------------------

int32_t enum_icon(plat::WindowHandle w, intptr_t param) {
  RunContext* ctx = context_of(param);
  if (plat::window_visible(w) && plat::window_minimized(w) && !title_of<char16_t>(ctx, w).empty())
    static_cast<std::vector<plat::WindowHandle>*>(ctx->win.job)->push_back(w);
  return 1;
}

}  // namespace

}  // namespace tov

// The callbacks of the system's window enumeration, exported under their own names. param is the run
// context; each returns nonzero to go on, zero to stop.
TOV_API int32_t TOV_CALL WinEnumFuncx(void* w, intptr_t param) { return tov::enum_top<char>(w, param); }
TOV_API int32_t TOV_CALL WinEnumFuncxW(void* w, intptr_t param) { return tov::enum_top<char16_t>(w, param); }
TOV_API int32_t TOV_CALL WinEnumDaChild(void* w, intptr_t param) { return tov::enum_child<char>(w, param); }
TOV_API int32_t TOV_CALL WinEnumDaChildW(void* w, intptr_t param) { return tov::enum_child<char16_t>(w, param); }
TOV_API int32_t TOV_CALL WinEnumItem(void* w, intptr_t param) { return tov::enum_item<char>(w, param); }
TOV_API int32_t TOV_CALL WinEnumItemW(void* w, intptr_t param) { return tov::enum_item<char16_t>(w, param); }
TOV_API int32_t TOV_CALL WinEnumItemAndId(void* w, intptr_t param) { return tov::enum_item<char>(w, param); }
TOV_API int32_t TOV_CALL WinEnumItemAndIdW(void* w, intptr_t param) { return tov::enum_item<char16_t>(w, param); }
TOV_API int32_t TOV_CALL WinEnumFromProcId(void* w, intptr_t param) {
  return tov::enum_from_proc_id<char>(w, param);
}
TOV_API int32_t TOV_CALL WinEnumFromProcIdW(void* w, intptr_t param) {
  return tov::enum_from_proc_id<char16_t>(w, param);
}
// WinCloseNot compares in UTF-16 whatever the form of its names; both names reach the same step.
TOV_API int32_t TOV_CALL WinEnumClose(void* w, intptr_t param) { return tov::enum_close(w, param); }
TOV_API int32_t TOV_CALL WinEnumCloseW(void* w, intptr_t param) { return tov::enum_close(w, param); }
TOV_API int32_t TOV_CALL WinEnumXXXIcon(void* w, intptr_t param) { return tov::enum_icon(w, param); }
TOV_API int32_t TOV_CALL WinEnumXXXIconW(void* w, intptr_t param) { return tov::enum_icon(w, param); }

namespace tov {

namespace {

plat::EnumWindowsProc top_matcher(bool wide) { return wide ? WinEnumFuncxW : WinEnumFuncx; }
plat::EnumWindowsProc child_matcher(bool wide) { return wide ? WinEnumDaChildW : WinEnumDaChild; }

// Runs one enumeration with the job in the context.
void enumerate(RunContext* ctx, plat::WindowHandle parent, plat::EnumWindowsProc proc, void* job) {
  ctx->win.job = job;
  if (parent) plat::enum_child_windows(parent, proc, reinterpret_cast<intptr_t>(ctx));
  else plat::enum_top_windows(proc, reinterpret_cast<intptr_t>(ctx));
  ctx->win.job = nullptr;
}

// The WinId a name holds; false when it is no WinId.
bool name_winid(const WinName& name, plat::WindowHandle* w) {
  uint32_t id = 0;
  const bool is_id = name.wide ? parse_winid<char16_t>(name.wide, &id) : parse_winid<char>(name.ansi, &id);
  if (is_id) *w = id && plat::is_window(plat::window_from_id(id)) ? plat::window_from_id(id) : nullptr;
  return is_id;
}

void set_name_pattern(RunContext* ctx, const WinName& name) {
  if (name.wide) set_pattern(ctx, name.wide);
  else set_pattern(ctx, name.ansi);
}

template <class U>
bool store_list(RunContext* ctx, Value* result, ListJob<U>& job) {
  if (!job.list.empty()) job.list.pop_back();
  return strtext::set_result(ctx, result, job.list.data(), job.list.size());
}

template <class U>
bool run_list(RunContext* ctx, Value* result, plat::WindowHandle parent, const ListRequest& request,
              plat::EnumWindowsProc proc) {
  ListJob<U> job{&request};
  if (request.pattern) set_name_pattern(ctx, *request.pattern);
  enumerate(ctx, parent, proc, &job);
  return store_list(ctx, result, job);
}

}  // namespace

WinName win_name_arg(RunContext* ctx, ArgBlock& a, int n, bool wide) {
  return wide ? WinName{nullptr, arg_wstr(ctx, a, n)} : WinName{arg_str(ctx, a, n), nullptr};
}

std::u16string window_title(plat::WindowHandle w) {
  std::u16string title(WINDOW_TEXT_CHARS, u'\0');
  title.resize(plat::window_text_w(w, title.data(), title.size()));
  return title;
}

plat::WindowHandle find_top_window(RunContext* ctx, const WinName& name, int32_t retries) {
  if (name.empty()) return ctx->hwndOwner;
  plat::WindowHandle w = nullptr;
  if (name_winid(name, &w)) return w;
  for (int64_t attempt = 0; attempt <= int64_t(retries) && !ctx->hdr.bCancel; ++attempt) {
    if (attempt) Wait(ctx, RETRY_PAUSE_MS);
    ctx->win.found = nullptr;
    set_name_pattern(ctx, name);
    plat::enum_top_windows(top_matcher(name.wide != nullptr), reinterpret_cast<intptr_t>(ctx));
    if (ctx->win.found) return ctx->win.found;
  }
  return nullptr;
}

plat::WindowHandle find_child_window(RunContext* ctx, plat::WindowHandle parent, const WinName& name) {
  if (!parent) return nullptr;
  plat::WindowHandle w = nullptr;
  if (name_winid(name, &w)) return w && plat::window_descends_from(w, parent) ? w : nullptr;
  ctx->win.found = nullptr;
  set_name_pattern(ctx, name);
  plat::enum_child_windows(parent, child_matcher(name.wide != nullptr), reinterpret_cast<intptr_t>(ctx));
  return ctx->win.found;
}

namespace {

// The first enabled, visible top-level window that w owns: the modal window that disables it.
struct ModalSearch {
  plat::WindowHandle owner, modal;
};

int32_t PLAT_CALLBACK enum_modal(plat::WindowHandle w, intptr_t param) {
  auto* search = reinterpret_cast<ModalSearch*>(param);
  if (!plat::window_enabled(w) || !plat::window_visible(w) || !plat::window_descends_from(w, search->owner)) return 1;
  search->modal = w;
  return 0;
}

}  // namespace

void activate_window(RunContext* ctx, plat::WindowHandle w) {
  constexpr uint32_t FOCUS_PAUSE_MS = 50, MODAL_PAUSE_MS = 25;
  plat::WindowHandle front = w;
  if (plat::window_enabled(w)) {
    plat::set_foreground_window(w);
    if (plat::WindowHandle child = plat::top_child(w)) plat::set_focus(child);
    Wait(ctx, FOCUS_PAUSE_MS);
    if (plat::window_minimized(w)) {
      plat::post_sys_command(w, plat::SysCommand::Restore);
      Wait(ctx, ctx->nHotkeyDelay);
    }
  } else {
    // A disabled window owns a modal one: the window comes forward and the modal one on top of it.
    ModalSearch search{w, nullptr};
    plat::enum_top_windows(enum_modal, reinterpret_cast<intptr_t>(&search));
    if (search.modal) {
      plat::set_foreground_window(w);
      Wait(ctx, MODAL_PAUSE_MS);
      plat::set_foreground_window(search.modal);
      if (plat::WindowHandle child = plat::top_child(search.modal)) plat::set_focus(child);
      Wait(ctx, FOCUS_PAUSE_MS);
      front = search.modal;
    }
  }
  if (ctx->win.activateMethod) plat::force_foreground(front, ctx->win.activateMethod);
}

bool activate_child(RunContext* ctx, plat::WindowHandle parent, plat::WindowHandle child) {
  if (!plat::window_enabled(child)) return false;
  activate_window(ctx, parent);
  plat::send_window_message(child, plat::MSG_CHILD_ACTIVATE, 0, 0, true);
  plat::send_window_message(parent, plat::MSG_MDI_ACTIVATE, reinterpret_cast<uintptr_t>(child), 0, true);
  plat::send_window_message(child, plat::MSG_CHILD_ACTIVATE, 0, 0, true);
  return true;
}

namespace {

bool same_ignoring_case(std::u16string_view a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = a[i] >= u'A' && a[i] <= u'Z' ? char16_t(a[i] + 32) : a[i];
    if (c != char16_t(b[i])) return false;
  }
  return true;
}

}  // namespace

bool is_console_window(plat::WindowHandle w) {
  if (!w || !plat::is_window(w)) return false;
  const std::u16string cls = plat::window_class_name(w);
  for (const char* name : {"consolewindowclass", "tty", "woa"})
    if (same_ignoring_case(cls, name)) return true;
  const std::u16string path = plat::process_program_path(plat::window_process_id(w));
  const size_t slash = path.find_last_of(u"\\/");
  const std::u16string_view base = std::u16string_view(path).substr(slash == std::u16string::npos ? 0 : slash + 1);
  return same_ignoring_case(base, "winoa386.mod") || same_ignoring_case(base, "winoldap.mod");
}

std::u16string winid_of(plat::WindowHandle w) {
  char16_t id[WINID_CHARS + 1];
  format_winid(plat::window_id(w), id, WINID_CHARS + 1);
  return id;
}

bool list_windows(RunContext* ctx, Value* result, bool wide, plat::WindowHandle parent, const ListRequest& request) {
  const bool filtered = request.pattern || !request.hidden || !request.multiple;
  if (wide)
    return run_list<char16_t>(ctx, result, parent, request, filtered ? enum_item_ex<char16_t> : WinEnumItemW);
  return run_list<char>(ctx, result, parent, request, filtered ? enum_item_ex<char> : WinEnumItem);
}

bool list_windows_with_ids(RunContext* ctx, Value* result, bool wide) {
  ListRequest request;
  request.format = ListFormat::Pairs;
  if (wide) return run_list<char16_t>(ctx, result, nullptr, request, WinEnumItemAndIdW);
  return run_list<char>(ctx, result, nullptr, request, WinEnumItemAndId);
}

bool list_process_windows(RunContext* ctx, Value* result, bool wide, const ListRequest& request) {
  if (wide) return run_list<char16_t>(ctx, result, nullptr, request, WinEnumFromProcIdW);
  return run_list<char>(ctx, result, nullptr, request, WinEnumFromProcId);
}

void close_windows_except(RunContext* ctx, const std::vector<std::u16string>& names) {
  CloseJob job{&names};
  enumerate(ctx, nullptr, WinEnumClose, &job);
}

void arrange_icons(RunContext* ctx) {
  std::vector<plat::WindowHandle> icons;
  enumerate(ctx, nullptr, WinEnumXXXIcon, &icons);
  const plat::Rect area = plat::work_area();
  const int32_t width = plat::system_metric(plat::METRIC_MINIMIZED_WIDTH);
  const int32_t height = plat::system_metric(plat::METRIC_MINIMIZED_HEIGHT);
  int32_t x = 0, y = area.bottom - area.top - height;
  for (plat::WindowHandle w : icons) {
    plat::Placement p{};
    if (!plat::get_placement(w, &p)) continue;
    if (x + width > area.right - area.left && x > 0) {
      x = 0;
      y -= height;
    }
    p.minX = x;
    p.minY = y;
    plat::set_placement(w, p);
    x += width;
  }
}

void window_state_init(WindowState* s) {
  s->retries = 9;
  s->waitDelay = 500;
  s->activateMethod = 3;
  s->sendKeyDelay = 25;
  s->idleWait = 1;
  s->consoleMode = 1;
}

}  // namespace tov
