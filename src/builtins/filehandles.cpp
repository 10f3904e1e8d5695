// Text files read and written line by line: FileOpen, FileRead, FileWrite, FileClose, and the IntControl
// requests of the file built-ins' settings.
//
// A file open for reading has a buffer of characters (bytes of an ANSI file, 16-bit units of a UTF-16
// file) that holds what has been read from the file and not yet returned. Data is cleaned as it is
// loaded: UTF-16 big-endian units are swapped, NUL and CR characters dropped, and Ctrl-Z ends the file.
// A line is what lies before the next LF; it must fit in the buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "builtins/args.h"
#include "builtins/file_state.h"
#include "builtins/filelist.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

enum OpenFileFlags : uint32_t {
  OF_READ = 1,
  OF_AT_END = 2,          // the last read ended at the end of the file: the next one returns "*EOF*"
  OF_WRITE = 4,
  OF_EOF_RETURNED = 8,
  OF_WRITTEN = 16,        // a line was written
  OF_NO_MORE_DATA = 32,   // the file has nothing more to give (its end, or a Ctrl-Z)
  OF_NEEDS_MARK = 64,     // the UTF-16 byte-order mark goes before the first line written
};

enum FileEncoding : uint32_t { ENC_ANSI = 0, ENC_UTF16LE = 1, ENC_UTF16BE = 2 };
enum LineTerminator : int32_t { TERM_NONE, TERM_CRLF, TERM_LF, TERM_CR, TERM_TAB, TERM_LAST = TERM_TAB };

constexpr uint32_t UNBUFFERED_LINE = 1280;   // the longest line without a buffer, less one
constexpr uint64_t AUTO_BUFFER_MIN = 4096, AUTO_BUFFER_MAX = 32768;
constexpr uint16_t CTRL_Z = 26;
constexpr char EOF_MARK[] = "*EOF*";
constexpr int32_t SETTING_UNCHANGED = -1;     // IntControl parameter that only reads a setting

// FileOpen's timeout: retries spaced this far apart, at most this many (-1 without end).
constexpr int32_t RETRY_FOREVER = -1;
constexpr int32_t SHORT_TIMEOUT_RETRIES = 20, LONG_TIMEOUT_SECONDS = 20;

FileSlot* find_open(RunContext* ctx, int32_t handle) {
  if (handle == 0) return nullptr;
  for (FileSlot& f : ctx->files.open)
    if (f.handle != 0 && int32_t(f.handle) == handle) return &f;
  return nullptr;
}

void release(FileSlot& f) {
  plat::file_close(plat::FileHandle(f.handle));
  if (f.buffer) plat::mem_free(f.buffer);
  f = FileSlot{};
}

uint16_t swapped(uint16_t u) { return uint16_t((u >> 8) | (u << 8)); }

// --- FileOpen ---------------------------------------------------------------------------------------------

enum class Mode { Read, Write, Append, Invalid };

Mode mode_of(const char* text) {
  char upper[8] = {};
  for (size_t i = 0; text[i]; ++i) {
    if (i + 1 >= sizeof upper) return Mode::Invalid;
    upper[i] = plat::upper_ascii(text[i]);
  }
  if (!std::strcmp(upper, "READ")) return Mode::Read;
  if (!std::strcmp(upper, "WRITE")) return Mode::Write;
  if (!std::strcmp(upper, "APPEND")) return Mode::Append;
  return Mode::Invalid;
}

// Opens the file, retrying while another program holds it as the timeout says. False with ctx->err set on
// failure, false without an error when a stop was requested while waiting.
bool open_with_retries(RunContext* ctx, const std::u16string& name, Mode mode, int32_t timeout,
                       plat::FileHandle* handle) {
  const FileSettings& s = ctx->files.settings;
  uint32_t access = plat::ACCESS_WRITE, share = uint32_t(s.writeShare);
  plat::FileCreate how = plat::FileCreate::OpenAlways;
  if (mode == Mode::Read) {
    access = plat::ACCESS_READ;
    share = uint32_t(s.readShare);
    how = plat::FileCreate::OpenExisting;
  } else if (mode == Mode::Write) {
    how = plat::FileCreate::CreateAlways;
  } else {
    access |= plat::ACCESS_READ;   // to look for a byte-order mark
  }
  int32_t retries = 0;
  uint32_t spacing_ms = 1000;
  if (timeout == RETRY_FOREVER) {
    retries = RETRY_FOREVER;
  } else if (timeout > 0 && timeout < LONG_TIMEOUT_SECONDS) {
    retries = SHORT_TIMEOUT_RETRIES;
    spacing_ms = uint32_t(timeout) * 1000 / SHORT_TIMEOUT_RETRIES;
  } else if (timeout >= LONG_TIMEOUT_SECONDS) {
    retries = timeout;
  }
  for (int32_t tried = 0;; ++tried) {
    uint32_t code = 0;
    *handle = plat::file_open_w(name.c_str(), access, share, how, &code);
    if (*handle != plat::INVALID_FILE) return true;
    if (code != plat::SYSTEM_ERROR_SHARING || (retries != RETRY_FOREVER && tried >= retries)) {
      file_failure(ctx, ERR_FILE_OPEN, code, "CreateFile", name);
      return false;
    }
    Wait(ctx, spacing_ms);
    if (ctx->hdr.bCancel) return false;
  }
}

// The encoding that a byte-order mark at the file's start gives; the position is left after the mark, or
// at the start when there is none.
FileEncoding read_mark(plat::FileHandle h) {
  unsigned char mark[2];
  if (plat::file_read(h, mark, 2) == 2) {
    if (mark[0] == 0xFF && mark[1] == 0xFE) return ENC_UTF16LE;
    if (mark[0] == 0xFE && mark[1] == 0xFF) return ENC_UTF16BE;
  }
  plat::file_seek(h, 0, plat::SeekFrom::Begin);
  return ENC_ANSI;
}

bool make_read_buffer(RunContext* ctx, FileSlot& f) {
  const int32_t setting = ctx->files.settings.readBuffer;
  const size_t unit = f.encoding == ENC_ANSI ? 1 : 2;
  if (setting == 0) {
    f.size = UNBUFFERED_LINE;
    f.chunk = 1;
  } else if (setting > 0) {
    f.size = f.chunk = uint32_t(setting);
  } else {
    uint64_t bytes = 0;
    plat::file_size(plat::FileHandle(f.handle), &bytes);
    f.size = f.chunk = uint32_t(std::clamp(bytes / unit, AUTO_BUFFER_MIN, AUTO_BUFFER_MAX));
  }
  const uint64_t bytes = (uint64_t(f.size) + 1) * unit;
  f.buffer = bytes <= SIZE_MAX ? plat::mem_alloc(size_t(bytes), false) : 0;
  if (!f.buffer || !(f.data = plat::mem_lock(f.buffer))) {
    ctx->err = ERR_WORK_MEMORY;
    return false;
  }
  return true;
}

void bi_fileopen(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  FileSlot* slot = nullptr;
  for (FileSlot& f : ctx->files.open)
    if (f.handle == 0) {
      slot = &f;
      break;
    }
  if (!slot) {
    ctx->err = ERR_FILEOPEN_TOO_MANY;
    return;
  }
  const Mode mode = mode_of(arg_str(ctx, a, 2));
  if (mode == Mode::Invalid) {
    ctx->err = ERR_FILEOPEN_MODE;
    return;
  }
  const bool unicode = argc >= 3 && arg_int(a, 3) != 0;
  const int32_t timeout = argc >= 4 ? arg_int(a, 4) : 0;
  const std::u16string name = arg_wide(ctx, a, 1);
  plat::FileHandle h;
  if (!open_with_retries(ctx, name, mode, timeout, &h)) return;
  FileSlot f{};
  f.handle = intptr_t(h);
  if (mode == Mode::Read) {
    f.flags = OF_READ;
    f.encoding = read_mark(h);
    f.wideResults = unicode;
    if (!make_read_buffer(ctx, f)) {
      release(f);
      return;
    }
  } else if (mode == Mode::Write) {
    f.flags = OF_WRITE;
    if (unicode) {
      f.encoding = ENC_UTF16LE;
      f.flags |= OF_NEEDS_MARK;
    }
  } else {
    f.flags = OF_WRITE;
    // Appending keeps the encoding that the file's mark gives; an empty file takes the Unicode flag's.
    f.encoding = read_mark(h);
    if (f.encoding == ENC_ANSI && unicode && plat::file_seek(h, 0, plat::SeekFrom::End) == 0) {
      f.encoding = ENC_UTF16LE;
      f.flags |= OF_NEEDS_MARK;
    }
    plat::file_seek(h, 0, plat::SeekFrom::End);
  }
  *slot = f;
  set_integer(ctx, result->c, int32_t(f.handle));
  result->c.type |= VF_FILE;
}

// --- FileRead ---------------------------------------------------------------------------------------------

// Drops the CR bytes of p[0..n) by moving the runs between them; returns the bytes kept.
uint32_t drop_cr(uint8_t* p, uint32_t n) {
  uint32_t kept = 0, i = 0;
  while (const void* cr = std::memchr(p + i, '\r', n - i)) {
    const uint32_t at = uint32_t(static_cast<const uint8_t*>(cr) - p);
    std::memmove(p + kept, p + i, at - i);
    kept += at - i;
    i = at + 1;
  }
  std::memmove(p + kept, p + i, n - i);
  return kept + (n - i);
}

// Reads more of the file behind what the buffer holds, cleaning it. False on a read failure.
template <class U>
bool load(FileSlot& f, U* buf) {
  const uint32_t want = std::min(f.size - f.filled, f.chunk);
  const int64_t got = plat::file_read(plat::FileHandle(f.handle), buf + f.filled, size_t(want) * sizeof(U));
  if (got < 0) return false;
  uint32_t n = uint32_t(uint64_t(got) / sizeof(U));
  if (n == 0) f.flags |= OF_NO_MORE_DATA;
  U* p = buf + f.filled;
  if constexpr (sizeof(U) == 1) {
    // Text without NUL bytes, the usual case, is cleaned a run at a time.
    if (const void* end = std::memchr(p, CTRL_Z, n)) {
      n = uint32_t(static_cast<const U*>(end) - p);
      f.flags |= OF_NO_MORE_DATA;
    }
    if (!std::memchr(p, 0, n)) {
      f.filled += drop_cr(p, n);
      return true;
    }
  }
  uint32_t kept = 0;
  for (uint32_t i = 0; i < n; ++i) {
    U c = p[i];
    if constexpr (sizeof(U) == 2)
      if (f.encoding == ENC_UTF16BE) c = swapped(c);
    if (c == 0 || c == '\r') continue;
    if (c == CTRL_Z) {
      f.flags |= OF_NO_MORE_DATA;
      break;
    }
    p[kept++] = c;
  }
  f.filled += kept;
  return true;
}

const uint8_t* find_lf(const uint8_t* p, const uint8_t* end) {
  const void* lf = std::memchr(p, '\n', size_t(end - p));
  return lf ? static_cast<const uint8_t*>(lf) : end;
}
const uint16_t* find_lf(const uint16_t* p, const uint16_t* end) { return std::find(p, end, uint16_t('\n')); }

enum class ReadOutcome { Line, End, Failed };

// The next line: *line and *len; End when the file has no more characters.
template <class U>
ReadOutcome read_line(RunContext* ctx, FileSlot& f, const U** line, uint32_t* len) {
  U* buf = static_cast<U*>(f.data);
  uint32_t scan = f.next;
  for (;;) {
    const U* lf = find_lf(buf + scan, buf + f.filled);
    if (lf != buf + f.filled) {
      *line = buf + f.next;
      *len = uint32_t(lf - *line);
      f.next = uint32_t(lf - buf) + 1;
      return ReadOutcome::Line;
    }
    if (f.flags & OF_NO_MORE_DATA) {
      if (f.next == f.filled) return ReadOutcome::End;
      *line = buf + f.next;
      *len = f.filled - f.next;
      f.next = f.filled;
      f.flags |= OF_AT_END;
      return ReadOutcome::Line;
    }
    if (f.filled - f.next >= f.size) {
      ctx->err = ERR_FILEREAD_LINE_TOO_LONG;
      return ReadOutcome::Failed;
    }
    // The part of the line read so far moves to the front to make room behind it.
    if (f.next) {
      std::memmove(buf, buf + f.next, size_t(f.filled - f.next) * sizeof(U));
      f.filled -= f.next;
      f.next = 0;
    }
    scan = f.filled;
    if (!load(f, buf)) {
      ctx->err = ERR_FILEREAD_PAST_EOF;
      return ReadOutcome::Failed;
    }
  }
}

void line_result(RunContext* ctx, ValueCore& v, const FileSlot& f, const uint8_t* line, uint32_t len) {
  const char* text = reinterpret_cast<const char*>(line);
  if (!f.wideResults) {
    // A line holds no NUL (loading drops them): its length is the string's, which the string built-ins
    // then need not measure.
    if (assign_string(ctx, v, text, len)) ctx->lengthMark = {v.str, len};
    return;
  }
  const std::u16string w = wide_of(ctx, text, len);
  set_wstring(ctx, v, w.data(), w.size());
}

void line_result(RunContext* ctx, ValueCore& v, const FileSlot& f, const uint16_t* line, uint32_t len) {
  const char16_t* text = reinterpret_cast<const char16_t*>(line);
  if (f.wideResults) {
    set_wstring(ctx, v, text, len);
    return;
  }
  const std::string narrow = ansi_of(ctx, text, len);
  assign_string(ctx, v, narrow.data(), narrow.size());
}

// The next line, or the end-of-file mark the first time there is none, into v (see file_read_into).
template <class U>
void read_into(RunContext* ctx, ValueCore& v, FileSlot& f) {
  const U* line = nullptr;
  uint32_t len = 0;
  const ReadOutcome got = f.flags & OF_AT_END ? ReadOutcome::End : read_line(ctx, f, &line, &len);
  switch (got) {
    case ReadOutcome::Line: line_result(ctx, v, f, line, len); return;
    case ReadOutcome::End:
      f.flags |= OF_AT_END | OF_EOF_RETURNED;
      assign_string(ctx, v, EOF_MARK, sizeof EOF_MARK - 1);
      return;
    case ReadOutcome::Failed: return;
  }
}

void read_next(RunContext* ctx, ValueCore& v, FileSlot& f) {
  if (f.encoding == ENC_ANSI) read_into<uint8_t>(ctx, v, f);
  else read_into<uint16_t>(ctx, v, f);
}

void bi_fileread(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  FileSlot* f = find_open(ctx, arg_int(a, 1));
  if (!f) {
    ctx->err = ERR_FILEREAD_NOT_OPEN;
    return;
  }
  if (!(f->flags & OF_READ)) {
    ctx->err = ERR_FILEREAD_NOT_READING;
    return;
  }
  if (f->flags & OF_EOF_RETURNED) {
    ctx->err = ERR_FILEREAD_PAST_EOF;
    return;
  }
  read_next(ctx, result->c, *f);
}

// --- FileWrite, FileClose -----------------------------------------------------------------------------------

bool write_or_fail(RunContext* ctx, const FileSlot& f, const void* data, size_t n) {
  uint32_t code = 0;
  if (!n || plat::file_write(plat::FileHandle(f.handle), data, n, &code)) return true;
  ReportApiError(ctx, code, "WriteFile", true);
  ctx->err = ERR_FILEWRITE_FAILED;
  return false;
}

// The line's units in the file's byte order, then the terminator.
bool write_wide_line(RunContext* ctx, FileSlot& f, const char16_t* text, size_t n, const char* terminator) {
  std::u16string units(text, n);
  for (const char* t = terminator; *t; ++t) units += char16_t(*t);
  if (f.flags & OF_NEEDS_MARK) units.insert(units.begin(), char16_t(0xFEFF));
  if (f.encoding == ENC_UTF16BE)
    for (char16_t& u : units) u = char16_t(swapped(uint16_t(u)));
  if (!write_or_fail(ctx, f, units.data(), units.size() * sizeof(char16_t))) return false;
  f.flags &= ~uint32_t(OF_NEEDS_MARK);
  return true;
}

void bi_filewrite(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  static const char* const kTerminators[] = {"", "\r\n", "\n", "\r", "\t"};
  FileSlot* f = find_open(ctx, arg_int(a, 1));
  if (!f) {
    ctx->err = ERR_FILEWRITE_NOT_OPEN;
    return;
  }
  if (!(f->flags & OF_WRITE)) {
    ctx->err = ERR_FILEWRITE_NOT_WRITING;
    return;
  }
  const char* terminator = kTerminators[ctx->files.settings.lineTerminator];
  ValueCore& v = a.slot[2].c;
  if (f->encoding == ENC_ANSI) {
    if (!to_string(ctx, v)) {
      if (!ctx->err) ctx->err = ERR_NOT_STRING;
      return;
    }
    const char* text = str_at(ctx, v.str);
    if (!write_or_fail(ctx, *f, text, std::strlen(text)) ||
        !write_or_fail(ctx, *f, terminator, std::strlen(terminator)))
      return;
  } else {
    if (!to_wstring(ctx, v)) {
      if (!ctx->err) ctx->err = ERR_NOT_UNICODE;
      return;
    }
    const char16_t* text = wstr_at(ctx, v.wstr);
    if (!write_wide_line(ctx, *f, text, wstr_len(text), terminator)) return;
  }
  f->flags |= OF_WRITTEN;
}

void bi_fileclose(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  FileSlot* f = find_open(ctx, arg_int(a, 1));
  if (!f) {
    ctx->err = ERR_FILECLOSE_NOT_OPEN;
    return;
  }
  release(*f);
}

// --- IntControl ---------------------------------------------------------------------------------------------

// Sets an integer setting to p1 when it lies in [low, high]; -1 only reads it. Returns the previous value.
void integer_setting(RunContext* ctx, Value* result, int32_t& setting, const char* p1, int32_t low, int32_t high) {
  const int32_t previous = setting, wanted = intcontrol_number(p1);
  if (wanted != SETTING_UNCHANGED && wanted >= low && wanted <= high) setting = wanted;
  intcontrol_result(ctx, result, previous);
}

// 29: the file-list delimiter, one character; an empty p1 only reads it. Returns the previous one.
void ic_file_delimiter(RunContext* ctx, Value* result, const char* const p[4]) {
  const char16_t previous = ctx->files.settings.delimiter;
  if (*p[0]) {
    char16_t w[4];
    const int n = plat::ansi_to_wide(p[0], int(std::strlen(p[0])), w, 4, ctx->nCodePage);
    if (n != 1 || std::u16string_view(u"*?\\/:\"").find(w[0]) != std::u16string_view::npos) {
      ctx->err = ERR_INVALID_DELIMITER;
      return;
    }
    ctx->files.settings.delimiter = w[0];
  }
  set_text_result(ctx, result, std::u16string(1, previous), false);
}

// 39, 40: the sharing of files opened for reading, and for writing: 0 none, 1 read, 2 write, 3 both.
void ic_read_share(RunContext* ctx, Value* result, const char* const p[4]) {
  integer_setting(ctx, result, ctx->files.settings.readShare, p[0], 0, 3);
}
void ic_write_share(RunContext* ctx, Value* result, const char* const p[4]) {
  integer_setting(ctx, result, ctx->files.settings.writeShare, p[0], 0, 3);
}
// 53: what FileWrite puts after each line: 0 nothing, 1 CR LF, 2 LF, 3 CR, 4 TAB.
void ic_line_terminator(RunContext* ctx, Value* result, const char* const p[4]) {
  integer_setting(ctx, result, ctx->files.settings.lineTerminator, p[0], TERM_NONE, TERM_LAST);
}
// 65: FileRead's buffer: 0 none, a number of characters, or below -1 the file's size within 4096..32768.
void ic_read_buffer(RunContext* ctx, Value* result, const char* const p[4]) {
  integer_setting(ctx, result, ctx->files.settings.readBuffer, p[0], INT32_MIN, INT32_MAX);
}

const BuiltinEntry kEntries[] = {
    {KW_FILECLOSE, bi_fileclose},
    {KW_FILEOPEN, bi_fileopen},
    {KW_FILEREAD, bi_fileread},
    {KW_FILEWRITE, bi_filewrite},
};

const IntControlEntry kRequests[] = {
    {29, ic_file_delimiter},
    {39, ic_read_share},
    {40, ic_write_share},
    {53, ic_line_terminator},
    {65, ic_read_buffer},
};

}  // namespace

void file_settings_reset(RunContext* ctx) {
  FileSettings& s = ctx->files.settings;
  s.readShare = plat::SHARE_READ;
  s.writeShare = plat::SHARE_NONE;
  s.readBuffer = -2;
  s.lineTerminator = TERM_CRLF;
  s.delimiter = u'\t';
}

bool file_read_into(RunContext* ctx, int32_t handle, ValueCore& variable) {
  FileSlot* f = find_open(ctx, handle);
  if (!f || (f->flags & (OF_READ | OF_EOF_RETURNED)) != OF_READ || f->wideResults) return false;
  read_next(ctx, variable, *f);
  return true;
}

void close_all_files(RunContext* ctx) {
  for (FileSlot& f : ctx->files.open)
    if (f.handle) release(f);
}

extern const BuiltinFamily kFileHandleBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kFileIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
