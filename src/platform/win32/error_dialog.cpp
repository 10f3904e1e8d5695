// The error dialog (ERRORMSG, ERRORMSGB) and the traceback dialog (STACKINFO): the dialog procedures
// the Engine exports for them, and show_error_dialog, which runs them unless the console UI is chosen.
// Both procedures take a plat::ErrorDialogData through the lParam of DialogBoxParam.
#include <windows.h>
#include <shlwapi.h>
#include <string>

#include "platform/ui.h"
#include "platform/win32/module.h"
#include "platform/win32/ui_internal.h"
#include "resources/dialog_ids.h"

extern "C" INT_PTR CALLBACK ErrorMsgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
extern "C" INT_PTR CALLBACK StackInfoProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

namespace plat {
namespace {

constexpr size_t NO_FILE = std::string::npos;

const ErrorDialogData* data_of(HWND dialog) {
  return reinterpret_cast<const ErrorDialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string text_of(const char* s) { return s ? s : ""; }

// Edit controls and message boxes break lines at CR LF.
std::string with_crlf(const char* text) {
  std::string out;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\n' && (p == text || p[-1] != '\r')) out += '\r';
    out += *p;
  }
  return out;
}

// Runs fn(dc) with the control's font selected into a device context of the control.
template <typename Fn>
auto with_control_dc(HWND control, Fn fn) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
  auto result = fn(dc);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return result;
}

int text_width(HWND control, const char* text, size_t n) {
  return with_control_dc(control, [&](HDC dc) {
    SIZE size{};
    GetTextExtentPoint32A(dc, text, int(n), &size);
    return int(size.cx);
  });
}

// Where the file name starts in a location text ("On line 3 of FILE", "In FILE"); NO_FILE when the text
// names a routine or no file.
size_t file_part(const std::string& info) {
  static const std::string routine = "Routine \"";
  size_t at = NO_FILE;
  if (info.rfind("In ", 0) == 0) at = 3;
  else if (const size_t of = info.find(" of "); of != NO_FILE) at = of + 4;
  if (at == NO_FILE || at >= info.size() || info.compare(at, routine.size(), routine) == 0) return NO_FILE;
  return at;
}

// Sets a one-line text whose file name, starting at file_at, is shortened in the middle to fit the control.
void set_fitted_text(HWND dialog, int id, const std::string& text, size_t file_at) {
  HWND control = GetDlgItem(dialog, id);
  RECT client{};
  GetClientRect(control, &client);
  std::string shown = text;
  if (file_at != NO_FILE && text_width(control, text.data(), text.size()) > client.right) {
    const int room = client.right - text_width(control, text.data(), file_at);
    char file[2 * MAX_PATH] = "";
    lstrcpynA(file, text.c_str() + file_at, MAX_PATH);
    if (room > 0) with_control_dc(control, [&](HDC dc) { return PathCompactPathA(dc, file, UINT(room)); });
    else lstrcpyA(file, "...");
    shown = text.substr(0, file_at) + file;
  }
  SetDlgItemTextA(dialog, id, shown.c_str());
}

// The support button is only offered when the system can open a web page.
bool browser_known() {
  char command[MAX_PATH * 2];
  DWORD n = sizeof command;
  return AssocQueryStringA(ASSOCF_NONE, ASSOCSTR_COMMAND, "http", "open", command, &n) == S_OK;
}

void init_error_dialog(HWND dialog, const ErrorDialogData& d) {
  SetWindowTextA(dialog, ("Error:  " + text_of(d.caption)).c_str());
  SendDlgItemMessageA(dialog, IDC_ERR_ICON, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_HAND)), 0);
  set_fitted_text(dialog, IDC_ERR_SCRIPT, text_of(d.scriptFile), 0);
  SetDlgItemTextA(dialog, IDC_ERR_MESSAGE, text_of(d.reportMessage).c_str());
  const std::string line_info = text_of(d.lineInfo), routine_info = text_of(d.routineInfo);
  set_fitted_text(dialog, IDC_ERR_LINE_INFO, line_info, file_part(line_info));
  set_fitted_text(dialog, IDC_ERR_ROUTINE_INFO, routine_info, file_part(routine_info));
  SetDlgItemTextA(dialog, IDC_ERR_FAILING_LINE, with_crlf(d.failingLine).c_str());
  SetDlgItemTextA(dialog, IDC_ERR_VERSION, text_of(d.versionText).c_str());
  if (!d.withContinue && d.okLabel && *d.okLabel) SetDlgItemTextA(dialog, IDOK, d.okLabel);
  EnableWindow(GetDlgItem(dialog, IDC_ERR_MORE_INFO), d.moreInfo && *d.moreInfo);
  if (d.supportUrl && *d.supportUrl && browser_known()) ShowWindow(GetDlgItem(dialog, IDC_ERR_SUPPORT), SW_SHOW);
  win32::center_on_screen(dialog);
  SetForegroundWindow(dialog);
  SetFocus(GetDlgItem(dialog, IDOK));
}

void init_traceback_dialog(HWND dialog, const ErrorDialogData& d) {
  HWND list = GetDlgItem(dialog, IDC_TRACE_LIST);
  SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), FALSE);
  int widest = 0;
  for (size_t i = 0; i < d.tracebackLines; ++i) {
    const char* line = d.traceback[i] ? d.traceback[i] : "";
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    const int width = text_width(list, line, lstrlenA(line));
    if (width > widest) widest = width;
  }
  // Lines wider than the list can be scrolled to.
  SendMessageA(list, LB_SETHORIZONTALEXTENT, WPARAM(widest + 4), 0);
  win32::center_on_screen(dialog);
  SetFocus(GetDlgItem(dialog, IDOK));
}

}  // namespace

int show_error_dialog(WindowHandle owner, const ErrorDialogData& data) {
  if (console_ui()) return console_error_dialog(data);
  const INT_PTR button = DialogBoxParamA(win32::engine_module(), data.withContinue ? "ERRORMSGB" : "ERRORMSG",
                                         static_cast<HWND>(owner), ErrorMsgProc, reinterpret_cast<LPARAM>(&data));
  // Where no dialog can be shown the report still reaches the user.
  if (button <= 0) return console_error_dialog(data);
  return int(button);
}

}  // namespace plat

extern "C" INT_PTR CALLBACK ErrorMsgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!lparam) {
        EndDialog(dialog, plat::ERRBOX_EXIT);
        return TRUE;
      }
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      plat::init_error_dialog(dialog, *reinterpret_cast<const plat::ErrorDialogData*>(lparam));
      return FALSE;   // the focus is on button 1 already
    case WM_COMMAND: {
      const plat::ErrorDialogData* d = plat::data_of(dialog);
      switch (LOWORD(wparam)) {
        case IDC_ERR_FAILING_LINE:
          return FALSE;
        case IDC_ERR_MORE_INFO:
          if (d && d->moreInfo && *d->moreInfo)
            MessageBoxA(dialog, plat::with_crlf(d->moreInfo).c_str(), "More Error Information", MB_OK);
          return TRUE;
        case IDC_ERR_TRACEBACK:
          DialogBoxParamA(plat::win32::engine_module(), "STACKINFO", dialog, StackInfoProc,
                          reinterpret_cast<LPARAM>(d));
          return TRUE;
        default:
          EndDialog(dialog, LOWORD(wparam));
          return TRUE;
      }
    }
    default:
      return FALSE;
  }
}

extern "C" INT_PTR CALLBACK StackInfoProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      if (lparam) plat::init_traceback_dialog(dialog, *reinterpret_cast<const plat::ErrorDialogData*>(lparam));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
