// Runs whole scripts through the host entry points, as a host does: a fresh run context per input, set up
// with DoDaDllInit, scripts run with ProcessDaBatBuffer, then shut down. An input holds sections that
// start with a line "#==run" (a script, run in order in the same context, so what one run leaves behind
// meets the next) or "#==file NAME" (a file written beside the scripts before they run, for Call and
// #include); text before the first section line is a script. The host refuses every built-in with effects
// outside the process (fuzz_policy.cpp), prompts read an empty standard input and answer Cancel, and a run
// is cancelled once it has executed too many statements.
#include <unistd.h>   // mkdtemp, getcwd, chdir

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/context.h"
#include "engine/tovengine.h"
#include "lang/heap.h"
#include "platform/memory.h"

using namespace tov;

namespace {

constexpr size_t MAX_RUNS = 3, MAX_FILES = 8, MAX_NAME = 24;
constexpr uint32_t STATEMENT_BUDGET = 5000;
constexpr uint16_t VARIABLE_SLOTS = 2048;
constexpr size_t HEAP_RESERVE = size_t(64) << 20, HEAP_INITIAL = 65536;

std::string g_dir;   // the folder of the scripts and their files, current while they run
std::string g_home;  // the fuzzer's own current folder (its corpus paths are relative to it)
RunContext* g_ctx = nullptr;
uint32_t g_statements = 0;

// Statement and pump notifications: past the budget the run is asked to stop, as Ctrl+Break would.
int32_t TOV_CALL host_callback(void*, void*, uint32_t, int32_t id, void*, void*, uint32_t*, void*, int32_t, void*) {
  if (id == -1 && g_ctx && ++g_statements > STATEMENT_BUDGET) g_ctx->hdr.bCancel = 1;
  return 0;
}

struct Section {
  bool file;
  std::string name, text;
};

// File names keep to letters, digits, '_' and '.', without a leading '.'.
std::string safe_name(const std::string& raw) {
  std::string name;
  for (char c : raw)
    if (name.size() < MAX_NAME && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c == '.' && !name.empty())))
      name += c;
  return name.empty() ? "f" : name;
}

std::vector<Section> split(const uint8_t* data, size_t size) {
  std::vector<Section> sections(1, Section{false, "", ""});
  size_t at = 0;
  while (at < size) {
    size_t end = at;
    while (end < size && data[end] != '\n') ++end;
    const std::string line(reinterpret_cast<const char*>(data + at), end - at);
    if (line.rfind("#==run", 0) == 0) sections.push_back({false, "", ""});
    else if (line.rfind("#==file ", 0) == 0) sections.push_back({true, safe_name(line.substr(8)), ""});
    else sections.back().text += line + (end < size ? "\n" : "");
    at = end + 1;
  }
  return sections;
}

uint32_t init(void* context, int16_t phase, uintptr_t a2, uintptr_t a4, const char* text5, void* p6) {
  return DoDaDllInit(nullptr, context, a2, phase, a4, text5, p6);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Prompts read standard input: with none, every prompt answers Cancel at once.
  if (!std::freopen("/dev/null", "r", stdin)) std::abort();
  // Scripts and their files live in a folder of this process, the current one while they run.
  char dir[] = "/tmp/tov-fuzz-script.XXXXXX";
  char home[4096];
  if (!mkdtemp(dir) || !getcwd(home, sizeof home)) std::abort();
  g_dir = dir;
  g_home = home;
  std::atexit([] { rmdir(g_dir.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (chdir(g_dir.c_str()) != 0) std::abort();
  const std::vector<Section> sections = split(data, size);
  std::vector<std::string> written;
  for (const Section& s : sections) {
    if (!s.file || written.size() >= MAX_FILES) continue;
    const std::string path = g_dir + "/" + s.name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(s.text.data(), 1, s.text.size(), f);
      std::fclose(f);
      written.push_back(path);
    }
  }

  const uint32_t context_size = init(nullptr, INIT_QUERY, uintptr_t(ENGINE_INTERFACE_LEVEL) << 8, 0, nullptr, nullptr);
  void* context = plat::host_alloc(context_size);
  const uint32_t slot_size = init(context, INIT_CONTEXT, 0, 0, "fuzz", nullptr);
  void* variables = plat::host_alloc(size_t(slot_size) * VARIABLE_SLOTS);
  init(context, INIT_VARIABLES, reinterpret_cast<uintptr_t>(variables), VARIABLE_SLOTS, nullptr, nullptr);
  void* heap = plat::vm_reserve(HEAP_RESERVE);
  uint32_t system_error = 0;
  if (!heap || !plat::vm_commit(heap, HEAP_INITIAL, &system_error)) std::abort();
  HeapInfo heap_info{sizeof(HeapInfo), uint32_t(HEAP_INITIAL), heap, HEAP_RESERVE};
  init(context, INIT_HEAP, reinterpret_cast<uintptr_t>(heap), HEAP_INITIAL, nullptr, &heap_info);
  init(context, INIT_HOST_OPTIONS, 0, HOST_CONSOLE_UI, nullptr, nullptr);

  g_ctx = static_cast<RunContext*>(plat::host_lock(context));
  size_t runs = 0;
  for (const Section& s : sections) {
    if (s.file || runs >= MAX_RUNS) continue;
    ++runs;
    g_statements = 0;
    g_ctx->nHostNotify = 3;   // pump and statement notifications
    init(context, INIT_SCRIPT_FILE, 0, 0, (g_dir + "/fuzz.tov").c_str(), nullptr);
    void* script = plat::host_alloc(s.text.size() + 2);
    std::memcpy(plat::host_lock(script), s.text.data(), s.text.size());
    plat::host_unlock(script);
    ProcessDaBatBuffer(nullptr, context, script, reinterpret_cast<void*>(&host_callback), nullptr);
    plat::host_free(script);
    if (!heap_check(g_ctx)) {
      std::fprintf(stderr, "string heap damaged after run %zu\n", runs);
      std::abort();
    }
  }
  plat::host_unlock(context);
  g_ctx = nullptr;

  init(context, INIT_SHUTDOWN, 0, 0, nullptr, nullptr);
  plat::vm_release(heap, HEAP_RESERVE);
  plat::host_free(variables);
  plat::host_free(context);
  for (const std::string& name : written) std::remove(name.c_str());
  if (chdir(g_home.c_str()) != 0) std::abort();
  return 0;
}
