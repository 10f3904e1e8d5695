// Dynamic libraries on Windows, and calls by a run-time argument list through a small assembly helper per
// build: the 32-bit helper pushes 4-byte words and measures the stack around the call (a stdcall callee
// removes its own arguments, so a wrong argument list shows as a moved stack, which the helper puts
// right); the 64-bit helper lays the arguments out by the one x64 convention.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/library.h"

#if defined(__i386__)
namespace {
struct X86CallOut {
  uint32_t eax, edx;
  uint32_t before, after;   // stack positions before the arguments were pushed and after the call
  double st0;
};
}  // namespace

// tov_call_x86(fn, words, count, out, want_double), cdecl. The words are pushed from the last to the first
// over a zeroed guard area of 256 bytes, so a callee that takes more arguments than it was given reads
// zeros instead of the helper's saved registers. The stack position comes back from esi (callee-saved).
extern "C" void tov_call_x86(void* fn, const uint32_t* words, uint32_t count, X86CallOut* out, uint32_t want_double);
asm(R"(
  .text
  .globl _tov_call_x86
_tov_call_x86:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  subl $256, %esp
  movl %esp, %edi
  xorl %eax, %eax
  movl $64, %ecx
  cld
  rep stosl
  movl %esp, %esi
  movl 16(%ebp), %ecx
  movl 12(%ebp), %edx
1:
  testl %ecx, %ecx
  jz 2f
  pushl -4(%edx,%ecx,4)
  decl %ecx
  jmp 1b
2:
  call *8(%ebp)
  movl %esp, %ecx
  movl %esi, %esp
  movl 20(%ebp), %ebx
  movl %eax, 0(%ebx)
  movl %edx, 4(%ebx)
  movl %esi, 8(%ebx)
  movl %ecx, 12(%ebx)
  cmpl $0, 24(%ebp)
  je 3f
  fstpl 16(%ebx)
3:
  addl $256, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");
#elif defined(__x86_64__)
namespace {
struct X64CallOut {
  uint64_t rax;
  double xmm0;
};
}  // namespace

// tov_call_x64(fn, slots, count, out): the slots go to the stack above the 32-byte home area, and the first
// four into both their integer and their floating-point registers, so the callee finds each argument
// where its own declaration expects it.
extern "C" void tov_call_x64(void* fn, const uint64_t* slots, uint64_t count, X64CallOut* out);
asm(R"(
  .text
  .globl tov_call_x64
  .def tov_call_x64; .scl 2; .type 32; .endef
  .seh_proc tov_call_x64
tov_call_x64:
  pushq %rbp
  .seh_pushreg %rbp
  pushq %rsi
  .seh_pushreg %rsi
  movq %rsp, %rbp
  .seh_setframe %rbp, 0
  .seh_endprologue
  movq %r9, %rsi
  movq %rcx, %r10
  movq %rdx, %r11
  movq %r8, %rax
  cmpq $4, %rax
  jae 1f
  movq $4, %rax
1:
  shlq $3, %rax
  subq %rax, %rsp
  andq $-16, %rsp
  xorq %rcx, %rcx
2:
  cmpq %r8, %rcx
  jae 3f
  movq (%r11,%rcx,8), %rax
  movq %rax, (%rsp,%rcx,8)
  incq %rcx
  jmp 2b
3:
  movq 0(%rsp), %rcx
  movq 8(%rsp), %rdx
  movq 16(%rsp), %r8
  movq 24(%rsp), %r9
  movq %rcx, %xmm0
  movq %rdx, %xmm1
  movq %r8, %xmm2
  movq %r9, %xmm3
  callq *%r10
  movq %rax, 0(%rsi)
  movsd %xmm0, 8(%rsi)
  leaq 0(%rbp), %rsp
  popq %rsi
  popq %rbp
  retq
  .seh_endproc
)");
#endif

namespace plat {
namespace {

bool has_extension(const char* name) {
  const char* base = name;
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  return std::strchr(base, '.') != nullptr;
}

}  // namespace

LibraryHandle library_load(const char* name, uint32_t* system_error, char* detail, size_t detail_cap) {
  if (detail && detail_cap) detail[0] = 0;
  while (name && (*name == ' ' || *name == '\t')) ++name;
  if (!name || !*name) {
    if (system_error) *system_error = LOAD_NOT_FOUND;
    return nullptr;
  }
  DWORD old_mode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
  HMODULE module = LoadLibraryA(name);
  DWORD error = module ? 0 : GetLastError();
  SetThreadErrorMode(old_mode, nullptr);
  if (module) return module;
  // The loader says "not found" both for the library and for one it needs: the file search tells which.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_MOD_NOT_FOUND ||
      error == ERROR_DLL_NOT_FOUND) {
    std::string file = name;
    if (!has_extension(name)) file += ".dll";
    char found[MAX_PATH_CHARS * 4];
    const bool exists = search_file(file.c_str(), found, sizeof found, false) != FileCheck::NotFound;
    if (!exists) error = LOAD_NOT_FOUND;
    else if (error != ERROR_DLL_NOT_FOUND) error = LOAD_DEPENDENCY_MISSING;
  }
  if (system_error) *system_error = error;
  return nullptr;
}

void library_free(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

void* library_symbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

size_t library_path(LibraryHandle library, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  if (!library || out_cap == 0) return 0;
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(library), out, DWORD(out_cap));
  if (n == 0 || n >= out_cap) {
    out[0] = 0;
    return 0;
  }
  return n;
}

bool library_file_version(const char* path, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path, 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info || length < sizeof *info)
    return false;
  std::snprintf(out, out_cap, "%lu.%lu.%lu.%lu", info->dwFileVersionMS >> 16, info->dwFileVersionMS & 0xFFFF,
                info->dwFileVersionLS >> 16, info->dwFileVersionLS & 0xFFFF);
  return true;
}

bool library_string(LibraryHandle library, uint32_t id, char* out, size_t out_cap) {
  if (out_cap) out[0] = 0;
  if (!library || out_cap == 0) return false;
  return LoadStringA(static_cast<HMODULE>(library), id, out, int(out_cap)) > 0;
}

void* program_module() { return GetModuleHandleW(nullptr); }

bool foreign_call(void* fn, CallConvention convention, const ForeignArg* args, size_t count, ForeignType result_type,
                  ForeignResult* out) {
  *out = ForeignResult{};
  if (!fn || count > FOREIGN_ARGS_MAX) return false;
#if defined(__i386__)
  uint32_t words[2 * FOREIGN_ARGS_MAX];
  uint32_t n = 0;
  for (size_t a = 0; a < count; ++a) {
    switch (args[a].type) {
      case ForeignType::Int32: words[n++] = uint32_t(args[a].i); break;
      case ForeignType::Pointer: words[n++] = uint32_t(reinterpret_cast<uintptr_t>(args[a].p)); break;
      case ForeignType::Double: {
        uint32_t halves[2];
        std::memcpy(halves, &args[a].d, sizeof halves);   // the low word lies lower
        words[n++] = halves[0];
        words[n++] = halves[1];
        break;
      }
      case ForeignType::Void: return false;
    }
  }
  X86CallOut r{};
  SetLastError(0);
  tov_call_x86(fn, words, n, &r, result_type == ForeignType::Double);
  out->systemError = GetLastError();
  out->i = int32_t(r.eax);
  out->p = reinterpret_cast<void*>(uintptr_t(r.eax));
  out->d = r.st0;
  if (convention == CallConvention::Stdcall && r.after != r.before) {
    out->stackMismatch = true;
    out->stackBefore = r.before;
    out->stackAfter = r.after;
  }
#else
  (void)convention;
  uint64_t slots[FOREIGN_ARGS_MAX];
  for (size_t a = 0; a < count; ++a) {
    switch (args[a].type) {
      case ForeignType::Int32: slots[a] = uint64_t(int64_t(args[a].i)); break;
      case ForeignType::Pointer: slots[a] = uint64_t(reinterpret_cast<uintptr_t>(args[a].p)); break;
      case ForeignType::Double: std::memcpy(&slots[a], &args[a].d, sizeof slots[a]); break;
      case ForeignType::Void: return false;
    }
  }
  X64CallOut r{};
  SetLastError(0);
  tov_call_x64(fn, slots, count, &r);
  out->systemError = GetLastError();
  out->i = int32_t(r.rax);
  out->p = reinterpret_cast<void*>(uintptr_t(r.rax));
  out->d = r.xmm0;
#endif
  return true;
}

}  // namespace plat
