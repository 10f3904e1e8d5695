// Attributes of files and directories: FileAttrGet, FileAttrSet, DirAttrGet, DirAttrSet as attribute
// text, and their Ex forms as the system's attribute bits.
#include "builtins/fileattrs.h"

#include "builtins/args.h"
#include "builtins/filelist.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/keywords.h"
#include "platform/files.h"

namespace tov {

namespace {

struct Letter {
  char16_t upper;
  uint32_t bit;
};
// The letters in the order FileAttrGet writes them.
constexpr Letter kLetters[] = {
    {u'R', plat::ATTR_READONLY}, {u'A', plat::ATTR_ARCHIVE}, {u'S', plat::ATTR_SYSTEM}, {u'H', plat::ATTR_HIDDEN}};

// The bits a script may set; "normal" stands for none of them.
constexpr uint32_t SETTABLE = plat::ATTR_READONLY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM | plat::ATTR_ARCHIVE |
                              plat::ATTR_NORMAL | plat::ATTR_TEMPORARY | plat::ATTR_OFFLINE | plat::ATTR_NOT_INDEXED;

enum SetMode : int32_t { SET_REPLACE = 0, SET_ADD = 1, SET_REMOVE = 2 };

// Which kind of entry a family works on, and its errors.
struct Kind {
  bool directory;
  uint16_t not_found, set_failed;
};
constexpr Kind kFiles{false, ERR_FILEATTR_NOT_FOUND, ERR_FILEATTR_SET};
constexpr Kind kDirectories{true, ERR_DIRATTR_NOT_FOUND, ERR_DIRATTR_SET};

// The attributes of a file or directory of the kind; raises the kind's error when there is none.
bool attributes_of(RunContext* ctx, const Kind& kind, const std::u16string& path, uint32_t* attributes) {
  plat::FileInfo info;
  uint32_t code = plat::SYSTEM_ERROR_NOT_FOUND;
  if (plat::file_info_w(path.c_str(), &info, &code) &&
      ((info.attributes & plat::ATTR_DIRECTORY) != 0) == kind.directory) {
    *attributes = info.attributes;
    return true;
  }
  file_failure(ctx, kind.not_found, code, "GetFileAttributes", path);
  return false;
}

// Applies the change to every entry of a list; 1 when all were changed.
void change_list(RunContext* ctx, Value* result, const Kind& kind, const std::u16string& list,
                 const AttrChange& change) {
  const uint32_t flags = kind.directory ? LIST_DIRECTORIES : LIST_FILES;
  const bool ok = walk_file_list(ctx, list, flags, [&](const std::u16string& path) {
    uint32_t current, code = 0;
    if (!attributes_of(ctx, kind, path, &current)) return false;
    if (apply_attr_change(path, change, &code)) return true;
    file_failure(ctx, kind.set_failed, code, "SetFileAttributes", path);
    return false;
  });
  if (ok) set_integer(ctx, result->c, 1);
}

// "RASH" with "-" in the place of each attribute that is not set.
void attr_get(RunContext* ctx, Value* result, ArgBlock& a, bool wide, const Kind& kind) {
  const std::u16string path = arg_wide(ctx, a, 1);
  uint32_t attributes;
  if (!attributes_of(ctx, kind, path, &attributes)) return;
  std::u16string text;
  for (const Letter& l : kLetters) text += (attributes & l.bit) ? l.upper : u'-';
  set_text_result(ctx, result, text, wide);
}

void attr_set(RunContext* ctx, Value* result, ArgBlock& a, const Kind& kind) {
  AttrChange change;
  if (parse_attr_text(ctx, arg_wide(ctx, a, 2), &change)) change_list(ctx, result, kind, arg_wide(ctx, a, 1), change);
}

void attr_get_ex(RunContext* ctx, Value* result, ArgBlock& a, const Kind& kind) {
  uint32_t attributes;
  if (attributes_of(ctx, kind, arg_wide(ctx, a, 1), &attributes)) set_integer(ctx, result->c, int32_t(attributes));
}

// Mode 0 makes the settable attributes exactly the bits given, 1 adds them, 2 removes them.
void attr_set_ex(RunContext* ctx, Value* result, ArgBlock& a, const Kind& kind) {
  const uint32_t bits = uint32_t(arg_int(a, 2));
  const int32_t mode = arg_int(a, 3);
  if (bits & ~SETTABLE) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  AttrChange change{};
  switch (mode) {
    case SET_REPLACE: change = {bits, SETTABLE & ~bits}; break;
    case SET_ADD: change = {bits, 0}; break;
    case SET_REMOVE: change = {0, bits}; break;
    default: ctx->err = ERR_ATTR_MODE; return;
  }
  change_list(ctx, result, kind, arg_wide(ctx, a, 1), change);
}

void bi_fileattrget(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  attr_get(ctx, result, a, wide, kFiles);
}
void bi_fileattrset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { attr_set(ctx, result, a, kFiles); }
void bi_fileattrgetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { attr_get_ex(ctx, result, a, kFiles); }
void bi_fileattrsetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { attr_set_ex(ctx, result, a, kFiles); }
void bi_dirattrget(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  attr_get(ctx, result, a, wide, kDirectories);
}
void bi_dirattrset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { attr_set(ctx, result, a, kDirectories); }
void bi_dirattrgetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  attr_get_ex(ctx, result, a, kDirectories);
}
void bi_dirattrsetex(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  attr_set_ex(ctx, result, a, kDirectories);
}

const BuiltinEntry kEntries[] = {
    {KW_DIRATTRGET, bi_dirattrget},     {KW_DIRATTRGETEX, bi_dirattrgetex},
    {KW_DIRATTRSET, bi_dirattrset},     {KW_DIRATTRSETEX, bi_dirattrsetex},
    {KW_FILEATTRGET, bi_fileattrget},   {KW_FILEATTRGETEX, bi_fileattrgetex},
    {KW_FILEATTRSET, bi_fileattrset},   {KW_FILEATTRSETEX, bi_fileattrsetex},
};

}  // namespace

bool parse_attr_text(RunContext* ctx, const std::u16string& text, AttrChange* change) {
  *change = AttrChange{};
  bool ok = text.size() <= ATTR_TEXT_MAX;
  for (char16_t c : text) {
    const Letter* found = nullptr;
    for (const Letter& l : kLetters)
      if (c == l.upper || c == l.upper + (u'a' - u'A')) found = &l;
    if (!found) ok = false;
    else if (c == found->upper) change->set |= found->bit;
    else change->clear |= found->bit;
  }
  if (!ok) ctx->err = ERR_ATTR_TEXT;
  return ok;
}

bool apply_attr_change(const std::u16string& path, const AttrChange& change, uint32_t* system_error) {
  plat::FileInfo info;
  if (!plat::file_info_w(path.c_str(), &info, system_error)) return false;
  uint32_t attributes = ((info.attributes & SETTABLE) & ~change.clear) | change.set;
  attributes &= ~uint32_t(plat::ATTR_NORMAL);
  if (!attributes) attributes = plat::ATTR_NORMAL;
  return plat::file_set_attributes_w(path.c_str(), attributes, system_error);
}

extern const BuiltinFamily kFileAttrBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
