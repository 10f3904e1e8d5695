// The console form of the boxes and prompts of the script's user.
#include <string>

#include "platform/hooks.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace plat {

namespace {

std::string to_ansi(const char16_t* w) {
  if (!w || !*w) return std::string();
  const int n = wide_to_ansi(w, int(wide_length(w)), nullptr, 0);
  std::string s(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) wide_to_ansi(w, int(wide_length(w)), s.data(), n);
  return s;
}

std::u16string to_wide(const char* a, size_t len) {
  if (!len) return std::u16string();
  const int n = ansi_to_wide(a, int(len), nullptr, 0);
  std::u16string w(n > 0 ? size_t(n) : 0, u'\0');
  if (n > 0) ansi_to_wide(a, int(len), w.data(), n);
  return w;
}

// Writes "title: text"; a hint for a terminal's user (hint not null) ends the line instead of a line feed,
// so the answer is typed after it.
void write_titled(const char16_t* title, const char16_t* text, const char* hint = nullptr) {
  std::string line = to_ansi(title);
  if (!line.empty()) line += ": ";
  const std::string body = to_ansi(text);
  for (size_t i = 0; i < body.size(); ++i)
    if (!(body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n')) line += body[i];
  line += hint ? hint : "\n";
  console_write(line.c_str());
}

}  // namespace

int console_message_box_w(const char16_t* text, const char16_t* caption, uint32_t flags) {
  return console_message_box(to_ansi(text).c_str(), to_ansi(caption).c_str(), flags);
}

bool console_display_text(const char16_t* title, const char16_t* text, uint32_t ms) {
  write_titled(title, text);
  return console_wait_key(ms);
}

bool console_ask_line(const char16_t* title, const char16_t* prompt, const char16_t* def, bool password,
                      std::u16string* out) {
  std::string hint;
  if (os::stdin_is_terminal()) hint = def && *def ? " [" + to_ansi(def) + "] " : std::string(" ");
  write_titled(title, prompt, hint.empty() ? nullptr : hint.c_str());
  char line[4096];
  if (!console_read_line(line, sizeof line, !password)) return false;
  size_t n = 0;
  while (line[n]) ++n;
  *out = n ? to_wide(line, n) : std::u16string(def ? def : u"");
  return true;
}

int console_confirm_replace(const ReplaceQuestion& q) {
  std::u16string text = q.replaceLabel;
  text += u' ';
  text += q.target;
  text += u' ';
  text += q.withLabel;
  text += u' ';
  text += q.source;
  text += u" (y/n/a/c)";
  for (;;) {
    write_titled(q.caption, text.c_str());
    char line[256];
    if (!console_read_line(line, sizeof line, true)) return REPLACE_CANCEL;
    const char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    switch (lower_ascii(*p)) {
      case 'y': return REPLACE_THIS;
      case 'n': return REPLACE_SKIP;
      case 'a': return REPLACE_ALL;
      case 'c': return REPLACE_CANCEL;
      default: break;   // asked again
    }
  }
}

}  // namespace plat
