// Runs whole scripts through the host entry points, as a host does: a fresh run context per input, set up
// with DoDaDllInit, scripts run with ProcessDaBatBuffer, then shut down. An input holds sections that
// start with a line "#==run" (a script, run in order in the same context, so what one run leaves behind
// meets the next) or "#==file NAME" (a file written beside the scripts before they run, for Call and
// #include); text before the first section line is a script. The host refuses every built-in with effects
// outside the process (fuzz_policy.cpp), prompts read an empty standard input and answer Cancel, and a run
// is cancelled once it has executed too many statements.
//
// Each input runs twice, every line read as it runs and then with the compiled lines of the line cache:
// unless the scripts read the clock or random numbers, or run out of string space (compiled lines copy
// less, and strings they build hold room to grow), both must end the same way and leave the same variables.
#include <unistd.h>   // mkdtemp, getcwd, chdir

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diag/errors.h"
#include "engine/context.h"
#include "engine/tovengine.h"
#include "lang/heap.h"
#include "lang/values.h"
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

// Scripts whose outcome may change from one run to the next are not compared.
bool deterministic(const std::vector<Section>& sections) {
  for (const Section& s : sections) {
    std::string lower(s.text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* word : {"random", "time", "tick"})
      if (lower.find(word) != std::string::npos) return false;
  }
  return true;
}

// The variables a context's table holds, as sorted text.
std::string variables_of(RunContext* ctx, const VarSlot* slots, uint16_t used) {
  std::vector<std::string> vars;
  for (uint16_t i = 1; i < used; ++i) {
    const VarSlot& s = slots[i];
    if (!s.c.type) continue;
    std::string v(s.name, strnlen(s.name, VARNAME_BYTES - 1));
    v += " " + std::to_string(s.c.type);
    if (s.c.type & VF_INTEGER) v += " i" + std::to_string(s.c.i);
    if (s.c.type & VF_FLOAT) v += " f" + std::to_string(s.c.f);
    if ((s.c.type & VF_STRING) && s.c.str) {
      // A pointer's text holds its table's identity and a tick: only the name it points to is compared.
      const std::string text = str_at(ctx, s.c.str);
      v += text.rfind("#VAR$PTR#", 0) == 0 && text.size() >= 37 ? " pointer to " + text.substr(37) : " s" + text;
    }
    vars.push_back(v);
  }
  std::sort(vars.begin(), vars.end());
  std::string out;
  for (const std::string& v : vars) out += v + "\n";
  return out;
}

// Runs the scripts of an input in a fresh context; returns how each run ended and the variables left.
std::string run_input(const std::vector<Section>& sections, bool line_cache_off) {
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
  g_ctx->bLineCacheOff = line_cache_off;
  std::string result;
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
    result += "run " + std::to_string(g_ctx->hdr.nRunResult) + " " + std::to_string(g_ctx->hdr.nRunError) + " " +
              std::to_string(g_ctx->hdr.nExtendedCode) + "\n";
  }
  const uint16_t used = g_ctx->aVarFrame[0].used > g_ctx->nVarUsed ? g_ctx->aVarFrame[0].used : g_ctx->nVarUsed;
  result += variables_of(g_ctx, static_cast<const VarSlot*>(plat::host_lock(variables)), used);
  plat::host_unlock(variables);
  plat::host_unlock(context);
  g_ctx = nullptr;

  init(context, INIT_SHUTDOWN, 0, 0, nullptr, nullptr);
  plat::vm_release(heap, HEAP_RESERVE);
  plat::host_free(variables);
  plat::host_free(context);
  return result;
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

  if (deterministic(sections)) {
    const std::string read_each_time = run_input(sections, true);
    const std::string compiled = run_input(sections, false);
    const std::string out_of_strings = " " + std::to_string(ERR_OUT_OF_STRINGS) + " ";
    const bool memory_bound = read_each_time.find(out_of_strings) != std::string::npos ||
                              compiled.find(out_of_strings) != std::string::npos;
    if (!memory_bound && read_each_time != compiled) {
      std::fprintf(stderr, "compiled lines end differently:\n--- read each time\n%s--- compiled\n%s",
                   read_each_time.c_str(), compiled.c_str());
      std::abort();
    }
  } else {
    run_input(sections, false);
  }
  for (const std::string& name : written) std::remove(name.c_str());
  if (chdir(g_home.c_str()) != 0) std::abort();
  return 0;
}
