// Running dialogs: the model built from a definition and the script's variables, the events that reach
// the script's callback, and the results copied back into the variables.
#pragma once
#include <cstdint>
#include <string>

#include "dialog/definition.h"
#include "platform/dialog_ui.h"

namespace tov {

struct Value;
struct ArgBlock;

namespace dialog {

struct Running {
  RunContext* ctx = nullptr;
  DialogDef def;
  plat::DlgModel model;
  int32_t handle = 0;          // the number scripts know the dialog by
  bool events[plat::DLG_EVENT_COUNT] = {};
  bool hasCallback = false;    // Procedure names a function of five parameters
  bool inCallback = false;
  std::vector<int32_t> initial;   // check boxes: their variable's value when the dialog was built
};

// Text of the definition and the variables in the run's code page, and back.
std::u16string widen(RunContext* ctx, const std::string& s);
std::string narrow(RunContext* ctx, const std::u16string& w);

// Builds the model: positions, texts and each control's initial state from its variable. False with the
// run's error set when a variable holds a state its control cannot show.
bool build_model(RunContext* ctx, Running& r);
// Copies the controls' states into their variables.
void store_results(RunContext* ctx, Running& r);
// Runs a definition that passed validation; the value it ended with (0 for Cancel; the caller decides
// what Cancel means). Sets the run's error when the window fails or the callback fails.
int32_t run(RunContext* ctx, Running& r);
// The items of an item box or drop-list box, tab-separated: a text without a tab separates them with "|".
std::u16string list_text(const std::u16string& text);
// Points a file list box at a folder (listing the mask's files) or at a path whose last part is the mask;
// false when the folder does not exist.
bool set_file_source(plat::DlgControl& m, const std::u16string& path, const std::u16string& mask);
// The running dialog with this handle, or null with 3960.
Running* find_running(RunContext* ctx, int32_t handle);
// The index of a control named by name (or by number, as an integer or its text), or -1 with 3973.
int find_control(RunContext* ctx, Running& r, const Value& which);

}  // namespace dialog
}  // namespace tov
