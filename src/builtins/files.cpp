// The everyday file built-ins: deleting, renaming, testing and measuring files, listing and finding them,
// whole files as strings, attributes, the parts of file names, temporary files and comparing files.
#include <cstring>
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/filelist.h"
#include "builtins/filenames.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/system.h"

namespace tov {

namespace {

constexpr int32_t EXIST_NO = 0, EXIST_YES = 1, EXIST_IN_USE = 2;
constexpr int32_t COMPARE_SAME = 0, COMPARE_FIRST_NEWER = 1, COMPARE_SECOND_NEWER = -1, COMPARE_SAME_TIME = 2;
constexpr size_t COMPARE_CHUNK = 65536;
constexpr char16_t BYTE_ORDER_MARK = 0xFEFF;

bool is_file(const std::u16string& path, plat::FileInfo* info = nullptr) {
  plat::FileInfo i;
  if (!plat::file_info_w(path.c_str(), &i, nullptr) || (i.attributes & plat::ATTR_DIRECTORY)) return false;
  if (info) *info = i;
  return true;
}

// Reads for the file built-ins share reading with others, as FileOpen's default does.
plat::FileHandle open_to_read(const std::u16string& path, uint32_t* code) {
  return plat::file_open_w(path.c_str(), plat::ACCESS_READ, plat::SHARE_READ, plat::FileCreate::OpenExisting, code);
}

// The names a list yields, joined with the run's file delimiter. Names that are not patterns are listed
// when they exist.
void itemize(RunContext* ctx, Value* result, ArgBlock& a, bool wide, uint32_t kind) {
  std::u16string list;
  const bool ok = walk_file_list(ctx, arg_wide(ctx, a, 1), kind | LIST_ALLOW_NONE, [&](const std::u16string& path) {
    plat::FileInfo info;
    if (!plat::file_info_w(path.c_str(), &info, nullptr)) return true;
    const bool directory = info.attributes & plat::ATTR_DIRECTORY;
    if (directory != (kind == LIST_DIRECTORIES)) return true;
    std::u16string name = fname::name_of(path);
    while (!name.empty() && fname::is_separator(name.back())) name.pop_back();
    if (name.empty()) return true;
    if (!list.empty()) list += ctx->files.settings.delimiter;
    list += name;
    return true;
  });
  if (ok) set_text_result(ctx, result, list, wide);
}

// --- deleting and renaming ------------------------------------------------------------------------------

// 1 when every file of the list was deleted; a file that is not there makes it 0 without an error.
void bi_filedelete(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  bool all = true, any = false;
  walk_file_list(ctx, arg_wide(ctx, a, 1), LIST_FILES | LIST_ALLOW_NONE, [&](const std::u16string& path) {
    uint32_t code = 0;
    if (plat::file_delete_w(path.c_str(), &code)) {
      any = true;
      return true;
    }
    if (code == plat::SYSTEM_ERROR_NOT_FOUND || code == 3) {
      all = false;
      return true;
    }
    file_failure(ctx, ERR_FILEDELETE_FAILED, code, "DeleteFile", path);
    return false;
  });
  if (!ctx->err) set_integer(ctx, result->c, all && any ? 1 : 0);
}

// Renames within a volume; a target that exists is not replaced.
void bi_filerename(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string target = arg_wide(ctx, a, 2);
  const bool ok = walk_file_list(ctx, arg_wide(ctx, a, 1), LIST_FILES, [&](const std::u16string& path) {
    if (!is_file(path)) {
      file_failure(ctx, ERR_FILERENAME_FROM, plat::SYSTEM_ERROR_NOT_FOUND, "MoveFile", path);
      return false;
    }
    uint32_t code = 0;
    const std::u16string to = target_for(target, path);
    if (plat::file_move_w(path.c_str(), to.c_str(), false, false, &code)) return true;
    file_failure(ctx, ERR_FILERENAME_FAILED, code, "MoveFile", to);
    return false;
  });
  if (ok) set_integer(ctx, result->c, 1);
}

// --- testing and measuring ------------------------------------------------------------------------------

// 1 when the file exists (for a pattern: some file matches), 2 when it exists but another program holds it
// open without sharing reading, 0 otherwise.
void bi_fileexist(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string name = arg_wide(ctx, a, 1);
  int32_t found = EXIST_NO;
  if (fname::has_wildcards(fname::name_of(name))) {
    if (!matching_names(fname::directory_of(name), fname::name_of(name), LIST_FILES).empty()) found = EXIST_YES;
  } else if (is_file(name)) {
    uint32_t code = 0;
    const plat::FileHandle h = open_to_read(name, &code);
    found = h == plat::INVALID_FILE && code == plat::SYSTEM_ERROR_SHARING ? EXIST_IN_USE : EXIST_YES;
    plat::file_close(h);
  }
  set_integer(ctx, result->c, found);
}

// The total size of the files of a list. FileSize opens each file (so a file that another program holds
// without sharing reading fails); FileSizeEx reads the sizes from the directory.
void file_sizes(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool open) {
  const int32_t format = argc >= 2 ? arg_int(a, 2) : 0;
  uint64_t total = 0;
  const bool ok = walk_file_list(ctx, arg_wide(ctx, a, 1), LIST_FILES, [&](const std::u16string& path) {
    plat::FileInfo info;
    if (!is_file(path, &info)) {
      file_failure(ctx, ERR_FILESIZE_NOT_FOUND, plat::SYSTEM_ERROR_NOT_FOUND, "GetFileAttributes", path);
      return false;
    }
    if (open) {
      uint32_t code = 0;
      const plat::FileHandle h = open_to_read(path, &code);
      if (h == plat::INVALID_FILE) {
        file_failure(ctx, ERR_FILESIZE_OPEN, code, "CreateFile", path);
        return false;
      }
      plat::file_size(h, &info.size);
      plat::file_close(h);
    }
    total += info.size;
    return true;
  });
  if (ok) size_result(ctx, result, total, format);
}

void bi_filesize(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) { file_sizes(ctx, result, a, argc, true); }
void bi_filesizeex(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  file_sizes(ctx, result, a, argc, false);
}

// --- listing and finding ------------------------------------------------------------------------------

void bi_fileitemize(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  itemize(ctx, result, a, wide, LIST_FILES);
}

void bi_diritemize(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  itemize(ctx, result, a, wide, LIST_DIRECTORIES);
}

// The full name of a file found in the current directory or, for a name without a directory, in one of
// the directories of PATH; "" when there is none.
void bi_filelocate(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string name = arg_wide(ctx, a, 1);
  std::u16string found;
  if (!name.empty() && is_file(name)) {
    found = plat::full_path_w(name.c_str());
  } else if (!name.empty() && fname::directory_length(name) == 0) {
    std::u16string path;
    plat::env_get_w(u"PATH", &path);
    const char16_t separator = char16_t(plat::path_list_separator());
    for (size_t start = 0; start <= path.size() && found.empty();) {
      size_t end = path.find(separator, start);
      if (end == std::u16string::npos) end = path.size();
      std::u16string dir = path.substr(start, end - start);
      start = end + 1;
      if (dir.size() >= 2 && dir.front() == u'"' && dir.back() == u'"') dir = dir.substr(1, dir.size() - 2);
      if (dir.empty()) continue;
      const std::u16string candidate = fname::join(dir, name);
      if (is_file(candidate)) found = plat::full_path_w(candidate.c_str());
    }
  }
  set_text_result(ctx, result, found, wide);
}

// --- whole files as strings -----------------------------------------------------------------------------

bool read_whole(RunContext* ctx, const std::u16string& path, MemBuf& data) {
  uint32_t code = 0;
  const plat::FileHandle h = open_to_read(path, &code);
  if (h == plat::INVALID_FILE) {
    file_failure(ctx, ERR_FILEGET_OPEN, code, "CreateFile", path);
    return false;
  }
  char chunk[COMPARE_CHUNK];
  int64_t got;
  bool room = true;
  while (room && (got = plat::file_read(h, chunk, sizeof chunk)) > 0) room = data.append(chunk, size_t(got));
  plat::file_close(h);
  if (!room) ctx->err = ERR_WORK_MEMORY;
  else if (got < 0) file_failure(ctx, ERR_FILEGET_READ, 0, "ReadFile", path);
  return !ctx->err;
}

// The file's bytes as an ANSI string; each NUL byte becomes the replacement text (a blank when it is left
// out; an empty text removes them).
void bi_fileget(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const std::u16string path = arg_wide(ctx, a, 1);
  const std::string nul = argc >= 2 ? arg_ansi(ctx, a, 2) : std::string(" ");
  MemBuf data, text;
  if (!read_whole(ctx, path, data)) return;
  const char* p = data.size() ? data.data() : "";
  const char* end = p + data.size();
  bool ok = text.reserve(data.size() + 1);
  while (ok && p < end) {
    const char* zero = static_cast<const char*>(std::memchr(p, 0, size_t(end - p)));
    const char* stop = zero ? zero : end;
    ok = text.append(p, size_t(stop - p)) && (!zero || text.append(nul.data(), nul.size()));
    p = zero ? zero + 1 : end;
  }
  if (!ok) {
    ctx->err = ERR_WORK_MEMORY;
    return;
  }
  set_string(ctx, result->c, text.size() ? text.data() : "", text.size());
}

// A UTF-16 file as a wide string: the order its byte-order mark gives (little-endian without one); each
// NUL unit becomes the replacement's first character (a blank when left out; an empty text removes them).
void bi_filegetw(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const std::u16string path = arg_wide(ctx, a, 1);
  const std::u16string nul = argc >= 2 ? arg_wide(ctx, a, 2) : std::u16string(u" ");
  MemBuf data;
  if (!read_whole(ctx, path, data)) return;
  const auto* b = reinterpret_cast<const unsigned char*>(data.data());
  size_t n = data.size() / 2, i = 0;
  bool big_endian = false;
  if (n && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    big_endian = b[0] == 0xFE;
    i = 1;
  }
  std::u16string text;
  text.reserve(n);
  for (; i < n; ++i) {
    const char16_t u = big_endian ? char16_t((b[2 * i] << 8) | b[2 * i + 1]) : char16_t(b[2 * i] | (b[2 * i + 1] << 8));
    if (u != 0) text += u;
    else if (!nul.empty()) text += nul[0];
  }
  set_wstring(ctx, result->c, text.data(), text.size());
}

// Writes the bytes as the whole file; the number of bytes written.
void put_file(RunContext* ctx, Value* result, const std::u16string& path, const void* data, size_t n) {
  uint32_t code = 0;
  const plat::FileHandle h =
      plat::file_open_w(path.c_str(), plat::ACCESS_WRITE, plat::SHARE_NONE, plat::FileCreate::CreateAlways, &code);
  if (h == plat::INVALID_FILE) {
    file_failure(ctx, ERR_FILEPUT_CREATE, code, "CreateFile", path);
    return;
  }
  const bool ok = !n || plat::file_write(h, data, n, &code);
  plat::file_close(h);
  if (!ok) file_failure(ctx, ERR_FILEPUT_WRITE, code, "WriteFile", path);
  else set_integer(ctx, result->c, n > size_t(INT32_MAX) ? INT32_MAX : int32_t(n));
}

void bi_fileput(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const char* text = arg_str(ctx, a, 2);
  put_file(ctx, result, arg_wide(ctx, a, 1), text, std::strlen(text));
}

// The text as UTF-16 little-endian after a byte-order mark.
void bi_fileputw(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string text = std::u16string(1, BYTE_ORDER_MARK) + arg_wstr(ctx, a, 2);
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = char(text[i] & 0xFF);
    bytes[2 * i + 1] = char(text[i] >> 8);
  }
  put_file(ctx, result, arg_wide(ctx, a, 1), bytes.data(), bytes.size());
}

// --- names ----------------------------------------------------------------------------------------------

void bi_filebasename(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  set_text_result(ctx, result, fname::name_of(arg_wide(ctx, a, 1)), wide);
}
void bi_fileextension(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  set_text_result(ctx, result, fname::extension_of(fname::name_of(arg_wide(ctx, a, 1))), wide);
}
void bi_filepath(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  set_text_result(ctx, result, fname::directory_of(arg_wide(ctx, a, 1)), wide);
}
void bi_fileroot(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  set_text_result(ctx, result, fname::root_of(fname::name_of(arg_wide(ctx, a, 1))), wide);
}
void bi_filefullname(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string name = arg_wide(ctx, a, 1);
  set_text_result(ctx, result, name.empty() ? name : plat::full_path_w(name.c_str()), wide);
}

// An empty new file in the folder for temporary files; its full name.
void bi_filecreatetemp(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string prefix = arg_wide(ctx, a, 1);
  std::u16string path;
  uint32_t code = 0;
  if (!plat::temp_file_w(plat::temp_directory_w().c_str(), prefix.c_str(), &path, &code)) {
    file_failure(ctx, ERR_FILECREATETEMP, code, "GetTempFileName", prefix);
    return;
  }
  set_text_result(ctx, result, path, wide);
}

// --- comparing ------------------------------------------------------------------------------------------

bool same_content(RunContext* ctx, const std::u16string& first, const std::u16string& second) {
  uint32_t code = 0;
  plat::FileHandle h[2] = {open_to_read(first, &code), plat::INVALID_FILE};
  if (h[0] == plat::INVALID_FILE) {
    file_failure(ctx, ERR_FILECOMPARE_OPEN, code, "CreateFile", first);
    return false;
  }
  h[1] = open_to_read(second, &code);
  if (h[1] == plat::INVALID_FILE) {
    plat::file_close(h[0]);
    file_failure(ctx, ERR_FILECOMPARE_OPEN, code, "CreateFile", second);
    return false;
  }
  std::vector<char> buffers(2 * COMPARE_CHUNK);
  bool same = true;
  for (;;) {
    const int64_t got0 = plat::file_read(h[0], buffers.data(), COMPARE_CHUNK);
    const int64_t got1 = plat::file_read(h[1], buffers.data() + COMPARE_CHUNK, COMPARE_CHUNK);
    if (got0 < 0 || got1 < 0) {
      file_failure(ctx, ERR_FILECOMPARE_READ, 0, "ReadFile", got0 < 0 ? first : second);
      break;
    }
    if (got0 != got1 || std::memcmp(buffers.data(), buffers.data() + COMPARE_CHUNK, size_t(got0)) != 0) {
      same = false;
      break;
    }
    if (got0 == 0) break;
  }
  plat::file_close(h[0]);
  plat::file_close(h[1]);
  return same;
}

// 0 when both files hold the same bytes; otherwise 1 when the first was changed later, -1 when the second
// was, 2 when both have the same time.
void bi_filecompare(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string first = arg_wide(ctx, a, 1), second = arg_wide(ctx, a, 2);
  const bool same = same_content(ctx, first, second);
  if (ctx->err) return;
  int32_t answer = COMPARE_SAME;
  if (!same) {
    plat::FileInfo i1{}, i2{};
    plat::file_info_w(first.c_str(), &i1, nullptr);
    plat::file_info_w(second.c_str(), &i2, nullptr);
    answer = i1.modified > i2.modified   ? COMPARE_FIRST_NEWER
             : i1.modified < i2.modified ? COMPARE_SECOND_NEWER
                                         : COMPARE_SAME_TIME;
  }
  set_integer(ctx, result->c, answer);
}

const BuiltinEntry kEntries[] = {
    {KW_DIRITEMIZE, bi_diritemize},
    {KW_FILEBASENAME, bi_filebasename},
    {KW_FILECOMPARE, bi_filecompare},
    {KW_FILECREATETEMP, bi_filecreatetemp},
    {KW_FILEDELETE, bi_filedelete},
    {KW_FILEEXIST, bi_fileexist},
    {KW_FILEEXTENSION, bi_fileextension},
    {KW_FILEFULLNAME, bi_filefullname},
    {KW_FILEGET, bi_fileget},
    {KW_FILEGETW, bi_filegetw},
    {KW_FILEITEMIZE, bi_fileitemize},
    {KW_FILELOCATE, bi_filelocate},
    {KW_FILEPATH, bi_filepath},
    {KW_FILEPUT, bi_fileput},
    {KW_FILEPUTW, bi_fileputw},
    {KW_FILERENAME, bi_filerename},
    {KW_FILEROOT, bi_fileroot},
    {KW_FILESIZE, bi_filesize},
    {KW_FILESIZEEX, bi_filesizeex},
};

}  // namespace

extern const BuiltinFamily kFileBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
