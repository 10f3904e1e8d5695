// The Engine's host interface: entry points, initialisation phases and the records a host shares with it.
// Hosts include this header only; everything else about a run stays inside the Engine.
#pragma once
#include <cstdint>

#if defined(_WIN32)
#define TOV_CALL __stdcall
#define TOV_EXPORT
#else
#define TOV_CALL
#define TOV_EXPORT __attribute__((visibility("default")))
#endif
#define TOV_API extern "C" TOV_EXPORT

namespace tov {

// The interface level a host must give in bits 8-15 of the interface word of INIT_QUERY.
constexpr uint32_t ENGINE_INTERFACE_LEVEL = 19;

enum InitPhase : int16_t {
  INIT_QUERY = 0,        // a2: interface word -> size of the run context in bytes (0: incompatible)
  INIT_CONTEXT = 1,      // text5: host identification -> size of one variable slot
  INIT_VARIABLES = 2,    // hwnd, a2: variable-table handle, a4: its capacity in slots -> 1
  INIT_HEAP = 3,         // a2: string-heap base address, a4: committed size, p6: HeapInfo* -> 1
  INIT_SHUTDOWN = 99,    // p6: host callback -> 1
  // Host extensions of this Engine (a host that does not use them behaves as before):
  INIT_HOST_OPTIONS = 20,  // a4: HostOptionFlags -> 1
  INIT_SCRIPT_FILE = 21,   // text5: file name of the script in the next host buffer ("" clears) -> 1
  INIT_PARAMETERS = 22,    // a4: count n, p6: array of n NUL-terminated strings -> param0..paramN; 1
};

enum HostOptionFlags : uint32_t {
  HOST_CONSOLE_UI = 1,   // message boxes, prompts and error reports use standard input and output
};

// The host's description of the string heap. The host reserves the address range; the Engine commits it
// from the base as the heap grows and keeps base and committed size current.
struct HeapInfo {
  uint32_t cbSize;              // sizeof(HeapInfo)
  uint32_t committed;           // bytes committed from the base
  void* base;                   // base address of the reservation
  uint64_t reserved;            // bytes reserved; growth stops there (0: unknown, growth tries anyway)
};

// The first fields of every run context, readable by the host after a run.
struct RunContextHeader {
  uint32_t cbSize;              // size of the whole context
  int32_t nRunResult;           // 1 ran to its end, 0 stopped (Exit, Terminate, cancel, error), -1 Return
  uint32_t nRunError;           // the error or status number current when the run ended
  uint32_t bCancel;             // a stop was requested (Ctrl+Break, Cancel)
  uint32_t nExtendedCode;       // the second number of errors that carry one
};

// The host's callback for host-defined functions, commands and notifications. id is the host keyword
// code minus 1000, or a negative notification id.
using HostCallback = int32_t(TOV_CALL*)(void* owner, void* host_module, uint32_t stamp, int32_t id,
                                        void* answer, void* service_block, uint32_t* private_word,
                                        void* args, int32_t argc, void* result);

// What a host keeps for each loaded menu file and passes to every menu entry point (16-bit words).
struct MenuFileState {
  uint16_t dosDate;             // the file's last write when it was loaded, as a DOS date and time
  uint16_t dosTime;
  char szFile[280];             // the file's name, NUL-terminated; replaced by the full path found
  uint16_t lastId;              // the last command id that LoadStandardMenu assigned
  uint16_t menuIndex;           // 0 for the first menu, 1, 2 ... for further ones (the letters A, B, C ...)
};
static_assert(sizeof(MenuFileState) == 288);

// The hotkeys of a host's menus: pairs of (key code, command id) that HotKeyCheck matches.
constexpr uint32_t HOTKEY_TABLE_PAIRS = 100;
struct HotkeyTable {
  uint8_t reserved[16];
  uint32_t count;
  uint16_t pairs[HOTKEY_TABLE_PAIRS][2];
};
static_assert(sizeof(HotkeyTable) == 420);

// The kind of menu that LoadStandardMenu builds; any other value is a menu to append to.
constexpr uintptr_t MENU_KIND_POPUP = 0, MENU_KIND_BAR = 1;
// ParseStandardMenu's answer when the menu file changed on disk since it was loaded.
inline void* const MENU_RELOAD = reinterpret_cast<void*>(intptr_t(-1));

}  // namespace tov

TOV_API uint32_t TOV_CALL DoDaDllInit(void* hwnd, void* hContext, uintptr_t a2, int16_t phase, uintptr_t a4,
                                      const char* text5, void* p6);
TOV_API uint32_t TOV_CALL ProcessDaBatBuffer(void* hwnd, void* hContext, void* hScript, void* lpfnHost,
                                             void* lpHostKeywords);
TOV_API uint32_t TOV_CALL HotKeyCheck(void* hContext, void* hwnd, uint32_t message, uint32_t key,
                                      void* hotkeyTable);
TOV_API int32_t TOV_CALL LoadMyString(void* context, void* instance, uint32_t id, char* buffer, int32_t size);
TOV_API int32_t TOV_CALL LoadMyStringW(void* context, void* instance, uint32_t id, char16_t* buffer,
                                       int32_t size);
// Reads a YmdHms text ("2024:03:09:14:05:59", or the date alone) into fields[6]: year, month, day, hour,
// minute, second. Mode 0 a duration (no range checks), 1 a datetime, 2 a date (hour 24 read as 0, the time
// not checked), 3 a time of day only. A nonzero expand_year reads a year of one or two digits as 1950..2049.
// Nonzero on success; on failure the fields are all 0.
TOV_API int32_t TOV_CALL ParseYMDHMS(const char* text, int32_t* fields, int32_t mode, int32_t expand_year);

// Menu files: LoadStandardMenu builds a menu from a menu file and registers its hotkeys; ParseStandardMenu
// returns the code of a chosen item (or the leading code) as a host block the caller frees, 0, or
// MENU_RELOAD; MenuSelectProcessing leaves the help text of a highlighted item in the buffer.
TOV_API void* TOV_CALL LoadStandardMenu(void* hContext, void* hwnd, uint32_t firstId, uint32_t lastId,
                                        tov::MenuFileState* state, const char* caption, void* hotkeyTable,
                                        uintptr_t menuKind);
TOV_API void* TOV_CALL ParseStandardMenu(void* hContext, void* hwnd, uint32_t chosenId, uint32_t leadingCode,
                                         uint32_t firstId, uint32_t reserved, tov::MenuFileState* state,
                                         const char* caption);
TOV_API int32_t TOV_CALL MenuSelectProcessing(void* hContext, void* hwnd, uintptr_t wparam, intptr_t lparam,
                                              uint32_t firstId, uint32_t lastId, char* buffer, int32_t size,
                                              const tov::MenuFileState* state, uint32_t useGivenMenu);
