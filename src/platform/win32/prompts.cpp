// The boxes and prompts of the script's user on Windows: message boxes with renamed buttons, the
// self-closing text window of Display, the line prompts LINEASK and PSWDASK, and the confirmation
// FILEWARN before a file is replaced. Each falls back to its console form when the console UI is chosen;
// the boxes and prompts also when no window can be shown.
#include <windows.h>
#include <string>

#include "platform/ui.h"
#include "platform/win32/module.h"
#include "platform/win32/ui_internal.h"
#include "resources/dialog_ids.h"

namespace plat {
namespace {

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
bool has_text(const char16_t* s) { return s && *s; }
// Shift, Ctrl and Alt alone are no key press: Ctrl+Break must reach the stop check as a whole.
bool is_modifier(WPARAM key) { return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU; }

// --- Message boxes ---------------------------------------------------------------------------------------

// The labels that the next message box of this thread gets. The box is caught when its dialog has been
// initialised, so its own texts are in place and are then replaced.
struct Relabel {
  const char16_t* ok;        // the OK button, or Yes where there is no OK
  const char16_t* cancel;    // the Cancel button, or No where there is no Cancel
  HHOOK hook;
  bool done;
};
thread_local Relabel* t_relabel = nullptr;

void rename_button(HWND box, int id, int instead, const char16_t* label) {
  if (!has_text(label)) return;
  HWND button = GetDlgItem(box, id);
  if (!button) button = GetDlgItem(box, instead);
  if (button) SetWindowTextW(button, wide(label));
}

LRESULT CALLBACK relabel_hook(int code, WPARAM wparam, LPARAM lparam) {
  Relabel* r = t_relabel;
  if (code == HC_ACTION && r && !r->done) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (m->message == WM_INITDIALOG) {
      r->done = true;
      rename_button(m->hwnd, IDOK, IDYES, r->ok);
      rename_button(m->hwnd, IDCANCEL, IDNO, r->cancel);
    }
  }
  return CallNextHookEx(r ? r->hook : nullptr, code, wparam, lparam);
}

// --- Display ---------------------------------------------------------------------------------------------

constexpr UINT_PTR DISPLAY_TIMER = 1;
constexpr uint32_t DISPLAY_TIMER_MAX_MS = 30000;
constexpr uint32_t DISPLAY_CLOSE_RETRY_MS = 700;
constexpr int DISPLAY_MARGIN = 16;
const wchar_t DISPLAY_CLASS[] = L"qz8wcdsp";

struct DisplayState {
  const wchar_t* text;
  HFONT font;               // the system's message font (null: the default GUI font)
  SIZE box;                 // the word-wrapped text's size
  uint32_t remaining;       // milliseconds not yet covered by an armed timer
  bool user_closed;
  bool finished;
};

DisplayState* display_state(HWND w) { return reinterpret_cast<DisplayState*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

void arm_display_timer(HWND w, DisplayState& s) {
  const uint32_t armed = s.remaining < DISPLAY_TIMER_MAX_MS ? s.remaining : DISPLAY_TIMER_MAX_MS;
  s.remaining -= armed;
  SetTimer(w, DISPLAY_TIMER, armed, nullptr);
}

// The window closes once less than 2 ms remain, but not while Alt or the left mouse button is held.
void try_close_display(HWND w, DisplayState& s) {
  if (s.remaining >= 2) return;
  if (key_down(VK_MENU) || key_down(VK_LBUTTON)) {
    SetTimer(w, DISPLAY_TIMER, DISPLAY_CLOSE_RETRY_MS, nullptr);
    return;
  }
  KillTimer(w, DISPLAY_TIMER);
  s.finished = true;
}

LRESULT CALLBACK display_proc(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(w, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  DisplayState* s = display_state(w);
  if (!s) return DefWindowProcW(w, message, wparam, lparam);
  switch (message) {
    case WM_TIMER:
      if (wparam != DISPLAY_TIMER) break;
      KillTimer(w, DISPLAY_TIMER);
      if (s->remaining > 1) arm_display_timer(w, *s);
      else try_close_display(w, *s);
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (is_modifier(wparam)) break;
      [[fallthrough]];
    case WM_LBUTTONUP:
    case WM_COMMAND:
    case WM_CLOSE:
      s->user_closed = true;
      s->remaining = 1;
      try_close_display(w, *s);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(w, &paint);
      RECT client;
      GetClientRect(w, &client);
      // Half the side margins are slack: some systems wrap a line that is exactly as wide as the field.
      RECT r{DISPLAY_MARGIN / 2, (client.bottom - s->box.cy) / 2, client.right - DISPLAY_MARGIN / 2, client.bottom};
      HGDIOBJ old = SelectObject(dc, s->font ? static_cast<HGDIOBJ>(s->font) : GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      DrawTextW(dc, s->text, -1, &r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
      SelectObject(dc, old);
      EndPaint(w, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(w, message, wparam, lparam);
}

bool register_display_class() {
  WNDCLASSW c{};
  c.lpfnWndProc = display_proc;
  c.hInstance = win32::engine_module();
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = DISPLAY_CLASS;
  return RegisterClassW(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HFONT message_font() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    if (HFONT f = CreateFontIndirectW(&metrics.lfMessageFont)) return f;
  return nullptr;
}

// The size of the text word-wrapped to at most half the screen's width, and wide enough for the title.
SIZE text_box(const wchar_t* title, const wchar_t* text, HFONT font) {
  const int limit = GetSystemMetrics(SM_CXSCREEN) / 2;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  RECT r{0, 0, limit, 0};
  DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  SIZE caption{};
  GetTextExtentPoint32W(dc, title, lstrlenW(title), &caption);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  LONG width = r.right - r.left;
  if (width < caption.cx) width = caption.cx < limit ? caption.cx : limit;
  return SIZE{width, r.bottom - r.top};
}

// Gives the window the client area that the text and its margins need, within the screen.
void fit_to_text(HWND w, SIZE box) {
  RECT outer, client;
  GetWindowRect(w, &outer);
  GetClientRect(w, &client);
  int width = box.cx + 2 * DISPLAY_MARGIN + (outer.right - outer.left) - client.right;
  int height = box.cy + 2 * DISPLAY_MARGIN + (outer.bottom - outer.top) - client.bottom;
  const int screen_h = GetSystemMetrics(SM_CYSCREEN);
  if (height > screen_h) height = screen_h;
  SetWindowPos(w, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Dispatches messages until the window is done or a stop is requested, which stays pending for the run
// loop. False when the stop ended it.
bool run_display(HWND w, const DisplayState& s) {
  HANDLE stop = win32::stop_event();
  while (!s.finished && IsWindow(w)) {
    if (win32::stop_requested()) return false;
    if (pump_one_message()) continue;
    // Ctrl+Break held in another program's window sends no message: look again now and then.
    MsgWaitForMultipleObjects(stop ? 1 : 0, stop ? &stop : nullptr, FALSE, 100, QS_ALLINPUT);
  }
  // The key that closed the window may have been Ctrl+Break.
  return !win32::stop_requested();
}

// --- Line prompts ----------------------------------------------------------------------------------------

struct AskData {
  const char16_t* title;
  const char16_t* prompt;
  const char16_t* def;
  const char16_t* ok_label;
  const char16_t* cancel_label;
  std::u16string* out;
};

// A prompt longer than its field makes the dialog taller, moving the field and the buttons down.
void fit_prompt(HWND dialog, const wchar_t* prompt) {
  HWND control = GetDlgItem(dialog, IDC_ASK_PROMPT);
  RECT field;
  GetWindowRect(control, &field);
  const int width = field.right - field.left, height = field.bottom - field.top;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT need{0, 0, width, 0};
  DrawTextW(dc, prompt, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  RECT outer;
  GetWindowRect(dialog, &outer);
  const int room = GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top);
  int grow = need.bottom - height;
  if (grow > room) grow = room;
  if (grow <= 0) return;
  SetWindowPos(control, nullptr, 0, 0, width, height + grow, SWP_NOMOVE | SWP_NOZORDER);
  for (int id : {IDC_ASK_EDIT, IDOK, IDCANCEL}) {
    HWND c = GetDlgItem(dialog, id);
    RECT r;
    GetWindowRect(c, &r);
    POINT p{r.left, r.top + grow};
    ScreenToClient(dialog, &p);
    SetWindowPos(c, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + grow,
               SWP_NOMOVE | SWP_NOZORDER);
}

INT_PTR CALLBACK ask_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& d = *reinterpret_cast<const AskData*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      SetWindowTextW(dialog, wide(d.title));
      SetDlgItemTextW(dialog, IDC_ASK_PROMPT, wide(d.prompt));
      SetDlgItemTextW(dialog, IDC_ASK_EDIT, wide(d.def));
      if (has_text(d.ok_label)) SetDlgItemTextW(dialog, IDOK, wide(d.ok_label));
      if (has_text(d.cancel_label)) SetDlgItemTextW(dialog, IDCANCEL, wide(d.cancel_label));
      fit_prompt(dialog, wide(d.prompt));
      win32::center_on_screen(dialog);
      SetForegroundWindow(dialog);
      HWND edit = GetDlgItem(dialog, IDC_ASK_EDIT);
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, 0, -1);
      return FALSE;   // the focus is in the field already
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        const auto& d = *reinterpret_cast<const AskData*>(GetWindowLongPtrW(dialog, DWLP_USER));
        HWND edit = GetDlgItem(dialog, IDC_ASK_EDIT);
        *d.out = win32::window_text16(edit);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// --- The confirmation before a file is replaced ----------------------------------------------------------

// The answer of each button of FILEWARN, in ReplaceButton order.
constexpr int kReplaceAnswers[RB_COUNT] = {REPLACE_THIS,     REPLACE_ALL,         REPLACE_SKIP, REPLACE_IF_NEWER,
                                           REPLACE_ALL_IF_NEWER, REPLACE_IF_OLDER, REPLACE_ALL_IF_OLDER,
                                           REPLACE_CANCEL};

int replace_button_id(int button) { return button == RB_CANCEL ? IDCANCEL : IDC_REPLACE_FIRST_BUTTON + button; }

INT_PTR CALLBACK replace_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& q = *reinterpret_cast<const ReplaceQuestion*>(lparam);
      SetWindowTextW(dialog, wide(q.caption));
      SetDlgItemTextW(dialog, IDC_REPLACE_LABEL, wide(q.replaceLabel));
      SetDlgItemTextW(dialog, IDC_REPLACE_TARGET, wide(q.target));
      SetDlgItemTextW(dialog, IDC_REPLACE_TARGET_TIME, wide(q.targetTime));
      SetDlgItemTextW(dialog, IDC_WITH_LABEL, wide(q.withLabel));
      SetDlgItemTextW(dialog, IDC_REPLACE_SOURCE, wide(q.source));
      SetDlgItemTextW(dialog, IDC_REPLACE_SOURCE_TIME, wide(q.sourceTime));
      for (int b = 0; b < RB_COUNT; ++b) SetDlgItemTextW(dialog, replace_button_id(b), wide(q.buttons[b]));
      win32::center_on_screen(dialog);
      SetForegroundWindow(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      for (int b = 0; b < RB_COUNT; ++b)
        if (LOWORD(wparam) == replace_button_id(b)) {
          EndDialog(dialog, kReplaceAnswers[b]);
          return TRUE;
        }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int message_box_w(WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t flags,
                  const char16_t* ok_label, const char16_t* cancel_label) {
  if (console_ui()) return console_message_box_w(text, caption, flags);
  Relabel relabel{ok_label, cancel_label, nullptr, false};
  Relabel* outer = t_relabel;
  if (has_text(ok_label) || has_text(cancel_label)) {
    relabel.hook = SetWindowsHookExW(WH_CALLWNDPROCRET, relabel_hook, nullptr, GetCurrentThreadId());
    if (relabel.hook) t_relabel = &relabel;
  }
  const int button = MessageBoxW(static_cast<HWND>(owner), wide(text), wide(caption), flags);
  if (relabel.hook) {
    UnhookWindowsHookEx(relabel.hook);
    t_relabel = outer;
  }
  // Where no box can be shown the user is still asked.
  return button ? button : console_message_box_w(text, caption, flags);
}

bool display_text(WindowHandle owner, const char16_t* title, const char16_t* text, uint32_t ms) {
  if (console_ui() || !register_display_class()) return console_display_text(title, text, ms);
  DisplayState state{wide(text), message_font(), {}, ms, false, false};
  state.box = text_box(wide(title), wide(text), state.font);
  HWND w = CreateWindowExW(WS_EX_DLGMODALFRAME, DISPLAY_CLASS, wide(title), WS_POPUP | WS_CAPTION | WS_BORDER, 0, 0,
                           state.box.cx, state.box.cy, static_cast<HWND>(owner), nullptr, win32::engine_module(),
                           &state);
  if (!w) {
    if (state.font) DeleteObject(state.font);
    return console_display_text(title, text, ms);
  }
  const bool owner_enabled = owner && EnableWindow(static_cast<HWND>(owner), FALSE) == 0;
  fit_to_text(w, state.box);
  win32::center_on_screen(w);
  ShowWindow(w, SW_SHOW);
  SetForegroundWindow(w);
  SetFocus(w);
  arm_display_timer(w, state);
  const bool completed = run_display(w, state);
  if (owner_enabled) EnableWindow(static_cast<HWND>(owner), TRUE);
  DestroyWindow(w);
  if (state.font) DeleteObject(state.font);
  return completed && state.user_closed;
}

bool ask_line(WindowHandle owner, const char16_t* title, const char16_t* prompt, const char16_t* def, bool password,
              const char16_t* ok_label, const char16_t* cancel_label, std::u16string* out) {
  if (console_ui()) return console_ask_line(title, prompt, def, password, out);
  AskData data{title ? title : u"", prompt ? prompt : u"", def ? def : u"", ok_label, cancel_label, out};
  const INT_PTR r = DialogBoxParamW(win32::engine_module(), password ? L"PSWDASK" : L"LINEASK",
                                    static_cast<HWND>(owner), ask_proc, reinterpret_cast<LPARAM>(&data));
  if (r <= 0) return console_ask_line(title, prompt, def, password, out);
  return r == IDOK;
}

int confirm_replace(WindowHandle owner, const ReplaceQuestion& question) {
  if (console_ui()) return console_confirm_replace(question);
  const INT_PTR r = DialogBoxParamW(win32::engine_module(), L"FILEWARN", static_cast<HWND>(owner), replace_proc,
                                    reinterpret_cast<LPARAM>(&question));
  return r > 0 ? int(r) : REPLACE_CANCEL;
}

}  // namespace plat
