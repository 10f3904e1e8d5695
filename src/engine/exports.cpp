// Host entry points (being built).
#include "engine/context.h"
TOV_API uint32_t TOV_CALL DoDaDllInit(void*, void*, uintptr_t, int16_t, uintptr_t, const char*, void*) {
  return sizeof(tov::RunContext);
}
TOV_API uint32_t TOV_CALL ProcessDaBatBuffer(void*, void*, void*, void*, void*) { return 0; }
TOV_API uint32_t TOV_CALL HotKeyCheck(void*, void*, uint32_t, uint32_t, void*) { return 0; }
TOV_API int32_t TOV_CALL LoadMyString(void*, void*, uint32_t, char*, int32_t) { return 0; }
TOV_API int32_t TOV_CALL LoadMyStringW(void*, void*, uint32_t, char16_t*, int32_t) { return 0; }
