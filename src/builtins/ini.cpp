// INI files: IniRead, IniWrite, IniDelete and IniItemize on the system's profile (WIN.INI), and their Pvt
// forms on a file the script names.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/keywords.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr size_t READ_BLOCK = 65535;
constexpr size_t LIST_BLOCK = 32000;
constexpr size_t LIST_BLOCK_MAX = size_t(1) << 30;
// A key argument of exactly this text (the value of @wholesection) stands for the whole section.
constexpr const char* WHOLE_SECTION = "692837";
constexpr const char* NOTHING_LISTED = "(NONE)";

// The profile a call works on: a file, or WIN.INI (no file, or an empty name).
struct Profile {
  const char* file;
  bool system() const { return !file || !*file; }
};

size_t read(Profile p, const char* section, const char* key, const char* def, char* out, size_t cap) {
  return p.system() ? plat::system_profile_get_string(section, key, def, out, cap)
                    : plat::profile_get_string(p.file, section, key, def, out, cap);
}

bool write(Profile p, const char* section, const char* key, const char* value) {
  return p.system() ? plat::system_profile_write_string(section, key, value)
                    : plat::profile_write_string(p.file, section, key, value);
}

// The [386Enh] Device= keys of the system are not for scripts.
bool guarded(RunContext* ctx, const char* section, const char* key) {
  if (plat::compare_ansi(section, "386ENH", true) == 0 && plat::compare_ansi(key, "DEVICE", true) == 0) {
    ctx->err = ERR_INI_386ENH_DEVICE;
    return true;
  }
  return false;
}

std::unique_ptr<char[]> work_block(RunContext* ctx, size_t size) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (!block) ctx->err = ERR_WORK_MEMORY;
  return block;
}

void read_value(RunContext* ctx, Value* result, Profile p, const char* section, const char* key, const char* def) {
  std::unique_ptr<char[]> block = work_block(ctx, READ_BLOCK);
  if (!block) return;
  const size_t n = read(p, section, key, def, block.get(), READ_BLOCK);
  set_string(ctx, result->c, block.get(), n);
}

// Writes a value; three empty arguments only flush the system's cache of the file.
bool write_value(RunContext* ctx, Value* result, Profile p, const char* section, const char* key, const char* value) {
  const bool flush = !*section && !*key && !*value;
  if (!(flush ? write(p, nullptr, nullptr, nullptr) : write(p, section, key, value))) {
    ctx->err = ERR_INI_WRITE;
    return false;
  }
  set_integer(ctx, result->c, 1);
  return !flush;
}

void delete_key(RunContext* ctx, Profile p, const char* section, const char* key) {
  const bool whole = std::strcmp(key, WHOLE_SECTION) == 0;
  if (!write(p, section, whole ? nullptr : key, nullptr)) ctx->err = ERR_INI_WRITE;
}

// The names of all sections (an empty section argument) or of a section's keys, separated by tabs;
// "(NONE)" when there are none. The list is read whole however long it is.
void itemize(RunContext* ctx, Value* result, Profile p, const char* section, bool need_file) {
  const char* wanted = *section ? section : nullptr;
  std::unique_ptr<char[]> block;
  size_t size = LIST_BLOCK / 2, n = 0;
  do {
    size *= 2;
    if (!(block = work_block(ctx, size))) return;
    n = read(p, wanted, nullptr, "", block.get(), size);
  } while (n + 2 >= size && size < LIST_BLOCK_MAX);
  if (n == 0) {
    if (need_file && !plat::profile_file_exists(p.file)) {
      ctx->err = ERR_INIITEMIZEPVT_NOT_FOUND;
      return;
    }
    set_string(ctx, result->c, NOTHING_LISTED, std::strlen(NOTHING_LISTED));
    return;
  }
  // Each name ends with a NUL; the separators become tabs, the last one goes.
  if (block[n - 1] == 0) --n;
  for (size_t i = 0; i < n; ++i)
    if (block[i] == 0) block[i] = '\t';
  set_string(ctx, result->c, block.get(), n);
}

void bi_iniread(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  read_value(ctx, result, Profile{nullptr}, arg_str(ctx, a, 1), arg_str(ctx, a, 2), arg_str(ctx, a, 3));
}

void bi_inireadpvt(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (guarded(ctx, arg_str(ctx, a, 1), arg_str(ctx, a, 2))) return;
  read_value(ctx, result, Profile{arg_str(ctx, a, 4)}, arg_str(ctx, a, 1), arg_str(ctx, a, 2), arg_str(ctx, a, 3));
}

void bi_iniwrite(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const char* section = arg_str(ctx, a, 1);
  if (write_value(ctx, result, Profile{nullptr}, section, arg_str(ctx, a, 2), arg_str(ctx, a, 3)))
    plat::broadcast_profile_change(section);
}

void bi_iniwritepvt(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (guarded(ctx, arg_str(ctx, a, 1), arg_str(ctx, a, 2))) return;
  write_value(ctx, result, Profile{arg_str(ctx, a, 4)}, arg_str(ctx, a, 1), arg_str(ctx, a, 2), arg_str(ctx, a, 3));
}

void bi_inidelete(RunContext* ctx, Value*, ArgBlock& a, int, bool) {
  delete_key(ctx, Profile{nullptr}, arg_str(ctx, a, 1), arg_str(ctx, a, 2));
}

void bi_inideletepvt(RunContext* ctx, Value*, ArgBlock& a, int, bool) {
  delete_key(ctx, Profile{arg_str(ctx, a, 3)}, arg_str(ctx, a, 1), arg_str(ctx, a, 2));
}

void bi_iniitemize(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  itemize(ctx, result, Profile{nullptr}, arg_str(ctx, a, 1), false);
}

void bi_iniitemizepvt(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const Profile p{arg_str(ctx, a, 2)};
  itemize(ctx, result, p, arg_str(ctx, a, 1), !p.system());
}

const BuiltinEntry kEntries[] = {
    {KW_INIREAD, bi_iniread},       {KW_INIREADPVT, bi_inireadpvt},       {KW_INIWRITE, bi_iniwrite},
    {KW_INIWRITEPVT, bi_iniwritepvt}, {KW_INIDELETE, bi_inidelete},     {KW_INIDELETEPVT, bi_inideletepvt},
    {KW_INIITEMIZE, bi_iniitemize}, {KW_INIITEMIZEPVT, bi_iniitemizepvt},
};

}  // namespace

extern const BuiltinFamily kIniBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
