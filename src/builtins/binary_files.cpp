// Binary buffers and the world outside: reading and writing files whole or in ranges, and the clipboard.
#include <cstdint>
#include <string>

#include "builtins/binary_support.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "lang/keywords.h"
#include "platform/clipboard.h"
#include "platform/files.h"

namespace tov {

namespace {

// --- files ----------------------------------------------------------------------------------------------
// A file name reaches the system in wide characters when the call is a wide one.

struct FileName {
  const char* ansi;
  const char16_t* wide;   // set in a wide call
  std::string shown;      // for the additional error information
};

FileName file_name(RunContext* ctx, ArgBlock& a, int n, bool wide) {
  return {wide ? nullptr : arg_str(ctx, a, n), wide ? arg_wstr(ctx, a, n) : nullptr, arg_ansi(ctx, a, n)};
}

enum class OpenMode { Read, Create, Write };

plat::FileHandle open_file(const FileName& name, OpenMode mode, uint32_t* sys) {
  switch (mode) {
    case OpenMode::Read: return name.wide ? plat::file_open_read_w(name.wide, sys) : plat::file_open_read(name.ansi, sys);
    case OpenMode::Create: return name.wide ? plat::file_create_w(name.wide, sys) : plat::file_create(name.ansi, sys);
    case OpenMode::Write:
      return name.wide ? plat::file_open_write_w(name.wide, sys) : plat::file_open_write(name.ansi, sys);
  }
  return plat::INVALID_FILE;
}

void file_error(RunContext* ctx, uint16_t number, uint32_t system_error, const char* api, const FileName& name) {
  ReportApiError(ctx, system_error, api, true);
  AddErrorInfo(ctx, name.shown.c_str());
  ctx->err = number;
}

// An open file, closed when it goes out of scope.
class OpenFile {
 public:
  OpenFile(RunContext* ctx, const FileName& name, OpenMode mode, uint16_t error) : name_(name) {
    uint32_t sys = 0;
    f_ = open_file(name, mode, &sys);
    if (f_ == plat::INVALID_FILE) file_error(ctx, error, sys, "CreateFile", name);
  }
  ~OpenFile() { plat::file_close(f_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  bool ok() const { return f_ != plat::INVALID_FILE; }
  plat::FileHandle handle() const { return f_; }
  uint64_t size() const {
    uint64_t n = 0;
    return plat::file_size(f_, &n) ? n : 0;
  }
  // Reads n bytes to p; false with the error raised when fewer arrive.
  bool read(RunContext* ctx, uint8_t* p, size_t n, uint16_t error) {
    if (plat::file_read(f_, p, n) == int64_t(n)) return true;
    file_error(ctx, error, 0, "ReadFile", name_);
    return false;
  }
  bool write(RunContext* ctx, const uint8_t* p, size_t n, uint16_t error) {
    uint32_t sys = 0;
    if (!n || plat::file_write(f_, p, n, &sys)) return true;
    file_error(ctx, error, sys, "WriteFile", name_);
    return false;
  }

 private:
  const FileName& name_;
  plat::FileHandle f_;
};

// The whole file to offset 0; the end of data becomes its size.
void bi_binaryread(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const FileName name = file_name(ctx, a, 2, wide);
  OpenFile file(ctx, name, OpenMode::Read, ERR_FILE_OPEN);
  if (!file.ok()) return;
  const uint64_t size = file.size();
  if (size > uint64_t(b->size)) {
    ctx->err = ERR_BINARY_READ_SIZE;
    AddErrorInfo(ctx, name.shown.c_str());
    return;
  }
  if (!file.read(ctx, b->data, size_t(size), ERR_BINARY_READ)) return;
  b->eod = int32_t(size);
  set_integer(ctx, result->c, b->eod);
}

// The data, up to the end of data, as the whole file.
void bi_binarywrite(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  const FileName name = file_name(ctx, a, 2, wide);
  OpenFile file(ctx, name, OpenMode::Create, ERR_BINARY_WRITE);
  if (file.ok() && file.write(ctx, b->data, size_t(b->eod), ERR_BINARY_WRITE)) set_integer(ctx, result->c, b->eod);
}

// Handle, buffer offset, file name, file offset, count: the checks that need no file.
BinaryEntry* range_buffer(RunContext* ctx, ArgBlock& a) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return nullptr;
  if (arg_int(a, 2) < 0) ctx->err = ERR_BINARY_OFFSET;
  else if (arg_int(a, 5) < 0) ctx->err = ERR_BINARY_COUNT;
  return ctx->err ? nullptr : b;
}

// Up to `count` bytes of the file from its offset (which may be its size) into the buffer; the result is
// the number read.
void bi_binaryreadex(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  BinaryEntry* b = range_buffer(ctx, a);
  if (!b) return;
  const int32_t offset = arg_int(a, 2), file_offset = arg_int(a, 4), count = arg_int(a, 5);
  if (!fits(offset, count, b->size)) {
    ctx->err = ERR_BINARY_READEX_OVERRUN;
    return;
  }
  const FileName name = file_name(ctx, a, 3, wide);
  OpenFile file(ctx, name, OpenMode::Read, ERR_FILE_OPEN);
  if (!file.ok()) return;
  const uint64_t size = file.size();
  if (file_offset < 0 || uint64_t(file_offset) > size || !plat::file_seek(file.handle(), uint64_t(file_offset))) {
    ctx->err = ERR_BINARY_FILE_OFFSET;
    return;
  }
  const auto n = size_t(std::min<uint64_t>(uint64_t(count), size - uint64_t(file_offset)));
  if (!file.read(ctx, b->data + offset, n, ERR_BINARY_READ)) return;
  grow_eod(b, int64_t(offset) + int64_t(n));
  set_integer(ctx, result->c, int32_t(n));
}

// `count` bytes of the data into the file at its offset (-1: at its end), creating a missing file; the
// rest of the file stays as it is.
void bi_binarywriteex(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  BinaryEntry* b = range_buffer(ctx, a);
  if (!b) return;
  const int32_t offset = arg_int(a, 2), file_offset = arg_int(a, 4), count = arg_int(a, 5);
  if (!fits(offset, count, b->eod)) {
    ctx->err = ERR_BINARY_EOD_COUNT;
    return;
  }
  if (file_offset < -1) {
    ctx->err = ERR_BINARY_FILE_OFFSET;
    return;
  }
  const FileName name = file_name(ctx, a, 3, wide);
  OpenFile file(ctx, name, OpenMode::Write, ERR_BINARY_WRITE);
  if (!file.ok()) return;
  const uint64_t size = file.size(), at = file_offset < 0 ? size : uint64_t(file_offset);
  if (at > size || !plat::file_seek(file.handle(), at)) {
    ctx->err = ERR_BINARY_FILE_OFFSET;
    return;
  }
  if (file.write(ctx, b->data + offset, size_t(count), ERR_BINARY_WRITE)) set_integer(ctx, result->c, count);
}

// --- the clipboard --------------------------------------------------------------------------------------

bool clip_status_ok(RunContext* ctx, plat::ClipStatus status, uint16_t failure) {
  switch (status) {
    case plat::ClipStatus::Done: case plat::ClipStatus::NoData: return true;
    case plat::ClipStatus::TooLarge: ctx->err = ERR_BINARY_CLIP_SIZE; return false;
    case plat::ClipStatus::CannotOpen: ctx->err = ERR_BINARY_CLIP_OPEN; return false;
    case plat::ClipStatus::Unsupported: ctx->err = ERR_BINARY_CLIP_UNSUPPORTED; return false;
    case plat::ClipStatus::Failed: ctx->err = failure; return false;
  }
  return false;
}

BinaryEntry* clip_buffer(RunContext* ctx, ArgBlock& a) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (b && (arg_int(a, 2) < 0 || !plat::clipboard_format_is_data(uint32_t(arg_int(a, 2))))) ctx->err = ERR_BINARY_CLIP_FORMAT;
  return ctx->err ? nullptr : b;
}

// The clipboard's data of the format to offset 0; the end of data becomes its size, which is the result.
// Without data of that format the result is 0 and the buffer stays as it was.
void bi_binaryclipget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = clip_buffer(ctx, a);
  if (!b) return;
  size_t size = 0;
  const plat::ClipStatus status = plat::clipboard_get(uint32_t(arg_int(a, 2)), b->data, size_t(b->size), &size);
  if (!clip_status_ok(ctx, status, ERR_BINARY_CLIP_READ)) return;
  if (status == plat::ClipStatus::Done) b->eod = int32_t(size);
  set_integer(ctx, result->c, status == plat::ClipStatus::Done ? b->eod : 0);
}

// The data up to the end of data replaces the clipboard's contents in the format; the result is its size.
void bi_binaryclipput(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = clip_buffer(ctx, a);
  if (!b) return;
  const plat::ClipStatus status = plat::clipboard_put(ctx->hwndHost, uint32_t(arg_int(a, 2)), b->data, size_t(b->eod));
  if (clip_status_ok(ctx, status, ERR_BINARY_CLIP_WRITE)) set_integer(ctx, result->c, b->eod);
}

const BuiltinEntry kEntries[] = {
    {KW_BINARYREAD, bi_binaryread},       {KW_BINARYWRITE, bi_binarywrite},
    {KW_BINARYREADEX, bi_binaryreadex},   {KW_BINARYWRITEEX, bi_binarywriteex},
    {KW_BINARYCLIPGET, bi_binaryclipget}, {KW_BINARYCLIPPUT, bi_binaryclipput},
};

}  // namespace

extern const BuiltinFamily kBinaryFileBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
