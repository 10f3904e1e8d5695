// Dialogs built at run time on Windows: an empty modal dialog of the Engine's dialog class, made from a
// template in memory, whose controls are created from the model when it initialises. Positions are
// dialog units of the system's dialog base units. Every user action becomes an event for the Engine.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_ui.h"
#include "platform/win32/module.h"
#include "platform/win32/ui_internal.h"
#include "resources/dialog_ids.h"

namespace plat {

namespace {

constexpr int CONTROL_ID_BASE = IDC_DLG_CONTROL_BASE;
constexpr UINT TIMER_ID = 1;
constexpr UINT WM_DROPLIST_CHANGED = WM_APP + 1;   // a drop-list selection, once the box shows its text
constexpr int DROPDOWN_EXTRA = 100;                 // pixels of a drop-list box's open list

using win32::from_wide;
using win32::wide;
using win32::window_text16;

struct DialogRun {
  DlgModel* model;
  DlgEventFn events;
  void* data;
  int32_t end_value = 0;
  bool ended = false;
  bool ready = false;          // controls made: notifications are the user's
  bool firing = false;         // an event is with the Engine (whose callback pumps messages)
  struct Pending {
    int event, control;
    std::u16string info;
  };
  std::vector<Pending> pending;   // events that came meanwhile, passed on in order afterwards
  int quiet = 0;               // >0 while the Engine changes controls: their notifications are not events
  int bx = 8, by = 16;         // dialog base units
  HFONT dialog_font = nullptr;
  bool own_dialog_font = false;
  std::vector<HFONT> fonts;    // per control, owned when not the dialog's
  std::vector<HWND> spins;     // up-down partners of spinners
  std::vector<HMENU> popups;   // menu items with items of their own
  std::map<int, std::pair<COLORREF, HBRUSH>> brushes;   // per control (-1 the dialog)
  std::vector<HBITMAP> bitmaps;
  HBITMAP background = nullptr;
};

DialogRun* run_of(HWND dialog) { return reinterpret_cast<DialogRun*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

int px_x(const DialogRun& r, int32_t v) { return MulDiv(v, r.bx, 4); }
int px_y(const DialogRun& r, int32_t v) { return MulDiv(v, r.by, 8); }

HFONT make_font(const DlgFont& f, int by) {
  LOGFONTW lf{};
  lf.lfHeight = -(MulDiv(f.size < 0 ? -f.size : f.size, by, 8)) / 1024;
  int32_t s = f.style;
  if (s < 0 || s > 10000) {
    lf.lfStrikeOut = TRUE;
    s -= 10000;
  }
  if (s > 1000) {
    lf.lfUnderline = TRUE;
    s -= 1000;
  }
  int weight;
  if (s <= 100) {
    weight = s * 10;
  } else {
    lf.lfItalic = TRUE;
    weight = (s - 100) * 10;
  }
  lf.lfWeight = weight < 0 ? 0 : weight > 1000 ? 1000 : weight;
  lf.lfPitchAndFamily = BYTE(f.pitchFamily & 0xFF);
  lf.lfCharSet = BYTE((f.pitchFamily >> 8) & 0xFF);
  if (!lf.lfCharSet) lf.lfCharSet = DEFAULT_CHARSET;
  const std::u16string face = f.face.empty() ? u"MS Shell Dlg" : f.face;
  lstrcpynW(lf.lfFaceName, wide(face), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

HBITMAP load_bitmap(const std::u16string& file) {
  if (file.empty()) return nullptr;
  return static_cast<HBITMAP>(LoadImageW(nullptr, wide(file), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

int index_of(HWND dialog, HWND control) {
  const int id = GetDlgCtrlID(control) - CONTROL_ID_BASE;
  DialogRun* r = run_of(dialog);
  return r && id >= 0 && id < int(r->model->controls.size()) ? id : -1;
}

// --- reading and writing one control ----------------------------------------------------------------------

std::u16string list_selection(HWND list, bool multiple) {
  std::u16string state;
  auto item = [&](int i) {
    const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0);
    if (n < 0) return;
    std::wstring t(size_t(n) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(t.data()));
    t.resize(size_t(n));
    if (!state.empty()) state += u'\t';
    state += std::u16string(t.begin(), t.end());
  };
  if (multiple) {
    const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
      if (SendMessageW(list, LB_GETSEL, WPARAM(i), 0) > 0) item(i);
  } else {
    const LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (i != LB_ERR) item(int(i));
  }
  return state;
}

bool multiple_list(const DlgControl& c) { return c.type == DLG_ITEMBOX && !(c.style & DLG_STYLE_SINGLE_OR_LISTONLY); }

void read_control(DialogRun& r, int i) {
  DlgControl& c = r.model->controls[size_t(i)];
  HWND w = static_cast<HWND>(c.window);
  if (!w) return;
  switch (c.type) {
    case DLG_EDITBOX: case DLG_MULTILINEBOX: case DLG_DROPLISTBOX: c.state = window_text16(w); break;
    case DLG_CHECKBOX: case DLG_RADIOBUTTON: c.on = SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED; break;
    case DLG_ITEMBOX: case DLG_FILELISTBOX: c.state = list_selection(w, multiple_list(c)); break;
    case DLG_CALENDAR: {
      SYSTEMTIME t{};
      if (SendMessageW(w, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&t))) {
        char buf[16];
        wsprintfA(buf, "%04d:%02d:%02d", t.wYear, t.wMonth, t.wDay);
        c.state = std::u16string(buf, buf + 10);
      }
      break;
    }
    case DLG_SPINNER: {
      BOOL failed = FALSE;
      const LRESULT pos = SendMessageW(r.spins[size_t(i)], UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed));
      if (!failed) c.on = int32_t(pos);
      break;
    }
    default: break;
  }
}

void fill_list(HWND w, const DlgControl& c) {
  const bool combo = c.type == DLG_DROPLISTBOX;
  SendMessageW(w, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
  const std::vector<std::u16string> items = c.type == DLG_FILELISTBOX ? list_files(c.directory, c.mask) : split_tabs(c.text);
  for (const std::u16string& item : items)
    SendMessageW(w, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
  if (combo) {
    if (c.style & DLG_STYLE_SINGLE_OR_LISTONLY)
      SendMessageW(w, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(wide(c.state)));
    else
      SetWindowTextW(w, wide(c.state));
    return;
  }
  const std::vector<std::u16string> chosen = split_tabs(c.state);
  const bool multiple = multiple_list(c);
  for (int i = 0; i < int(items.size()); ++i)
    if (std::find(chosen.begin(), chosen.end(), items[size_t(i)]) != chosen.end()) {
      if (multiple) SendMessageW(w, LB_SETSEL, TRUE, LPARAM(i));
      else SendMessageW(w, LB_SETCURSEL, WPARAM(i), 0);
    }
}

void set_image(DialogRun& r, DlgControl& c, HWND w) {
  HBITMAP b = load_bitmap(c.bitmap);
  if (!b) return;
  r.bitmaps.push_back(b);
  SendMessageW(w, c.type == DLG_PICTURE ? STM_SETIMAGE : BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(b));
}

void write_control(HWND dialog, DialogRun& r, int i) {
  DlgControl& c = r.model->controls[size_t(i)];
  ++r.quiet;
  if (c.type == DLG_MENUITEM) {
    HMENU menu = GetMenu(dialog);
    if (menu) {
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_STRING | MIIM_STATE;
      info.dwTypeData = const_cast<wchar_t*>(wide(c.text));
      info.fState = (c.style & DLG_STYLE_DISABLED) ? MFS_DISABLED : MFS_ENABLED;
      // Menus that hold items have no command id; only the items that are chosen are renamed.
      if (!r.popups[size_t(i)]) SetMenuItemInfoW(menu, UINT(CONTROL_ID_BASE + i), FALSE, &info);
      DrawMenuBar(dialog);
    }
    --r.quiet;
    return;
  }
  HWND w = static_cast<HWND>(c.window);
  if (!w) {
    --r.quiet;
    return;
  }
  switch (c.type) {
    case DLG_VARYTEXT: SetWindowTextW(w, wide(c.state)); break;
    case DLG_EDITBOX: case DLG_MULTILINEBOX:
      if (window_text16(w) != c.state) SetWindowTextW(w, wide(c.state));
      SendMessageW(w, EM_SETREADONLY, (c.style & DLG_STYLE_READONLY_OR_DEFAULT) ? TRUE : FALSE, 0);
      if (c.type == DLG_EDITBOX) SendMessageW(w, EM_SETPASSWORDCHAR, (c.style & DLG_STYLE_PASSWORD) ? L'*' : 0, 0);
      break;
    case DLG_CHECKBOX: case DLG_RADIOBUTTON:
      SetWindowTextW(w, wide(c.text));
      SendMessageW(w, BM_SETCHECK, c.on ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case DLG_ITEMBOX: case DLG_FILELISTBOX: case DLG_DROPLISTBOX: fill_list(w, c); break;
    case DLG_CALENDAR: {
      int y = 0, m = 0, d = 0;
      std::string s(c.state.begin(), c.state.end());
      if (sscanf(s.c_str(), "%d:%d:%d", &y, &m, &d) == 3) {
        SYSTEMTIME t{};
        t.wYear = WORD(y);
        t.wMonth = WORD(m);
        t.wDay = WORD(d);
        SendMessageW(w, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&t));
      }
      break;
    }
    case DLG_SPINNER: {
      SendMessageW(r.spins[size_t(i)], UDM_SETBUDDY, reinterpret_cast<WPARAM>(w), 0);
      SendMessageW(r.spins[size_t(i)], UDM_SETRANGE32, WPARAM(c.low), LPARAM(c.high));
      SendMessageW(r.spins[size_t(i)], UDM_SETPOS32, 0, LPARAM(c.on));
      // The field shows the number whether or not the arrows wrote it there.
      const std::wstring number = std::to_wstring(c.on);
      if (window_text16(w) != std::u16string(number.begin(), number.end())) SetWindowTextW(w, number.c_str());
      break;
    }
    case DLG_PICTURE: case DLG_PICTUREBUTTON:
      SetWindowTextW(w, wide(c.text));
      set_image(r, c, w);
      break;
    case DLG_COMCONTROL: SetWindowTextW(w, wide(c.state)); break;
    default: SetWindowTextW(w, wide(c.text)); break;
  }
  int height = px_y(r, c.height);
  if (c.type == DLG_DROPLISTBOX) height += DROPDOWN_EXTRA;
  MoveWindow(w, px_x(r, c.x), px_y(r, c.y), px_x(r, c.width), height, TRUE);
  if (c.type == DLG_SPINNER) SendMessageW(r.spins[size_t(i)], UDM_SETBUDDY, reinterpret_cast<WPARAM>(w), 0);
  const bool visible = !(c.style & DLG_STYLE_INVISIBLE), enabled = !(c.style & DLG_STYLE_DISABLED);
  ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
  EnableWindow(w, enabled);
  if (c.type == DLG_SPINNER) {
    ShowWindow(r.spins[size_t(i)], visible ? SW_SHOWNA : SW_HIDE);
    EnableWindow(r.spins[size_t(i)], enabled);
  }
  InvalidateRect(w, nullptr, TRUE);
  --r.quiet;
}

// --- making the controls ------------------------------------------------------------------------------------

struct ClassAndStyle {
  const wchar_t* cls;
  DWORD style, ex;
};

ClassAndStyle class_of(const DlgControl& c, bool has_bitmap) {
  const DWORD tab = WS_TABSTOP;
  switch (c.type) {
    case DLG_STATICTEXT: case DLG_VARYTEXT: return {L"Static", SS_LEFT, 0};
    case DLG_GROUPBOX: return {L"Button", BS_GROUPBOX, 0};
    case DLG_EDITBOX: return {L"Edit", tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case DLG_MULTILINEBOX:
      return {L"Edit", tab | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case DLG_RADIOBUTTON: return {L"Button", tab | BS_RADIOBUTTON, 0};
    case DLG_CHECKBOX: return {L"Button", tab | BS_AUTOCHECKBOX, 0};
    case DLG_PUSHBUTTON:
      return {L"Button", tab | ((c.style & DLG_STYLE_READONLY_OR_DEFAULT) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0};
    case DLG_PICTUREBUTTON: return {L"Button", tab | BS_PUSHBUTTON | (has_bitmap ? BS_BITMAP : 0), 0};
    case DLG_PICTURE: return {L"Static", DWORD(has_bitmap ? SS_BITMAP : SS_LEFT), 0};
    case DLG_ITEMBOX:
      return {L"ListBox",
              tab | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | (multiple_list(c) ? LBS_EXTENDEDSEL : 0),
              WS_EX_CLIENTEDGE};
    case DLG_FILELISTBOX:
      return {L"ListBox", tab | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case DLG_DROPLISTBOX:
      return {L"ComboBox",
              tab | WS_VSCROLL | CBS_AUTOHSCROLL |
                  DWORD((c.style & DLG_STYLE_SINGLE_OR_LISTONLY) ? CBS_DROPDOWNLIST : CBS_DROPDOWN),
              0};
    case DLG_CALENDAR: return {MONTHCAL_CLASSW, tab, 0};
    case DLG_SPINNER: return {L"Edit", tab | ES_NUMBER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case DLG_COMCONTROL: return {L"Static", SS_LEFT | WS_BORDER, 0};
    default: return {nullptr, 0, 0};
  }
}

void make_menu(HWND dialog, DialogRun& r) {
  const std::vector<DlgControl>& cs = r.model->controls;
  int bar = -1;
  for (int i = 0; i < int(cs.size()); ++i)
    if (cs[size_t(i)].type == DLG_MENUBAR) bar = i;
  if (bar < 0) return;
  HMENU root = CreateMenu();
  std::vector<HMENU> menu_of(cs.size(), nullptr);
  menu_of[size_t(bar)] = root;
  for (int i = 0; i < int(cs.size()); ++i) {
    if (cs[size_t(i)].type != DLG_MENUITEM) continue;
    for (const DlgControl& other : cs)
      if (other.type == DLG_MENUITEM && other.parent == i) {
        menu_of[size_t(i)] = r.popups[size_t(i)] = CreatePopupMenu();
        break;
      }
  }
  for (int i = 0; i < int(cs.size()); ++i) {
    const DlgControl& c = cs[size_t(i)];
    if (c.type != DLG_MENUITEM || c.parent < 0 || !menu_of[size_t(c.parent)]) continue;
    const UINT state = (c.style & DLG_STYLE_DISABLED) ? MF_GRAYED : MF_ENABLED;
    if (r.popups[size_t(i)])
      AppendMenuW(menu_of[size_t(c.parent)], MF_POPUP | state, reinterpret_cast<UINT_PTR>(r.popups[size_t(i)]),
                  wide(c.text));
    else if (c.text == u"-")
      AppendMenuW(menu_of[size_t(c.parent)], MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuW(menu_of[size_t(c.parent)], MF_STRING | state, UINT_PTR(CONTROL_ID_BASE + i), wide(c.text));
  }
  SetMenu(dialog, root);
}

void make_controls(HWND dialog, DialogRun& r) {
  std::vector<DlgControl>& cs = r.model->controls;
  r.fonts.assign(cs.size(), nullptr);
  r.spins.assign(cs.size(), nullptr);
  r.popups.assign(cs.size(), nullptr);
  // The tab order is the creation order.
  std::vector<int> order;
  for (int i = 0; i < int(cs.size()); ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return cs[size_t(a)].tabOrder < cs[size_t(b)].tabOrder; });
  HINSTANCE instance = win32::engine_module();
  for (int i : order) {
    DlgControl& c = cs[size_t(i)];
    HBITMAP probe = (c.type == DLG_PICTURE || c.type == DLG_PICTUREBUTTON) ? load_bitmap(c.bitmap) : nullptr;
    const ClassAndStyle k = class_of(c, probe != nullptr);
    if (probe) DeleteObject(probe);
    if (!k.cls) continue;
    HWND w = CreateWindowExW(k.ex, k.cls, L"", WS_CHILD | k.style, 0, 0, 10, 10, dialog,
                             reinterpret_cast<HMENU>(INT_PTR(CONTROL_ID_BASE + i)), instance, nullptr);
    c.window = w;
    if (!w) continue;
    if (c.type == DLG_SPINNER)
      r.spins[size_t(i)] = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                           WS_CHILD | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                                           0, 0, 0, 0, dialog, nullptr, instance, nullptr);
    HFONT font = r.dialog_font;
    if (c.font.set && !(c.font.face == r.model->font.face && c.font.size == r.model->font.size &&
                        c.font.style == r.model->font.style && c.font.pitchFamily == r.model->font.pitchFamily))
      font = r.fonts[size_t(i)] = make_font(c.font, r.by);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : r.dialog_font), FALSE);
    if (c.type == DLG_PUSHBUTTON && (c.style & DLG_STYLE_READONLY_OR_DEFAULT))
      SendMessageW(dialog, DM_SETDEFID, WPARAM(CONTROL_ID_BASE + i), 0);
  }
  make_menu(dialog, r);
  for (int i = 0; i < int(cs.size()); ++i) write_control(dialog, r, i);
}

// The dialog's window size for its client size in dialog units.
void place_dialog(HWND dialog, DialogRun& r) {
  const DlgModel& m = *r.model;
  RECT rc{0, 0, px_x(r, m.width), px_y(r, m.height)};
  AdjustWindowRectEx(&rc, DWORD(GetWindowLongW(dialog, GWL_STYLE)), GetMenu(dialog) != nullptr,
                     DWORD(GetWindowLongW(dialog, GWL_EXSTYLE)));
  SetWindowPos(dialog, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
  if (m.x >= 0 && m.y >= 0)
    SetWindowPos(dialog, nullptr, px_x(r, m.x), px_y(r, m.y), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  else
    win32::center_on_screen(dialog);
}

void fire(HWND dialog, DialogRun& r, int event, int control, const std::u16string& info = u"") {
  if (r.ended || !r.ready || r.quiet) return;
  // The script's callback keeps messages flowing: what the user does meanwhile waits its turn instead of
  // being lost (a repeated timer tick or edit counts once).
  if (r.firing) {
    for (const DialogRun::Pending& p : r.pending)
      if (p.event == event && p.control == control && p.info == info) return;
    r.pending.push_back({event, control, info});
    return;
  }
  r.firing = true;
  DialogRun::Pending next{event, control, info};
  for (;;) {
    int32_t value = 0;
    if (r.events(r.data, *r.model, next.event, next.control, next.info, &value) && !r.ended) {
      r.ended = true;
      r.end_value = value;
      EndDialog(dialog, 1);
    }
    if (r.ended || r.pending.empty()) break;
    next = r.pending.front();
    r.pending.erase(r.pending.begin());
  }
  r.pending.clear();
  r.firing = false;
}

HBRUSH brush_for(DialogRun& r, int key, COLORREF color) {
  auto it = r.brushes.find(key);
  if (it != r.brushes.end() && it->second.first == color) return it->second.second;
  if (it != r.brushes.end()) DeleteObject(it->second.second);
  HBRUSH b = CreateSolidBrush(color);
  r.brushes[key] = {color, b};
  return b;
}

INT_PTR color_control(HWND dialog, DialogRun& r, HDC dc, HWND control) {
  const int i = index_of(dialog, control);
  const int32_t text = i >= 0 ? r.model->controls[size_t(i)].textColor : r.model->textColor;
  int32_t back = i >= 0 ? r.model->controls[size_t(i)].background : DLG_COLOR_DEFAULT;
  if (text != DLG_COLOR_DEFAULT) SetTextColor(dc, COLORREF(text));
  if (back == DLG_COLOR_DEFAULT) back = r.model->background;
  if (back == DLG_COLOR_DEFAULT) return text != DLG_COLOR_DEFAULT ? reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)) : 0;
  SetBkColor(dc, COLORREF(back));
  return reinterpret_cast<INT_PTR>(brush_for(r, i, COLORREF(back)));
}

void on_command(HWND dialog, DialogRun& r, WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam), code = HIWORD(wparam);
  if (id == IDCANCEL) return fire(dialog, r, DLG_EV_CLOSE, -1);
  const int i = id - CONTROL_ID_BASE;
  if (i < 0 || i >= int(r.model->controls.size())) return;
  DlgControl& c = r.model->controls[size_t(i)];
  if (!lparam && code == 0 && c.type == DLG_MENUITEM) return fire(dialog, r, DLG_EV_MENUITEM, i);
  switch (c.type) {
    case DLG_PUSHBUTTON: case DLG_PICTUREBUTTON:
      if (code == BN_CLICKED) fire(dialog, r, DLG_EV_BUTTON, i);
      break;
    case DLG_RADIOBUTTON:
      if (code != BN_CLICKED) break;
      for (size_t j = 0; j < r.model->controls.size(); ++j) {
        DlgControl& o = r.model->controls[j];
        if (o.type == DLG_RADIOBUTTON && o.group == c.group && o.window)
          SendMessageW(static_cast<HWND>(o.window), BM_SETCHECK, int(j) == i ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      fire(dialog, r, DLG_EV_RADIO, i);
      break;
    case DLG_CHECKBOX:
      if (code == BN_CLICKED) fire(dialog, r, DLG_EV_CHECKBOX, i);
      break;
    case DLG_EDITBOX: case DLG_MULTILINEBOX:
      if (code == EN_CHANGE) fire(dialog, r, DLG_EV_EDIT, i);
      break;
    case DLG_SPINNER:
      if (code == EN_CHANGE) fire(dialog, r, DLG_EV_SPINNER, i);
      break;
    case DLG_ITEMBOX: case DLG_FILELISTBOX:
      if (code == LBN_SELCHANGE) fire(dialog, r, c.type == DLG_ITEMBOX ? DLG_EV_ITEMBOX : DLG_EV_FILELIST, i);
      else if (code == LBN_DBLCLK)
        fire(dialog, r, c.type == DLG_ITEMBOX ? DLG_EV_ITEMBOX_DOUBLE : DLG_EV_FILELIST_DOUBLE, i);
      break;
    case DLG_DROPLISTBOX:
      // The box shows the chosen item's text only after this notification.
      if (code == CBN_SELCHANGE && !r.quiet) PostMessageW(dialog, WM_DROPLIST_CHANGED, WPARAM(i), 0);
      else if (code == CBN_EDITCHANGE) fire(dialog, r, DLG_EV_DROPLIST, i);
      break;
    default: break;
  }
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  DialogRun* r = message == WM_INITDIALOG ? reinterpret_cast<DialogRun*>(lparam) : run_of(dialog);
  if (!r) return FALSE;
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      r->model->handle = dialog;
      const LONG base = GetDialogBaseUnits();
      r->bx = LOWORD(base);
      r->by = HIWORD(base);
      if (r->model->font.set) {
        r->dialog_font = make_font(r->model->font, r->by);
        r->own_dialog_font = r->dialog_font != nullptr;
      }
      if (!r->dialog_font) r->dialog_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      r->background = load_bitmap(r->model->bitmap);
      make_controls(dialog, *r);
      place_dialog(dialog, *r);
      if (r->model->timerMs) SetTimer(dialog, TIMER_ID, r->model->timerMs, nullptr);
      DragAcceptFiles(dialog, r->model->acceptFiles);
      r->ready = true;
      fire(dialog, *r, DLG_EV_INIT, -1);
      if (!r->ended) SetForegroundWindow(dialog);
      return TRUE;
    }
    case WM_COMMAND: on_command(dialog, *r, wparam, lparam); return TRUE;
    case WM_DROPLIST_CHANGED: fire(dialog, *r, DLG_EV_DROPLIST, int(wparam)); return TRUE;
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(lparam);
      if (n->code == MCN_SELCHANGE) {
        const int i = index_of(dialog, n->hwndFrom);
        if (i >= 0) fire(dialog, *r, DLG_EV_CALENDAR, i);
      }
      return FALSE;
    }
    case WM_TIMER:
      if (wparam == TIMER_ID) fire(dialog, *r, DLG_EV_TIMER, -1);
      return TRUE;
    case WM_INITMENUPOPUP:
      for (size_t i = 0; i < r->popups.size(); ++i)
        if (r->popups[i] && r->popups[i] == reinterpret_cast<HMENU>(wparam)) fire(dialog, *r, DLG_EV_MENU_OPENING, int(i));
      return FALSE;
    case WM_SIZE:
      if (r->model->minWidth >= 0 || r->model->minHeight >= 0) fire(dialog, *r, DLG_EV_RESIZED, -1);
      return FALSE;
    case WM_GETMINMAXINFO: {
      if (r->model->minWidth < 0 && r->model->minHeight < 0) return FALSE;
      RECT rc{0, 0, px_x(*r, r->model->minWidth < 0 ? 0 : r->model->minWidth),
              px_y(*r, r->model->minHeight < 0 ? 0 : r->model->minHeight)};
      AdjustWindowRectEx(&rc, DWORD(GetWindowLongW(dialog, GWL_STYLE)), GetMenu(dialog) != nullptr,
                         DWORD(GetWindowLongW(dialog, GWL_EXSTYLE)));
      auto* mm = reinterpret_cast<MINMAXINFO*>(lparam);
      mm->ptMinTrackSize.x = rc.right - rc.left;
      mm->ptMinTrackSize.y = rc.bottom - rc.top;
      return TRUE;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wparam);
      std::u16string files;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT k = 0; k < count; ++k) {
        wchar_t name[MAX_PATH * 4];
        if (!DragQueryFileW(drop, k, name, UINT(sizeof name / sizeof name[0]))) continue;
        if (!files.empty()) files += u'\t';
        files += from_wide(name);
      }
      DragFinish(drop);
      fire(dialog, *r, DLG_EV_FILES_DROPPED, -1, files);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: case WM_CTLCOLORBTN: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
      return color_control(dialog, *r, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CTLCOLORDLG:
      if (r->model->background == DLG_COLOR_DEFAULT) return FALSE;
      return reinterpret_cast<INT_PTR>(brush_for(*r, -1, COLORREF(r->model->background)));
    case WM_ERASEBKGND: {
      if (!r->background) return FALSE;
      HDC dc = reinterpret_cast<HDC>(wparam);
      HDC mem = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(mem, r->background);
      BITMAP bm{};
      GetObjectW(r->background, sizeof bm, &bm);
      RECT rc;
      GetClientRect(dialog, &rc);
      StretchBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
      SelectObject(mem, old);
      DeleteDC(mem);
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_DESTROY:
      KillTimer(dialog, TIMER_ID);
      dialog_read(*r->model);
      for (DlgControl& c : r->model->controls) c.window = nullptr;
      r->model->handle = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

// A dialog template with no controls: the controls are made when the dialog initialises.
std::vector<WORD> empty_template(const DlgModel& m, bool with_class) {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* h = reinterpret_cast<DLGTEMPLATE*>(t.data());
  h->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND |
             ((m.minWidth >= 0 || m.minHeight >= 0) ? WS_THICKFRAME : 0);
  h->cdit = 0;
  h->cx = short(m.width);
  h->cy = short(m.height);
  t.push_back(0);   // no menu: it is made from the model
  if (with_class)
    for (const wchar_t* p = L"qz0wcdl3";; ++p) {
      t.push_back(WORD(*p));
      if (!*p) break;
    }
  else
    t.push_back(0);
  for (char16_t ch : m.caption) t.push_back(WORD(ch));
  t.push_back(0);
  return t;
}

void release(DialogRun& r) {
  for (HFONT f : r.fonts)
    if (f) DeleteObject(f);
  if (r.own_dialog_font) DeleteObject(r.dialog_font);
  for (auto& b : r.brushes) DeleteObject(b.second.second);
  for (HBITMAP b : r.bitmaps) DeleteObject(b);
  if (r.background) DeleteObject(r.background);
}

}  // namespace

int32_t run_dialog(WindowHandle owner, DlgModel& model, DlgEventFn events, void* data, bool* shown) {
  if (console_ui()) {
    *shown = true;
    return console_dialog(model, events, data);
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  register_window_classes();
  DialogRun r{&model, events, data};
  INT_PTR result = -1;
  for (bool with_class : {true, false}) {
    // DWORD alignment is what the template needs; a vector of WORDs gives it from the heap.
    const std::vector<WORD> t = empty_template(model, with_class);
    result = DialogBoxIndirectParamW(win32::engine_module(), reinterpret_cast<const DLGTEMPLATE*>(t.data()),
                                     static_cast<HWND>(owner), dialog_proc, reinterpret_cast<LPARAM>(&r));
    if (result != -1 || r.ready) break;
  }
  release(r);
  *shown = result != -1 || r.ready;
  if (owner && IsWindow(static_cast<HWND>(owner))) SetForegroundWindow(static_cast<HWND>(owner));
  return r.end_value;
}

void dialog_read(DlgModel& model) {
  HWND dialog = static_cast<HWND>(model.handle);
  DialogRun* r = dialog ? run_of(dialog) : nullptr;
  if (!r) return;
  for (int i = 0; i < int(model.controls.size()); ++i) read_control(*r, i);
  RECT rc;
  if (GetWindowRect(dialog, &rc)) {
    model.x = MulDiv(rc.left, 4, r->bx);
    model.y = MulDiv(rc.top, 8, r->by);
  }
}

void dialog_write(DlgModel& model, int control) {
  HWND dialog = static_cast<HWND>(model.handle);
  DialogRun* r = dialog ? run_of(dialog) : nullptr;
  if (!r) return;
  if (control >= 0) {
    write_control(dialog, *r, control);
    return;
  }
  SetWindowTextW(dialog, wide(model.caption));
  if (model.timerMs) SetTimer(dialog, TIMER_ID, model.timerMs, nullptr);
  else KillTimer(dialog, TIMER_ID);
  DragAcceptFiles(dialog, model.acceptFiles);
}

void dialog_focus(DlgModel& model, int control) {
  model.focus = control;
  HWND dialog = static_cast<HWND>(model.handle);
  if (!dialog || control < 0) return;
  if (HWND w = static_cast<HWND>(model.controls[size_t(control)].window))
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w), TRUE);
}

}  // namespace plat
