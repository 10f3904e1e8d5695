// The console form of dialogs: the caption, then one line per visible control with its number and its
// current state; the user answers with a line. "N" presses push button N, toggles check box N, selects
// radio button N or chooses menu item N, and for a field asks for its new value on the next line;
// "N=VALUE" sets a field at once; an empty line shows the form again. The end of input is the close
// command. After each change the form is shown again.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/console_text.h"
#include "platform/dialog_ui.h"
#include "platform/hooks.h"
#include "platform/system.h"
#include "platform/text.h"

namespace plat {

std::vector<std::u16string> split_parts(const std::u16string& s, char16_t sep) {
  std::vector<std::u16string> items;
  if (s.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    items.push_back(s.substr(start, at == std::u16string::npos ? std::u16string::npos : at - start));
    if (at == std::u16string::npos) return items;
    start = at + 1;
  }
}

namespace {

std::u16string one_line(const std::u16string& s) {
  std::u16string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') continue;
    if (s[i] == u'\n') r += u"\\n";
    else if (s[i] == u'\t') r += u' ';
    else r += s[i];
  }
  return r;
}

bool is_menu_parent(const DlgModel& m, int index) {
  for (const DlgControl& c : m.controls)
    if (c.type == DLG_MENUITEM && c.parent == index) return true;
  return false;
}

std::u16string menu_path(const DlgModel& m, int index) {
  std::u16string path = m.controls[size_t(index)].text;
  int guard = 0;
  for (int p = m.controls[size_t(index)].parent; p >= 0 && guard < 300; p = m.controls[size_t(p)].parent, ++guard) {
    if (m.controls[size_t(p)].type != DLG_MENUITEM) break;
    path = m.controls[size_t(p)].text + u" > " + path;
  }
  return path;
}

// The items of a list control: the item list, or the files of a file list box.
std::vector<std::u16string> list_items(const DlgControl& c) {
  if (c.type == DLG_FILELISTBOX) return list_files(c.directory, c.mask);
  return split_tabs(c.text);
}

std::u16string selection_text(const std::vector<std::u16string>& items, const std::u16string& state) {
  const std::vector<std::u16string> chosen = split_tabs(state);
  std::u16string r;
  for (const std::u16string& item : items) {
    if (!r.empty()) r += u", ";
    const bool on = std::find(chosen.begin(), chosen.end(), item) != chosen.end();
    r += on ? u"[" + item + u"]" : item;
  }
  return r;
}

// One line of the form; empty for controls that are not shown.
std::u16string control_line(const DlgModel& m, int index) {
  const DlgControl& c = m.controls[size_t(index)];
  if (c.style & DLG_STYLE_INVISIBLE) return u"";
  const std::u16string text = one_line(c.text);
  std::u16string body;
  switch (c.type) {
    case DLG_STATICTEXT: case DLG_VARYTEXT: body = one_line(c.type == DLG_VARYTEXT ? c.state : c.text); break;
    case DLG_GROUPBOX: body = u"-- " + text + u" --"; break;
    case DLG_PICTURE: body = u"[picture " + (text.empty() ? c.bitmap : text) + u"]"; break;
    case DLG_COMCONTROL: body = u"[object " + one_line(c.state) + u"]"; break;
    case DLG_EDITBOX: case DLG_MULTILINEBOX:
      body = c.name + u" = \"" + ((c.style & DLG_STYLE_PASSWORD) ? std::u16string(c.state.size(), u'*') : one_line(c.state)) +
             u"\"";
      break;
    case DLG_CHECKBOX: body = (c.on ? u"[x] " : u"[ ] ") + text; break;
    case DLG_RADIOBUTTON: body = (c.on ? u"(*) " : u"( ) ") + text; break;
    case DLG_PUSHBUTTON: case DLG_PICTUREBUTTON: body = u"<" + (text.empty() ? c.bitmap : text) + u">"; break;
    case DLG_ITEMBOX: case DLG_FILELISTBOX: body = c.name + u": " + selection_text(list_items(c), c.state); break;
    case DLG_DROPLISTBOX: {
      std::u16string choices;
      for (const std::u16string& item : split_tabs(c.text)) choices += (choices.empty() ? u"" : u", ") + item;
      body = c.name + u" = \"" + one_line(c.state) + u"\" (" + choices + u")";
      break;
    }
    case DLG_CALENDAR: body = c.name + u" = " + c.state; break;
    case DLG_SPINNER: {
      const std::string range = " (" + std::to_string(c.low) + " to " + std::to_string(c.high) + ")";
      body = c.name + u" = " + console_wide(std::to_string(c.on)) + console_wide(range);
      break;
    }
    case DLG_MENUITEM:
      if (is_menu_parent(m, index)) return u"";
      body = u"menu " + menu_path(m, index);
      break;
    default: return u"";
  }
  if (c.style & DLG_STYLE_DISABLED) body += u" (disabled)";
  return console_wide(std::to_string(index + 1)) + u". " + body;
}

void show_form(const DlgModel& m) {
  std::u16string out = u"[" + one_line(m.caption) + u"]\n";
  for (int i = 0; i < int(m.controls.size()); ++i) {
    const std::u16string line = control_line(m, i);
    if (!line.empty()) out += line + u"\n";
  }
  console_write(console_ansi(out).c_str());
}

bool editable(const DlgControl& c) {
  switch (c.type) {
    case DLG_EDITBOX: case DLG_MULTILINEBOX: return !(c.style & DLG_STYLE_READONLY_OR_DEFAULT);
    case DLG_ITEMBOX: case DLG_FILELISTBOX: case DLG_DROPLISTBOX: case DLG_CALENDAR: case DLG_SPINNER: return true;
    default: return false;
  }
}

// "\n" in a typed value is a line break of a multi-line box.
std::u16string typed_text(const DlgControl& c, const std::u16string& v) {
  if (c.type != DLG_MULTILINEBOX) return v;
  std::u16string r;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == u'\\' && i + 1 < v.size() && v[i + 1] == u'n') {
      r += u"\r\n";
      ++i;
    } else {
      r += v[i];
    }
  }
  return r;
}

// Sets a field from a typed value; returns the event it raises, -1 when the value was refused.
int set_field(DlgModel& m, int index, const std::u16string& value) {
  DlgControl& c = m.controls[size_t(index)];
  switch (c.type) {
    case DLG_EDITBOX: case DLG_MULTILINEBOX:
      c.state = typed_text(c, value);
      return DLG_EV_EDIT;
    case DLG_DROPLISTBOX: {
      const std::vector<std::u16string> items = split_tabs(c.text);
      if ((c.style & DLG_STYLE_SINGLE_OR_LISTONLY) && std::find(items.begin(), items.end(), value) == items.end())
        return -1;
      c.state = value;
      return DLG_EV_DROPLIST;
    }
    case DLG_ITEMBOX: case DLG_FILELISTBOX: {
      const std::vector<std::u16string> items = list_items(c), chosen = split_tabs(value);
      if (chosen.size() > 1 && (c.type == DLG_FILELISTBOX || (c.style & DLG_STYLE_SINGLE_OR_LISTONLY))) return -1;
      std::u16string state;
      for (const std::u16string& item : items)   // list order, each item once
        if (std::find(chosen.begin(), chosen.end(), item) != chosen.end()) state += (state.empty() ? u"" : u"\t") + item;
      for (const std::u16string& item : chosen)
        if (std::find(items.begin(), items.end(), item) == items.end()) return -1;
      c.state = state;
      return c.type == DLG_ITEMBOX ? DLG_EV_ITEMBOX : DLG_EV_FILELIST;
    }
    case DLG_CALENDAR: {
      std::u16string date;
      if (!normal_date(value, &date)) return -1;
      c.state = date;
      return DLG_EV_CALENDAR;
    }
    case DLG_SPINNER: {
      const std::string s = console_ansi(value);
      char* end = nullptr;
      const long n = std::strtol(s.c_str(), &end, 10);
      if (s.empty() || *end || n < c.low || n > c.high) return -1;
      c.on = int32_t(n);
      return DLG_EV_SPINNER;
    }
    case DLG_CHECKBOX:
      if (value != u"0" && value != u"1") return -1;
      c.on = value == u"1";
      return DLG_EV_CHECKBOX;
    default:
      return -1;
  }
}

void select_radio(DlgModel& m, int index) {
  for (DlgControl& c : m.controls)
    if (c.type == DLG_RADIOBUTTON && c.group == m.controls[size_t(index)].group) c.on = 0;
  m.controls[size_t(index)].on = 1;
}

void say(const char* what, const std::u16string& detail) {
  console_write((std::string(what) + console_ansi(detail) + "\n").c_str());
}

}  // namespace

// "*" matches any run of characters, "?" any one; letters match without regard to case.
bool wild_match(const char16_t* mask, const char16_t* name) {
  if (!*mask) return !*name;
  if (*mask == u'*') return wild_match(mask + 1, name) || (*name && wild_match(mask, name + 1));
  if (!*name) return false;
  if (*mask != u'?') {
    const char16_t a[2] = {*mask, 0}, b[2] = {*name, 0};
    if (compare_wide(a, b, true) != 0) return false;
  }
  return wild_match(mask + 1, name + 1);
}

bool normal_date(const std::u16string& v, std::u16string* out) {
  const std::string s = console_ansi(v);
  int y = 0, mo = 0, d = 0, used = 0;
  if (std::sscanf(s.c_str(), " %d:%d:%d%n", &y, &mo, &d, &used) != 3) return false;
  if (s[size_t(used)] && s[size_t(used)] != ':') return false;
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1601 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > days[mo - 1] || (mo == 2 && d == 29 && !leap))
    return false;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d:%02d:%02d", y, mo, d);
  *out = console_wide(std::string(buf));
  return true;
}

std::vector<std::u16string> list_files(const std::u16string& directory, const std::u16string& mask) {
  namespace fs = std::filesystem;
  std::vector<std::u16string> names;
  std::error_code ec;
  const std::u16string pattern = mask.empty() ? u"*" : mask;
  for (fs::directory_iterator it(fs::path(directory.empty() ? u"." : directory), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::u16string name = it->path().filename().u16string();
    if (wild_match(pattern.c_str(), name.c_str())) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    return compare_wide(a.c_str(), b.c_str(), true) < 0;
  });
  return names;
}

bool directory_exists(const std::u16string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), ec);
}

int32_t console_dialog(DlgModel& m, DlgEventFn events, void* data) {
  int32_t end = 0;
  const uint32_t started = tick_count();
  uint32_t timer_due = m.timerMs;
  if (events(data, m, DLG_EV_INIT, -1, u"", &end)) return end;
  show_form(m);
  const bool terminal = os::stdin_is_terminal();
  for (;;) {
    // The timer is looked at between lines: the console cannot interrupt a line being typed.
    if (m.timerMs && tick_count() - started >= timer_due) {
      timer_due = tick_count() - started + m.timerMs;
      if (events(data, m, DLG_EV_TIMER, -1, u"", &end)) return end;
    }
    if (terminal) console_write("> ");
    std::u16string line;
    if (!console_read_wide(&line)) {
      // Without more input the dialog cannot go on: the close command ends it unless the script ends it
      // with a value of its own.
      if (events(data, m, DLG_EV_CLOSE, -1, u"", &end)) return end;
      return 0;
    }
    if (line.empty()) {
      show_form(m);
      continue;
    }
    const size_t eq = line.find(u'=');
    const std::string number = console_ansi(line.substr(0, eq));
    char* tail = nullptr;
    const long n = std::strtol(number.c_str(), &tail, 10);
    const int index = int(n) - 1;
    if (number.empty() || *tail || n < 1 || n > long(m.controls.size()) ||
        control_line(m, index).empty() || (m.controls[size_t(index)].style & DLG_STYLE_DISABLED)) {
      say("No such choice: ", line);
      continue;
    }
    DlgControl& c = m.controls[size_t(index)];
    int event = -1;
    if (eq == std::u16string::npos) {
      switch (c.type) {
        case DLG_PUSHBUTTON: case DLG_PICTUREBUTTON: event = DLG_EV_BUTTON; break;
        case DLG_MENUITEM: event = DLG_EV_MENUITEM; break;
        case DLG_CHECKBOX: c.on = !c.on; event = DLG_EV_CHECKBOX; break;
        case DLG_RADIOBUTTON: select_radio(m, index); event = DLG_EV_RADIO; break;
        default:
          if (!editable(c)) break;
          if (terminal) console_write((console_ansi(c.name) + ": ").c_str());
          if (!console_read_wide(&line)) {
            if (events(data, m, DLG_EV_CLOSE, -1, u"", &end)) return end;
            return 0;
          }
          event = set_field(m, index, line);
          if (event < 0) say("Not accepted: ", line);
          break;
      }
    } else if (c.type == DLG_RADIOBUTTON) {
      select_radio(m, index);
      event = DLG_EV_RADIO;
    } else if (editable(c) || c.type == DLG_CHECKBOX) {
      event = set_field(m, index, line.substr(eq + 1));
      if (event < 0) say("Not accepted: ", line);
    }
    if (event < 0) {
      if (!editable(c)) say("No such choice: ", line);
      continue;
    }
    if (events(data, m, event, index, u"", &end)) return end;
    show_form(m);
  }
}

}  // namespace plat
