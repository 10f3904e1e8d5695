// Profile files on POSIX, read and written by the Windows profile rules.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "platform/files.h"
#include "platform/posix/config_dir.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace plat {
namespace {

bool read_whole_file(const char* path, std::string* text) {
  const FileHandle f = file_open_read(path, nullptr);
  if (f == INVALID_FILE) return false;
  uint64_t size = 0;
  bool ok = file_size(f, &size) && size < (1u << 30);
  if (ok) {
    text->resize(static_cast<size_t>(size));
    const int64_t got = file_read(f, text->data(), text->size());
    ok = got >= 0;
    if (ok) text->resize(static_cast<size_t>(got));
  }
  file_close(f);
  return ok;
}

// Profile files may be UTF-8 with a byte-order mark or UTF-16 (little-endian, with its mark).
std::string ansi_text_of(std::string raw) {
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return raw.substr(3);
  if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') {
    std::u16string wide((raw.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i)
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 + 2 * i]) |
                                      static_cast<unsigned char>(raw[3 + 2 * i]) << 8);
    if (wide.empty()) return std::string();
    const int length = wide_to_ansi(wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    std::string text(static_cast<size_t>(length), '\0');
    wide_to_ansi(wide.data(), static_cast<int>(wide.size()), text.data(), length);
    return text;
  }
  return raw;
}

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool same_name(std::string_view a, const char* b) { return compare_ansi(std::string(a).c_str(), b, true) == 0; }

struct Entry {
  std::string_view section;
  std::string_view key;     // empty for a section line
  std::string_view value;
  bool is_section;
};

// The meaningful lines of a profile text: section headers and "key=value" lines.
std::vector<Entry> parse_profile(std::string_view text) {
  std::vector<Entry> entries;
  std::string_view section;
  bool in_section = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      section = trim(line.substr(1, close == std::string_view::npos || close == 0 ? line.size() - 1 : close - 1));
      in_section = true;
      entries.push_back({section, {}, {}, true});
      continue;
    }
    if (!in_section) continue;   // lines before the first section belong to none
    const size_t equals = line.find('=');
    std::string_view key = trim(line.substr(0, equals));
    std::string_view value = equals == std::string_view::npos ? std::string_view() : trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    entries.push_back({section, key, value, false});
  }
  return entries;
}

size_t copy_value(std::string_view value, char* out, size_t out_cap) {
  if (out_cap == 0) return 0;
  const size_t n = std::min(value.size(), out_cap - 1);
  if (n) std::memcpy(out, value.data(), n);
  out[n] = 0;
  return n;
}

// A list of names, each ending with NUL, the whole ending with a second NUL. One that does not fit is
// cut, still ends with two NULs, and the result is then out_cap - 2.
size_t copy_list(const std::vector<std::string_view>& names, char* out, size_t out_cap) {
  std::string list;
  for (std::string_view name : names) {
    list.append(name);
    list += '\0';
  }
  if (out_cap == 0) return 0;
  if (list.size() + 1 <= out_cap) {
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = 0;
    return list.size();
  }
  if (out_cap < 2) {
    out[0] = 0;
    return 0;
  }
  std::memcpy(out, list.data(), out_cap - 2);
  out[out_cap - 2] = 0;
  out[out_cap - 1] = 0;
  return out_cap - 2;
}

size_t read_profile(const char* file, const char* section, const char* key, const char* def, char* out,
                    size_t out_cap) {
  // The default loses its trailing blanks, as the system's profile reader does.
  std::string_view fallback = def ? def : "";
  fallback = fallback.substr(0, fallback.find_last_not_of(" \t") + 1);
  std::string text;
  const bool have_file = file && *file && read_whole_file(file, &text);
  if (have_file) text = ansi_text_of(std::move(text));
  const std::vector<Entry> entries = have_file ? parse_profile(text) : std::vector<Entry>();

  if (!section) {
    std::vector<std::string_view> names;
    for (const Entry& e : entries)
      if (e.is_section) names.push_back(e.section);
    return copy_list(names, out, out_cap);
  }
  // Only the first section of the name counts; a later one of the same name is not read.
  auto first = std::find_if(entries.begin(), entries.end(),
                            [&](const Entry& e) { return e.is_section && same_name(e.section, section); });
  std::vector<std::string_view> keys;
  if (first != entries.end()) {
    for (auto it = first + 1; it != entries.end() && !it->is_section; ++it) {
      if (!key) keys.push_back(it->key);
      else if (same_name(it->key, key)) return copy_value(it->value, out, out_cap);
    }
  }
  if (!key) return copy_list(keys, out, out_cap);
  return copy_value(fallback, out, out_cap);
}

std::string win_ini_path() {
  const std::string dir = tov_config_dir();
  return dir.empty() ? dir : dir + "/win.ini";
}

// A file named without a directory is one of the folder that stands in for the Windows directory.
std::string profile_path(const char* file) {
  if (!file || !*file) return std::string();
  if (std::strchr(file, '/')) return file;
  const std::string dir = tov_config_dir();
  return dir.empty() ? dir : dir + "/" + file;
}

}  // namespace

size_t profile_get_string(const char* file, const char* section, const char* key, const char* def, char* out,
                          size_t out_cap) {
  return read_profile(profile_path(file).c_str(), section, key, def, out, out_cap);
}

size_t system_profile_get_string(const char* section, const char* key, const char* def, char* out,
                                 size_t out_cap) {
  return read_profile(win_ini_path().c_str(), section, key, def, out, out_cap);
}

bool profile_file_exists(const char* file) {
  const std::string path = profile_path(file);
  return !path.empty() && file_check(path.c_str(), false) != FileCheck::NotFound;
}

}  // namespace plat

namespace plat {

namespace {

bool write_whole_file(const std::string& path, const std::string& text) {
  // Written beside the file and renamed over it, so a reader never sees half a file.
  const std::string temp = path + ".tmp~";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// The section a raw line opens, or an empty view when the line opens none.
std::string_view section_of_line(std::string_view line) {
  line = trim(line);
  if (line.empty() || line[0] != '[') return {};
  const size_t close = line.rfind(']');
  return trim(line.substr(1, close == std::string_view::npos || close == 0 ? line.size() - 1 : close - 1));
}

// Whether a raw line sets the key: a line that is no section header, comment or blank.
bool sets_key(std::string_view line, const char* key) {
  line = trim(line);
  if (line.empty() || line[0] == ';' || line[0] == '[') return false;
  return same_name(trim(line.substr(0, line.find('='))), key);
}

bool write_profile(const std::string& path, const char* section, const char* key, const char* value) {
  if (path.empty()) return false;
  std::string text;
  const bool exists = file_check(path.c_str(), false) != FileCheck::NotFound;
  if (exists && !read_whole_file(path.c_str(), &text)) return false;
  text = ansi_text_of(std::move(text));
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  const std::string entry = key && value ? std::string(key) + "=" + value : std::string();
  std::vector<std::string> out;
  bool in_target = false, section_seen = false, done = false;
  size_t insert_at = 0;   // after the last non-empty line of the target section
  for (std::string_view line : lines) {
    const std::string_view sec = section_of_line(line);
    if (!sec.empty() || (!trim(line).empty() && trim(line)[0] == '[')) {
      in_target = !section_seen && same_name(sec, section);
      if (in_target) section_seen = true;
      if (in_target && !key) continue;   // the section's header goes with it
      out.emplace_back(line);
      if (in_target) insert_at = out.size();
      continue;
    }
    if (in_target) {
      if (!key) continue;
      if (!done && sets_key(line, key)) {
        done = true;
        if (value) out.push_back(entry);
        insert_at = out.size();
        continue;
      }
      out.emplace_back(line);
      if (!trim(line).empty()) insert_at = out.size();
      continue;
    }
    out.emplace_back(line);
  }
  // Removing a key or a section that is not there changes nothing.
  if (key ? !value && !done : !section_seen) return true;
  if (key && value && !done) {
    if (section_seen) {
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
    } else {
      out.push_back(std::string("[") + section + "]");
      out.push_back(entry);
    }
  }
  std::string result;
  for (const std::string& l : out) result += l + "\r\n";
  return write_whole_file(path, result);
}

}  // namespace

bool profile_write_string(const char* file, const char* section, const char* key, const char* value) {
  if (!section) return true;   // nothing is cached
  const std::string path = profile_path(file);
  // The folder that stands in for the Windows directory is made when it is first needed.
  if (file && *file && !std::strchr(file, '/') && !path.empty()) make_parent_directories(path);
  return write_profile(path, section, key, value);
}

bool system_profile_write_string(const char* section, const char* key, const char* value) {
  if (!section) return true;
  const std::string path = win_ini_path();
  if (!path.empty()) make_parent_directories(path);
  return write_profile(path, section, key, value);
}

void broadcast_profile_change(const char*) {}

}  // namespace plat
