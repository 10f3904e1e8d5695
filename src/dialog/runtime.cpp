// Running dialogs: the model, the events, the callback and the results.
#include "dialog/runtime.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "builtins/args.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "exec/udf_call.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tov::dialog {

namespace {

// The dialogs shown by this thread, innermost last: a callback may show a dialog of its own.
thread_local std::vector<Running*> t_running;
thread_local int32_t t_console_handles = 0;

}  // namespace

std::u16string widen(RunContext* ctx, const std::string& s) {
  if (s.empty()) return std::u16string();
  const int n = plat::ansi_to_wide(s.data(), int(s.size()), nullptr, 0, ctx->nCodePage);
  std::u16string w(n > 0 ? size_t(n) : 0, u'\0');
  if (n > 0) plat::ansi_to_wide(s.data(), int(s.size()), w.data(), n, ctx->nCodePage);
  return w;
}

std::string narrow(RunContext* ctx, const std::u16string& w) {
  if (w.empty()) return std::string();
  const int n = plat::wide_to_ansi(w.data(), int(w.size()), nullptr, 0, ctx->nCodePage);
  std::string s(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) plat::wide_to_ansi(w.data(), int(w.size()), s.data(), n, ctx->nCodePage);
  return s;
}

namespace {

plat::DlgFont font_of(RunContext* ctx, const FontDef& f) {
  plat::DlgFont d;
  d.set = f.set;
  d.face = widen(ctx, f.face);
  d.size = f.size;
  d.style = f.style;
  d.pitchFamily = f.pitchFamily;
  return d;
}

bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool fail(RunContext* ctx, uint16_t error, const ControlDef& c, const std::string& content) {
  if (ctx->err) return false;
  ctx->err = error;
  AddErrorInfo(ctx, (c.variable + "=" + content).c_str());
  return false;
}

// A file list box lists the folder its variable names (or the folder part of a path with a mask); the
// text field gives the mask when the variable names only a folder.
bool file_list_source(RunContext* ctx, const ControlDef& c, plat::DlgControl& m) {
  std::u16string path;
  const bool defined = !c.variable.empty() && variable_wide(ctx, c.variable, &path);
  if (ctx->err) return false;
  if (!defined || path.empty()) {
    char cwd[2048];
    path = widen(ctx, std::string(cwd, plat::current_directory(cwd, sizeof cwd)));
  }
  if (!set_file_source(m, path, c.text.empty() ? u"*.*" : widen(ctx, c.text)))
    return fail(ctx, ERR_DLG_FILELIST_PATH, c, narrow(ctx, path));
  return true;
}

bool spinner_range(RunContext* ctx, const ControlDef& c, plat::DlgControl& m) {
  if (c.text.empty()) return true;
  int32_t v[3] = {0, 100, 1};
  int parts = 0;
  size_t start = 0;
  for (;;) {
    const size_t bar = c.text.find('|', start);
    const std::string part = c.text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (parts == 3 || !parse_integer_text(part.c_str(), &v[parts])) return fail(ctx, ERR_DLG_SPINNER_RANGE, c, c.text);
    ++parts;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (parts < 2 || v[0] > v[1] || v[2] <= 0) return fail(ctx, ERR_DLG_SPINNER_RANGE, c, c.text);
  m.low = v[0];
  m.high = v[1];
  m.step = v[2];
  return true;
}

bool initial_state(RunContext* ctx, Running& r, size_t i) {
  const ControlDef& c = r.def.controls[i];
  plat::DlgControl& m = r.model.controls[i];
  std::u16string wide;
  std::string text;
  const bool has_var = !c.variable.empty() && c.type != CT_MENUITEM && c.type != CT_COMCONTROL;
  const bool defined = has_var && variable_wide(ctx, c.variable, &wide);
  if (ctx->err) return false;
  switch (c.type) {
    case CT_EDITBOX: case CT_MULTILINEBOX: case CT_VARYTEXT:
      m.state = defined ? wide : m.text;
      break;
    case CT_DROPLISTBOX: case CT_ITEMBOX:
      m.state = defined ? wide : std::u16string();
      break;
    case CT_COMCONTROL:
      m.state = widen(ctx, c.variable);
      break;
    case CT_RADIOBUTTON: case CT_CHECKBOX: {
      int32_t n = 0;
      if (defined) {
        variable_text(ctx, c.variable, &text);
        if (!parse_integer_text(text.c_str(), &n)) n = 0;
      }
      r.initial[i] = n;
      m.on = c.type == CT_RADIOBUTTON ? n == c.value : (n & c.value) == c.value;
      break;
    }
    case CT_CALENDAR: {
      if (defined) {
        if (!plat::normal_date(wide, &m.state)) return fail(ctx, ERR_DLG_CALENDAR_DATE, c, narrow(ctx, wide));
      } else {
        const plat::LocalTime t = plat::local_time();
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d:%02d:%02d", t.year, t.month, t.day);
        m.state = widen(ctx, buf);
      }
      break;
    }
    case CT_SPINNER: {
      if (!spinner_range(ctx, c, m)) return false;
      m.on = m.low;
      if (defined) {
        variable_text(ctx, c.variable, &text);
        if (!parse_integer_text(text.c_str(), &m.on) || m.on < m.low || m.on > m.high)
          return fail(ctx, ERR_DLG_SPINNER_VALUE, c, text);
      }
      break;
    }
    case CT_FILELISTBOX:
      return file_list_source(ctx, c, m);
    default:
      break;
  }
  return true;
}

void store_text(RunContext* ctx, const std::string& name, const std::u16string& text) {
  // Text the code page cannot carry is stored as a wide string.
  const std::string ansi = narrow(ctx, text);
  if (widen(ctx, ansi) == text) set_variable_by_name(ctx, name.c_str(), ansi.c_str(), VF_STRING);
  else set_variable_by_name(ctx, name.c_str(), text.c_str(), VF_WSTRING);
}

// The control argument of the callback: the control's name in format 6.2, its number in format 6.1.
void fill_callback_args(RunContext* ctx, Running& r, int event, int control, const std::u16string& info,
                        ArgBlock& args) {
  for (Value& v : args.slot) value_init(v);
  set_integer(ctx, args.slot[1].c, r.handle);
  set_integer(ctx, args.slot[2].c, event);
  if (r.def.format == FORMAT_62) {
    const std::string& name = control >= 0 ? r.def.controls[size_t(control)].name : std::string();
    set_string(ctx, args.slot[3].c, name.data(), name.size());
  } else {
    set_integer(ctx, args.slot[3].c, control + 1);
  }
  set_integer(ctx, args.slot[4].c, 0);
  if (event == plat::DLG_EV_FILES_DROPPED) set_wstring(ctx, args.slot[5].c, info.data(), info.size());
  else set_integer(ctx, args.slot[5].c, 0);
}

// Where the dialog stood, in dialog units, becomes the place of the next dialogs without one.
void remember_position(RunContext* ctx, const plat::DlgModel& m) {
  ctx->dlgDefaultX = m.x;
  ctx->dlgDefaultY = m.y;
}

bool on_event(void* data, plat::DlgModel& model, int event, int control, const std::u16string& info,
              int32_t* end) {
  Running& r = *static_cast<Running*>(data);
  RunContext* ctx = r.ctx;
  if (model.handle) r.handle = int32_t(reinterpret_cast<intptr_t>(model.handle));
  // Events that come while the callback runs (its own message boxes pump messages) are not passed on.
  if (r.inCallback) return false;
  if (r.hasCallback && (event == plat::DLG_EV_INIT || r.events[event])) {
    plat::dialog_read(model);
    ArgBlock args;
    fill_callback_args(ctx, r, event, control, info, args);
    r.inCallback = true;
    plat::WindowHandle host = ctx->hwndHost;
    if (model.handle) ctx->hwndHost = model.handle;
    const int32_t answer = CallUdfByNameArgs(ctx, r.def.procedure.c_str(), &args);
    ctx->hwndHost = host;
    r.inCallback = false;
    release_args(ctx, args, 5);
    if (ctx->err) {
      *end = 0;
      return true;
    }
    // -1 and -2 keep the dialog running, and so does 0 before it is shown; 0 ends it as Cancel; any other
    // value ends it with the controls' results stored.
    if (answer == -1 || answer == -2 || (answer == 0 && event == plat::DLG_EV_INIT)) return false;
    if (answer != 0) {
      plat::dialog_read(model);
      store_results(ctx, r);
      remember_position(ctx, model);
    }
    *end = answer;
    return true;
  }
  const plat::DlgControl* c = control >= 0 ? &model.controls[size_t(control)] : nullptr;
  int32_t value = 0;
  switch (event) {
    case plat::DLG_EV_BUTTON: value = c->value; break;
    case plat::DLG_EV_MENUITEM:
      value = r.def.controls[size_t(control)].tabOrder;
      if (!value) return false;
      break;
    case plat::DLG_EV_CLOSE: value = 0; break;
    default: return false;
  }
  if (value) {
    plat::dialog_read(model);
    store_results(ctx, r);
  }
  *end = value;
  return true;
}

}  // namespace

bool build_model(RunContext* ctx, Running& r) {
  const DialogDef& d = r.def;
  plat::DlgModel& m = r.model;
  m.caption = widen(ctx, d.caption);
  if (m.caption.size() > CAPTION_MAX) m.caption.resize(CAPTION_MAX);
  m.x = d.x >= 0 ? d.x : ctx->dlgDefaultX;
  m.y = d.y >= 0 ? d.y : ctx->dlgDefaultY;
  m.width = d.width;
  m.height = d.height;
  m.minWidth = d.minWidth;
  m.minHeight = d.minHeight;
  m.font = font_of(ctx, d.font);
  m.textColor = d.textColor;
  m.background = d.background;
  m.bitmap = widen(ctx, d.backgroundBitmap);
  m.controls.resize(d.controls.size());
  r.initial.assign(d.controls.size(), 0);
  for (size_t i = 0; i < d.controls.size(); ++i) {
    const ControlDef& c = d.controls[i];
    plat::DlgControl& mc = m.controls[i];
    mc.type = c.type;
    mc.x = c.x;
    mc.y = c.y;
    mc.width = c.width;
    mc.height = c.height;
    mc.name = widen(ctx, c.name);
    mc.text = widen(ctx, c.text);
    if (c.type == CT_ITEMBOX || c.type == CT_DROPLISTBOX) mc.text = list_text(mc.text);
    mc.value = c.type == CT_MENUITEM ? c.tabOrder : c.value;
    mc.style = c.style;
    mc.tabOrder = c.tabOrder;
    mc.font = c.font.set ? font_of(ctx, c.font) : m.font;
    mc.textColor = c.textColor != COLOR_DEFAULT ? c.textColor : m.textColor;
    mc.background = c.background;
    mc.bitmap = widen(ctx, c.bitmap);
    mc.parent = c.parent;
    if (c.type == CT_RADIOBUTTON) {
      mc.group = int(i);
      for (size_t j = 0; j < i; ++j)
        if (d.controls[j].type == CT_RADIOBUTTON && same_name(d.controls[j].variable, c.variable)) {
          mc.group = int(j);
          break;
        }
    }
    if (!initial_state(ctx, r, i)) return false;
  }
  return true;
}

void store_results(RunContext* ctx, Running& r) {
  const DialogDef& d = r.def;
  for (size_t i = 0; i < d.controls.size() && !ctx->err; ++i) {
    const ControlDef& c = d.controls[i];
    const plat::DlgControl& m = r.model.controls[i];
    if (c.variable.empty()) continue;
    switch (c.type) {
      case CT_EDITBOX: case CT_MULTILINEBOX: case CT_DROPLISTBOX: case CT_ITEMBOX:
        store_text(ctx, c.variable, m.state);
        break;
      case CT_FILELISTBOX:
        store_text(ctx, c.variable, m.state.empty() ? m.state : m.directory + m.state);
        break;
      case CT_CALENDAR:
        store_text(ctx, c.variable, m.state + u":00:00:00");
        break;
      case CT_SPINNER:
        set_variable_by_name(ctx, c.variable.c_str(), &m.on, VF_INTEGER);
        break;
      case CT_RADIOBUTTON: {
        if (m.group != int(i)) break;   // the group's first button stores for all of them
        int32_t chosen = 0;
        for (size_t j = i; j < d.controls.size(); ++j)
          if (r.model.controls[j].type == plat::DLG_RADIOBUTTON && r.model.controls[j].group == int(i) &&
              r.model.controls[j].on)
            chosen = r.model.controls[j].value;
        set_variable_by_name(ctx, c.variable.c_str(), &chosen, VF_INTEGER);
        break;
      }
      case CT_CHECKBOX: {
        // Check boxes sharing a variable each own their bits of it.
        bool first = true;
        for (size_t j = 0; j < i; ++j)
          if (d.controls[j].type == CT_CHECKBOX && same_name(d.controls[j].variable, c.variable)) first = false;
        if (!first) break;
        int32_t bits = r.initial[i];
        for (size_t j = i; j < d.controls.size(); ++j) {
          if (d.controls[j].type != CT_CHECKBOX || !same_name(d.controls[j].variable, c.variable)) continue;
          bits &= ~d.controls[j].value;
          if (r.model.controls[j].on) bits |= d.controls[j].value;
        }
        set_variable_by_name(ctx, c.variable.c_str(), &bits, VF_INTEGER);
        break;
      }
      default:
        break;
    }
  }
}

int32_t run(RunContext* ctx, Running& r) {
  r.ctx = ctx;
  r.handle = 0x7F000000 + (++t_console_handles & 0xFFFFFF);
  const char* proc = r.def.procedure.c_str();
  const int udf = std::isalpha(static_cast<unsigned char>(*proc)) ? find_udf(ctx, proc) : -1;
  r.hasCallback = udf >= 0 && ctx->apUdf[udf]->paramCount == 5;
  t_running.push_back(&r);
  bool shown = false;
  const int32_t end = plat::run_dialog(ctx->hwndHost, r.model, on_event, &r, &shown);
  t_running.pop_back();
  if (!shown && !ctx->err) ctx->err = ERR_DLG_WINDOW_FAILED;
  return end;
}

std::u16string list_text(const std::u16string& text) {
  if (text.find(u'\t') != std::u16string::npos) return text;
  std::u16string r = text;
  for (char16_t& c : r)
    if (c == u'|') c = u'\t';
  return r;
}

bool set_file_source(plat::DlgControl& m, const std::u16string& path, const std::u16string& mask) {
  auto is_sep = [](char16_t ch) { return ch < 128 && plat::is_path_separator(char(ch)); };
  std::u16string directory = path, files = mask;
  if (!plat::directory_exists(path)) {
    size_t cut = path.size();
    while (cut && !is_sep(path[cut - 1])) --cut;
    directory = cut ? path.substr(0, cut) : u".";
    files = path.substr(cut);
    if (!plat::directory_exists(directory)) return false;
  }
  if (!is_sep(directory.back())) directory += char16_t(plat::path_separator());
  m.directory = directory;
  m.mask = files;
  m.state.clear();
  return true;
}

Running* find_running(RunContext* ctx, int32_t handle) {
  for (auto it = t_running.rbegin(); it != t_running.rend(); ++it) {
    Running* r = *it;
    if (r->ctx == ctx && (r->handle == handle ||
                          (r->model.handle && int32_t(reinterpret_cast<intptr_t>(r->model.handle)) == handle)))
      return r;
  }
  ctx->err = ERR_DLG_BAD_HANDLE;
  return nullptr;
}

int find_control(RunContext* ctx, Running& r, const Value& which) {
  const ValueCore& v = which.c;
  const int count = int(r.def.controls.size());
  if ((v.type & (VF_STRING | VF_WSTRING)) == 0) {
    if ((v.type & VF_INTEGER) && v.i >= 1 && v.i <= count) return v.i - 1;
  } else {
    std::string name;
    if (v.type & VF_STRING) name = str_at(ctx, v.str);
    else name = narrow(ctx, wstr_at(ctx, v.wstr));
    size_t b = 0, e = name.size();
    while (b < e && name[b] == ' ') ++b;
    while (e > b && name[e - 1] == ' ') --e;
    name = name.substr(b, e - b);
    for (int i = 0; i < count; ++i)
      if (same_name(r.def.controls[size_t(i)].name, name)) return i;
    int32_t n = 0;
    if (parse_integer_text(name.c_str(), &n) && n >= 1 && n <= count) return n - 1;
  }
  ctx->err = ERR_DLG_BAD_CONTROL;
  return -1;
}

}  // namespace tov::dialog
