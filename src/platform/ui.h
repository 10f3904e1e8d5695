// User-interface facilities: the message pump, the stop request, waiting, message boxes, keyboard state.
//
// On Windows these are the real Win32 services. On POSIX there are no windows: the pump finds no
// messages, SIGINT stands for Ctrl+Break, and message boxes use the console. The console UI can also be
// chosen on Windows (set_console_ui).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

using WindowHandle = void*;     // HWND on Windows; always null on POSIX
using CursorHandle = void*;

// --- Message pump and stop request -------------------------------------------------------------------

// Removes one waiting message and dispatches it (through IsDialogMessage of the parent of a tab-stop
// control first). Returns false when no message was waiting.
bool pump_one_message();
// Windows: Control and Break are both down (GetKeyState or GetAsyncKeyState), or Ctrl+C/Ctrl+Break
// reached the console. POSIX: SIGINT arrived since the last call. The console event is consumed.
bool ctrl_break_pressed();
// Catches the console's Ctrl+C and Ctrl+Break (POSIX: SIGINT) so they become a stop request instead of
// ending the process. Idempotent.
void install_break_handler();
// Waits for input messages (or a stop request) for at most ms milliseconds. True when woken by input.
bool wait_for_input(uint32_t ms);

// --- Keyboard ------------------------------------------------------------------------------------------
constexpr int VK_CANCEL_KEY = 3;
constexpr int VK_SHIFT_KEY = 16;
constexpr int VK_CONTROL_KEY = 17;
constexpr int VK_MENU_KEY = 18;
bool key_down(int virtual_key);   // GetKeyState or GetAsyncKeyState reports the key down
// The key's toggle state (Caps Lock, Num Lock, Scroll Lock are on). POSIX has no keyboard state: false.
bool key_toggled(int virtual_key);
// Blocks (true) or unblocks the keyboard and mouse input of the user to all programs. False when the
// system refuses (Windows refuses a process without elevation), with the system's error code in *error.
// POSIX has no such input and always succeeds.
bool block_input(bool on, uint32_t* error);

// --- Windows -------------------------------------------------------------------------------------------
WindowHandle focus_window();
WindowHandle window_parent(WindowHandle w);     // the parent or owner, null when none
bool is_window(WindowHandle w);
bool window_enabled(WindowHandle w);
bool post_command(WindowHandle w, uint32_t command_id);   // WM_COMMAND
// The window's caption; "" for no window.
size_t window_text(WindowHandle w, char* out, size_t out_cap);
// Registers the Engine's window classes (notification window and dialog boxes). A class that exists
// already counts as registered.
bool register_window_classes();
// Bottom edge of a hidden top-level window created at the system's default position.
int default_window_bottom();
// Whether the system has a mouse cursor for the Engine to set; where it has none, nothing waits to show one.
bool has_cursor();
CursorHandle wait_cursor();
CursorHandle arrow_cursor();
void set_cursor(CursorHandle c);
void message_beep(int type);
// Plays a sound event of the system ("SystemHand", "SystemAsterisk" ...); nothing where there are none.
void play_system_sound(const char* event);
// Opens a web page in the user's browser.
bool open_url(const char* url);

// --- Message boxes -------------------------------------------------------------------------------------
enum MessageBoxFlags : uint32_t {
  MB_OK_ONLY = 0x0, MB_OK_CANCEL = 0x1, MB_YES_NO_CANCEL = 0x3, MB_YES_NO = 0x4,
  MB_ICON_STOP = 0x10, MB_ICON_QUESTION = 0x20, MB_ICON_EXCLAMATION = 0x30, MB_ICON_INFORMATION = 0x40,
  MB_SYSTEM_MODAL = 0x1000, MB_TASK_MODAL = 0x2000, MB_SET_FOREGROUND = 0x10000,
};
enum MessageBoxResult : int { ID_OK = 1, ID_CANCEL = 2, ID_YES = 6, ID_NO = 7 };

// Chooses the console UI (standard input and output) for message boxes, prompts and the error report.
// Always on for POSIX.
void set_console_ui(bool on);
bool console_ui();

// Shows a message box over owner (may be null) and returns the button pressed. In the console UI the box
// writes "caption: text" (the text alone when the caption is empty) and, for boxes with more than an OK
// button, reads the answer from standard input (end of input is Cancel).
// For OK and Cancel any line is OK; for Yes/No boxes a line starting (after blanks) with y or Y is Yes,
// n or N is No, anything else Cancel.
int message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags);

// The box of an error that Execute handles: the failing line under the caption, with the exclamation icon
// and OK (and Cancel). The console writes it to standard error as the error report does and asks only on a
// terminal; without one, OK is taken.
int execute_error_box(WindowHandle owner, const char* line, const char* caption, bool with_cancel);

// --- Boxes and prompts of the script's user (wide texts) -----------------------------------------------
// A message box; ok_label and cancel_label (nullptr or "" for the usual ones) rename its buttons.
int message_box_w(WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t flags,
                  const char16_t* ok_label, const char16_t* cancel_label);
// Shows text in a window without buttons for ms milliseconds (at most 3600 s); a key press or a click
// closes it early. True when the user closed it. The console writes "title: text" and waits for a key.
bool display_text(WindowHandle owner, const char16_t* title, const char16_t* text, uint32_t ms);
// A one-line prompt with OK and Cancel (masked for a password); false on Cancel. The console writes
// "title: prompt" and reads a line: an empty line gives the default, the end of input is Cancel.
bool ask_line(WindowHandle owner, const char16_t* title, const char16_t* prompt, const char16_t* def,
              bool password, const char16_t* ok_label, const char16_t* cancel_label, std::u16string* out);
int console_message_box_w(const char16_t* text, const char16_t* caption, uint32_t flags);
bool console_display_text(const char16_t* title, const char16_t* text, uint32_t ms);
bool console_ask_line(const char16_t* title, const char16_t* prompt, const char16_t* def, bool password,
                      std::u16string* out);

// --- The confirmation before a file is replaced ----------------------------------------------------------
// The answers, as the copy and move built-ins keep them: for this file, or for every file of the call.
enum ReplaceAnswer : int {
  REPLACE_THIS = 1, REPLACE_IF_NEWER = 2, REPLACE_IF_OLDER = 3, REPLACE_SKIP = 4,
  REPLACE_ALL = 101, REPLACE_ALL_IF_NEWER = 102, REPLACE_ALL_IF_OLDER = 103, REPLACE_CANCEL = 104,
};
enum ReplaceButton { RB_OVERWRITE, RB_OVERWRITE_ALL, RB_SKIP, RB_NEWER, RB_NEWER_ALL, RB_OLDER, RB_OLDER_ALL,
                     RB_CANCEL, RB_COUNT };
struct ReplaceQuestion {
  const char16_t* caption;        // "Confirm File Replace"
  const char16_t* replaceLabel;   // "Replace file:"
  const char16_t* withLabel;      // "with file:"
  const char16_t* target;         // the file that would be replaced, and its date and time
  const char16_t* targetTime;
  const char16_t* source;         // the file that would replace it, and its date and time
  const char16_t* sourceTime;
  const char16_t* buttons[RB_COUNT];   // the buttons' labels, by ReplaceButton
};
// Asks whether the target is to be replaced; returns a ReplaceAnswer. A dialog that cannot be shown
// answers Cancel. The console writes "caption: replaceLabel target withLabel source (y/n/a/c)" and reads a
// line until it starts with y (this file), n (skip it), a (every file) or c (cancel); the end of input
// is Cancel.
int confirm_replace(WindowHandle owner, const ReplaceQuestion& question);
int console_confirm_replace(const ReplaceQuestion& question);

// --- The error dialog ------------------------------------------------------------------------------------
enum ErrorDialogButton : int { ERRBOX_CONTINUE = 1, ERRBOX_EXIT = 2, ERRBOX_SUPPORT = 140 };

struct ErrorDialogData {
  bool withContinue;            // Continue and Exit; otherwise one button that ends the run
  const char* caption;          // caption of the host's main window
  const char* scriptFile;       // the main script's file name
  const char* location;         // "FILE:LINE" of the failing statement ("FILE" when the line is unknown)
  uint32_t number;              // the error number
  const char* messageText;      // the message of the number
  const char* reportMessage;    // "NNNN:  message"
  const char* lineInfo;         // "On line 12 of x.tov", "Near line 3", "In x.tov" or ""
  const char* routineInfo;      // "In x.tov", "In Routine \"name\"" or ""
  const char* failingLine;      // text of the failing line
  const char* versionText;      // the host's caption and the Engine's version
  const char* moreInfo;         // additional information, "" when there is none
  const char* okLabel;          // label of the single button
  const char* supportUrl;       // the support button's page, nullptr when it is not offered
  const char* const* traceback; // lines of the traceback (structure stack), oldest first
  size_t tracebackLines;
  bool inRoutine;               // the run is inside a function, subroutine or called script
};

// Shows the error dialog and returns the button pressed. The console form writes the report to standard
// error: "FILE:LINE: error NNNN: MESSAGE", the failing line, the line information, the additional
// information and the traceback; for Continue and Exit it asks on a terminal and takes Continue without one.
int show_error_dialog(WindowHandle owner, const ErrorDialogData& data);
int console_error_dialog(const ErrorDialogData& data);

// --- The step debugger -------------------------------------------------------------------------------------
enum StepAction : int { STEP_NEXT = 1, STEP_CANCEL = 2, STEP_RUN = 3 };

struct StepView {
  const char* statement;        // the statement just run ("" before the first)
  const char* outcome;          // its outcome words and value
  const char* error;            // its error line, "" when it raised none
  const char* nextLabel;        // "Next Statement..."
  const char* next;             // the statement that runs next
  const char* variable;         // first text of the variable field
  const char* labels[4];        // the buttons: Next, Cancel, Run, Show Var
  // Show Var: the field's new text ("name = "value"" or the unknown-variable text) for its text.
  std::string (*show)(void* data, const char* field);
  void* data;
};

// Where the step dialog stood when last closed with Next; placed false the first time.
struct StepPlacement {
  int32_t x, y;
  bool placed;
};

// Shows the step dialog (DEBUG) and returns a StepAction. Show Var works inside the dialog. The dialog stays
// on top; the first time its right and bottom edges stand at 95 % of the screen, later where it was left.
// The console writes the view to standard output and reads a command per line: an empty line or "n" is
// Next, "r" Run, "s" or "s NAME" shows a variable (the field's text when no name is given) and asks again,
// "q" or "c" and the end of input are Cancel.
int step_dialog(WindowHandle owner, const StepView& view, StepPlacement* where);
int console_step_dialog(const StepView& view);

// --- Console primitives of prompts -----------------------------------------------------------------------
// Standard input may be a terminal, a pipe or a file; it is read a byte at a time, never beyond the line.

// Reads one line without its line end (LF or CR LF). A longer line is cut to cap - 1 bytes but read to
// its end. With echo false a terminal does not show what is typed. False at the end of input or on a
// stop request (Ctrl+C), which is consumed: the caller takes it as Cancel.
bool console_read_line(char* out, size_t cap, bool echo);
// Waits up to ms milliseconds; on a terminal a key press (which is consumed) ends the wait and gives
// true. Without a terminal it only waits. A stop request ends the wait early and stays pending.
bool console_wait_key(uint32_t ms);
// Writes text to standard output exactly as given (LF stays LF) and flushes it.
void console_write(const char* text);

}  // namespace plat
