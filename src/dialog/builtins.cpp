// The dialog built-ins: Dialog, DialogBox, and the requests a callback makes of its running dialog
// (DialogControlGet, DialogControlSet, DialogControlState, DialogProcOptions, DialogObject).
#include <cstdio>
#include <string>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "dialog/runtime.h"
#include "exec/udf_call.h"
#include "lang/keywords.h"
#include "lang/values.h"

namespace tov {

namespace {

using namespace dialog;
using plat::DlgControl;

// Requests of DialogControlGet and DialogControlSet.
enum ControlRequest : int32_t {
  RQ_CHECKED = 1,      // check box: 0 or 1
  RQ_RADIO = 2,        // radio button: 0 or 1 (set 1 to select it)
  RQ_TITLE = 3,        // the caption of a text, button, group box or menu item
  RQ_EDIT_TEXT = 4,    // the text of an edit, multi-line or drop-list box
  RQ_ITEMS = 5,        // the items of an item box or drop-list box (tab-separated); file list box: its files
  RQ_SELECTION = 6,    // the selected items of an item, drop-list or file list box (tab-separated)
  RQ_DATE = 7,         // calendar: "YYYY:MM:DD:00:00:00"
  RQ_SPINNER = 8,      // spinner: its number
  RQ_BACKGROUND = 9,   // background colour "R|G|B", or DEFAULT
  RQ_TEXT_COLOR = 10,  // text colour "R|G|B", or DEFAULT
  RQ_POSITION = 11,    // "X Y WIDTH HEIGHT" in dialog units
  RQ_PICTURE = 12,     // the bitmap file of a picture or picture button
  RQ_FILE_SOURCE = 13, // file list box: the folder and mask it lists (set: a folder, or a path with a mask)
};

// Requests of DialogControlState.
enum StateRequest : int32_t { ST_FOCUS = 1, ST_GET_STYLE = 2, ST_ADD_STYLE = 3, ST_REMOVE_STYLE = 4 };

bool has_title(int type) {
  switch (type) {
    case CT_STATICTEXT: case CT_VARYTEXT: case CT_PUSHBUTTON: case CT_PICTUREBUTTON: case CT_RADIOBUTTON:
    case CT_CHECKBOX: case CT_GROUPBOX: case CT_MENUITEM:
      return true;
    default:
      return false;
  }
}

bool has_colors(int type) {
  return type != CT_PICTURE && type != CT_PICTUREBUTTON && type != CT_MENUBAR && type != CT_MENUITEM &&
         type != CT_CALENDAR;
}

// Which requests a control type answers.
bool supports(int type, int32_t request) {
  switch (request) {
    case RQ_CHECKED: return type == CT_CHECKBOX;
    case RQ_RADIO: return type == CT_RADIOBUTTON;
    case RQ_TITLE: return has_title(type);
    case RQ_EDIT_TEXT: return type == CT_EDITBOX || type == CT_MULTILINEBOX || type == CT_DROPLISTBOX;
    case RQ_ITEMS: return type == CT_ITEMBOX || type == CT_DROPLISTBOX || type == CT_FILELISTBOX;
    case RQ_SELECTION: return type == CT_ITEMBOX || type == CT_DROPLISTBOX || type == CT_FILELISTBOX;
    case RQ_DATE: return type == CT_CALENDAR;
    case RQ_SPINNER: return type == CT_SPINNER;
    case RQ_BACKGROUND: case RQ_TEXT_COLOR: return has_colors(type);
    case RQ_POSITION: return type != CT_MENUBAR && type != CT_MENUITEM;
    case RQ_PICTURE: return type == CT_PICTURE || type == CT_PICTUREBUTTON;
    case RQ_FILE_SOURCE: return type == CT_FILELISTBOX;
    default: return false;
  }
}

std::string color_text(int32_t rgb) {
  if (rgb < 0) return "DEFAULT";
  return std::to_string(rgb & 0xFF) + "|" + std::to_string((rgb >> 8) & 0xFF) + "|" + std::to_string((rgb >> 16) & 0xFF);
}

// The argument as text (integers in decimal), in wide form.
std::u16string value_text(RunContext* ctx, ArgBlock& a, int n) {
  Value& v = a.slot[n];
  if (!(v.c.type & (VF_STRING | VF_WSTRING)) && !to_string(ctx, v.c)) return std::u16string();
  return arg_wide(ctx, a, n);
}

bool value_int(RunContext* ctx, ArgBlock& a, int n, int32_t* out) {
  Value& v = a.slot[n];
  if ((v.c.type & VF_INTEGER) && !(v.c.type & (VF_STRING | VF_WSTRING))) {
    *out = v.c.i;
    return true;
  }
  return to_integer(ctx, v.c, true) && (*out = v.c.i, true);
}

// The running dialog and the control that a request names; null with the error set.
DlgControl* target(RunContext* ctx, ArgBlock& a, Running** out, int* index) {
  Running* r = find_running(ctx, arg_int(a, 1));
  if (!r) return nullptr;
  const int i = find_control(ctx, *r, a.slot[2]);
  if (i < 0) return nullptr;
  *out = r;
  *index = i;
  return &r->model.controls[size_t(i)];
}

void bi_dialog(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  Running r;
  if (!read_definition(ctx, arg_str(ctx, a, 1), &r.def) || !build_model(ctx, r)) return;
  const int32_t end = run(ctx, r);
  if (ctx->err) return;
  // Cancel stops the run, unless the second argument asks for 0 instead.
  if (end == 0 && !(argc >= 2 && arg_int(a, 2) != 0)) {
    ctx->err = STATUS_CANCEL;
    return;
  }
  set_integer(ctx, result->c, end);
}

// DialogBox(file, name): runs the script file that defines the dialog, then shows the dialog.
void bi_dialogbox(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  ArgBlock call;
  for (Value& v : call.slot) value_init(v);
  const char* file = arg_str(ctx, a, 1);
  set_string(ctx, call.slot[1].c, file, std::char_traits<char>::length(file));
  Value ignored;
  value_init(ignored);
  if (!ctx->err) CallScript(ctx, &ignored, call, 1, wide);
  value_free(ctx, ignored);
  release_args(ctx, call, 1);
  if (ctx->err) return;
  ArgBlock run_args;
  for (Value& v : run_args.slot) value_init(v);
  value_copy(ctx, a.slot[2].c, run_args.slot[1].c, VCOPY_DUP_STRINGS);
  bi_dialog(ctx, result, run_args, 1, wide);
  release_args(ctx, run_args, 1);
}

// The control a get or set request names, with the request checked against it and the dialog's current
// state read; nullptr with the error set otherwise.
DlgControl* request_target(RunContext* ctx, ArgBlock& a, Running** r, int* index, int32_t* request) {
  DlgControl* c = target(ctx, a, r, index);
  if (!c) return nullptr;
  *request = arg_int(a, 3);
  if (*request < RQ_CHECKED || *request > RQ_FILE_SOURCE) {
    ctx->err = ERR_DLG_BAD_REQUEST;
    return nullptr;
  }
  if (!supports(c->type, *request)) {
    ctx->err = ERR_DLG_REQUEST_NOT_SUPPORTED;
    return nullptr;
  }
  plat::dialog_read((*r)->model);
  return c;
}

void bi_dialogcontrolget(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  Running* r;
  int index;
  int32_t request;
  DlgControl* c = request_target(ctx, a, &r, &index, &request);
  if (!c) return;
  std::u16string text;
  switch (request) {
    case RQ_CHECKED: case RQ_RADIO: set_integer(ctx, result->c, c->on ? 1 : 0); return;
    case RQ_SPINNER: set_integer(ctx, result->c, c->on); return;
    case RQ_TITLE: text = c->type == CT_VARYTEXT ? c->state : c->text; break;
    case RQ_EDIT_TEXT: case RQ_SELECTION: text = c->state; break;
    case RQ_ITEMS:
      if (c->type == CT_FILELISTBOX) {
        for (const std::u16string& f : plat::list_files(c->directory, c->mask)) text += (text.empty() ? u"" : u"\t") + f;
      } else {
        text = c->text;
      }
      break;
    case RQ_DATE: text = c->state + u":00:00:00"; break;
    case RQ_BACKGROUND: text = widen(ctx, color_text(c->background)); break;
    case RQ_TEXT_COLOR: text = widen(ctx, color_text(c->textColor)); break;
    case RQ_POSITION: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%d %d %d %d", int(c->x), int(c->y), int(c->width), int(c->height));
      text = widen(ctx, buf);
      break;
    }
    case RQ_PICTURE: text = c->bitmap; break;
    case RQ_FILE_SOURCE: text = c->directory + c->mask; break;
  }
  set_text_result(ctx, result, text, wide);
}

// Applies a new state to a control; false when the value does not suit it.
bool apply(RunContext* ctx, Running& r, int index, int32_t request, ArgBlock& a) {
  DlgControl& c = r.model.controls[size_t(index)];
  const std::u16string text = value_text(ctx, a, 4);
  int32_t n = 0;
  switch (request) {
    case RQ_CHECKED:
      if (!value_int(ctx, a, 4, &n) || (n != 0 && n != 1)) return false;
      c.on = n;
      return true;
    case RQ_RADIO:
      if (!value_int(ctx, a, 4, &n) || (n != 0 && n != 1)) return false;
      if (n)
        for (size_t j = 0; j < r.model.controls.size(); ++j)
          if (r.model.controls[j].type == CT_RADIOBUTTON && r.model.controls[j].group == c.group &&
              r.model.controls[j].on) {
            r.model.controls[j].on = 0;
            plat::dialog_write(r.model, int(j));
          }
      c.on = n;
      return true;
    case RQ_TITLE:
      if (c.type == CT_VARYTEXT) c.state = text;
      else c.text = text;
      return true;
    case RQ_EDIT_TEXT: c.state = text; return true;
    case RQ_ITEMS:
      if (c.type == CT_FILELISTBOX) return false;
      c.text = list_text(text);
      return true;
    case RQ_SELECTION: c.state = text; return true;
    case RQ_DATE: return plat::normal_date(text, &c.state);
    case RQ_SPINNER:
      if (!value_int(ctx, a, 4, &n) || n < c.low || n > c.high) return false;
      c.on = n;
      return true;
    case RQ_BACKGROUND: case RQ_TEXT_COLOR: {
      int32_t rgb = COLOR_DEFAULT;
      std::string t(text.begin(), text.end());
      if (t != "DEFAULT" && t != "default" && !parse_color(t, &rgb)) return false;
      (request == RQ_BACKGROUND ? c.background : c.textColor) = rgb;
      return true;
    }
    case RQ_POSITION: {
      const std::string t(text.begin(), text.end());
      int x, y, w, h;
      char extra;
      if (std::sscanf(t.c_str(), "%d %d %d %d %c", &x, &y, &w, &h, &extra) != 4 || w < 0 || h < 0) return false;
      c.x = x;
      c.y = y;
      c.width = w;
      c.height = h;
      return true;
    }
    case RQ_PICTURE: c.bitmap = text; return true;
    case RQ_FILE_SOURCE: return set_file_source(c, text, c.mask.empty() ? u"*.*" : c.mask);
    default: return false;
  }
}

void bi_dialogcontrolset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Running* r;
  int index;
  int32_t request;
  DlgControl* c = request_target(ctx, a, &r, &index, &request);
  if (!c) return;
  if (!apply(ctx, *r, index, request, a)) {
    if (!ctx->err) ctx->err = ERR_DLG_BAD_REQUEST_VALUE;
    return;
  }
  plat::dialog_write(r->model, index);
  set_integer(ctx, result->c, 1);
}

void bi_dialogcontrolstate(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Running* r;
  int index;
  DlgControl* c = target(ctx, a, &r, &index);
  if (!c) return;
  const int32_t request = arg_int(a, 3), bits = arg_int(a, 4);
  const int32_t before = c->style;
  switch (request) {
    case ST_FOCUS:
      if (c->type == CT_MENUBAR || c->type == CT_MENUITEM) {
        ctx->err = ERR_DLG_REQUEST_NOT_SUPPORTED;
        return;
      }
      plat::dialog_focus(r->model, index);
      set_integer(ctx, result->c, 1);
      return;
    case ST_GET_STYLE: set_integer(ctx, result->c, before); return;
    case ST_ADD_STYLE: c->style |= bits; break;
    case ST_REMOVE_STYLE: c->style &= ~bits; break;
    default:
      ctx->err = ERR_DLG_BAD_REQUEST;
      return;
  }
  plat::dialog_write(r->model, index);
  set_integer(ctx, result->c, before);
}

// DialogProcOptions(handle, option, value): option 1 sets the timer's period in milliseconds (0 stops
// it), options 2 to 17 switch the events of those numbers on (1) or off (0); -1 asks. The previous
// setting is returned.
void bi_dialogprocoptions(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Running* r = find_running(ctx, arg_int(a, 1));
  if (!r) return;
  const int32_t option = arg_int(a, 2);
  if (option < plat::DLG_EV_TIMER || option >= plat::DLG_EVENT_COUNT) {
    ctx->err = ERR_DLG_BAD_REQUEST;
    return;
  }
  int32_t value = 0;
  if (!value_int(ctx, a, 3, &value)) {
    if (!ctx->err || ctx->err == ERR_NOT_NUMBER) ctx->err = ERR_DLG_BAD_REQUEST_VALUE;
    return;
  }
  if (option == plat::DLG_EV_TIMER) {
    const int32_t before = int32_t(r->model.timerMs);
    if (value < -1) {
      ctx->err = ERR_DLG_BAD_REQUEST_VALUE;
      return;
    }
    if (value >= 0) {
      r->model.timerMs = uint32_t(value);
      r->events[option] = value > 0;
      plat::dialog_write(r->model, -1);
    }
    set_integer(ctx, result->c, before);
    return;
  }
  if (value < -1 || value > 1) {
    ctx->err = ERR_DLG_BAD_REQUEST_VALUE;
    return;
  }
  const bool before = r->events[option];
  if (value >= 0) {
    r->events[option] = value == 1;
    if (option == plat::DLG_EV_FILES_DROPPED) {
      r->model.acceptFiles = value == 1;
      plat::dialog_write(r->model, -1);
    }
  }
  set_integer(ctx, result->c, before ? 1 : 0);
}

// DialogObject(handle, control, request): request 1 gives a COM control's object text. The control
// hosts no live object, so every other request is refused.
void bi_dialogobject(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  Running* r;
  int index;
  DlgControl* c = target(ctx, a, &r, &index);
  if (!c) return;
  if (c->type != CT_COMCONTROL || arg_int(a, 3) != 1) {
    ctx->err = c->type != CT_COMCONTROL ? ERR_DLG_REQUEST_NOT_SUPPORTED : ERR_DLG_BAD_REQUEST;
    return;
  }
  set_text_result(ctx, result, c->state, wide);
}

const BuiltinEntry kEntries[] = {
    {KW_DIALOG, bi_dialog},
    {KW_DIALOGBOX, bi_dialogbox},
    {KW_DIALOGCONTROLGET, bi_dialogcontrolget},
    {KW_DIALOGCONTROLSET, bi_dialogcontrolset},
    {KW_DIALOGCONTROLSTATE, bi_dialogcontrolstate},
    {KW_DIALOGPROCOPTIONS, bi_dialogprocoptions},
    {KW_DIALOGOBJECT, bi_dialogobject},
};

}  // namespace

extern const BuiltinFamily kDialogBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
