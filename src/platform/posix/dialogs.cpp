// Dialogs and prompts on POSIX: there are no windows, so the console forms show them.
#include "platform/dialog_ui.h"

namespace plat {

int32_t run_dialog(WindowHandle, DlgModel& model, DlgEventFn events, void* data, bool* shown) {
  *shown = true;
  return console_dialog(model, events, data);
}

// The console form shows the model itself: there is no window to read from or to update.
void dialog_read(DlgModel&) {}
void dialog_write(DlgModel&, int) {}
void dialog_focus(DlgModel& model, int control) { model.focus = control; }

bool ask_item_list(WindowHandle, const std::u16string& title, const std::u16string& prompt,
                   const std::vector<std::u16string>& items, bool multiple, bool sort,
                   const std::u16string& preselected, const char16_t*, const char16_t*,
                   std::vector<std::u16string>* chosen) {
  return console_ask_item_list(title, prompt, items, multiple, sort, preselected, chosen);
}

bool ask_text_box(WindowHandle, const std::u16string& title, const std::u16string& prompt, bool editable,
                  const char16_t*, const char16_t*, std::u16string* text) {
  return console_ask_text_box(title, prompt, editable, text);
}

bool ask_file_name(WindowHandle, const std::u16string& title, const std::u16string& directory,
                   const std::vector<FileFilter>&, const std::u16string& def, bool save, bool multiple,
                   std::vector<std::u16string>* files) {
  return console_ask_file_name(title, directory, save, multiple, def, files);
}

bool ask_directory(WindowHandle, const std::u16string& prompt, const std::u16string&, const std::u16string& start,
                   std::u16string* folder) {
  return console_ask_directory(prompt, start, folder);
}

bool ask_color(WindowHandle, const std::u16string& title, int32_t* rgb) { return console_ask_color(title, rgb); }

bool ask_font(WindowHandle, const std::u16string& title, FontChoice* font) { return console_ask_font(title, font); }

}  // namespace plat
