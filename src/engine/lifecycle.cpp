// The Engine's lifecycle: the initialisation phases of a run context, the start and end of one run, and
// the release of everything at shutdown.
#include "engine/lifecycle.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "builtins/binary.h"
#include "builtins/file_state.h"
#include "builtins/reg_support.h"
#include "builtins/launcher.h"
#include "diag/error_model.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "engine/context_lock.h"
#include "engine/pump.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "exec/run.h"
#include "exec/udf_call.h"
#include "exec/definitions.h"
#include "ext/dllcall.h"
#include "ext/extenders.h"
#include "lang/heap.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr const char* SETTINGS_FILE = "ZRKQUILL.INI";
constexpr uint32_t BUSY_WAIT_MS = 50;

// Serialises initialisation and shutdown across threads.
std::atomic<int> g_busy{0};

class BusyGuard {
 public:
  BusyGuard() {
    int expected = 0;
    while (!g_busy.compare_exchange_weak(expected, 1)) {
      expected = 0;
      plat::sleep_ms(BUSY_WAIT_MS);
    }
  }
  ~BusyGuard() { g_busy.store(0); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;
};

std::once_flag g_process_once;
bool g_classes_registered = false;
char g_menu_words[2][64];

void process_setup() {
  plat::os_info();
  // Ctrl+C and Ctrl+Break of a console become the run's stop request instead of ending the process.
  plat::install_break_handler();
  load_string(nullptr, 730, g_menu_words[0], sizeof g_menu_words[0]);
  load_string(nullptr, 731, g_menu_words[1], sizeof g_menu_words[1]);
  g_classes_registered = plat::register_window_classes();
}

// Copies at most max bytes of src, never splitting a multi-byte character.
void bounded_copy(char* dst, const char* src, size_t max) {
  size_t n = 0;
  if (src) {
    while (src[n]) {
      size_t cs = plat::char_size(src + n, std::strlen(src + n));
      if (n + cs > max) break;
      n += cs;
    }
    std::memcpy(dst, src, n);
  }
  dst[n] = 0;
}

// A script must not leave the user's input blocked or the host's thread at a raised priority.
void end_run_settings(RunContext* ctx) {
  if (ctx->bIgnoreInput) plat::block_input(false, nullptr);
  if (ctx->bExclusive) plat::thread_priority_raise(false);
  ctx->bIgnoreInput = ctx->bExclusive = 0;
}

void seed_random(RunContext* ctx) {
  uint32_t seed;
  do {
    uint32_t tick = plat::tick_count();
    seed = tick ? plat::unix_time() % tick : plat::unix_time();
  } while (seed == 1);
  ctx->randomSeed = seed;
  ctx->randomState = seed;
}

uint32_t init_context(RunContext* ctx, const char* host_name) {
  std::call_once(g_process_once, process_setup);
  if (!g_classes_registered) return 0;
  ctx->hdr.cbSize = sizeof(RunContext);
  bounded_copy(ctx->szHostName, host_name, sizeof ctx->szHostName - 1);
  ctx->bSounds = plat::settings_get_int(SETTINGS_FILE, "MAIN", "Sounds", 0) != 0;
  ctx->bPrettyDialogs = plat::settings_get_int(SETTINGS_FILE, "MAIN", "PrettyDialogs", 1) != 0;
  ctx->nIncludeMode = 3;
  ctx->nHostNotify = 0;
  ctx->nHotkeyDelay = 100;
  ctx->nDdeTimeout = 3000;
  ctx->nUdfBlocks = -1;
  ctx->nCurrentUdf = NO_UDF;
  ctx->bInDefinition = 0;
  ctx->nVarFrame = 0;
  for (uint16_t i = 0; i < VAR_FRAMES; ++i) ctx->aVarFrame[i] = VarFrame{i};
  ctx->nFirstFreeFrame = 1;
  ctx->hcurWait = plat::wait_cursor();
  ctx->hcurArrow = plat::arrow_cursor();
  ctx->hcurRun = ctx->hcurArrow;
  ctx->nCodePage = plat::CP_DEFAULT;
  ctx->decimals = -1;
  ctx->dlgDefaultX = ctx->dlgDefaultY = -1;
  ctx->bFourDigitYear = 1;
  value_init(ctx->resultSlot);
  error_state_init(ctx);
  file_settings_reset(ctx);
  ctx->nLastExitCode = EXIT_CODE_NONE;
  window_state_init(&ctx->win);
  seed_random(ctx);
  return sizeof(VarSlot);
}

uint32_t init_variables(RunContext* ctx, void* context_handle, void* hwnd, void* table, uintptr_t capacity) {
  ctx->hContext = context_handle;
  ctx->hVarTable = table;
  // Slot numbers 65534 and 65535 mark array elements and "none".
  ctx->nVarCapacity = uint16_t(capacity > 65534 ? 65534 : capacity);
  ctx->nVarUsed = 0;
  new_layout(ctx);
  VarFrame& f0 = ctx->aVarFrame[0];
  f0.number = 0;
  f0.tableId = uint32_t(reinterpret_cast<uintptr_t>(table));
  f0.sequence = ctx->nFrameSerial++;
  f0.tick = plat::tick_count();
  f0.capacity = ctx->nVarCapacity;
  f0.link = FRAME_LINK_NONE;
  auto* slots = static_cast<VarSlot*>(plat::host_lock(table));
  if (slots && ctx->nVarCapacity) {
    init_reserved_slot(&slots[0]);
    ctx->nVarUsed = 1;
  }
  if (slots) plat::host_unlock(table);
  f0.used = ctx->nVarUsed;
  ctx->hwndHost = hwnd;
  ctx->hwndOwner = plat::window_parent(hwnd) ? plat::window_parent(hwnd) : hwnd;
  PumpMessages(ctx);
  ctx->windowBottom = plat::default_window_bottom();
  return 1;
}

uint32_t init_heap(RunContext* ctx, void* base, uintptr_t size, void* heap_info) {
  if (!base) return 0;
  if (heap_info && *static_cast<const uint8_t*>(heap_info)) ctx->lpHeapInfo = static_cast<HeapInfo*>(heap_info);
  if (!heap_init(ctx, static_cast<char*>(base), uint32_t(size))) return 0;
  PumpMessages(ctx);
  size_t n = plat::current_directory(ctx->szCurDir, sizeof ctx->szCurDir);
  // The per-drive current directory variable ("=C:") exists only where paths start with a drive letter.
  if (n >= 2 && ctx->szCurDir[1] == ':') {
    char name[] = "=?:";
    name[1] = ctx->szCurDir[0];
    plat::env_set(name, ctx->szCurDir);
  }
  return 1;
}

uint32_t set_parameters(RunContext* ctx, uintptr_t count, void* list) {
  auto* args = static_cast<const char* const*>(list);
  if (count && !args) return 0;
  return set_script_parameters(ctx, args, count) ? 1 : 0;
}

uint32_t shutdown(RunContext* ctx, void* callback) {
  ctx->lpfnHost = callback;
  release_dll_loads(ctx);
  // Variables are walked in the host's table; it is locked here for the walk. Extenders are told to close
  // while they can still reach the variables.
  ctx->lpVars = static_cast<VarSlot*>(plat::host_lock(ctx->hVarTable));
  close_extenders(ctx);
  if (ctx->lpVars) {
    release_all_variables(ctx);
    plat::host_unlock(ctx->hVarTable);
    ctx->lpVars = nullptr;
  }
  unload_extenders(ctx);
  binary_free_all(ctx);
  close_all_files(ctx);
  release_udf_table(ctx);
  release_frames(ctx);
  linecache_release(ctx);
  if (ctx->hInfoBlock) {
    plat::mem_free(ctx->hInfoBlock);
    ctx->hInfoBlock = 0;
  }
  end_run_settings(ctx);
  registry_shutdown(ctx);
  for (int i = 0; i < 5; ++i) PumpMessages(ctx);
  return 1;
}

// Shows the cursor of the run's start or end; a short wait pumping messages first lets the host repaint.
void show_run_cursor(RunContext* ctx, plat::CursorHandle cursor) {
  ctx->hcurRun = cursor;
  if (plat::has_cursor()) Wait(ctx, 20);
  PumpMessages(ctx);
  plat::set_cursor(ctx->hcurRun);
}

}  // namespace

const char* menu_word(bool popup) { return g_menu_words[popup ? 0 : 1]; }

uint32_t engine_init(void* hwnd, void* hContext, uintptr_t a2, int16_t phase, uintptr_t a4, const char* text5,
                     void* p6) {
  BusyGuard busy;
  if (phase == INIT_QUERY) {
    if (((a2 >> 8) & 0xFF) == ENGINE_INTERFACE_LEVEL) return sizeof(RunContext);
    plat::message_box(plat::focus_window(), "Version Interface Incompatible", "DLL mismatch", plat::MB_OK_ONLY);
    return 0;
  }
  if (phase == INIT_HOST_OPTIONS) {
    // The console choice belongs to the process: it needs no context.
    if (a4 & HOST_CONSOLE_UI) plat::set_console_ui(true);
    return 1;
  }
  ContextLock lock(hContext);
  RunContext* ctx = lock.get();
  if (!ctx) return 0;
  switch (phase) {
    case INIT_CONTEXT:
      ctx->ext.hostData = a2;
      return init_context(ctx, text5);
    case INIT_VARIABLES: return init_variables(ctx, hContext, hwnd, reinterpret_cast<void*>(a2), a4);
    case INIT_HEAP: return init_heap(ctx, reinterpret_cast<void*>(a2), a4, p6);
    case INIT_SHUTDOWN: return shutdown(ctx, p6);
    case INIT_SCRIPT_FILE:
      if (text5 && std::strlen(text5) >= sizeof ctx->szHostScriptFile) return 0;
      std::strcpy(ctx->szHostScriptFile, text5 ? text5 : "");
      return 1;
    case INIT_PARAMETERS: {
      // Parameters are variables of the host's table, which is locked only during entry points.
      ctx->lpVars = static_cast<VarSlot*>(plat::host_lock(ctx->hVarTable));
      new_layout(ctx);
      if (!ctx->lpVars || !ctx->lpHeap) return 0;
      uint32_t r = set_parameters(ctx, a4, p6);
      plat::host_unlock(ctx->hVarTable);
      ctx->lpVars = nullptr;
      return r;
    }
    default: return 0;
  }
}

uint32_t engine_run(void* hwnd, void* hContext, void* hScript, void* lpfnHost, void* lpHostKeywords) {
  ContextLock lock(hContext);
  RunContext* ctx = lock.get();
  if (!ctx) return 0;
  ctx->hwndHost = hwnd;
  std::strcpy(ctx->szCurrentFile, ctx->szHostScriptFile);
  ctx->pCurrentFileOf = nullptr;
  ctx->hRunScript = nullptr;

  HeldScript hs;
  if (!PrepareHostBuffer(ctx, hScript, &hs)) return 0;
  ctx->lpVars = static_cast<VarSlot*>(plat::host_lock(ctx->hVarTable));
  new_layout(ctx);
  if (!ctx->lpVars) {
    FreeHeldScript(&hs);
    return 0;
  }
  ctx->aVarFrame[0].slots = ctx->lpVars;

  // The per-run state starts afresh; variables, functions and handles carry over.
  ctx->hdr.bCancel = 0;
  ctx->bCtrlBreak = 0;
  ctx->err = 0;
  ctx->nDeferredError = 0;
  ctx->nStructDepth = 0;
  ctx->bInLoop = 0;
  ctx->nPendingIf = -1;
  ctx->nCallDepth = 0;
  ctx->nUdfDepth = 0;
  // A run that ended inside an unclosed definition reported 3723; the next run reads its text afresh.
  ctx->bInDefinition = 0;
  ctx->bDuplicateDef = 0;
  ctx->bFastPump = 0;
  ctx->bFourDigitYear = 1;
  ctx->bReportBreak = 1;
  launcher_new_run(ctx);
  ctx->szButtonOk[0] = ctx->szButtonCancel[0] = 0;
  ctx->wszButtonOk[0] = ctx->wszButtonCancel[0] = 0;
  ctx->hRunScript = nullptr;
  error_state_new_run(ctx);
  debug_new_run(ctx);
  file_settings_reset(ctx);
  registry_run_start(ctx);
  ctx->lpfnHost = lpfnHost;
  ctx->lpHostKeywords = lpHostKeywords;
  ctx->hwndOwner = plat::window_parent(hwnd) ? plat::window_parent(hwnd) : hwnd;

  show_run_cursor(ctx, ctx->hcurWait);

  uint32_t line_start = 0, pos = 0;
  value_init(ctx->resultSlot);
  // The host's keyword table may differ from the last run's: names are read afresh.
  linecache_clear(ctx);
  RunLoop(ctx, &ctx->resultSlot, &hs, &line_start, &pos);
  debug_run_end(ctx, ctx->err);
  linecache_forget_script(ctx, hs.cacheKey);

  value_free(ctx, ctx->resultSlot);
  end_run_settings(ctx);
  ctx->hRunScript = nullptr;
  show_run_cursor(ctx, ctx->hcurArrow);
  plat::host_unlock(ctx->hVarTable);
  ctx->lpVars = nullptr;
  ctx->aVarFrame[0].slots = nullptr;
  FreeHeldScript(&hs);
  return 1;
}

}  // namespace tov
