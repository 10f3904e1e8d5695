// Reading and validating dialog definitions.
#include "dialog/definition.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "diag/error_model.h"
#include "diag/errors.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/files.h"

namespace tov::dialog {

namespace {

struct TypeInfo {
  const char* name;
  uint32_t mask;   // the fields that apply (bits below)
};

// Field bits of a type's mask, as the definition format numbers them.
constexpr uint32_t F_TEXT = 0x1 | 0x10, F_BITMAP = 0x2, F_VARIABLE = 0x4, F_VALUE = 0x8, F_FONT = 0x20,
                   F_TEXTCOLOR = 0x40, F_BACKCOLOR = 0x80, F_TAB = 0x100 | 0x1000, F_STYLE = 0x200,
                   F_OBJECT = 0x400, F_PARENT = 0x800;

const TypeInfo kTypes[] = {
    {"", 0},
    {"STATICTEXT", 0x3E1},   {"EDITBOX", 0x3E5},       {"RADIOBUTTON", 0x3ED}, {"CHECKBOX", 0x3ED},
    {"VARYTEXT", 0x3E5},     {"FILELISTBOX", 0x3F4},   {"PUSHBUTTON", 0x3E9},  {"ITEMBOX", 0x3F4},
    {"PICTUREBUTTON", 0x30B}, {"PICTURE", 0x303},      {"DROPLISTBOX", 0x3F4}, {"MULTILINEBOX", 0x3E5},
    {"GROUPBOX", 0x3E1},     {"CALENDAR", 0x325},      {"SPINNER", 0x3F4},     {"COMCONTROL", 0x7E1},
    {"MENUBAR", 0},          {"MENUITEM", 0x1A01},
};
constexpr int TYPE_COUNT = int(sizeof kTypes / sizeof kTypes[0]) - 1;

// Field indexes of a control definition (format 6.1 has no name field: its fifth field is the variable).
enum Field : int {
  FI_X, FI_Y, FI_WIDTH, FI_HEIGHT, FI_TYPE, FI_NAME, FI_VARIABLE, FI_TEXT, FI_VALUE, FI_TAB, FI_STYLE, FI_FONT,
  FI_TEXTCOLOR, FI_BACKGROUND, FIELD_COUNT,
};

bool iequals(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool parse_int(const std::string& s, int32_t* out) { return !s.empty() && parse_integer_text(s.c_str(), out); }

std::vector<std::string> split_bar(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = s.find('|', start);
    parts.push_back(trimmed(s.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
    if (bar == std::string::npos) return parts;
    start = bar + 1;
  }
}

// --- reading the definition's variables ------------------------------------------------------------------

class Reader {
 public:
  Reader(RunContext* ctx, const char* name) : ctx_(ctx), name_(name) {}

  // The variable's value as text; false when it does not exist or has no value.
  bool text(const char* suffix, std::string* out) { return variable_text(ctx_, name_ + suffix, out); }

  // A numeric variable: MISSING_NUMBER when it does not exist; false when its text is not an integer.
  bool number(const char* suffix, int32_t* out, std::string* raw) {
    if (!text(suffix, raw)) {
      *raw = "<NOT FOUND>";
      *out = MISSING_NUMBER;
      return !ctx_->err;
    }
    return parse_int(trimmed(*raw), out);
  }

  // Raises a definition error with the variable and its content as additional information.
  bool fail(uint16_t error, const char* suffix, const std::string& content) {
    if (ctx_->err) return false;   // a conversion failed first (out of string memory)
    ctx_->err = error;
    AddErrorInfo(ctx_, (name_ + suffix + "=" + content).c_str());
    return false;
  }
  bool fail_detail(uint16_t error, const std::string& detail) {
    ctx_->err = error;
    AddErrorInfo(ctx_, detail.c_str());
    return false;
  }

  RunContext* ctx() { return ctx_; }

 private:
  RunContext* ctx_;
  std::string name_;
};

bool read_background(Reader& r, DialogDef* d) {
  std::string raw;
  if (!r.text("Background", &raw) || iequals(trimmed(raw), "DEFAULT")) return !r.ctx()->err;
  std::vector<std::string> colour;
  std::string file;
  int files = 0;
  for (const std::string& part : split_bar(raw)) {
    int32_t n;
    if (parse_int(part, &n)) {
      colour.push_back(part);
    } else if (!part.empty()) {
      file = part;
      ++files;
    }
  }
  if (files > 1 || colour.size() > 3) return r.fail(ERR_DLG_BACKGROUND_PARTS, "Background", raw);
  if (!colour.empty()) {
    std::string text = colour[0];
    for (size_t i = 1; i < colour.size(); ++i) text += "|" + colour[i];
    if (!parse_color(text, &d->background)) return r.fail(ERR_DLG_BACKGROUND_COLOR, "Background", raw);
  }
  if (files) {
    if (plat::file_check(file.c_str(), false) != plat::FileCheck::Found)
      return r.fail(ERR_DLG_BACKGROUND_IMAGE, "Background", raw);
    d->backgroundBitmap = file;
  }
  return true;
}

// --- control definitions ----------------------------------------------------------------------------------

// Splits a control definition into its fields. Quotes protect commas and are dropped; in the text field two
// double quotes inside quotes stand for one. Blanks and TABs before a field are skipped and trailing
// blanks removed; a TAB is dropped except inside quotes in the text field of an ITEMBOX.
std::vector<std::string> split_fields(const std::string& s, int text_position, bool* quoted_text) {
  std::vector<std::string> fields;
  size_t i = 0;
  for (;;) {
    const int position = int(fields.size());
    const bool text_field = position == text_position;
    const bool item_box = text_field && fields.size() > FI_TYPE && control_type_code(fields[FI_TYPE]) == CT_ITEMBOX;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::string field;
    size_t keep = 0;   // quoted characters are never trimmed
    bool in_quotes = false, was_quoted = false;
    for (; i < s.size(); ++i) {
      const char c = s[i];
      if (c == '"') {
        if (in_quotes && text_field && i + 1 < s.size() && s[i + 1] == '"') {
          field += '"';
          keep = field.size();
          ++i;
          continue;
        }
        in_quotes = !in_quotes;
        was_quoted = true;
        keep = field.size();
        continue;
      }
      if (c == ',' && !in_quotes) break;
      if (c == '\t' && !(in_quotes && item_box)) continue;
      field += c;
      if (in_quotes) keep = field.size();
    }
    size_t end = field.size();
    while (end > keep && field[end - 1] == ' ') --end;
    field.resize(end);
    if (text_field) *quoted_text = was_quoted;
    fields.push_back(field);
    if (i >= s.size()) return fields;
    ++i;   // the comma
  }
}

bool is_variable_name(const std::string& s) {
  if (s.empty() || s.size() > VARNAMESIZE || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

class ControlParser {
 public:
  ControlParser(Reader& r, const DialogDef& d, const char* suffix, const std::string& raw)
      : r_(r), d_(d), suffix_(suffix), raw_(raw) {}

  bool parse(ControlDef* c) {
    // Format 6.1 numbers its fields 0..4 and 6..13: the variable follows the type.
    const bool f61 = d_.format == FORMAT_61;
    bool quoted_text = false;
    const std::vector<std::string> fields = split_fields(raw_, f61 ? FI_TEXT - 1 : FI_TEXT, &quoted_text);
    if (fields.size() > FIELD_COUNT) return fail(ERR_DLG_TOO_MANY_ITEMS);
    uint32_t pending = 0;
    for (size_t p = 0; p < fields.size(); ++p) {
      const int index = int(p) + (f61 && p >= FI_NAME ? 1 : 0);
      const std::string& f = fields[p];
      const bool is_default = iequals(f, "DEFAULT");
      if (index >= FI_VALUE && pending == 0) return fail(ERR_DLG_TOO_MANY_ITEMS);
      switch (index) {
        case FI_X: case FI_Y: case FI_WIDTH: case FI_HEIGHT: {
          static const int32_t defaults[] = {8, 16, 44, 32};
          int32_t* dst[] = {&c->x, &c->y, &c->width, &c->height};
          if (is_default) *dst[index] = defaults[index];
          else if (!parse_int(f, dst[index])) return fail(ERR_DLG_CONTROL_GEOMETRY);
          break;
        }
        case FI_TYPE:
          c->type = control_type_code(f);
          if (!c->type || (f61 && (c->type == CT_MENUBAR || c->type == CT_MENUITEM))) return fail(ERR_DLG_BAD_TYPE);
          pending = kTypes[c->type].mask;
          break;
        case FI_NAME:
          if (f.empty()) return fail(ERR_DLG_NAME_MISSING);
          if (f.size() > CONTROL_NAME_MAX) return fail(ERR_DLG_NAME_TOO_LONG_CONTROL);
          c->name = is_default ? std::to_string(c->number) : f;
          break;
        case FI_VARIABLE:
          if (!(pending & (F_VARIABLE | F_OBJECT | F_PARENT))) {
            if (!is_default) return fail(ERR_DLG_BAD_VARIABLE);
            break;
          }
          if (f.empty()) return fail(ERR_DLG_UNSUPPORTED_VARIABLE);
          if (!is_default) {
            if ((pending & F_VARIABLE) && !is_variable_name(f)) return fail(ERR_DLG_BAD_VARIABLE);
            c->variable = f;
          }
          pending &= ~(F_VARIABLE | F_OBJECT | F_PARENT);
          break;
        case FI_TEXT:
          if (!(pending & F_TEXT)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_TEXT);
            break;
          }
          if (!is_default || quoted_text) c->text = f;
          pending &= ~F_TEXT;
          break;
        case FI_VALUE:
          if (!(pending & F_VALUE)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_VALUE);
            break;
          }
          if (!parse_int(f, &c->value)) return fail(ERR_DLG_BAD_VALUE);
          if ((c->type == CT_RADIOBUTTON || c->type == CT_CHECKBOX) && c->value == 0)
            return fail(ERR_DLG_RADIO_CHECK_VALUE);
          pending &= ~F_VALUE;
          break;
        case FI_TAB:
          if (!(pending & F_TAB)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_VALUE);
            break;
          }
          if (is_default) c->tabOrder = c->type == CT_MENUITEM ? 0 : c->number;
          else if (!parse_int(f, &c->tabOrder)) return fail(ERR_DLG_BAD_TAB_ORDER);
          pending &= ~F_TAB;
          break;
        case FI_STYLE:
          if (!(pending & F_STYLE)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_VALUE);
            break;
          }
          if (!is_default && !parse_int(f, &c->style)) return fail(ERR_DLG_BAD_STYLE);
          pending &= ~F_STYLE;
          break;
        case FI_FONT:
          if (!(pending & F_FONT)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_FONT);
            break;
          }
          if (!is_default && !parse_font(f, &c->font)) return fail(ERR_DLG_BAD_FONT);
          pending &= ~F_FONT;
          break;
        case FI_TEXTCOLOR:
          if (!(pending & F_TEXTCOLOR)) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_TEXT_COLOR);
            break;
          }
          if (!is_default && !parse_color(f, &c->textColor)) return fail(ERR_DLG_BAD_TEXT_COLOR);
          pending &= ~F_TEXTCOLOR;
          break;
        case FI_BACKGROUND:
          if (!(pending & (F_BACKCOLOR | F_BITMAP))) {
            if (!is_default) return fail(ERR_DLG_UNSUPPORTED_BACKGROUND);
            break;
          }
          if (!is_default) {
            if (pending & F_BITMAP) c->bitmap = f;
            else if (!parse_color(f, &c->background)) return fail(ERR_DLG_BAD_BACKGROUND);
          }
          pending &= ~(F_BACKCOLOR | F_BITMAP);
          break;
        default:
          return fail(ERR_DLG_TOO_MANY_ITEMS);
      }
    }
    if (fields.size() <= FI_TYPE || pending) return fail(ERR_DLG_TOO_FEW_ITEMS);
    if (f61) c->name = std::to_string(c->number);
    return true;
  }

 private:
  bool fail(uint16_t error) { return r_.fail(error, suffix_, raw_); }

  Reader& r_;
  const DialogDef& d_;
  const char* suffix_;
  const std::string& raw_;
};

// Rules between controls: one FILELISTBOX, one MENUBAR, push-button values 1 and 0 at most once each,
// menu items under a menu control of this dialog.
bool check_control(Reader& r, DialogDef* d, ControlDef& c, const char* suffix, const std::string& raw) {
  for (const ControlDef& other : d->controls) {
    if (c.type == CT_FILELISTBOX && other.type == CT_FILELISTBOX) return r.fail(ERR_DLG_SECOND_FILELIST, suffix, raw);
    if (c.type == CT_MENUBAR && other.type == CT_MENUBAR) return r.fail(ERR_DLG_SECOND_MENUBAR, suffix, raw);
    if (c.type == CT_PUSHBUTTON && other.type == CT_PUSHBUTTON && c.value == other.value) {
      if (c.value == 1) return r.fail(ERR_DLG_TWO_VALUE_ONE, suffix, raw);
      if (c.value == 0) return r.fail(ERR_DLG_TWO_VALUE_ZERO, suffix, raw);
    }
  }
  if (c.type == CT_MENUITEM) {
    if (iequals(c.variable, c.name.c_str())) return r.fail(ERR_DLG_MENU_PARENT_SELF, suffix, raw);
    for (size_t i = 0; i < d->controls.size(); ++i)
      if (iequals(d->controls[i].name, c.variable.c_str())) {
        if (d->controls[i].type != CT_MENUBAR && d->controls[i].type != CT_MENUITEM)
          return r.fail(ERR_DLG_MENU_PARENT_TYPE, suffix, raw);
        c.parent = int(i);
        return true;
      }
    return r.fail(ERR_DLG_MENU_PARENT_MISSING, suffix, raw);
  }
  return true;
}

const VarSlot* find_slot(RunContext* ctx, const std::string& name) {
  char lower[VARNAME_BYTES] = {0};
  if (name.empty() || name.size() > VARNAMESIZE) return nullptr;
  for (size_t i = 0; i < name.size(); ++i) lower[i] = char(std::tolower(static_cast<unsigned char>(name[i])));
  const uint16_t slot = slot_lookup(ctx, lower);
  if (slot == SLOT_NONE || !value_has_value(slot_at(ctx, slot)->c)) return nullptr;
  return slot_at(ctx, slot);
}

// Reads a variable's value converted by `convert` (to_string or to_wstring) from a temporary copy.
template <typename Out>
bool read_converted(RunContext* ctx, const std::string& name, Out* out, bool (*convert)(RunContext*, ValueCore&),
                    Out (*take)(RunContext*, const ValueCore&)) {
  const VarSlot* slot = find_slot(ctx, name);
  if (!slot) return false;
  out->clear();
  // An array has no text: it reads as a value no field accepts.
  if (slot->c.type & VF_ARRAY) {
    for (char c : std::string("<array>")) out->push_back(typename Out::value_type(c));
    return true;
  }
  Value v;
  value_init(v);
  if (value_read(ctx, slot->c, v) && convert(ctx, v.c)) *out = take(ctx, v.c);
  value_free(ctx, v);
  return !ctx->err;
}

}  // namespace

bool variable_text(RunContext* ctx, const std::string& name, std::string* out) {
  return read_converted<std::string>(ctx, name, out, to_string,
                                     [](RunContext* c, const ValueCore& v) { return std::string(str_at(c, v.str)); });
}

bool variable_wide(RunContext* ctx, const std::string& name, std::u16string* out) {
  return read_converted<std::u16string>(ctx, name, out, to_wstring, [](RunContext* c, const ValueCore& v) {
    return std::u16string(wstr_at(c, v.wstr));
  });
}

int control_type_code(const std::string& name) {
  const std::string t = trimmed(name);
  if (iequals(t, "CALENDER")) return CT_CALENDAR;
  for (int i = 1; i <= TYPE_COUNT; ++i)
    if (iequals(t, kTypes[i].name)) return i;
  return 0;
}

const char* control_type_name(int type) { return type >= 1 && type <= TYPE_COUNT ? kTypes[type].name : ""; }

bool parse_color(const std::string& text, int32_t* rgb) {
  const std::vector<std::string> parts = split_bar(text);
  if (parts.size() != 3) return false;
  int32_t c[3];
  for (int i = 0; i < 3; ++i)
    if (!parse_int(parts[size_t(i)], &c[i]) || c[i] < 0 || c[i] > 255) return false;
  *rgb = c[0] | (c[1] << 8) | (c[2] << 16);
  return true;
}

bool parse_font(const std::string& text, FontDef* font) {
  const std::vector<std::string> parts = split_bar(text);
  if (parts.size() != 4 || parts[0].size() > FONT_FACE_MAX) return false;
  FontDef f;
  f.set = true;
  f.face = parts[0];
  if (!parse_int(parts[1], &f.size) || !parse_int(parts[2], &f.style) || !parse_int(parts[3], &f.pitchFamily))
    return false;
  *font = f;
  return true;
}

bool read_definition(RunContext* ctx, const char* name, DialogDef* d) {
  if (std::strlen(name) > DIALOG_NAME_MAX) {
    ctx->err = ERR_DLG_NAME_TOO_LONG;
    AddErrorInfo(ctx, name);
    return false;
  }
  Reader r(ctx, name);
  d->name = name;
  std::string raw;
  if (!r.text("Format", &raw)) return r.fail(ERR_DLG_FORMAT_MISSING, "Format", "<NOT FOUND>");
  const std::string format = trimmed(raw);
  if (iequals(format, "ZRKDLGED,6.2")) d->format = FORMAT_62;
  else if (iequals(format, "ZRKDLGED,6.1")) d->format = FORMAT_61;
  else return r.fail(ERR_DLG_FORMAT_UNSUPPORTED, "Format", raw);

  int32_t n;
  if (!r.number("x", &n, &raw)) return r.fail(ERR_DLG_GEOMETRY, "x", raw);
  d->x = n == MISSING_NUMBER ? -1 : n;
  if (!r.number("y", &n, &raw)) return r.fail(ERR_DLG_GEOMETRY, "y", raw);
  d->y = n == MISSING_NUMBER ? -1 : n;
  if (!r.number("width", &d->width, &raw) || d->width < 0)
    return r.fail_detail(ERR_DLG_GEOMETRY, "Width=" + raw);
  if (!r.number("height", &d->height, &raw) || d->height < 0)
    return r.fail_detail(ERR_DLG_GEOMETRY, "Height=" + raw);
  int32_t count;
  if (!r.number("NumControls", &count, &raw) || count == MISSING_NUMBER || count < 0)
    return r.fail(ERR_DLG_COUNT_MISSING, "NumControls", raw);
  if (count > CONTROLS_MAX) count = CONTROLS_MAX;

  if (r.text("Caption", &raw)) d->caption = raw;
  if (r.text("Procedure", &raw)) d->procedure = trimmed(raw);
  if (r.text("Font", &raw) && !iequals(trimmed(raw), "DEFAULT") && !parse_font(raw, &d->font))
    return r.fail(ERR_DLG_DIALOG_FONT, "Font", raw);
  if (r.text("TextColor", &raw) && !iequals(trimmed(raw), "DEFAULT") && !parse_color(raw, &d->textColor))
    return r.fail(ERR_DLG_DIALOG_TEXT_COLOR, "TextColor", raw);
  if (!read_background(r, d)) return false;
  if (!r.number("minwidth", &n, &raw) || (n != MISSING_NUMBER && (n < 0 || n > d->width)))
    return r.fail_detail(ERR_DLG_MIN_SIZE, "MinWidth=" + raw);
  d->minWidth = n == MISSING_NUMBER ? -1 : n;
  if (!r.number("minheight", &n, &raw) || (n != MISSING_NUMBER && (n < 0 || n > d->height)))
    return r.fail_detail(ERR_DLG_MIN_SIZE, "MinHeight=" + raw);
  d->minHeight = n == MISSING_NUMBER ? -1 : n;
  if (ctx->err) return false;

  d->controls.reserve(size_t(count));
  for (int i = 1; i <= count; ++i) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%3.3d", i);
    if (!r.text(suffix, &raw)) return r.fail(ERR_DLG_CONTROL_MISSING, suffix, "<NOT FOUND>");
    ControlDef c;
    c.number = i;
    if (!ControlParser(r, *d, suffix, raw).parse(&c) || !check_control(r, d, c, suffix, raw)) return false;
    d->controls.push_back(std::move(c));
  }
  return true;
}

}  // namespace tov::dialog
