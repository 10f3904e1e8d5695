// %name% substitution, applied to every line before it is tokenized.
#include <cstring>

#include "diag/errors.h"
#include "engine/context.h"
#include "engine/script.h"
#include "lang/variables.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr size_t SUBST_NAME_MAX = 30;  // bytes: a double-byte character counts as two

bool is_subst_name_char(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' || c == '_';
  return plat::is_alnum(p);
}

const char* constant_text(const char* name) {
  static const struct { const char* name; const char* text; } constants[] = {
      {"@crlf", "\r\n"}, {"@tab", "\t"}, {"@cr", "\r"}, {"@lf", "\n"}};
  for (const auto& c : constants) {
    size_t i = 0;
    while (c.name[i] && plat::lower_ascii(name[i]) == c.name[i]) ++i;
    if (!c.name[i] && !name[i]) return c.text;
  }
  return "";
}

bool is_include_statement(const char* line, size_t len) {
  if (len < 10 || line[0] != '#' || (line[8] != ' ' && line[8] != '\t')) return false;
  const char* word = "#include";
  for (int i = 0; i < 8; ++i)
    if (plat::lower_ascii(line[i]) != word[i]) return false;
  return true;
}

// An #include line met at run time becomes a Call of the file with no parameters.
void rewrite_include_as_call(RunContext* ctx, char* line) {
  const char* p = line + 9;
  while (*p == ' ' || *p == '\t') ++p;
  char name[INCLUDE_NAME_MAX + 1];
  size_t n = std::strlen(p);
  while (n && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
  if (n && (*p == '"' || *p == '\'' || *p == '`')) {
    const char quote = *p++;
    --n;
    if (n > INCLUDE_NAME_MAX) n = INCLUDE_NAME_MAX;
    if (n && p[n - 1] == quote) --n;
  } else if (n > INCLUDE_NAME_MAX) {
    n = INCLUDE_NAME_MAX;
  }
  std::memcpy(name, p, n);
  name[n] = 0;

  char path[plat::MAX_PATH_CHARS + INCLUDE_NAME_MAX + 2];
  size_t dir = plat::path_directory_length(ctx->szCurrentFile);
  if (!plat::path_is_absolute(name) && dir) {
    std::memcpy(path, ctx->szCurrentFile, dir);
    std::strcpy(path + dir, name);
    if (plat::file_check(path, false) == plat::FileCheck::NotFound) std::strcpy(path, name);
  } else {
    std::strcpy(path, name);
  }
  // Call("path", ``) — a double quote inside the name is doubled so the literal stays whole.
  char out[LINE_BUFFER_BYTES];
  size_t o = 0;
  auto put = [&](char c) { if (o + 1 < sizeof out) out[o++] = c; };
  for (const char* s = "Call(\""; *s; ++s) put(*s);
  for (const char* s = path; *s; ++s) {
    put(*s);
    if (*s == '"') put('"');
  }
  for (const char* s = "\", ``)"; *s; ++s) put(*s);
  out[o] = 0;
  std::memcpy(line, out, o + 1);
}

}  // namespace

int SubstituteLine(RunContext* ctx, char* line) {
  // Most lines hold no percent sign: nothing to copy then.
  if (!std::strchr(line, '%')) {
    if ((ctx->nIncludeMode & 2) && line[0] == '#' && is_include_statement(line, std::strlen(line)))
      rewrite_include_as_call(ctx, line);
    return 1;
  }
  char out[LINE_BUFFER_BYTES];
  size_t o = 0;
  int result = 1;
  auto overflow = [&]() {
    ctx->err = ERR_SUBST_TOO_LONG;
    return 0;
  };
  const char* const end = line + std::strlen(line);
  for (const char* p = line; *p;) {
    if (*p != '%' || p[1] == 0) {
      // The text up to the next % goes over at once: no character of any code page has % inside it.
      const char* next = static_cast<const char*>(std::memchr(p + 1, '%', size_t(end - p - 1)));
      const size_t n = next ? size_t(next - p) : size_t(end - p);
      if (o + n > LINE_MAX_CHARS) return overflow();
      std::memcpy(out + o, p, n);
      o += n;
      p += n;
      continue;
    }
    if (p[1] == '%') {
      if (o + 1 > LINE_MAX_CHARS) return overflow();
      out[o++] = '%';
      p += 2;
      continue;
    }
    const char* q = p + 1;
    char name[SUBST_NAME_MAX + 1];
    size_t n = 0;
    while (*q && is_subst_name_char(q)) {
      const size_t cs = static_cast<unsigned char>(*q) < 128 ? 1 : plat::char_size(q, size_t(end - q));
      if (n + cs > SUBST_NAME_MAX) {
        ctx->err = ERR_SUBST_NAME_TOO_LONG;
        return 0;
      }
      std::memcpy(name + n, q, cs);
      n += cs;
      q += cs;
    }
    name[n] = 0;
    if (*q != '%') {
      ctx->err = ERR_SUBST_NO_CLOSING;
      return 0;
    }
    result = 2;
    long len = variable_value_as_text(ctx, name, out + o, sizeof out - o);
    if (len < 0) {
      const char* c = constant_text(name);
      len = long(std::strlen(c));
      if (o + size_t(len) <= LINE_MAX_CHARS) std::memcpy(out + o, c, size_t(len));
    }
    if (o + size_t(len) > LINE_MAX_CHARS) return overflow();
    o += size_t(len);
    p = q + 1;
  }
  out[o] = 0;
  std::memcpy(line, out, o + 1);
  if ((ctx->nIncludeMode & 2) && is_include_statement(line, o)) rewrite_include_as_call(ctx, line);
  return result;
}

}  // namespace tov
