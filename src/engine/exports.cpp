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

// --- Services of the language core for extenders. They work on the run context that the context handle
// of a service block names, locked for the call. ---------------------------------------------------------

#include "builtins/ymdhms.h"
#include "engine/context_lock.h"
#include "ext/services.h"
#include "lang/arrays.h"
#include "lang/eval.h"
#include "lang/heap.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"

using tov::ContextLock;

TOV_API void TOV_CALL get_token(void* context) {
  ContextLock lock(context);
  if (lock.get()) tov::get_token(lock.get());
}
TOV_API void TOV_CALL putback(void* context) {
  ContextLock lock(context);
  if (lock.get()) tov::putback(lock.get());
}
TOV_API void TOV_CALL get_string_token(void* context) {
  ContextLock lock(context);
  if (lock.get()) tov::get_string_token(lock.get());
}
TOV_API uint32_t TOV_CALL VMalloc(void* context, uint32_t n) {
  ContextLock lock(context);
  return lock.get() ? tov::VMalloc(lock.get(), n) : 0;
}
TOV_API void TOV_CALL VFree(void* context, uint32_t offset) {
  ContextLock lock(context);
  if (lock.get()) tov::VFree(lock.get(), offset);
}
TOV_API uint32_t TOV_CALL find_var(void* context, const char* name, uint32_t report) {
  ContextLock lock(context);
  return lock.get() && lock.get()->lpVars ? tov::find_var(lock.get(), name, report) : tov::SLOT_NONE;
}
TOV_API int32_t TOV_CALL MyVariantStrToNum(const char* name, uint32_t* cls) { return tov::MyVariantStrToNum(name, cls); }
TOV_API void TOV_CALL ProcessSubExpression(void* context, tov::Value* result, uint32_t assign, uint32_t pointer_target,
                                           void*) {
  ContextLock lock(context);
  if (lock.get()) tov::ProcessSubExpression(lock.get(), result, assign != 0, pointer_target != 0);
}
TOV_API int32_t TOV_CALL CreateMyArray(void* context, tov::Value* result, int32_t d1, int32_t d2, int32_t d3, int32_t d4,
                                       int32_t d5, uint32_t kind, int32_t given) {
  ContextLock lock(context);
  return lock.get() ? tov::CreateMyArray(lock.get(), result, d1, d2, d3, d4, d5, uint8_t(kind), given) : -1;
}
// The six fields year, month, day, hour, minute, second of a YmdHms text; nonzero on success.
TOV_API int32_t TOV_CALL ParseYMDHMS(const char* text, int32_t* fields, int32_t mode, int32_t expand_year) {
  if (!text || !fields) return 0;
  tov::Ymdhms t;
  const bool ok = tov::ymdhms_parse(text, &t, mode, expand_year != 0);
  const int32_t parsed[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
  for (int i = 0; i < 6; ++i) fields[i] = parsed[i];
  return ok ? 1 : 0;
}

// --- The extender service interface ----------------------------------------------------------------------

TOV_API int32_t TOV_CALL ViperAnswer(int32_t status, int32_t reserved, TovServiceBlock* block, TovValue* value) {
  return tov::viper_answer(status, reserved, block, value);
}
TOV_API intptr_t TOV_CALL DLLServices(void* context, int32_t request, intptr_t p2, intptr_t p3, intptr_t p4,
                                      intptr_t p5) {
  return tov::dll_services(context, request, p2, p3, p4, p5);
}
TOV_API int32_t TOV_CALL DllVarHandler(void* context, const char* name, TovValue* value, int32_t size,
                                       int32_t request) {
  return tov::dll_var_handler(context, name, value, size, request);
}
TOV_API int32_t TOV_CALL DllVarHandlerW(void* context, const uint16_t* name, TovValue* value, int32_t size,
                                        int32_t request) {
  return tov::dll_var_handler_w(context, name, value, size, request);
}
TOV_API int32_t TOV_CALL DllArrHandler(void* context, TovValue* array, int32_t i1, int32_t i2, int32_t i3, int32_t i4,
                                       int32_t i5, TovValue* element, int32_t size, int32_t request) {
  return tov::dll_arr_handler(context, array, i1, i2, i3, i4, i5, element, size, request);
}
TOV_API int32_t TOV_CALL DllArrayServices(void* context, TovValue* array, int32_t size, void* block,
                                          int32_t block_size, int32_t request) {
  return tov::dll_array_services(context, array, size, block, block_size, request);
}
TOV_API int32_t TOV_CALL DllStoreErrorInfo(void* context, const char* text) {
  return tov::dll_store_error_info(context, text);
}
TOV_API intptr_t TOV_CALL DllBinaryServices(void* context, int32_t buffer, int32_t size, int32_t request) {
  return tov::dll_binary_services(context, buffer, size, request);
}
TOV_API int32_t TOV_CALL DllArrayStringsToAnsi(void* context, TovValue* array, int32_t size) {
  return tov::dll_array_strings_to_ansi(context, array, size);
}
TOV_API int32_t TOV_CALL DllArrayStringsToUnicode(void* context, TovValue* array, int32_t size) {
  return tov::dll_array_strings_to_unicode(context, array, size);
}
TOV_API int32_t TOV_CALL DllArraySwapElements(void* context, TovValue* array, int32_t size, int32_t i1, int32_t i2,
                                              int32_t i3, int32_t i4, int32_t i5, int32_t j1, int32_t j2, int32_t j3,
                                              int32_t j4, int32_t j5) {
  return tov::dll_array_swap_elements(context, array, size, i1, i2, i3, i4, i5, j1, j2, j3, j4, j5);
}

// --- Data decompression for hosts: a zlib stream into the caller's buffer. ---------------------------------

#include "builtins/binary.h"

TOV_API int32_t TOV_CALL UncompressBuffer(const void* source, uint32_t source_size, void* target,
                                          uint32_t target_size) {
  return tov::uncompress_buffer(source, source_size, target, target_size);
}
