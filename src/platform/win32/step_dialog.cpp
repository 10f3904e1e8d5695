// The step debugger's dialog DEBUG: shown before each statement while stepping.
#include <windows.h>

#include <string>

#include "platform/ui.h"
#include "platform/win32/module.h"
#include "resources/dialog_ids.h"

namespace plat {

namespace {

struct StepData {
  const StepView* view;
  StepPlacement* where;
};

// The first time the dialog keeps its size with its right and bottom edges at 95 % of the screen.
void place(HWND dialog, const StepPlacement& where) {
  RECT r{};
  GetWindowRect(dialog, &r);
  int x = where.x, y = where.y;
  if (!where.placed) {
    x = GetSystemMetrics(SM_CXSCREEN) * 95 / 100 - (r.right - r.left);
    y = GetSystemMetrics(SM_CYSCREEN) * 95 / 100 - (r.bottom - r.top);
  }
  SetWindowPos(dialog, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
}

void remember(HWND dialog, StepPlacement* where) {
  RECT r{};
  GetWindowRect(dialog, &r);
  where->x = r.left;
  where->y = r.top;
  where->placed = true;
}

INT_PTR CALLBACK step_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      const auto& d = *reinterpret_cast<const StepData*>(lparam);
      const StepView& v = *d.view;
      SetDlgItemTextA(dialog, IDC_STEP_STATEMENT, v.statement);
      SetDlgItemTextA(dialog, IDC_STEP_OUTCOME, v.outcome);
      SetDlgItemTextA(dialog, IDC_STEP_ERROR, v.error);
      SetDlgItemTextA(dialog, IDC_STEP_NEXT_LABEL, v.nextLabel);
      SetDlgItemTextA(dialog, IDC_STEP_NEXT, v.next);
      SetDlgItemTextA(dialog, IDC_STEP_VARIABLE, v.variable);
      const int buttons[4] = {IDOK, IDCANCEL, IDC_STEP_RUN, IDC_STEP_SHOW};
      for (int i = 0; i < 4; ++i) SetDlgItemTextA(dialog, buttons[i], v.labels[i]);
      if (*v.error) MessageBeep(MB_OK);
      place(dialog, *d.where);
      SetForegroundWindow(dialog);
      return TRUE;
    }
    case WM_COMMAND: {
      const auto& d = *reinterpret_cast<const StepData*>(GetWindowLongPtrW(dialog, DWLP_USER));
      switch (LOWORD(wparam)) {
        case IDOK:
          remember(dialog, d.where);
          EndDialog(dialog, STEP_NEXT);
          return TRUE;
        case IDCANCEL:
          remember(dialog, d.where);
          EndDialog(dialog, STEP_CANCEL);
          return TRUE;
        case IDC_STEP_RUN:
          remember(dialog, d.where);
          EndDialog(dialog, STEP_RUN);
          return TRUE;
        case IDC_STEP_SHOW: {
          char field[2048] = "";
          GetDlgItemTextA(dialog, IDC_STEP_VARIABLE, field, sizeof field);
          SetDlgItemTextA(dialog, IDC_STEP_VARIABLE, d.view->show(d.view->data, field).c_str());
          return TRUE;
        }
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

}  // namespace

int step_dialog(WindowHandle owner, const StepView& view, StepPlacement* where) {
  if (console_ui()) return console_step_dialog(view);
  StepData data{&view, where};
  const INT_PTR r = DialogBoxParamW(win32::engine_module(), L"DEBUG", static_cast<HWND>(owner), step_proc,
                                    reinterpret_cast<LPARAM>(&data));
  return r > 0 ? int(r) : console_step_dialog(view);
}

}  // namespace plat
