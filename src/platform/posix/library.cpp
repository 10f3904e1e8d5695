// Dynamic libraries on POSIX: dlopen with the Windows search order imitated, calls through libffi.
#include <dlfcn.h>
#include <ffi.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/library.h"

namespace plat {
namespace {

bool is_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string program_directory() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::string();
  std::string path(exe, size_t(n));
  return path.substr(0, path.rfind('/') + 1);
}

// The loader's explanation of a failure of a file that exists, as a Windows system error code.
uint32_t classify(const char* message) {
  if (std::strstr(message, "cannot open shared object file")) return LOAD_DEPENDENCY_MISSING;
  if (std::strstr(message, "undefined symbol")) return LOAD_SYMBOL_MISSING;
  if (std::strstr(message, "invalid ELF header") || std::strstr(message, "wrong ELF class") ||
      std::strstr(message, "file too short") || std::strstr(message, "ELF file"))
    return LOAD_BAD_FORMAT;
  return 31;
}

struct Attempt {
  LibraryHandle handle = nullptr;
  uint32_t error = LOAD_NOT_FOUND;
  std::string detail;
  bool done() const { return handle || error != LOAD_NOT_FOUND; }
};

// Loads a file that exists; its failure ends the search, as a found file does on Windows.
void load_file(const std::string& path, Attempt& a) {
  if (!is_file(path)) return;
  a.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (a.handle) return;
  const char* message = dlerror();
  a.detail = message ? message : "";
  a.error = classify(a.detail.c_str());
}

// The system's own search for a bare name (the loader's cache and folders).
void load_from_system(const std::string& name, Attempt& a) {
  a.handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (a.handle) return;
  const char* message = dlerror();
  const std::string text = message ? message : "";
  // The loader names the file it could not open first: this one, or a library it needs.
  if (text.compare(0, name.size() + 1, name + ":") == 0 && text.find("cannot open shared object file") != std::string::npos)
    return;
  a.detail = text;
  a.error = classify(text.c_str());
}

void copy_detail(const std::string& text, char* out, size_t out_cap) {
  if (out && out_cap) std::snprintf(out, out_cap, "%s", text.c_str());
}

}  // namespace

LibraryHandle library_load(const char* name, uint32_t* system_error, char* detail, size_t detail_cap) {
  copy_detail("", detail, detail_cap);
  std::string file = name ? name : "";
  while (!file.empty() && (file[0] == ' ' || file[0] == '\t')) file.erase(0, 1);
  Attempt a;
  if (!file.empty()) {
    const size_t base = file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1;
    if (file.find('.', base) == std::string::npos) file += ".so";
    if (file.find('/') != std::string::npos) {
      load_file(file, a);
    } else {
      load_file(program_directory() + file, a);
      if (!a.done()) load_from_system(file, a);
      char found[4096];
      if (!a.done() && search_file(file.c_str(), found, sizeof found, false) != FileCheck::NotFound)
        load_file(found, a);
    }
  }
  if (!a.handle) {
    if (system_error) *system_error = a.error;
    copy_detail(a.detail, detail, detail_cap);
  }
  return a.handle;
}

void library_free(LibraryHandle library) {
  if (library) dlclose(library);
}

void* library_symbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return dlsym(library, name);
}

size_t library_path(LibraryHandle library, char* out, size_t out_cap) {
  link_map* map = nullptr;
  if (out_cap) out[0] = 0;
  if (!library || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return 0;
  const size_t n = std::strlen(map->l_name);
  if (n >= out_cap) return 0;
  std::memcpy(out, map->l_name, n + 1);
  return n;
}

bool library_file_version(const char*, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  return false;
}

bool library_string(LibraryHandle, uint32_t, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  return false;
}

void* program_module() {
  static void* const self = dlopen(nullptr, RTLD_NOW);
  return self;
}

bool foreign_call(void* fn, CallConvention, const ForeignArg* args, size_t count, ForeignType result_type,
                  ForeignResult* out) {
  *out = ForeignResult{};
  if (!fn || count > FOREIGN_ARGS_MAX) return false;
  ffi_type* types[FOREIGN_ARGS_MAX];
  void* values[FOREIGN_ARGS_MAX];
  for (size_t n = 0; n < count; ++n) {
    switch (args[n].type) {
      case ForeignType::Int32: types[n] = &ffi_type_sint32; values[n] = const_cast<int32_t*>(&args[n].i); break;
      case ForeignType::Pointer: types[n] = &ffi_type_pointer; values[n] = const_cast<const void**>(&args[n].p); break;
      case ForeignType::Double: types[n] = &ffi_type_double; values[n] = const_cast<double*>(&args[n].d); break;
      case ForeignType::Void: return false;
    }
  }
  ffi_type* result = result_type == ForeignType::Int32     ? &ffi_type_sint32
                     : result_type == ForeignType::Pointer ? &ffi_type_pointer
                     : result_type == ForeignType::Double  ? &ffi_type_double
                                                           : &ffi_type_void;
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(count), result, types) != FFI_OK) return false;
  // libffi widens integer results to a full register.
  union {
    ffi_arg integer;
    void* pointer;
    double real;
  } r{};
  errno = 0;
  ffi_call(&cif, FFI_FN(fn), &r, values);
  out->systemError = uint32_t(errno);
  if (result_type == ForeignType::Int32) out->i = int32_t(r.integer);
  if (result_type == ForeignType::Pointer) out->p = r.pointer;
  if (result_type == ForeignType::Double) out->d = r.real;
  return true;
}

}  // namespace plat
