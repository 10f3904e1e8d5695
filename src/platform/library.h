// Dynamic libraries: loading, entry points, version data, and calls of library functions whose argument
// list is known only at run time.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

using LibraryHandle = void*;

// System error codes of a failed load, in the Windows numbering on every platform.
enum LoadError : uint32_t {
  LOAD_NOT_FOUND = 2,             // the library itself was not found
  LOAD_DEPENDENCY_MISSING = 126,  // found, but a library it needs is missing or invalid
  LOAD_SYMBOL_MISSING = 127,      // found, but a routine it needs is missing
  LOAD_BAD_FORMAT = 193,          // not a library of this platform
  LOAD_INIT_FAILED = 1114,        // its initialisation failed
};

// Loads a library with the system's error boxes for missing files switched off. A name without an
// extension gets the platform's (".dll", ".so"). Windows searches as the system does (the program's
// folder first); POSIX looks for a bare name in the program's folder, then the system's library search,
// the current directory and the folders of PATH. nullptr on failure with the code in *system_error (a
// LoadError or another system code) and, on POSIX, the loader's explanation in detail.
LibraryHandle library_load(const char* name, uint32_t* system_error, char* detail = nullptr,
                           size_t detail_cap = 0);
void library_free(LibraryHandle library);
// The address of an exported routine, nullptr when the library has none of that name.
void* library_symbol(LibraryHandle library, const char* name);
// The file a loaded library came from ("" when unknown).
size_t library_path(LibraryHandle library, char* out, size_t out_cap);
// The file version of a library file ("a.b.c.d" from its version resource); false when it has none, as
// on POSIX, whose libraries carry no version resource.
bool library_file_version(const char* path, char* out, size_t out_cap);
// String resource id of a loaded library; false when it has none (always on POSIX).
bool library_string(LibraryHandle library, uint32_t id, char* out, size_t out_cap);
// The module handle of the program that runs the Engine.
void* program_module();

// --- Calls by a run-time argument list -----------------------------------------------------------------

enum class CallConvention : uint8_t {
  Stdcall,   // the callee removes the arguments (32-bit Windows); the system's own elsewhere
  Cdecl,     // the caller removes them; the system's own convention outside 32-bit Windows
};
enum class ForeignType : uint8_t { Void, Int32, Pointer, Double };

struct ForeignArg {
  ForeignType type;
  int32_t i;
  const void* p;
  double d;
};

struct ForeignResult {
  int32_t i;
  void* p;
  double d;
  uint32_t systemError;     // the thread's system error code right after the call (errno on POSIX)
  // A stdcall that removed more or fewer bytes than it was given (32-bit Windows only): the stack
  // positions before and after the call. The stack has been put right again.
  bool stackMismatch;
  uintptr_t stackBefore, stackAfter;
};

constexpr size_t FOREIGN_ARGS_MAX = 20;

// Calls fn with at most FOREIGN_ARGS_MAX arguments. false when the call could not be prepared.
bool foreign_call(void* fn, CallConvention convention, const ForeignArg* args, size_t count, ForeignType result_type,
                  ForeignResult* out);

}  // namespace plat
