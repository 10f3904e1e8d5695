// Script text: preparing host buffers and script files into HeldScripts, #include expansion, reading lines,
// finding labels and turning offsets back into file names and line numbers.
#include "engine/script.h"

#include <cstring>

#include "diag/errors.h"
#include "diag/report.h"
#include "engine/context.h"
#include "engine/membuf.h"
#include "exec/compiled.h"
#include "exec/run.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char EOF_BYTE = 0x1A;

bool starts_with_nocase(const char* s, const char* word) {
  for (; *word; ++s, ++word)
    if (plat::lower_ascii(*s) != plat::lower_ascii(*word)) return false;
  return true;
}

// Text that starts (after one optional blank) with a LineMarker, or with the mark of an already decoded
// encoded script, has been expanded already.
bool already_expanded(const char* text) {
  if (*text == ' ') ++text;
  return text[0] == ';' && (text[1] == MARKER_BYTE || (text[1] == 0x0C && text[2] == '@'));
}

bool is_marker_line(const char* line) { return line[0] == ';' && line[1] == MARKER_BYTE; }

// Every CR followed by LF becomes a blank, every other CR a LF; the length does not change.
void normalise_line_ends(char* text, uint32_t len) {
  for (uint32_t i = 0; i < len; ++i)
    if (text[i] == CR) text[i] = (i + 1 < len && text[i + 1] == LF) ? ' ' : LF;
}

enum class TextMark { None, Utf16Le, Utf16Be, Utf8 };

// The byte-order mark that text starts with: UTF-16 in either byte order, or UTF-8 as editors write it.
TextMark byte_order_mark(const uint8_t* p, size_t n) {
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return TextMark::Utf16Le;
  if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return TextMark::Utf16Be;
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return TextMark::Utf8;
  return TextMark::None;
}

// Decodes the text after its mark into a new block of wide characters, up to the first NUL; *units
// receives their count. Big-endian text (mark FE FF) is read as big-endian.
plat::MemId decode_marked(const uint8_t* p, size_t nbytes, TextMark mark, size_t* units) {
  const bool utf8 = mark == TextMark::Utf8;
  const size_t capacity = utf8 ? nbytes - 3 : (nbytes - 2) / 2;
  plat::MemId wide_id = plat::mem_alloc((capacity + 1) * sizeof(plat::wchar), true);
  auto* wide = wide_id ? static_cast<plat::wchar*>(plat::mem_lock(wide_id)) : nullptr;
  if (!wide) return wide_id;
  size_t n = 0;
  if (utf8) {
    n = capacity ? size_t(plat::ansi_to_wide(reinterpret_cast<const char*>(p + 3), int(capacity), wide,
                                             int(capacity), plat::CP_UTF8_PAGE))
                 : 0;
  } else {
    for (const uint8_t* u = p + 2; n < capacity; u += 2)
      wide[n++] = mark == TextMark::Utf16Be ? plat::wchar((u[0] << 8) | u[1]) : plat::wchar(u[0] | (u[1] << 8));
  }
  size_t text = 0;
  while (text < n && wide[text]) ++text;
  *units = text;
  return wide_id;
}

// Converts text that starts with a byte-order mark into ANSI text in a new block (NUL-terminated).
// Returns 0 when the result would be empty or the conversion fails.
plat::MemId convert_unicode(const uint8_t* p, size_t nbytes, TextMark mark, uint32_t code_page,
                            uint32_t* out_len) {
  size_t n = 0;
  plat::MemId wide_id = decode_marked(p, nbytes, mark, &n);
  if (!wide_id) return 0;
  const auto* wide = static_cast<const plat::wchar*>(plat::mem_address(wide_id));
  plat::MemId result = 0;
  const int need = n ? plat::wide_to_ansi(wide, int(n), nullptr, 0, code_page) : 0;
  if (need > 0) {
    result = plat::mem_alloc(size_t(need) + 2, true);
    char* out = result ? static_cast<char*>(plat::mem_lock(result)) : nullptr;
    if (out && plat::wide_to_ansi(wide, int(n), out, need, code_page) == need) {
      *out_len = uint32_t(need);
    } else if (result) {
      plat::mem_free(result);
      result = 0;
    }
  }
  plat::mem_free(wide_id);
  return result;
}

// Puts raw script bytes into a locked, NUL-terminated block of the Engine's: converted when they carry a
// byte-order mark, copied otherwise. Returns 0 on failure; *unicode_failed tells a failed conversion apart
// from a lack of memory.
plat::MemId text_block_from_bytes(const uint8_t* bytes, size_t n, uint32_t code_page, uint32_t* len,
                                  bool* unicode_failed) {
  *unicode_failed = false;
  if (const TextMark mark = byte_order_mark(bytes, n); mark != TextMark::None) {
    plat::MemId id = convert_unicode(bytes, n, mark, code_page, len);
    if (!id) *unicode_failed = true;
    return id;
  }
  plat::MemId id = plat::mem_alloc(n + 2, true);
  char* text = id ? static_cast<char*>(plat::mem_lock(id)) : nullptr;
  if (!text) {
    if (id) plat::mem_free(id);
    return 0;
  }
  if (n) std::memcpy(text, bytes, n);
  *len = uint32_t(strnlen(text, n));
  return id;
}

void append_marker(MemBuf& out, bool& ok, uint32_t line, const char* file) {
  uint8_t head[LINE_MARKER_HEAD];
  line_marker_head(head, line);
  ok = ok && out.append(reinterpret_cast<const char*>(head), sizeof head) && out.append(file) && out.append(LF);
}

enum class IncludeName { None, Ok, Bad };

// Recognises an #include line (a "#" preceded only by blanks and tabs, "#include" in any case, then a blank
// or tab) and reads its file name: quoted by ", ' or `, or running to the end of the line without its
// trailing blanks; at most 260 characters.
IncludeName read_include_name(const char* line, const char* end, char* name) {
  const char* p = line;
  while (p < end && is_blank(*p)) ++p;
  if (end - p < 9 || !starts_with_nocase(p, "#include") || !is_blank(p[8])) return IncludeName::None;
  p += 9;
  while (p < end && is_blank(*p)) ++p;
  const char* start = p;
  const char* stop;
  if (p < end && (*p == '"' || *p == '\'' || *p == '`')) {
    const char quote = *p++;
    start = p;
    stop = static_cast<const char*>(std::memchr(p, quote, size_t(end - p)));
    if (!stop || size_t(stop - start) > INCLUDE_NAME_MAX) {
      size_t n = size_t(end - start) < INCLUDE_NAME_MAX ? size_t(end - start) : INCLUDE_NAME_MAX;
      std::memcpy(name, start, n);
      name[n] = 0;
      return IncludeName::Bad;
    }
  } else {
    stop = end;
    while (stop > start && is_blank(stop[-1])) --stop;
    if (size_t(stop - start) > INCLUDE_NAME_MAX) {
      std::memcpy(name, start, INCLUDE_NAME_MAX);
      name[INCLUDE_NAME_MAX] = 0;
      return IncludeName::Bad;
    }
  }
  std::memcpy(name, start, size_t(stop - start));
  name[stop - start] = 0;
  return IncludeName::Ok;
}

bool file_exists(const char* path) { return plat::file_check(path, false) != plat::FileCheck::NotFound; }

// Finds an #include file: a relative name is tried against the base directory, then as given (against the
// current directory), then by the file search.
bool resolve_include(const char* name, const char* base_dir, char* path, size_t cap) {
  if (!*name) return false;
  if (!plat::path_is_absolute(name) && base_dir && *base_dir) {
    size_t b = std::strlen(base_dir), n = std::strlen(name);
    if (b + n < cap) {
      std::memcpy(path, base_dir, b);
      std::memcpy(path + b, name, n + 1);
      if (file_exists(path)) return true;
    }
  }
  if (std::strlen(name) < cap && file_exists(name)) {
    std::strcpy(path, name);
    return true;
  }
  return plat::search_file(name, path, cap, false) != plat::FileCheck::NotFound;
}

// Reads a whole file into a new NUL-terminated block. Returns 0 when it cannot be opened or read whole.
plat::MemId read_whole_file(const char* path, uint32_t* len, uint32_t* error) {
  uint32_t sys = 0;
  plat::FileHandle f = plat::file_open_read(path, &sys);
  if (f == plat::INVALID_FILE) {
    *error = ERR_FILE_NOT_FOUND;
    return 0;
  }
  uint64_t size = 0;
  plat::MemId id = 0;
  if (!plat::file_size(f, &size) || size >= 0xFFFFFFF0u) {
    *error = ERR_FILE_READ;
  } else if (!(id = plat::mem_alloc(size_t(size) + 2, true))) {
    *error = ERR_FILE_ALLOC;
  } else if (void* p = plat::mem_lock(id); !p) {
    *error = ERR_FILE_LOCK;
    plat::mem_free(id);
    id = 0;
  } else if (plat::file_read(f, p, size_t(size)) != int64_t(size)) {
    *error = ERR_FILE_READ;
    plat::mem_free(id);
    id = 0;
  } else {
    *len = uint32_t(size);
  }
  plat::file_close(f);
  return id;
}

// Replaces raw file bytes in *block by their ANSI text when they carry a byte-order mark.
bool convert_if_unicode(plat::MemId* block, uint32_t* len, uint32_t code_page) {
  auto* bytes = static_cast<const uint8_t*>(plat::mem_address(*block));
  const TextMark mark = byte_order_mark(bytes, *len);
  if (mark == TextMark::None) return true;
  uint32_t n = 0;
  plat::MemId converted = convert_unicode(bytes, *len, mark, code_page, &n);
  if (!converted) return false;
  plat::mem_free(*block);
  *block = converted;
  *len = n;
  return true;
}

}  // namespace

void line_marker_head(uint8_t* out, uint32_t line) {
  out[0] = ';';
  out[1] = MARKER_BYTE;
  out[2] = 0x41;
  out[3] = 0x40;
  encode_24(out + 4, line);
}

void encode_24(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(0x40 | ((value >> (18 - 6 * i)) & 0x3F));
}

uint32_t decode_24(const uint8_t* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 6) | (in[i] & 0x3F);
  return v;
}

int32_t ExpandIncludes(RunContext* ctx, plat::MemId* block, uint32_t length, const char* markerFile,
                       const char* baseDir, char* failingName, int level) {
  if (level >= INCLUDE_MAX_LEVEL) return -2;
  char* text = static_cast<char*>(plat::mem_address(*block));
  if (already_expanded(text)) return int32_t(length);
  normalise_line_ends(text, length);

  MemBuf out;
  bool ok = out.reserve(size_t(length) + 64);
  uint32_t line_no = 1;
  append_marker(out, ok, 1, markerFile ? markerFile : "");
  const char* end = text + length;
  for (const char* line = text; ok && line < end;) {
    const char* eol = static_cast<const char*>(std::memchr(line, LF, size_t(end - line)));
    const char* line_end = eol ? eol : end;
    const char* next = eol ? eol + 1 : end;
    if (is_marker_line(line)) {
      ok = out.append(line, size_t(next - line));
      line = next;
      continue;
    }
    char name[INCLUDE_NAME_MAX + 1];
    IncludeName kind = read_include_name(line, line_end, name);
    if (kind == IncludeName::Bad) {
      std::strcpy(failingName, name);
      return 0;
    }
    if (kind == IncludeName::Ok) {
      char path[plat::MAX_PATH_CHARS + INCLUDE_NAME_MAX + 2];
      uint32_t len = 0, error = 0;
      plat::MemId inc = 0;
      if (!resolve_include(name, baseDir, path, sizeof path) || !(inc = read_whole_file(path, &len, &error)) ||
          !convert_if_unicode(&inc, &len, ctx->nCodePage)) {
        if (inc) plat::mem_free(inc);
        std::strcpy(failingName, name);
        return 0;
      }
      int32_t r = ExpandIncludes(ctx, &inc, len, path, baseDir, failingName, level + 1);
      if (r > 0) {
        const char* inc_text = static_cast<const char*>(plat::mem_address(inc));
        ok = out.append(inc_text, size_t(r)) && (inc_text[r - 1] == LF || out.append(LF));
      }
      plat::mem_free(inc);
      if (r <= 0) return r;
      ++line_no;
      append_marker(out, ok, line_no, markerFile ? markerFile : "");
    } else {
      ok = out.append(line, size_t(next - line));
      ++line_no;
      const char* p = line;
      while (p < line_end && is_blank(*p)) ++p;
      if (starts_with_nocase(p, "#include") || starts_with_nocase(p, "#DefineFunction") ||
          starts_with_nocase(p, "#DefineSubroutine"))
        append_marker(out, ok, line_no, markerFile ? markerFile : "");
    }
    line = next;
  }
  if (!ok || out.size() >= 0xFFFFFFF0u) return -1;
  uint32_t new_len = uint32_t(out.size());
  plat::MemId expanded = out.detach();
  if (!expanded) return -1;
  plat::mem_free(*block);
  *block = expanded;
  return int32_t(new_len);
}

namespace {

// Expands the includes of a prepared text. Returns 0 with the new length in *len, or the error number
// (216, 217 with the failing name, 218).
uint16_t expand(RunContext* ctx, plat::MemId* block, uint32_t* len, const char* markerFile, const char* baseDir,
                char* failing) {
  failing[0] = 0;
  int32_t r = ExpandIncludes(ctx, block, *len, markerFile, baseDir, failing, 0);
  if (r > 0) {
    *len = uint32_t(r);
    return 0;
  }
  return r == -1 ? ERR_INCLUDE_ALLOC : r == -2 ? ERR_INCLUDE_NESTING : ERR_INCLUDE_FILE;
}

// Reports a failure of expand at once.
void report_expand(RunContext* ctx, uint16_t error, const char* failing) {
  ReportLoadError(ctx, error, error == ERR_INCLUDE_FILE ? failing : nullptr);
}

void hold(HeldScript* hs, plat::MemId block, uint32_t len) {
  *hs = HeldScript{};
  hs->block = block;
  hs->text = static_cast<char*>(plat::mem_address(block));
  hs->length = len;
  hs->udf = NO_UDF;
  hs->cacheKey = linecache_new_key();
}

}  // namespace

bool PrepareHostBuffer(RunContext* ctx, plat::HostHandle script, HeldScript* out) {
  *out = HeldScript{};
  auto* bytes = static_cast<const uint8_t*>(plat::host_lock(script));
  if (!bytes) return false;
  size_t cap = plat::host_size(script);
  // The text ends at its NUL: a 16-bit NUL for Unicode text, a byte otherwise.
  size_t n = 0;
  const TextMark mark = byte_order_mark(bytes, cap);
  if (mark == TextMark::Utf16Le || mark == TextMark::Utf16Be) {
    while (n + 1 < cap && (bytes[n] || bytes[n + 1])) n += 2;
  } else {
    n = strnlen(reinterpret_cast<const char*>(bytes), cap);
  }
  if (n && bytes[0] >= 1 && bytes[0] <= 3) {
    // An encoded script; no encoded format is defined, so it cannot be run as text either.
    plat::host_unlock(script);
    ReportLoadError(ctx, ERR_UNKNOWN_ENCODED_FORMAT, ctx->szCurrentFile);
    return false;
  }
  uint32_t len = 0;
  bool unicode_failed = false;
  plat::MemId block = text_block_from_bytes(bytes, n, ctx->nCodePage, &len, &unicode_failed);
  plat::host_unlock(script);
  if (!block) return false;
  normalise_line_ends(static_cast<char*>(plat::mem_address(block)), len);
  if ((ctx->nIncludeMode & 1) && len) {
    char base[plat::MAX_PATH_CHARS + 1] = "";
    size_t dir = plat::path_directory_length(ctx->szCurrentFile);
    std::memcpy(base, ctx->szCurrentFile, dir);
    base[dir] = 0;
    char failing[INCLUDE_NAME_MAX + 1];
    if (const uint16_t error = expand(ctx, &block, &len, ctx->szCurrentFile, base, failing)) {
      plat::mem_free(block);
      report_expand(ctx, error, failing);
      return false;
    }
  }
  hold(out, block, len);
  return true;
}

void FreeHeldScript(HeldScript* hs) {
  if (hs->block) plat::mem_free(hs->block);
  *hs = HeldScript{};
}

uint16_t LoadTextFile(RunContext* ctx, const char* path, HeldScript* out, char* failingName) {
  *out = HeldScript{};
  uint32_t len = 0, error = 0;
  plat::MemId block = read_whole_file(path, &len, &error);
  if (!block) return uint16_t(error);
  const auto* first = static_cast<const uint8_t*>(plat::mem_address(block));
  if (len && first[0] >= 1 && first[0] <= 3) error = ERR_UNKNOWN_ENCODED_FORMAT;   // no encoded format is defined
  else if (len > 1 && !convert_if_unicode(&block, &len, ctx->nCodePage)) error = ERR_UNICODE_CONVERSION;
  if (error) {
    plat::mem_free(block);
    return uint16_t(error);
  }
  normalise_line_ends(static_cast<char*>(plat::mem_address(block)), len);
  if ((ctx->nIncludeMode & 1) && len) {
    char base[plat::MAX_PATH_CHARS + 1];
    size_t dir = plat::path_directory_length(path);
    if (dir > plat::MAX_PATH_CHARS) dir = 0;
    std::memcpy(base, path, dir);
    base[dir] = 0;
    if (const uint16_t failed = expand(ctx, &block, &len, path, dir ? base : nullptr, failingName)) {
      plat::mem_free(block);
      return failed;
    }
  }
  hold(out, block, len);
  return 0;
}

int LoadScriptFile(RunContext* ctx, Value* result, const char* path) {
  HeldScript hs;
  char failing[INCLUDE_NAME_MAX + 1];
  if (const uint16_t error = LoadTextFile(ctx, path, &hs, failing)) {
    if (error == ERR_INCLUDE_ALLOC || error == ERR_INCLUDE_NESTING || error == ERR_INCLUDE_FILE)
      report_expand(ctx, error, failing);
    else
      ReportLoadError(ctx, error, path);
    return 0;
  }
  uint32_t line_start = 0, pos = 0;
  int r = RunLoop(ctx, result, &hs, &line_start, &pos);
  linecache_forget_script(ctx, hs.cacheKey);
  FreeHeldScript(&hs);
  return r;
}

int FetchLine(RunContext* ctx, char* line, uint32_t size, const HeldScript* hs, uint32_t* lineStart,
              uint32_t* pos) {
  const char* text = hs->text;
  const uint32_t len = hs->length;
  uint32_t p = *pos;
  if (p >= len) return 0;
  while (p < len && is_blank(text[p])) ++p;
  *lineStart = p;
  const uint32_t limit = size - 2 < LINE_MAX_CHARS ? size - 2 : LINE_MAX_CHARS;
  // A NUL inside the text ends its line too and is passed over, so readers never stall on it.
  auto ends_line = [&](uint32_t at) { return text[at] == LF || text[at] == EOF_BYTE || text[at] == 0; };
  const uint32_t room = len - p < limit ? len - p : limit;
  uint32_t e = p;
  while (e < p + room && !ends_line(e)) ++e;
  const uint32_t n = e - p;
  std::memcpy(line, text + p, n);
  p = e;
  if (p < len && !ends_line(p)) {
    // The 2049th byte: a blank directly before the line end (the CR of a CR LF line) is dropped quietly;
    // anything else cuts the line and defers 3722 to its execution.
    if (!(text[p] == ' ' && (p + 1 >= len || text[p + 1] == LF))) ctx->nDeferredError = ERR_LINE_TOO_LONG;
    while (p < len && !ends_line(p)) ++p;
  }
  const bool ended = p < len;
  if (ended) ++p;
  line[n] = 0;
  *pos = p;
  return (n == 0 && !ended && p >= len) ? 0 : 1;
}

int FindLabel(RunContext* ctx, const char* label, uint32_t* target, uint32_t stmtLineStart,
              uint32_t stmtOffset, const HeldScript* hs, bool noRewrite) {
  char wanted[LABEL_COMPARE_MAX + 1];
  size_t wlen = 0;
  for (; label[wlen] && wlen < LABEL_COMPARE_MAX; ++wlen) wanted[wlen] = plat::upper_ascii(label[wlen]);
  wanted[wlen] = 0;

  // The search reads lines of its own; a long line met on the way is not the running statement's error.
  const uint16_t deferred = ctx->nDeferredError;
  char line[LINE_BUFFER_BYTES];
  uint32_t pos = 0, line_start = 0;
  bool in_body = false, found = false;
  while (FetchLine(ctx, line, sizeof line, hs, &line_start, &pos)) {
    if (line[0] == '#') {
      if (starts_with_nocase(line, "#DefineFunction") || starts_with_nocase(line, "#DefineSubroutine"))
        in_body = true;
      else if (starts_with_nocase(line, "#EndFunction") || starts_with_nocase(line, "#EndSubroutine"))
        in_body = false;
      continue;
    }
    if (in_body || line[0] != ':') continue;
    size_t i = 0;
    while (i < wlen && plat::upper_ascii(line[1 + i]) == wanted[i]) ++i;
    const char after = line[1 + i];
    if (i == wlen && (after == 0 || is_blank(after) || after == ';')) {
      found = true;
      break;
    }
  }
  ctx->nDeferredError = deferred;
  if (!found) {
    ctx->err = ERR_LABEL_NOT_FOUND;
    return 0;
  }
  *target = line_start;
  if (!noRewrite && line_start < JUMP_OFFSET_LIMIT) {
    const uint32_t at = stmtLineStart + stmtOffset;
    if (!hs->text || at + 5 > hs->length) {
      ctx->err = ERR_GOTO_LOCK;
      return 0;
    }
    auto* stmt = reinterpret_cast<uint8_t*>(hs->text + at);
    if (stmt[0] == 'G' || stmt[0] == 'g') {
      linecache_forget_line(ctx, hs, at);
      stmt[0] = (stmt[2] == 'T' || stmt[2] == 't') ? RESOLVED_GOTO : RESOLVED_GOSUB;
      encode_24(stmt + 1, line_start);
    }
  }
  return 1;
}

uint32_t LocateLine(RunContext* ctx, const HeldScript* hs, uint32_t offset, char* file, size_t fileSize,
                    char* lineText, size_t lineTextSize, uint32_t* lineInUdf, int* lineKind) {
  const char* text = hs->text;
  const char* current = ctx->szCurrentFile;
  size_t current_len = std::strlen(current);
  int kind = -1;
  uint32_t line = 1, body_line = 1;
  uint32_t i = 0;
  if (file && fileSize) file[0] = 0;
  if (lineText && lineTextSize) lineText[0] = 0;
  if (offset > hs->length) return 0;
  while (i < offset) {
    if (is_marker_line(text + i) && i + 8 <= hs->length) {
      const auto* m = reinterpret_cast<const uint8_t*>(text + i);
      kind = m[2] & 0x3F;
      line = decode_24(m + 4);
      const char* name = text + i + 8;
      const char* eol = static_cast<const char*>(std::memchr(name, LF, hs->length - (i + 8)));
      if (!eol) return 0;
      current = name;
      current_len = size_t(eol - name);
      i = uint32_t(eol - text) + 1;
      continue;
    }
    const char* eol = static_cast<const char*>(std::memchr(text + i, LF, offset - i));
    const char* stop = static_cast<const char*>(std::memchr(text + i, EOF_BYTE, offset - i));
    const char* nul = static_cast<const char*>(std::memchr(text + i, 0, offset - i));
    if ((stop && (!eol || stop < eol)) || (nul && (!eol || nul < eol))) return 0;
    if (!eol) break;
    i = uint32_t(eol - text) + 1;
    ++line;
    ++body_line;
  }
  if (file && fileSize) {
    size_t n = current_len < fileSize - 1 ? current_len : fileSize - 1;
    std::memcpy(file, current, n);
    file[n] = 0;
  }
  if (lineText && lineTextSize) {
    size_t n = 0;
    for (uint32_t j = offset; j < hs->length && text[j] != LF && n + 1 < lineTextSize; ++j) lineText[n++] = text[j];
    lineText[n] = 0;
  }
  if (lineInUdf) *lineInUdf = hs->udf == NO_UDF ? 0 : body_line;
  if (lineKind) *lineKind = kind;
  return line;
}

}  // namespace tov
