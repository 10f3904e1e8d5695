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

// --- Services of the language core for extenders. They work on the locked run context, which an extender
// reaches through the context handle of its service block. ---------------------------------------------

#include "builtins/ymdhms.h"
#include "ext/services.h"
#include "lang/arrays.h"
#include "lang/eval.h"
#include "lang/heap.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"

namespace {
tov::RunContext* as_context(void* context) { return static_cast<tov::RunContext*>(context); }
}  // namespace

TOV_API void TOV_CALL get_token(void* context) { tov::get_token(as_context(context)); }
TOV_API void TOV_CALL putback(void* context) { tov::putback(as_context(context)); }
TOV_API void TOV_CALL get_string_token(void* context) { tov::get_string_token(as_context(context)); }
TOV_API uint32_t TOV_CALL VMalloc(void* context, uint32_t n) { return tov::VMalloc(as_context(context), n); }
TOV_API void TOV_CALL VFree(void* context, uint32_t offset) { tov::VFree(as_context(context), offset); }
TOV_API uint32_t TOV_CALL find_var(void* context, const char* name, uint32_t report) {
  return tov::find_var(as_context(context), name, report);
}
TOV_API int32_t TOV_CALL MyVariantStrToNum(const char* name, uint32_t* cls) { return tov::MyVariantStrToNum(name, cls); }
TOV_API void TOV_CALL ProcessSubExpression(void* context, tov::Value* result, uint32_t assign, uint32_t pointer_target,
                                           void*) {
  tov::ProcessSubExpression(as_context(context), result, assign != 0, pointer_target != 0);
}
TOV_API int32_t TOV_CALL CreateMyArray(void* context, tov::Value* result, int32_t d1, int32_t d2, int32_t d3, int32_t d4,
                                       int32_t d5, uint32_t kind, int32_t given) {
  return tov::CreateMyArray(as_context(context), result, d1, d2, d3, d4, d5, uint8_t(kind), given);
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
TOV_API int32_t TOV_CALL ViperAnswer(int32_t status, int32_t reserved, tov::ServiceBlock* block, tov::ExtValue* value) {
  return tov::viper_answer(status, reserved, block, value);
}

// --- Data decompression for hosts: a zlib stream into the caller's buffer. ---------------------------------

#include "builtins/binary.h"

TOV_API int32_t TOV_CALL UncompressBuffer(const void* source, uint32_t source_size, void* target,
                                          uint32_t target_size) {
  return tov::uncompress_buffer(source, source_size, target, target_size);
}
