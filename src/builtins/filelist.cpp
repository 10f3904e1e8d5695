#include "builtins/filelist.h"

#include <algorithm>

#include "builtins/args.h"
#include "builtins/filenames.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/values.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

bool is_list_separator(const RunContext* ctx, char16_t c) {
  return c == u'\t' || c == u'|' || c == ctx->files.settings.delimiter;
}

std::u16string sort_key(const std::u16string& name) {
  std::u16string key = name;
  plat::upper_wide(key.data(), key.size());
  return key;
}

}  // namespace

bool split_file_list(RunContext* ctx, const std::u16string& list, std::vector<std::u16string>* entries) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && is_list_separator(ctx, list[i])) ++i;
    const size_t start = i;
    while (i < list.size() && !is_list_separator(ctx, list[i])) ++i;
    if (i == start) continue;
    if (i - start > FILE_ENTRY_MAX) {
      ctx->err = ERR_UNRECOGNIZABLE;
      return false;
    }
    entries->push_back(list.substr(start, i - start));
  }
  return true;
}

std::vector<std::u16string> matching_names(const std::u16string& dir, const std::u16string& pattern,
                                           uint32_t flags) {
  std::vector<plat::DirEntry> entries;
  std::vector<std::pair<std::u16string, std::u16string>> found;   // sort key, name
  plat::dir_list_w(dir.c_str(), &entries, nullptr);
  for (const plat::DirEntry& e : entries) {
    const bool wanted = e.directory ? (flags & LIST_DIRECTORIES) : (flags & LIST_FILES);
    if (wanted && fname::name_matches(pattern, e.name)) found.emplace_back(sort_key(e.name), e.name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::u16string> names;
  names.reserve(found.size());
  for (auto& f : found) names.push_back(std::move(f.second));
  return names;
}

bool walk_file_list(RunContext* ctx, const std::u16string& list, uint32_t flags,
                    const std::function<bool(const std::u16string& path)>& each) {
  std::vector<std::u16string> entries;
  if (!split_file_list(ctx, list, &entries)) return false;
  bool any = false;
  for (const std::u16string& entry : entries) {
    const std::u16string name = fname::name_of(entry);
    if (!fname::has_wildcards(name)) {
      any = true;
      if (!each(entry) || ctx->err) return false;
      continue;
    }
    const std::u16string dir = fname::directory_of(entry);
    for (const std::u16string& match : matching_names(dir, name, flags)) {
      any = true;
      if (!each(dir + match) || ctx->err) return false;
    }
  }
  if (!any && !(flags & LIST_ALLOW_NONE)) {
    ctx->err = ERR_FILELIST_NO_MATCH;
    return false;
  }
  return true;
}

std::u16string target_for(const std::u16string& target, const std::u16string& source) {
  std::u16string t = target;
  if (!fname::has_wildcards(t)) {
    plat::FileInfo info;
    const bool ends_open = !t.empty() && (fname::is_separator(t.back()) || t.back() == u':');
    if (ends_open) t += u"*.*";
    else if (plat::file_info_w(t.c_str(), &info, nullptr) && (info.attributes & plat::ATTR_DIRECTORY))
      t = fname::join(t, u"*.*");
  }
  return fname::directory_of(t) + fname::map_name(fname::name_of(t), fname::name_of(source));
}

void file_failure(RunContext* ctx, uint16_t number, uint32_t system_error, const char* api,
                  const std::u16string& path) {
  ReportApiError(ctx, system_error, api, true);
  AddErrorInfo(ctx, ansi_of(ctx, path).c_str());
  ctx->err = number;
}

void size_result(RunContext* ctx, Value* result, uint64_t bytes, int32_t format) {
  if (format != 0 && format != 1) {
    ctx->err = ERR_SIZE_FORMAT;
    return;
  }
  if (format == 0 && bytes <= uint64_t(INT32_MAX)) set_integer(ctx, result->c, int32_t(bytes));
  else set_float(ctx, result->c, double(bytes));
}

}  // namespace tov
