// The console forms of the list, text, file, folder, colour and font prompts. Each writes its title (and
// what there is to choose from) and reads lines from standard input; an answer that is not accepted is
// said so and asked again, and the end of input is Cancel.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/console_text.h"
#include "platform/dialog_ui.h"
#include "platform/files.h"
#include "platform/hooks.h"

namespace plat {

namespace {

void write_heading(const std::u16string& title, const std::u16string& prompt, const std::u16string& hint_value) {
  std::string hint;
  if (os::stdin_is_terminal()) hint = hint_value.empty() ? " " : " [" + console_ansi(hint_value) + "] ";
  const char* end = hint.empty() ? nullptr : hint.c_str();
  if (prompt.empty()) console_write_titled(u"", title.c_str(), end);
  else console_write_titled(title.c_str(), prompt.c_str(), end);
}

void refuse(const std::u16string& answer) { console_write(("Not accepted: " + console_ansi(answer) + "\n").c_str()); }

std::u16string trim(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  return s.substr(b, e - b);
}

bool parse_number(const std::u16string& s, long* out) {
  const std::string a = console_ansi(trim(s));
  char* end = nullptr;
  *out = std::strtol(a.c_str(), &end, 10);
  return !a.empty() && !*end;
}

// Numbers of shown items (1-based), separated by blanks or commas, or one item's exact text.
bool pick_items(const std::u16string& answer, const std::vector<std::u16string>& shown, bool multiple,
                std::vector<bool>* picked) {
  picked->assign(shown.size(), false);
  const auto exact = std::find(shown.begin(), shown.end(), answer);
  if (exact != shown.end()) {
    (*picked)[size_t(exact - shown.begin())] = true;
    return true;
  }
  std::u16string list = answer;
  std::replace(list.begin(), list.end(), u',', u' ');
  size_t count = 0;
  for (const std::u16string& word : split_parts(list, u' ')) {
    if (word.empty()) continue;
    long n;
    if (!parse_number(word, &n) || n < 1 || n > long(shown.size())) return false;
    (*picked)[size_t(n - 1)] = true;
    ++count;
  }
  return count && (multiple || count == 1);
}

std::u16string join_path(const std::u16string& dir, const std::u16string& name) {
  namespace fs = std::filesystem;
  fs::path p(name);
  if (!p.is_absolute() && !dir.empty()) p = fs::path(dir) / p;
  std::error_code ec;
  const fs::path full = fs::absolute(p, ec);
  return (ec ? p : full).lexically_normal().u16string();
}

bool is_file(const std::u16string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

bool parse_rgb(const std::u16string& s, int32_t* rgb) {
  const std::vector<std::u16string> parts = split_parts(s, u'|');
  if (parts.size() != 3) return false;
  int32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    long n;
    if (!parse_number(parts[size_t(i)], &n) || n < 0 || n > 255) return false;
    v |= int32_t(n) << (8 * i);
  }
  *rgb = v;
  return true;
}

}  // namespace

bool console_ask_item_list(const std::u16string& title, const std::u16string& prompt,
                           const std::vector<std::u16string>& items, bool multiple, bool sort,
                           const std::u16string& preselected, std::vector<std::u16string>* chosen) {
  std::vector<std::u16string> shown = items;
  if (sort) std::stable_sort(shown.begin(), shown.end());
  std::string list;
  for (size_t i = 0; i < shown.size(); ++i) list += std::to_string(i + 1) + ". " + console_ansi(shown[i]) + "\n";
  write_heading(title, prompt, preselected);
  console_write(list.c_str());
  for (;;) {
    std::u16string answer;
    if (!console_read_wide(&answer)) return false;
    chosen->clear();
    if (answer.empty()) {
      if (!preselected.empty()) chosen->push_back(preselected);
      return true;
    }
    std::vector<bool> picked;
    if (!pick_items(answer, shown, multiple, &picked)) {
      refuse(answer);
      continue;
    }
    for (size_t i = 0; i < shown.size(); ++i)
      if (picked[i]) chosen->push_back(shown[i]);
    return true;
  }
}

bool console_ask_text_box(const std::u16string& title, const std::u16string& prompt, bool editable,
                          std::u16string* text) {
  console_write_titled(title.c_str(), prompt.c_str());
  if (!text->empty()) console_write_titled(u"", (*text + u"\n").c_str(), "");
  if (!editable) {
    std::u16string line;
    return console_read_wide(&line);
  }
  // The new text follows, ended by a line holding a single dot; a dot at once keeps the text.
  if (os::stdin_is_terminal()) console_write("(end with a line holding a single .)\n");
  std::u16string typed;
  for (bool first = true;; first = false) {
    std::u16string line;
    if (!console_read_wide(&line)) return false;
    if (line == u".") {
      if (!first) *text = typed;
      return true;
    }
    if (!first) typed += u"\r\n";
    typed += line;
  }
}

bool console_ask_file_name(const std::u16string& title, const std::u16string& directory, bool save, bool multiple,
                           const std::u16string& def, std::vector<std::u16string>* files) {
  write_heading(title, directory, def);
  for (;;) {
    std::u16string answer;
    if (!console_read_wide(&answer)) return false;
    answer = trim(answer);
    if (answer.empty()) answer = def;
    files->clear();
    bool accepted = !answer.empty();
    for (const std::u16string& name : multiple ? split_parts(answer, u'|') : std::vector<std::u16string>{answer}) {
      if (!accepted) break;
      const std::u16string path = join_path(directory, trim(name));
      if (!save && !is_file(path)) accepted = false;
      files->push_back(path);
    }
    if (!accepted) {
      refuse(answer);
      continue;
    }
    if (save && is_file(files->front())) {
      const std::u16string question = files->front() + u" exists. Replace it?";
      if (console_message_box_w(question.c_str(), title.c_str(), MB_YES_NO_CANCEL) == ID_YES) return true;
      continue;
    }
    return true;
  }
}

bool console_ask_directory(const std::u16string& prompt, const std::u16string& start, std::u16string* folder) {
  write_heading(prompt, u"", start);
  for (;;) {
    std::u16string answer;
    if (!console_read_wide(&answer)) return false;
    answer = trim(answer);
    if (answer.empty()) answer = start;
    const std::u16string path = join_path(u"", answer);
    if (answer.empty() || !directory_exists(path)) {
      refuse(answer);
      continue;
    }
    *folder = path;
    return true;
  }
}

bool console_ask_color(const std::u16string& title, int32_t* rgb) {
  const std::string current = std::to_string(*rgb & 0xFF) + "|" + std::to_string((*rgb >> 8) & 0xFF) + "|" +
                              std::to_string((*rgb >> 16) & 0xFF);
  write_heading(title, u"red|green|blue", console_wide(current));
  for (;;) {
    std::u16string answer;
    if (!console_read_wide(&answer)) return false;
    if (trim(answer).empty()) return true;
    if (parse_rgb(answer, rgb)) return true;
    refuse(answer);
  }
}

bool console_ask_font(const std::u16string& title, FontChoice* font) {
  const std::string current = console_ansi(font->face) + "|" + std::to_string(font->points) + "|" +
                              std::to_string(font->weight) + "|" + (font->italic ? "1" : "0");
  write_heading(title, u"face|points|weight|italic", console_wide(current));
  for (;;) {
    std::u16string answer;
    if (!console_read_wide(&answer)) return false;
    if (trim(answer).empty()) return true;
    const std::vector<std::u16string> parts = split_parts(answer, u'|');
    FontChoice f = *font;
    f.face = trim(parts[0]);
    long n;
    bool ok = parts.size() <= 4 && !f.face.empty();
    if (ok && parts.size() > 1) ok = parse_number(parts[1], &n) && n > 0 && n <= 1638 && (f.points = int32_t(n), true);
    if (ok && parts.size() > 2) ok = parse_number(parts[2], &n) && n >= 0 && n <= 1000 && (f.weight = int32_t(n), true);
    if (ok && parts.size() > 3) ok = parse_number(parts[3], &n) && (n == 0 || n == 1) && (f.italic = n == 1, true);
    if (ok) {
      *font = f;
      return true;
    }
    refuse(answer);
  }
}

}  // namespace plat
