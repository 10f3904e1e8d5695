// The times of files: FileTimeGet (as TimeDate writes times), FileYmdHms and FileTimeGetEx (as YmdHms
// text), FileTimeSet, FileTimeSetEx and FileTimeTouch. Times are the local times of the system's clock.
#include <string>

#include "builtins/args.h"
#include "builtins/filelist.h"
#include "builtins/registry.h"
#include "builtins/time.h"
#include "builtins/ymdhms.h"
#include "diag/errors.h"
#include "lang/keywords.h"
#include "platform/files.h"

namespace tov {

namespace {

enum TimeField : int32_t { FIELD_CREATED = 1, FIELD_MODIFIED = 2, FIELD_ACCESSED = 3 };

bool valid_field(RunContext* ctx, int32_t field) {
  if (field >= FIELD_CREATED && field <= FIELD_ACCESSED) return true;
  ctx->err = ERR_TIME_FIELD;
  return false;
}

// One time of a file or directory. A file system that does not keep creation times gives the time of the
// last change instead.
bool file_time(RunContext* ctx, const std::u16string& path, int32_t field, plat::LocalTime* out) {
  plat::FileInfo info;
  uint32_t code = 0;
  if (!plat::file_info_w(path.c_str(), &info, &code)) {
    file_failure(ctx, ERR_FILETIME_NOT_FOUND, code, "GetFileTime", path);
    return false;
  }
  const plat::FileTime t = field == FIELD_ACCESSED                     ? info.accessed
                           : field == FIELD_CREATED && info.created != 0 ? info.created
                                                                         : info.modified;
  *out = plat::file_time_to_local(t);
  return true;
}

void ymdhms_result(RunContext* ctx, Value* result, const std::u16string& path, int32_t field) {
  plat::LocalTime t;
  if (file_time(ctx, path, field, &t))
    set_ymdhms_result(ctx, result, Ymdhms{t.year, t.month, t.day, t.hour, t.minute, t.second});
}

// Sets one time of every file of a list to the file time t.
void set_times(RunContext* ctx, Value* result, const std::u16string& list, int32_t field, plat::FileTime t) {
  const bool ok = walk_file_list(ctx, list, LIST_FILES, [&](const std::u16string& path) {
    uint32_t code = 0;
    if (plat::file_set_times_w(path.c_str(), field == FIELD_CREATED ? &t : nullptr,
                               field == FIELD_MODIFIED ? &t : nullptr, field == FIELD_ACCESSED ? &t : nullptr, &code))
      return true;
    file_failure(ctx, ERR_FILETIME_SET, code, "SetFileTime", path);
    return false;
  });
  if (ok) set_integer(ctx, result->c, 1);
}

// The file time of YmdHms text (a two-digit year is taken as 1950..2049); 1020 for text that is no valid
// date and time.
bool parse_time(RunContext* ctx, const char* text, plat::FileTime* t) {
  Ymdhms y;
  if (!ymdhms_parse(text, &y, YMD_DATETIME, true) ||
      !plat::local_to_file_time(plat::LocalTime{y.year, y.month, y.day, y.hour, y.minute, y.second, 0, 0}, t)) {
    ctx->err = ERR_TIME_VALUE;
    return false;
  }
  return true;
}

void bi_filetimeget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  plat::LocalTime t;
  if (file_time(ctx, arg_wide(ctx, a, 1), FIELD_MODIFIED, &t)) set_date_time_text(ctx, result, t);
}

void bi_fileymdhms(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ymdhms_result(ctx, result, arg_wide(ctx, a, 1), FIELD_MODIFIED);
}

void bi_filetimegetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (valid_field(ctx, arg_int(a, 2))) ymdhms_result(ctx, result, arg_wide(ctx, a, 1), arg_int(a, 2));
}

void bi_filetimeset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  plat::FileTime t;
  if (parse_time(ctx, arg_str(ctx, a, 2), &t)) set_times(ctx, result, arg_wide(ctx, a, 1), FIELD_MODIFIED, t);
}

void bi_filetimesetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  plat::FileTime t;
  if (valid_field(ctx, arg_int(a, 3)) && parse_time(ctx, arg_str(ctx, a, 2), &t))
    set_times(ctx, result, arg_wide(ctx, a, 1), arg_int(a, 3), t);
}

void bi_filetimetouch(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_times(ctx, result, arg_wide(ctx, a, 1), FIELD_MODIFIED, plat::file_time_now());
}

const BuiltinEntry kEntries[] = {
    {KW_FILETIMEGET, bi_filetimeget},     {KW_FILETIMEGETEX, bi_filetimegetex}, {KW_FILETIMESET, bi_filetimeset},
    {KW_FILETIMESETEX, bi_filetimesetex}, {KW_FILETIMETOUCH, bi_filetimetouch}, {KW_FILEYMDHMS, bi_fileymdhms},
};

}  // namespace

extern const BuiltinFamily kFileTimeBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
