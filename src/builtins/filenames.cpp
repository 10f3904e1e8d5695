#include "builtins/filenames.h"

#include "platform/files.h"
#include "platform/text.h"

namespace tov::fname {

namespace {

size_t last_dot(const std::u16string& name) {
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name.size() : dot;
}

std::u16string upper(std::u16string s) {
  plat::upper_wide(s.data(), s.size());
  return s;
}

// "*" and "?" over whole texts of upper-case characters, with "*" going back to take one more character
// each time what follows it fails.
bool glob(const std::u16string& p, const std::u16string& n) {
  size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      resume = ni;
    } else if (star != std::u16string::npos) {
      pi = star + 1;
      ni = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

std::u16string apply_mask(const std::u16string& mask, const std::u16string& source) {
  std::u16string out;
  size_t i = 0;
  for (char16_t m : mask) {
    if (m == u'*') {
      out.append(source, i, std::u16string::npos);
      i = source.size();
    } else if (m == u'?') {
      if (i < source.size()) out += source[i++];
    } else {
      out += m;
      if (i < source.size()) ++i;
    }
  }
  return out;
}

}  // namespace

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

size_t directory_length(const std::u16string& path) {
  size_t length = plat::has_drive_letters() && path.size() >= 2 && path[1] == u':' ? 2 : 0;
  for (size_t i = length; i < path.size(); ++i)
    if (is_separator(path[i])) length = i + 1;
  return length;
}

std::u16string root_of(const std::u16string& name) { return name.substr(0, last_dot(name)); }

std::u16string extension_of(const std::u16string& name) {
  const size_t dot = last_dot(name);
  return dot < name.size() ? name.substr(dot + 1) : std::u16string();
}

bool has_wildcards(const std::u16string& text) { return text.find_first_of(u"*?") != std::u16string::npos; }

std::u16string join(const std::u16string& dir, const std::u16string& name) {
  if (dir.empty() || is_separator(dir.back()) || (dir.size() == 2 && dir[1] == u':' && plat::has_drive_letters()))
    return dir + name;
  return dir + char16_t(plat::path_separator()) + name;
}

bool name_matches(const std::u16string& pattern, const std::u16string& name) {
  const std::u16string p = upper(pattern), n = upper(name);
  if (p == u"*" || p == u"*.*") return true;
  if (!p.empty() && p.back() == u'.') {
    size_t end = p.size();
    while (end && p[end - 1] == u'.') --end;
    return n.find(u'.') == std::u16string::npos && glob(p.substr(0, end), n);
  }
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, u".*") == 0 && glob(p.substr(0, p.size() - 2), n)) return true;
  return glob(p, n);
}

std::u16string map_name(const std::u16string& mask, const std::u16string& source_name) {
  if (mask.find(u'.') == std::u16string::npos) return apply_mask(mask, source_name);
  const std::u16string root = apply_mask(root_of(mask), root_of(source_name));
  const std::u16string ext = apply_mask(extension_of(mask), extension_of(source_name));
  return ext.empty() ? root : root + u'.' + ext;
}

}  // namespace tov::fname
