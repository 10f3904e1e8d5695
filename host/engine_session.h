// The Engine session of a host: the blocks it owns for one context and the initialisation phases, the runs
// of script text and blocks, and the shutdown. Only the Engine's entry points are used.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include "engine/tovengine.h"
#include "host/command_line.h"
#include "platform/memory.h"

namespace tovhost {

constexpr uintptr_t INTERFACE_WORD = uintptr_t(tov::ENGINE_INTERFACE_LEVEL) << 8;
constexpr uint16_t VARIABLE_SLOTS = 8192;
// String offsets are 32-bit; a 64-bit process can afford a larger reservation than a 32-bit one.
constexpr size_t HEAP_RESERVE = sizeof(void*) == 8 ? size_t(1) << 30 : size_t(256) << 20;
constexpr size_t HEAP_INITIAL = 256 * 1024;

inline void complain(const std::string& text) { std::fprintf(stderr, "tov: %s\n", text.c_str()); }

// The blocks a host owns for one context, released on every way out (shutting the context down first).
struct EngineSession {
  plat::HostHandle context = nullptr;
  plat::HostHandle variables = nullptr;
  plat::HostHandle script = nullptr;
  void* heap = nullptr;
  tov::HeapInfo heap_info{};
  bool initialised = false;

  uint32_t init(tov::InitPhase phase, uintptr_t a2, uintptr_t a4, const char* text5, void* p6) {
    return DoDaDllInit(nullptr, context, a2, phase, a4, text5, p6);
  }

  ~EngineSession() {
    if (initialised) init(tov::INIT_SHUTDOWN, 0, 0, nullptr, nullptr);
    plat::host_free(script);
    plat::host_free(variables);
    plat::host_free(context);
    if (heap) plat::vm_release(heap, HEAP_RESERVE);
  }

  // Phases 0 to 3 and the host options. Each failure is explained on standard error.
  bool start(bool console, const std::string& script_file, int argc, const char* const* args) {
    const uint32_t context_size = DoDaDllInit(nullptr, nullptr, INTERFACE_WORD, tov::INIT_QUERY, 0, nullptr, nullptr);
    if (context_size == 0) {
      complain("the Engine does not support this runner's interface");
      return false;
    }
    if (context_size < sizeof(tov::RunContextHeader) || !(context = plat::host_alloc(context_size))) {
      complain("cannot allocate the run context");
      return false;
    }
    const uint32_t slot_size = init(tov::INIT_CONTEXT, 0, 0, "tov", nullptr);
    initialised = slot_size != 0;
    if (!initialised) {
      complain("the Engine could not initialise its context");
      return false;
    }
    if (!(variables = plat::host_alloc(size_t(slot_size) * VARIABLE_SLOTS)) ||
        !init(tov::INIT_VARIABLES, reinterpret_cast<uintptr_t>(variables), VARIABLE_SLOTS, nullptr, nullptr)) {
      complain("cannot set up the variable table");
      return false;
    }
    uint32_t system_error = 0;
    if (!(heap = plat::vm_reserve(HEAP_RESERVE)) || !plat::vm_commit(heap, HEAP_INITIAL, &system_error)) {
      complain("cannot reserve memory for strings");
      return false;
    }
    heap_info = {sizeof(tov::HeapInfo), uint32_t(HEAP_INITIAL), heap, HEAP_RESERVE};
    if (!init(tov::INIT_HEAP, reinterpret_cast<uintptr_t>(heap), HEAP_INITIAL, nullptr, &heap_info)) {
      complain("the Engine refused the string heap");
      return false;
    }
    if (console && !init(tov::INIT_HOST_OPTIONS, 0, tov::HOST_CONSOLE_UI, nullptr, nullptr)) {
      complain("the Engine refused the console option");
      return false;
    }
    if (!init(tov::INIT_SCRIPT_FILE, 0, 0, script_file.c_str(), nullptr) ||
        !init(tov::INIT_PARAMETERS, 0, uintptr_t(argc), nullptr, const_cast<char**>(args))) {
      complain("the Engine refused the script's name or parameters");
      return false;
    }
    return true;
  }

  // Runs the text and returns the exit status for its outcome.
  int run(const std::string& text, const std::string& name) {
    // The Engine expects NUL-terminated text plus one spare byte; the block comes zero-filled.
    script = text.size() <= SIZE_MAX - 2 ? plat::host_alloc(text.size() + 2) : nullptr;
    char* bytes = script ? static_cast<char*>(plat::host_lock(script)) : nullptr;
    if (!bytes) {
      complain("script '" + name + "' is too large to load");
      return EXIT_NOT_STARTED;
    }
    std::memcpy(bytes, text.data(), text.size());
    plat::host_unlock(script);
    return run_block(script, nullptr, name);
  }

  // Runs a script block (which the Engine may rewrite) with hwnd as the run's window; the exit status.
  int run_block(plat::HostHandle block, void* hwnd, const std::string& name) {
    if (!ProcessDaBatBuffer(hwnd, context, block, nullptr, nullptr)) {
      complain("script '" + name + "' could not be started");
      return EXIT_NOT_STARTED;
    }
    const auto* header = static_cast<const tov::RunContextHeader*>(plat::host_lock(context));
    if (!header) {
      complain("cannot read the outcome of the run");
      return EXIT_ERROR;
    }
    const int status = exit_status(*header);
    plat::host_unlock(context);
    return status;
  }
};

}  // namespace tovhost
