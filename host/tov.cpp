// tov: the command-line runner. It drives the Engine only through its entry points, as any host does:
// query the context size, initialise the context, hand over the variable table and the string heap, run
// one script, read the outcome from the context, shut down.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "engine/tovengine.h"
#include "host/command_line.h"
#include "platform/memory.h"
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr uintptr_t INTERFACE_WORD = uintptr_t(tov::ENGINE_INTERFACE_LEVEL) << 8;
constexpr uint16_t VARIABLE_SLOTS = 8192;
// String offsets are 32-bit; a 64-bit process can afford a larger reservation than a 32-bit one.
constexpr size_t HEAP_RESERVE = sizeof(void*) == 8 ? size_t(1) << 30 : size_t(256) << 20;
constexpr size_t HEAP_INITIAL = 256 * 1024;

const char USAGE[] =
    "Usage: tov [OPTIONS] SCRIPT [ARG...]\n"
    "Runs the TOV script SCRIPT ('-' reads it from standard input). Each ARG becomes one\n"
    "parameter of the script, param1 to paramN, and param0 holds N.\n"
    "\n"
    "Options:\n"
    "  --console   messages, prompts and error reports use the console (always so on Linux)\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "  --          end of options: the next argument is SCRIPT\n"
    "\n"
    "Exit status: 0 the script ended normally, 1 an error ended it, 2 it could not be\n"
    "started, 130 it was cancelled.\n";

void complain(const std::string& text) { std::fprintf(stderr, "tov: %s\n", text.c_str()); }

// Reads the whole script; "-" is standard input, read as bytes like a file.
bool read_script(const std::string& name, std::string& text) {
  const bool from_stdin = name == "-";
  const std::string what = from_stdin ? "the script from standard input" : "script '" + name + "'";
#if defined(_WIN32)
  if (from_stdin) _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::FILE* f = from_stdin ? stdin : std::fopen(name.c_str(), "rb");
  if (!f) {
    complain("cannot open " + what + ": " + std::strerror(errno));
    return false;
  }
  char chunk[65536];
  size_t n;
  errno = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  const bool failed = std::ferror(f) != 0;
  const int reason = errno;
  if (!from_stdin) std::fclose(f);
  if (failed) complain("cannot read " + what + ": " + std::strerror(reason ? reason : EIO));
  return !failed;
}

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
      return tovhost::EXIT_NOT_STARTED;
    }
    std::memcpy(bytes, text.data(), text.size());
    plat::host_unlock(script);

    if (!ProcessDaBatBuffer(nullptr, context, script, nullptr, nullptr)) {
      complain("script '" + name + "' could not be started");
      return tovhost::EXIT_NOT_STARTED;
    }
    const auto* header = static_cast<const tov::RunContextHeader*>(plat::host_lock(context));
    if (!header) {
      complain("cannot read the outcome of the run");
      return tovhost::EXIT_ERROR;
    }
    const int status = tovhost::exit_status(*header);
    plat::host_unlock(context);
    return status;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const tovhost::CommandLine cl = tovhost::parse_command_line(argc, argv);
  switch (cl.action) {
    case tovhost::CommandLine::Help:
      std::fputs(USAGE, stdout);
      return tovhost::EXIT_NORMAL;
    case tovhost::CommandLine::Version:
      std::puts("tov " TOV_VERSION_STRING);
      return tovhost::EXIT_NORMAL;
    case tovhost::CommandLine::UsageError:
      complain(cl.error);
      std::fputs("Try 'tov --help' for more information.\n", stderr);
      return tovhost::EXIT_NOT_STARTED;
    case tovhost::CommandLine::Run:
      break;
  }

  std::string text;
  if (!read_script(cl.script, text)) return tovhost::EXIT_NOT_STARTED;

#if defined(_WIN32)
  const bool console = cl.console;
#else
  const bool console = true;    // Linux has no message boxes: the console is the only user interface
#endif
  EngineSession session;
  const std::string file_name = cl.script == "-" ? "" : cl.script;
  if (!session.start(console, file_name, argc - cl.first_arg, argv + cl.first_arg))
    return tovhost::EXIT_NOT_STARTED;
  return session.run(text, cl.script == "-" ? "(standard input)" : cl.script);
}
