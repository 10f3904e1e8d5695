// The exported entry points of the Engine: thin wrappers with the hosts' calling convention.
#include "engine/lifecycle.h"
#include "engine/tovengine.h"
#include "resources/strings.h"

#if defined(_WIN32)
// The platform layer finds the Engine's module by address; the entry point only confirms every reason.
extern "C" int TOV_CALL DllMain(void*, uint32_t, void*) { return 1; }
#endif

TOV_API uint32_t TOV_CALL DoDaDllInit(void* hwnd, void* hContext, uintptr_t a2, int16_t phase, uintptr_t a4,
                                      const char* text5, void* p6) {
  return tov::engine_init(hwnd, hContext, a2, phase, a4, text5, p6);
}

TOV_API uint32_t TOV_CALL ProcessDaBatBuffer(void* hwnd, void* hContext, void* hScript, void* lpfnHost,
                                             void* lpHostKeywords) {
  return tov::engine_run(hwnd, hContext, hScript, lpfnHost, lpHostKeywords);
}

TOV_API uint32_t TOV_CALL HotKeyCheck(void* hContext, void* hwnd, uint32_t message, uint32_t key,
                                      void* hotkeyTable) {
  return tov::hotkey_check(hContext, hwnd, message, key, hotkeyTable);
}

TOV_API int32_t TOV_CALL LoadMyString(void* context, void*, uint32_t id, char* buffer, int32_t size) {
  return tov::load_string(static_cast<tov::RunContext*>(context), id, buffer, size);
}

TOV_API int32_t TOV_CALL LoadMyStringW(void* context, void*, uint32_t id, char16_t* buffer, int32_t size) {
  return tov::load_string_w(static_cast<tov::RunContext*>(context), id, buffer, size);
}
