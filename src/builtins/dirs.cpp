// Directories and disks: DirMake, DirRemove, DirRename, DirChange, DirGet, DirExist, DirHome, DirSize,
// DiskFree, DiskExist.
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/filelist.h"
#include "builtins/filenames.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr int32_t DIRSIZE_SUBDIRECTORIES = 1;
// Directory levels that DirSize goes down at most: deeper trees are beyond any real disk.
constexpr int DIRSIZE_MAX_DEPTH = 256;

bool is_directory(const std::u16string& path) {
  plat::FileInfo info;
  return plat::file_info_w(path.c_str(), &info, nullptr) && (info.attributes & plat::ATTR_DIRECTORY);
}

std::u16string without_trailing_separators(std::u16string path) {
  while (path.size() > 1 && fname::is_separator(path.back()) &&
         !(path.size() == 3 && path[1] == u':' && plat::has_drive_letters()))
    path.pop_back();
  return path;
}

std::u16string with_trailing_separator(std::u16string path) {
  if (path.empty() || !fname::is_separator(path.back())) path += char16_t(plat::path_separator());
  return path;
}

// Makes the directory and the directories above it that are missing.
bool make_directories(const std::u16string& path, uint32_t* code) {
  if (path.empty() || is_directory(path)) return true;
  const std::u16string parent = without_trailing_separators(fname::directory_of(path));
  if (!parent.empty() && parent != path && !make_directories(parent, code)) return false;
  return plat::dir_make_w(path.c_str(), code) || (*code == plat::SYSTEM_ERROR_ALREADY_EXISTS && is_directory(path));
}

void bi_dirmake(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string path = without_trailing_separators(arg_wide(ctx, a, 1));
  uint32_t code = 0;
  if (!make_directories(path, &code)) {
    file_failure(ctx, ERR_DIRMAKE_FAILED, code, "CreateDirectory", path);
    return;
  }
  set_integer(ctx, result->c, 1);
}

// Removes the empty directories of a list.
void bi_dirremove(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const bool ok = walk_file_list(ctx, arg_wide(ctx, a, 1), LIST_DIRECTORIES, [&](const std::u16string& path) {
    uint32_t code = 0;
    if (plat::dir_remove_w(without_trailing_separators(path).c_str(), &code)) return true;
    file_failure(ctx, ERR_DIRREMOVE_FAILED, code, "RemoveDirectory", path);
    return false;
  });
  if (ok) set_integer(ctx, result->c, 1);
}

void bi_dirrename(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string from = without_trailing_separators(arg_wide(ctx, a, 1));
  const std::u16string to = without_trailing_separators(arg_wide(ctx, a, 2));
  uint32_t code = plat::SYSTEM_ERROR_NOT_FOUND;
  if (!is_directory(from)) {
    file_failure(ctx, ERR_DIRRENAME_FROM, code, "MoveFile", from);
    return;
  }
  if (!plat::file_move_w(from.c_str(), to.c_str(), false, false, &code)) {
    file_failure(ctx, ERR_DIRRENAME_FAILED, code, "MoveFile", to);
    return;
  }
  set_integer(ctx, result->c, 1);
}

void bi_dirchange(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string path = arg_wide(ctx, a, 1);
  uint32_t code = 0;
  if (path.empty() || !plat::set_current_directory_w(path.c_str(), &code)) {
    file_failure(ctx, ERR_DIRCHANGE_FAILED, code, "SetCurrentDirectory", path);
    return;
  }
  set_integer(ctx, result->c, 1);
}

// The current directory, with a separator at its end.
void bi_dirget(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  std::u16string dir;
  plat::current_directory_w(&dir);
  set_text_result(ctx, result, with_trailing_separator(dir), false);
}

void bi_direxist(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_integer(ctx, result->c, is_directory(without_trailing_separators(arg_wide(ctx, a, 1))) ? 1 : 0);
}

// The directory of the Engine's own file, with a separator at its end.
void bi_dirhome(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  char dir[4096];
  const size_t n = plat::engine_module_directory(dir, sizeof dir);
  std::u16string w(n, u'\0');
  if (n) w.resize(size_t(plat::ansi_to_wide(dir, int(n), w.data(), int(n))));
  set_text_result(ctx, result, w, false);
}

uint64_t directory_size(const std::u16string& dir, bool deep, int depth) {
  std::vector<plat::DirEntry> entries;
  plat::dir_list_w(dir.c_str(), &entries, nullptr);
  uint64_t total = 0;
  for (const plat::DirEntry& e : entries) {
    const std::u16string path = fname::join(dir, e.name);
    if (!e.directory) {
      plat::FileInfo info;
      if (plat::file_info_w(path.c_str(), &info, nullptr)) total += info.size;
    } else if (deep && !e.link && depth < DIRSIZE_MAX_DEPTH) {
      total += directory_size(path, deep, depth + 1);
    }
  }
  return total;
}

// The total size of the files of a directory; with flag 1 of its subdirectories too (links to directories
// are not followed).
void bi_dirsize(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const std::u16string dir = arg_wide(ctx, a, 1);
  const int32_t flags = arg_int(a, 2);
  if (flags & ~DIRSIZE_SUBDIRECTORIES) {
    ctx->err = ERR_INVALID_FLAGS;
    return;
  }
  if (!dir.empty() && !is_directory(without_trailing_separators(dir))) {
    file_failure(ctx, ERR_DIRSIZE_NOT_FOUND, plat::SYSTEM_ERROR_NOT_FOUND, "FindFirstFile", dir);
    return;
  }
  size_result(ctx, result, directory_size(dir, flags & DIRSIZE_SUBDIRECTORIES, 0), argc >= 3 ? arg_int(a, 3) : 0);
}

// A drive as the root the system knows it by: "C", "C:" and "C:\" are the same drive; other names (UNC
// roots, and any directory where there are no drive letters) stand as they are.
std::u16string drive_root(const std::u16string& drive) {
  if (!plat::has_drive_letters()) return drive;
  if (drive.size() == 1 || (drive.size() == 2 && drive[1] == u':')) return drive.substr(0, 1) + u":\\";
  return with_trailing_separator(drive);
}

// The free space of the drives of a list, added up.
void bi_diskfree(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  std::vector<std::u16string> drives;
  if (!split_file_list(ctx, arg_wide(ctx, a, 1), &drives)) return;
  uint64_t total = 0;
  for (const std::u16string& drive : drives) {
    const std::u16string root = drive_root(drive);
    uint64_t free_bytes = 0, size = 0;
    uint32_t code = plat::SYSTEM_ERROR_NOT_FOUND;
    if (!plat::volume_exists_w(root.c_str()) || !plat::disk_space_w(root.c_str(), &free_bytes, &size, &code)) {
      file_failure(ctx, ERR_DISKFREE_DRIVE, code, "GetDiskFreeSpaceEx", drive);
      return;
    }
    total += free_bytes;
  }
  size_result(ctx, result, total, argc >= 2 ? arg_int(a, 2) : 0);
}

void bi_diskexist(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string drive = arg_wide(ctx, a, 1);
  set_integer(ctx, result->c, !drive.empty() && plat::volume_exists_w(drive_root(drive).c_str()) ? 1 : 0);
}

const BuiltinEntry kEntries[] = {
    {KW_DIRCHANGE, bi_dirchange}, {KW_DIREXIST, bi_direxist}, {KW_DIRGET, bi_dirget},
    {KW_DIRHOME, bi_dirhome},     {KW_DIRMAKE, bi_dirmake},   {KW_DIRREMOVE, bi_dirremove},
    {KW_DIRRENAME, bi_dirrename}, {KW_DIRSIZE, bi_dirsize},   {KW_DISKEXIST, bi_diskexist},
    {KW_DISKFREE, bi_diskfree},
};

}  // namespace

extern const BuiltinFamily kDirBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
