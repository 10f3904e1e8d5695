// The list, text, file, folder, colour and font prompts on Windows: the list and text dialogs from the
// Engine's templates, the rest the system's common dialogs. Each falls back to its console form when the
// console UI is chosen or no dialog can be shown.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_ui.h"
#include "platform/win32/module.h"
#include "platform/win32/ui_internal.h"
#include "resources/dialog_ids.h"

namespace plat {

namespace {

using win32::from_wide;
using win32::wide;
using win32::window_text16;

// --- the list prompt ------------------------------------------------------------------------------------------

struct ListData {
  const std::u16string* title;
  const std::u16string* prompt;
  const std::vector<std::u16string>* shown;
  const std::u16string* preselected;
  bool multiple;
  const char16_t* ok_label;
  const char16_t* cancel_label;
  std::vector<std::u16string>* chosen;
};

bool has_text(const char16_t* s) { return s && *s; }

// The start of every Ask dialog: its data kept with the window, its caption, prompt and button labels shown.
template <typename Data>
const Data& begin_ask(HWND dialog, LPARAM lparam) {
  const auto& d = *reinterpret_cast<const Data*>(lparam);
  SetWindowLongPtrW(dialog, DWLP_USER, lparam);
  SetWindowTextW(dialog, wide(*d.title));
  SetDlgItemTextW(dialog, IDC_ASK_PROMPT, wide(*d.prompt));
  if (has_text(d.ok_label)) SetDlgItemTextW(dialog, IDOK, reinterpret_cast<const wchar_t*>(d.ok_label));
  if (has_text(d.cancel_label)) SetDlgItemTextW(dialog, IDCANCEL, reinterpret_cast<const wchar_t*>(d.cancel_label));
  return d;
}

INT_PTR CALLBACK list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& d = begin_ask<ListData>(dialog, lparam);
      HWND list = GetDlgItem(dialog, IDC_ASK_LIST);
      for (size_t i = 0; i < d.shown->size(); ++i) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide((*d.shown)[i])));
        if (!d.preselected->empty() && (*d.shown)[i] == *d.preselected) {
          if (d.multiple) SendMessageW(list, LB_SETSEL, TRUE, LPARAM(i));
          else SendMessageW(list, LB_SETCURSEL, WPARAM(i), 0);
        }
      }
      win32::center_on_screen(dialog);
      SetForegroundWindow(dialog);
      SetFocus(list);
      return FALSE;
    }
    case WM_COMMAND: {
      const auto& d = *reinterpret_cast<const ListData*>(GetWindowLongPtrW(dialog, DWLP_USER));
      const int id = LOWORD(wparam);
      const bool double_click = id == IDC_ASK_LIST && HIWORD(wparam) == LBN_DBLCLK;
      if (id == IDOK || double_click) {
        HWND list = GetDlgItem(dialog, IDC_ASK_LIST);
        d.chosen->clear();
        for (size_t i = 0; i < d.shown->size(); ++i) {
          const bool on = d.multiple ? SendMessageW(list, LB_GETSEL, WPARAM(i), 0) > 0
                                     : SendMessageW(list, LB_GETCURSEL, 0, 0) == LRESULT(i);
          if (on) d.chosen->push_back((*d.shown)[i]);
        }
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// --- the text prompt --------------------------------------------------------------------------------------------

struct TextData {
  const std::u16string* title;
  const std::u16string* prompt;
  bool editable;
  const char16_t* ok_label;
  const char16_t* cancel_label;
  std::u16string* text;
};

INT_PTR CALLBACK text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& d = begin_ask<TextData>(dialog, lparam);
      HWND edit = GetDlgItem(dialog, IDC_ASK_EDIT);
      SetWindowTextW(edit, wide(*d.text));
      SendMessageW(edit, EM_SETREADONLY, d.editable ? FALSE : TRUE, 0);
      win32::center_on_screen(dialog);
      SetForegroundWindow(dialog);
      SetFocus(edit);
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        const auto& d = *reinterpret_cast<const TextData*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (d.editable) *d.text = window_text16(GetDlgItem(dialog, IDC_ASK_EDIT));
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

int CALLBACK browse_proc(HWND w, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageW(w, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// Custom colours of the colour dialog, kept for the process under the name the script gives.
std::map<std::u16string, std::array<COLORREF, 16>>& custom_colors() {
  static std::map<std::u16string, std::array<COLORREF, 16>> colors;
  return colors;
}

}  // namespace

bool ask_item_list(WindowHandle owner, const std::u16string& title, const std::u16string& prompt,
                   const std::vector<std::u16string>& items, bool multiple, bool sort,
                   const std::u16string& preselected, const char16_t* ok_label, const char16_t* cancel_label,
                   std::vector<std::u16string>* chosen) {
  if (console_ui()) return console_ask_item_list(title, prompt, items, multiple, sort, preselected, chosen);
  std::vector<std::u16string> shown = items;
  if (sort) std::stable_sort(shown.begin(), shown.end());
  ListData d{&title, &prompt, &shown, &preselected, multiple, ok_label, cancel_label, chosen};
  const INT_PTR r = DialogBoxParamW(win32::engine_module(), multiple ? L"ITEMASKM" : L"ITEMASK",
                                    static_cast<HWND>(owner), list_proc, reinterpret_cast<LPARAM>(&d));
  if (r <= 0) return console_ask_item_list(title, prompt, items, multiple, sort, preselected, chosen);
  return r == IDOK;
}

bool ask_text_box(WindowHandle owner, const std::u16string& title, const std::u16string& prompt, bool editable,
                  const char16_t* ok_label, const char16_t* cancel_label, std::u16string* text) {
  if (console_ui()) return console_ask_text_box(title, prompt, editable, text);
  TextData d{&title, &prompt, editable, ok_label, cancel_label, text};
  const INT_PTR r = DialogBoxParamW(win32::engine_module(), L"TEXTASK", static_cast<HWND>(owner), text_proc,
                                    reinterpret_cast<LPARAM>(&d));
  if (r <= 0) return console_ask_text_box(title, prompt, editable, text);
  return r == IDOK;
}

bool ask_file_name(WindowHandle owner, const std::u16string& title, const std::u16string& directory,
                   const std::vector<FileFilter>& filters, const std::u16string& def, bool save, bool multiple,
                   std::vector<std::u16string>* files) {
  if (console_ui()) return console_ask_file_name(title, directory, save, multiple, def, files);
  std::wstring filter;
  for (const FileFilter& f : filters) {
    filter.append(wide(f.label));
    filter.push_back(L'\0');
    filter.append(wide(f.patterns));
    filter.push_back(L'\0');
  }
  filter.push_back(L'\0');
  std::vector<wchar_t> buffer(65536, L'\0');
  lstrcpynW(buffer.data(), wide(def), int(buffer.size()));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = static_cast<HWND>(owner);
  ofn.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = DWORD(buffer.size());
  ofn.lpstrInitialDir = directory.empty() ? nullptr : wide(directory);
  ofn.lpstrTitle = title.empty() ? nullptr : wide(title);
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST) |
              (multiple ? OFN_ALLOWMULTISELECT : 0);
  const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!ok) return false;
  files->clear();
  const wchar_t* first = buffer.data();
  const wchar_t* next = first + lstrlenW(first) + 1;
  if (!multiple || !*next) {
    files->push_back(from_wide(first));
    return true;
  }
  // Several files: the folder first, then each name.
  std::u16string folder = from_wide(first);
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  for (; *next; next += lstrlenW(next) + 1) files->push_back(folder + from_wide(next));
  return true;
}

bool ask_directory(WindowHandle owner, const std::u16string& prompt, const std::u16string& root,
                   const std::u16string& start, std::u16string* folder) {
  if (console_ui()) return console_ask_directory(prompt, start, folder);
  const HRESULT com = CoInitialize(nullptr);
  BROWSEINFOW info{};
  info.hwndOwner = static_cast<HWND>(owner);
  info.lpszTitle = wide(prompt);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = browse_proc;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(wide(start));
  PIDLIST_ABSOLUTE root_list = nullptr;
  if (!root.empty() && SUCCEEDED(SHParseDisplayName(wide(root), nullptr, &root_list, 0, nullptr))) info.pidlRoot = root_list;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  bool ok = false;
  if (chosen) {
    wchar_t path[MAX_PATH * 4] = L"";
    ok = SHGetPathFromIDListW(chosen, path) != FALSE;
    if (ok) *folder = from_wide(path);
    CoTaskMemFree(chosen);
  }
  if (root_list) CoTaskMemFree(root_list);
  if (SUCCEEDED(com)) CoUninitialize();
  return ok;
}

bool ask_color(WindowHandle owner, const std::u16string& title, int32_t* rgb) {
  if (console_ui()) return console_ask_color(title, rgb);
  auto& custom = custom_colors()[title];
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = static_cast<HWND>(owner);
  cc.rgbResult = COLORREF(*rgb);
  cc.lpCustColors = custom.data();
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
  if (!ChooseColorW(&cc)) return false;
  *rgb = int32_t(cc.rgbResult & 0xFFFFFF);
  return true;
}

bool ask_font(WindowHandle owner, const std::u16string& title, FontChoice* font) {
  if (console_ui()) return console_ask_font(title, font);
  LOGFONTW lf{};
  HDC dc = GetDC(nullptr);
  lf.lfHeight = -MulDiv(font->points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(nullptr, dc);
  lf.lfWeight = font->weight;
  lf.lfItalic = font->italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, wide(font->face), LF_FACESIZE);
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = static_cast<HWND>(owner);
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | (font->fixedOnly ? CF_FIXEDPITCHONLY : 0) |
             (font->scalableOnly ? CF_SCALABLEONLY : 0);
  if (!ChooseFontW(&cf)) return false;
  font->face = from_wide(lf.lfFaceName);
  font->points = cf.iPointSize / 10;
  font->weight = lf.lfWeight;
  font->italic = lf.lfItalic != 0;
  return true;
}

}  // namespace plat
