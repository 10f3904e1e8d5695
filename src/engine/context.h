// The run context: the state of one context and its runs. Hosts allocate it zero-filled with the size
// that INIT_QUERY returns, so every field must be plain data that is valid when zero until INIT_CONTEXT.
#pragma once
#include <cstdint>
#include <cstring>
#include "builtins/binary.h"
#include "builtins/file_state.h"
#include "diag/debug_state.h"
#include "diag/error_state.h"
#include "engine/script.h"
#include "engine/tovengine.h"
#include "exec/structs.h"
#include "exec/udf.h"
#include "ext/ext_state.h"
#include "lang/token.h"
#include "lang/value.h"
#include "platform/memory.h"
#include "platform/ui.h"
#include "win/state.h"

namespace tov {

struct LineCache;
struct RegKeyList;

constexpr uint32_t VAR_FRAMES = 101;          // frame 0 is the host's table, 1..100 call levels
constexpr uint16_t FRAME_LINK_NONE = 65535;
constexpr int LENT_TEXTS = 4;                  // string constants of one expression lent at once
// Blocks for lent constants: the expressions compiled one after another take them in turn, so that the lines
// of a loop keep a block each.
constexpr int LENT_BLOCKS = 16;

// A name made in a slot of a table whose layout number was from, and the number the table took then.
struct LayoutStep {
  LayoutNumber from, to;   // to 0: unused
  uint16_t slot;
  uint8_t appended;    // at the end of a table whose slots were all in use
  uint64_t name[VARNAME_BYTES / 8];   // zero-padded, the flag byte cleared
};
constexpr uint32_t LAYOUT_STEPS = 64;

struct VarFrame {
  uint16_t number;
  uint32_t tableId;        // identity of its table: the table's block id (frame 0: the host handle's low bits)
  uint32_t sequence;       // nFrameSerial when made
  uint32_t tick;           // tick count when made
  uint16_t capacity;
  uint16_t used;
  uint16_t link;
  plat::MemId table;       // frames 1..100: the table's block; frame 0 uses hVarTable
  VarSlot* slots;          // the table while the frame exists
  plat::MemId spare;       // a zero-filled table kept from the frame's last use, for the next call
  uint16_t spareCapacity;
  VarSlot* spareSlots;     // the spare table's address (it stays locked)
  LayoutNumber layout;     // nVarLayout when another table became current (tables change only while current)
};

struct RunContext {
  RunContextHeader hdr;    // first, so hosts can read a run's outcome

  // --- host interface (spine) ---
  void* hContext;
  plat::WindowHandle hwndHost;
  plat::WindowHandle hwndOwner;
  void* lpfnHost;                  // HostCallback of the current run
  const void* lpHostKeywords;      // HostKeywordTable of the current run
  char szHostName[20];
  HeapInfo* lpHeapInfo;
  void* hVarTable;                 // host handle of the global table
  VarSlot* lpVars;                 // the current frame's table
  uint16_t nVarCapacity, nVarUsed; // of the current frame's table
  char* lpHeap;                    // string-heap base
  uint32_t heapSize;               // committed bytes
  uint32_t heapEnd;                // offset of the end marker
  VarFrame aVarFrame[VAR_FRAMES];
  uint16_t nVarFrame;
  uint16_t nFirstFreeFrame;        // frames 1 up to this one (excluded) are all in use
  uint32_t nFrameSerial;
  char szCurrentFile[260];
  // The function record whose file name szCurrentFile holds a copy of (records live as long as the context);
  // null when not known. Spares comparing the names at every call of a function.
  const char* pCurrentFileOf;
  char szCurDir[2050];
  char szHostScriptFile[260];      // file name the host gave for its next buffer (INIT_SCRIPT_FILE)
  uint32_t nIncludeMode;
  uint32_t nHostNotify;
  uint32_t bCtrlBreak;
  uint32_t bReportBreak;
  uint32_t nBreakFlags;
  uint32_t nPumpFlags;
  uint32_t bFastPump;
  uint32_t nLastPumpTick;          // tick of the last pump that asked the system
  uint32_t nHotkeyDelay;
  uint32_t bDebugOutput;
  plat::CursorHandle hcurWait, hcurArrow, hcurRun;
  plat::MemId hInfoBlock;
  uint32_t nDdeTimeout;
  uint32_t bSounds;
  uint32_t bPrettyDialogs;
  uint32_t nCodePage;              // code page of ANSI <-> wide conversions of this context
  uint32_t randomSeed;
  uint64_t randomState;            // the Random built-in's generator, seeded from randomSeed
  uint32_t bIgnoreInput;           // IgnoreInput blocked the user's input; unblocked when the run ends
  uint32_t bExclusive;             // Exclusive raised the thread's priority; put back when the run ends
  int32_t windowBottom;            // bottom edge of a default-placed top-level window
  uint32_t bFourDigitYear;         // YmdHms results carry four-digit years (IntControl 41); on per run

  // --- program launching ---
  uint32_t nIdleTimeout;           // ms to wait for a started program to be ready for input (0: no wait)
  uint32_t nCreateFlags;           // process creation flags of the Run family
  uint32_t nLastExitCode;          // exit code of the last waited-for program, 99999 when none

  // --- tokenizer ---
  TokenState tok;
  uint32_t nDiagMode;              // 12: every keyword lookup first shows its bucket bounds

  // --- errors ---
  uint16_t err;                    // current error or status number, 0 none
  ErrorState es;
  DebugState dbg;                  // the debug trace and the step debugger

  // --- statement execution ---
  StructRecord aStruct[STRUCT_STACK_SIZE];
  uint32_t nStructDepth;
  uint32_t bInLoop;
  int32_t nPendingIf;
  uint16_t nDeferredError;
  uint32_t nStmtClass;
  uint32_t bBranch;
  char* szLine;
  uint32_t nLineStart;
  const HeldScript* hRunScript;
  uint16_t nRunUdf;
  const HeldScript* curScript;     // the HeldScript of the running RunLoop
  int32_t decimals;                // Decimals setting: -1 initially, -2, -3, or digits
  Value resultSlot;                // the statement result slot of the context
  char szButtonOk[64];             // texts of ButtonNames, used by the next box that has the button
  char szButtonCancel[64];
  char16_t wszButtonOk[64];
  char16_t wszButtonCancel[64];
  int32_t dlgDefaultX, dlgDefaultY;  // where dialogs without a position of their own go, DLU; -1 none

  // --- registry ---
  uint32_t nRegOpenFlags;          // RegOpenFlags setting of the run: 0, 1, 2, 32 or 64
  RegKeyList* pRegKeys;            // keys the context opened, with their remote marks; closed at shutdown

  // --- user-defined functions ---
  plat::MemId aUdfBlock[UDF_BLOCKS];
  UdfRecord* apUdf[UDF_MAX];       // record pointers (blocks stay locked while the context lives)
  int32_t nUdfCount;
  int32_t nUdfBlocks;
  uint16_t nCurrentUdf;
  uint32_t bInUdf;
  uint32_t bInDefinition;
  uint32_t bDuplicateDef;
  uint32_t nUdfDepth;
  uint32_t nCallDepth;
  uint32_t nTopTarget;

  // --- window lookup and keystroke sending ---
  WindowState win;
  // --- built-in families ---
  BinaryTable binaries;            // freed at shutdown
  FileState files;                 // FileOpen's table and the file built-ins' settings

  // --- compiled lines ---
  LineCache* lineCache;            // made at the first run, released at shutdown
  uint32_t bLineCacheOff;          // every line is read as it runs (tests compare the two ways)
  // The current table's layout number: tables with the same number hold the same names in the same slots,
  // so a slot found for a name stays that name's while the number is unchanged. It changes whenever a name is
  // made or goes, or another table becomes current.
  LayoutNumber nVarLayout;
  LayoutNumber nLayoutSerial;      // the last layout number given
  // The numbers names made before led to: a table filled as another was (a function's frame on every call)
  // takes the same numbers.
  LayoutStep aLayoutStep[LAYOUT_STEPS];
  int32_t nCompiledActive;         // compiled statements running now: the cache keeps its entries meanwhile
  uint32_t nPumpSkip;              // statements to run before the next one asks the system for messages
  // Blocks of the string heap holding copies of string constants that compiled lines lend to pure built-ins
  // and comparisons (their usable bytes beside), kept from one statement to the next; freed at a run's end.
  uint32_t lentText[LENT_BLOCKS];
  uint32_t lentCapacity[LENT_BLOCKS];
  // The constant each block holds (its place among a compiled line's strings, under the line cache's epoch
  // lentEpoch): a block lent again for the same constant already holds it.
  const char* lentFrom[LENT_BLOCKS];
  uint32_t lentEpoch[LENT_BLOCKS];
  uint32_t nLentNext;              // the block the next compiled expression's first lent constant takes
  // A compiled line's text is copied into szLine only when something reads it (an error, a trace).
  const char* pendingLine;
  uint32_t nPendingLineLength;
  // Where the last item read from a list began, so that reading the items of an unchanged list one after
  // another does not walk it from its start each time. The list is known by its string's heap offset,
  // forgotten when that string is freed.
  struct {
    uint32_t text;         // heap offset of the list's string, 0 none
    uint32_t length;       // in units
    uint32_t wide;
    uint32_t delimiterLength;
    char16_t delimiter[4];
    int32_t index;         // item number
    uint32_t at;           // where that item starts, in units
  } itemMark;
  // The length of one ANSI string of the heap, the one an appending statement or an item-list built-in last
  // measured, so that a list built piece by piece and read item by item is not measured again at every step.
  // Forgotten when that string is freed; an append in place sets it anew.
  struct {
    uint32_t text;         // heap offset of the string, 0 none
    uint32_t length;       // in bytes
  } lengthMark;

  // --- extenders and foreign function calls ---
  ExtState ext;
};

inline bool ctx_failed(const RunContext* ctx) { return ctx->err != 0; }

// Makes szLine hold the running line's text (a compiled line's copy is made on demand).
inline void ensure_line(RunContext* ctx) {
  if (!ctx->pendingLine) return;
  std::memcpy(ctx->szLine, ctx->pendingLine, ctx->nPendingLineLength);
  ctx->szLine[ctx->nPendingLineLength] = 0;
  ctx->pendingLine = nullptr;
}

// The innermost structured block is one whose statements are being skipped.
inline bool block_is_skipping(const RunContext* ctx) {
  return ctx->nStructDepth && ctx->aStruct[ctx->nStructDepth - 1].state != 0;
}

}  // namespace tov
