// Dialogs built at run time from a model of their controls, and the list, file, folder, colour and font
// prompts.
//
// A dialog is described by a DlgModel: positions and sizes in dialog units, texts, and each control's
// state. The window (Windows) or the console form shows it, reports every user action to the Engine's
// event function, and keeps the model's states current: before each event the states are read back, and
// after the Engine changed a control it asks for it to be shown again. The console form is used on POSIX
// and, on Windows, when the console UI is chosen or no window can be made.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace plat {

// The parts of a text separated by sep (none for the empty text).
std::vector<std::u16string> split_parts(const std::u16string& s, char16_t sep);
// The parts of a tab-separated text (none for the empty text).
inline std::vector<std::u16string> split_tabs(const std::u16string& s) { return split_parts(s, u'\t'); }

// Control types, by their codes in dialog definitions.
enum DlgControlType : int {
  DLG_STATICTEXT = 1, DLG_EDITBOX, DLG_RADIOBUTTON, DLG_CHECKBOX, DLG_VARYTEXT, DLG_FILELISTBOX, DLG_PUSHBUTTON,
  DLG_ITEMBOX, DLG_PICTUREBUTTON, DLG_PICTURE, DLG_DROPLISTBOX, DLG_MULTILINEBOX, DLG_GROUPBOX, DLG_CALENDAR,
  DLG_SPINNER, DLG_COMCONTROL, DLG_MENUBAR, DLG_MENUITEM,
};

// Events reported to the Engine (the numbers scripts see).
enum DlgEvent : int {
  DLG_EV_INIT = 0, DLG_EV_TIMER = 1, DLG_EV_BUTTON = 2, DLG_EV_RADIO = 3, DLG_EV_CHECKBOX = 4, DLG_EV_EDIT = 5,
  DLG_EV_FILELIST = 6, DLG_EV_ITEMBOX = 7, DLG_EV_DROPLIST = 8, DLG_EV_CALENDAR = 9, DLG_EV_SPINNER = 10,
  DLG_EV_CLOSE = 11, DLG_EV_FILELIST_DOUBLE = 12, DLG_EV_ITEMBOX_DOUBLE = 13, DLG_EV_RESIZED = 14,
  DLG_EV_MENUITEM = 15, DLG_EV_MENU_OPENING = 16, DLG_EV_FILES_DROPPED = 17, DLG_EVENT_COUNT = 18,
};

// Style bits of controls.
enum DlgStyle : int32_t {
  DLG_STYLE_INVISIBLE = 1,
  DLG_STYLE_DISABLED = 2,
  DLG_STYLE_READONLY_OR_DEFAULT = 4,   // edit boxes: read-only; push buttons: the default button
  DLG_STYLE_PASSWORD = 8,              // edit boxes
  DLG_STYLE_SINGLE_OR_LISTONLY = 32,   // item boxes: one item at a time; drop-list boxes: no editing
};

constexpr int32_t DLG_COLOR_DEFAULT = -1;   // else 0x00BBGGRR

struct DlgFont {
  bool set = false;
  std::u16string face;
  int32_t size = 0, style = 0, pitchFamily = 0;
};

struct DlgControl {
  int type = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;   // dialog units
  std::u16string name;
  std::u16string text;      // caption; lists: the items, tab-separated
  // The state: edit and drop-list boxes their text; item and file list boxes the selected items,
  // tab-separated; calendars the date "YYYY:MM:DD".
  std::u16string state;
  int32_t value = 0;        // push and picture buttons, radio buttons, check-box bits, menu items
  int32_t on = 0;           // check boxes and radio buttons: 1 when checked; spinners: the number
  int32_t low = 0, high = 100, step = 1;   // spinners
  int32_t style = 0;
  int32_t tabOrder = 0;     // controls are reached with Tab in this order
  DlgFont font;             // not set: the dialog's font
  int32_t textColor = DLG_COLOR_DEFAULT;
  int32_t background = DLG_COLOR_DEFAULT;
  std::u16string bitmap;    // picture controls
  std::u16string directory; // file list boxes: the folder listed (with its final separator) ...
  std::u16string mask;      // ... and the mask of its files
  int parent = -1;          // menu items: the index of the parent control
  int group = -1;           // radio buttons: the index of the first radio button of the same variable
  void* window = nullptr;   // the control's window while shown
};

struct DlgModel {
  std::u16string caption;
  int32_t x = -1, y = -1;   // dialog units; -1 each: centred on the screen
  int32_t width = 0, height = 0;
  int32_t minWidth = -1, minHeight = -1;   // either set: the dialog can be resized down to it
  DlgFont font;
  int32_t textColor = DLG_COLOR_DEFAULT;
  int32_t background = DLG_COLOR_DEFAULT;
  std::u16string bitmap;
  std::vector<DlgControl> controls;
  uint32_t timerMs = 0;     // the timer event's period, 0 for none
  bool acceptFiles = false; // files may be dropped on the dialog
  WindowHandle handle = nullptr;   // while shown
  int focus = -1;           // the control that has the keyboard focus, -1 none
};

// The Engine's answer to an event: true ends the dialog with *end_value. The dialog may also end while
// the function runs when it sets an error; it returns true then.
using DlgEventFn = bool (*)(void* data, DlgModel& model, int event, int control, const std::u16string& info,
                            int32_t* end_value);

// Shows the dialog modally over owner and returns the value it ended with; *shown is false when no window
// could be made (nothing was shown, no event reported). The console form takes over when the console UI
// is chosen.
int32_t run_dialog(WindowHandle owner, DlgModel& model, DlgEventFn events, void* data, bool* shown);
int32_t console_dialog(DlgModel& model, DlgEventFn events, void* data);
// Reads the states of the shown controls into the model.
void dialog_read(DlgModel& model);
// Shows a control's model again (text, state, style, colours, position); control -1: the dialog itself
// (caption, timer, files). Nothing in the console form, which shows the model as it is.
void dialog_write(DlgModel& model, int control);
void dialog_focus(DlgModel& model, int control);

// A date "YYYY:MM:DD", optionally followed by ":" and a time, checked and written as "YYYY:MM:DD".
bool normal_date(const std::u16string& text, std::u16string* out);

// The files of a folder that match a mask ("*" and "?"), sorted without regard to case.
std::vector<std::u16string> list_files(const std::u16string& directory, const std::u16string& mask);
bool directory_exists(const std::u16string& path);

// --- The list, file, folder, colour and font prompts ------------------------------------------------------
// Each returns false on Cancel. The list and text prompts take labels for their OK and Cancel buttons
// (null or "" for the usual ones).

// A list of items to choose from: one item, or several when `multiple`. The chosen items come back in
// list order, separated by the separator. `sort` shows the items sorted.
bool ask_item_list(WindowHandle owner, const std::u16string& title, const std::u16string& prompt,
                   const std::vector<std::u16string>& items, bool multiple, bool sort,
                   const std::u16string& preselected, const char16_t* ok_label, const char16_t* cancel_label,
                   std::vector<std::u16string>* chosen);
// Text to read (and, when editable, edit) in a multi-line field; *text is the initial and the final text.
bool ask_text_box(WindowHandle owner, const std::u16string& title, const std::u16string& prompt, bool editable,
                  const char16_t* ok_label, const char16_t* cancel_label, std::u16string* text);
struct FileFilter {
  std::u16string label, patterns;   // "Text files", "*.txt;*.log"
};
// A file to open (or, when `save`, to save); `multiple` lets the user pick several in one folder.
bool ask_file_name(WindowHandle owner, const std::u16string& title, const std::u16string& directory,
                   const std::vector<FileFilter>& filters, const std::u16string& def, bool save, bool multiple,
                   std::vector<std::u16string>* files);
bool ask_directory(WindowHandle owner, const std::u16string& prompt, const std::u16string& root,
                   const std::u16string& start, std::u16string* folder);
// A colour, 0x00BBGGRR in and out.
bool ask_color(WindowHandle owner, const std::u16string& title, int32_t* rgb);
// A font: face, size in points, weight, italic.
struct FontChoice {
  std::u16string face;
  int32_t points = 10, weight = 400;
  bool italic = false;
  bool fixedOnly = false, scalableOnly = false;   // which fonts are offered
};
bool ask_font(WindowHandle owner, const std::u16string& title, FontChoice* font);

// The console forms of the prompts above.
bool console_ask_item_list(const std::u16string& title, const std::u16string& prompt,
                           const std::vector<std::u16string>& items, bool multiple, bool sort,
                           const std::u16string& preselected, std::vector<std::u16string>* chosen);
bool console_ask_text_box(const std::u16string& title, const std::u16string& prompt, bool editable,
                          std::u16string* text);
bool console_ask_file_name(const std::u16string& title, const std::u16string& directory, bool save, bool multiple,
                           const std::u16string& def, std::vector<std::u16string>* files);
bool console_ask_directory(const std::u16string& prompt, const std::u16string& start, std::u16string* folder);
bool console_ask_color(const std::u16string& title, int32_t* rgb);
bool console_ask_font(const std::u16string& title, FontChoice* font);

}  // namespace plat
