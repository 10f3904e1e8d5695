// FileCopy, FileMove, FileAppend and the attribute-setting FileCopyAttr and FileMoveAttr: every file of a
// source list goes to the target that its name maps to, after the user was asked where a file would be
// replaced and the warning flag asks for that.
//
// A file is never copied, moved or appended onto itself: that is reported as a failure, leaving the file
// as it was (emptying the target first would empty the source too).
#include <cstdio>
#include <string>

#include "builtins/args.h"
#include "builtins/fileattrs.h"
#include "builtins/filelist.h"
#include "builtins/filenames.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr size_t COPY_BUFFER = 28672;
constexpr size_t COPY_BUFFER_SMALL = 1281;   // when the large one cannot be had
constexpr int32_t MODE_ASK = 0;
constexpr char SAME_FILE_NOTE[] = "The source and the target are the same file";

enum class Operation { Copy, Move, Append };

struct OperationErrors {
  uint16_t from;      // the source cannot be read
  uint16_t failed;    // the operation failed
  uint16_t space;     // not enough free space for the target
  const char* api;
};
constexpr OperationErrors kCopyErrors{ERR_FILECOPY_FROM, ERR_FILECOPY_FAILED, ERR_FILECOPY_SPACE, "CopyFile"};
constexpr OperationErrors kMoveErrors{ERR_FILEMOVE_FROM, ERR_FILEMOVE_FAILED, ERR_FILEMOVE_SPACE, "MoveFile"};
constexpr OperationErrors kAppendErrors{ERR_FILEAPPEND_FROM, ERR_FILEAPPEND_TO, ERR_FILEAPPEND_SPACE, "WriteFile"};

// One call of the family.
struct Job {
  Operation op;
  const OperationErrors* errors;
  int32_t overwrite;          // a plat::ReplaceAnswer for every file, or MODE_ASK
  bool set_attributes;
  AttrChange attributes;
};

enum class Decision { Proceed, Skip, Cancel };

// --- the confirmation ---------------------------------------------------------------------------------------

std::u16string time_text(plat::FileTime t) {
  const plat::LocalTime l = plat::file_time_to_local(t);
  char text[32];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d:%02d:%02d:%02d", l.year, l.month, l.day, l.hour, l.minute,
                l.second);
  std::u16string w;
  for (const char* p = text; *p; ++p) w += char16_t(*p);
  return w;
}

std::u16string message(RunContext* ctx, uint32_t id) {
  char16_t text[256];
  load_string_w(ctx, id, text, 256);
  return text;
}

int ask_user(RunContext* ctx, const std::u16string& source, const plat::FileInfo& si, const std::u16string& target,
             const plat::FileInfo& ti) {
  static constexpr uint32_t kButtonTexts[plat::RB_COUNT] = {123, 124, 125, 136, 137, 138, 139, 121};
  const std::u16string caption = message(ctx, 134), replace = message(ctx, 122), with = message(ctx, 135);
  const std::u16string source_time = time_text(si.modified), target_time = time_text(ti.modified);
  std::u16string labels[plat::RB_COUNT];
  plat::ReplaceQuestion q{caption.c_str(), replace.c_str(), with.c_str(),       target.c_str(),
                          target_time.c_str(), source.c_str(), source_time.c_str(), {}};
  for (int b = 0; b < plat::RB_COUNT; ++b) {
    labels[b] = message(ctx, kButtonTexts[b]);
    q.buttons[b] = labels[b].c_str();
  }
  return plat::confirm_replace(ctx->hwndOwner, q);
}

// Whether the source replaces an existing target, asking the user while the call's mode says so. The
// answers for every file become the call's mode; the answers for one file leave it asking.
Decision decide(RunContext* ctx, Job& job, const std::u16string& source, const plat::FileInfo& si,
                const std::u16string& target, const plat::FileInfo& ti) {
  int32_t answer = job.overwrite;
  if (answer == plat::REPLACE_ALL) return Decision::Proceed;
  if (answer == MODE_ASK) {
    answer = ask_user(ctx, source, si, target, ti);
    if (answer > plat::REPLACE_SKIP) job.overwrite = answer;
  }
  switch (answer) {
    case plat::REPLACE_THIS:
    case plat::REPLACE_ALL: return Decision::Proceed;
    case plat::REPLACE_SKIP: return Decision::Skip;
    case plat::REPLACE_IF_NEWER:
    case plat::REPLACE_ALL_IF_NEWER: return si.modified >= ti.modified ? Decision::Proceed : Decision::Skip;
    case plat::REPLACE_IF_OLDER:
    case plat::REPLACE_ALL_IF_OLDER: return si.modified < ti.modified ? Decision::Proceed : Decision::Skip;
    default: return Decision::Cancel;
  }
}

// --- one file -------------------------------------------------------------------------------------------------

bool is_port_name(const std::u16string& name) {
  std::u16string n = name;
  plat::upper_wide(n.data(), n.size());
  auto digits = [&](size_t from) {
    for (size_t i = from; i < n.size(); ++i)
      if (n[i] < u'0' || n[i] > u'9') return false;
    return true;
  };
  if ((n.rfind(u"COM", 0) == 0 || n.rfind(u"LPT", 0) == 0) && n.size() == 4) return n[3] >= u'1' && n[3] <= u'9';
  return n.rfind(u"USB", 0) == 0 && n.size() == 6 && digits(3);
}

// Copies the bytes of one open file to another; false after a read or write failure, with its code.
bool copy_bytes(plat::FileHandle from, plat::FileHandle to, uint32_t* code) {
  char small[COPY_BUFFER_SMALL];
  const plat::MemId block = plat::mem_alloc(COPY_BUFFER, false);
  char* large = block ? static_cast<char*>(plat::mem_lock(block)) : nullptr;
  char* buffer = large ? large : small;
  const size_t size = large ? COPY_BUFFER : sizeof small;
  bool ok = true;
  for (int64_t got; ok && (got = plat::file_read(from, buffer, size)) != 0;)
    ok = got > 0 && plat::file_write(to, buffer, size_t(got), code);
  if (block) plat::mem_free(block);
  return ok;
}

// A device port is written as it stands: the source's bytes are sent to it.
bool copy_to_port(const std::u16string& source, const std::u16string& port, uint32_t* code) {
  const plat::FileHandle in =
      plat::file_open_w(source.c_str(), plat::ACCESS_READ, plat::SHARE_READ, plat::FileCreate::OpenExisting, code);
  if (in == plat::INVALID_FILE) return false;
  const plat::FileHandle out =
      plat::file_open_w(port.c_str(), plat::ACCESS_WRITE, plat::SHARE_NONE, plat::FileCreate::OpenExisting, code);
  const bool ok = out != plat::INVALID_FILE && copy_bytes(in, out, code);
  plat::file_close(out);
  plat::file_close(in);
  return ok;
}

// The space the target's volume needs is there (or cannot be told).
bool enough_space(const std::u16string& target, uint64_t needed) {
  const std::u16string dir = fname::directory_of(target);
  uint64_t free_bytes = 0, total = 0;
  return !plat::disk_space_w(dir.empty() ? u"." : dir.c_str(), &free_bytes, &total, nullptr) || free_bytes >= needed;
}

bool fail_same_file(RunContext* ctx, uint16_t number, const std::u16string& path) {
  AddErrorInfo(ctx, SAME_FILE_NOTE);
  AddErrorInfo(ctx, ansi_of(ctx, path).c_str());
  ctx->err = number;
  return false;
}

bool append_file(RunContext* ctx, const Job& job, const std::u16string& source, const plat::FileInfo& si,
                 const std::u16string& target) {
  if (!enough_space(target, si.size)) {
    ctx->err = job.errors->space;
    return false;
  }
  uint32_t code = 0;
  const plat::FileHandle in =
      plat::file_open_w(source.c_str(), plat::ACCESS_READ, plat::SHARE_READ, plat::FileCreate::OpenExisting, &code);
  if (in == plat::INVALID_FILE) {
    file_failure(ctx, ERR_FILEAPPEND_FROM, code, "CreateFile", source);
    return false;
  }
  const plat::FileHandle out = plat::file_open_w(target.c_str(), plat::ACCESS_WRITE, plat::SHARE_NONE,
                                                 plat::FileCreate::OpenAlways, &code);
  if (out == plat::INVALID_FILE) {
    plat::file_close(in);
    file_failure(ctx, ERR_FILEAPPEND_TO, code, "CreateFile", target);
    return false;
  }
  const bool ok = plat::file_seek(out, 0, plat::SeekFrom::End) >= 0 && copy_bytes(in, out, &code);
  plat::file_close(out);
  plat::file_close(in);
  if (!ok) file_failure(ctx, ERR_FILEAPPEND_IO, code, "WriteFile", target);
  return ok;
}

bool process(RunContext* ctx, Job& job, const std::u16string& source, const std::u16string& target) {
  const OperationErrors& e = *job.errors;
  plat::FileInfo si, ti{};
  uint32_t code = plat::SYSTEM_ERROR_NOT_FOUND;
  // The source must be there and readable.
  const plat::FileHandle probe =
      plat::file_open_w(source.c_str(), plat::ACCESS_READ, plat::SHARE_READ | plat::SHARE_WRITE,
                        plat::FileCreate::OpenExisting, &code);
  if (probe == plat::INVALID_FILE || !plat::file_info_w(source.c_str(), &si, &code)) {
    plat::file_close(probe);
    file_failure(ctx, e.from, code, "CreateFile", source);
    return false;
  }
  plat::file_close(probe);
  if (plat::same_file_w(source.c_str(), target.c_str()))
    return fail_same_file(ctx, job.op == Operation::Append ? uint16_t(ERR_FILEAPPEND_TO) : e.failed, source);
  if (job.op == Operation::Append) return append_file(ctx, job, source, si, target);

  const bool replacing = plat::file_info_w(target.c_str(), &ti, nullptr) && !(ti.attributes & plat::ATTR_DIRECTORY);
  if (replacing) {
    switch (decide(ctx, job, source, si, target, ti)) {
      case Decision::Proceed: break;
      case Decision::Skip: return true;
      case Decision::Cancel: ctx->err = STATUS_CANCEL; return false;
    }
  }
  if (!enough_space(target, replacing && si.size > ti.size ? si.size - ti.size : replacing ? 0 : si.size)) {
    ctx->err = e.space;
    return false;
  }
  bool ok;
  if (job.op == Operation::Move) ok = plat::file_move_w(source.c_str(), target.c_str(), true, true, &code);
  else if (is_port_name(fname::name_of(target))) ok = copy_to_port(source, target, &code);
  else ok = plat::file_copy_w(source.c_str(), target.c_str(), &code);
  if (!ok) {
    file_failure(ctx, e.failed, code, e.api, target);
    return false;
  }
  // The attributes are a finishing touch: a file that did not take them still counts as done.
  if (job.set_attributes) apply_attr_change(target, job.attributes, &code);
  return true;
}

// --- the built-ins ------------------------------------------------------------------------------------------

void run_job(RunContext* ctx, Value* result, ArgBlock& a, int argc, Operation op) {
  Job job{op, op == Operation::Copy ? &kCopyErrors : op == Operation::Move ? &kMoveErrors : &kAppendErrors,
          plat::REPLACE_ALL, false, {}};
  if (op != Operation::Append) job.overwrite = arg_int(a, 3) != 0 ? MODE_ASK : plat::REPLACE_ALL;
  if (argc >= 4) {
    job.set_attributes = true;
    if (!parse_attr_text(ctx, arg_wide(ctx, a, 4), &job.attributes)) return;
  }
  const std::u16string target = arg_wide(ctx, a, 2);
  const bool ok = walk_file_list(ctx, arg_wide(ctx, a, 1), LIST_FILES, [&](const std::u16string& source) {
    return process(ctx, job, source, op == Operation::Append ? target : target_for(target, source));
  });
  if (ok) set_integer(ctx, result->c, 1);
}

void bi_filecopy(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  run_job(ctx, result, a, argc, Operation::Copy);
}
void bi_filemove(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  run_job(ctx, result, a, argc, Operation::Move);
}
void bi_fileappend(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  run_job(ctx, result, a, argc, Operation::Append);
}

const BuiltinEntry kEntries[] = {
    {KW_FILEAPPEND, bi_fileappend}, {KW_FILECOPY, bi_filecopy},         {KW_FILECOPYATTR, bi_filecopy},
    {KW_FILEMOVE, bi_filemove},     {KW_FILEMOVEATTR, bi_filemove},
};

}  // namespace

extern const BuiltinFamily kFileCopyBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
