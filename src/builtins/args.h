// Reading the arguments of a built-in and setting its result.
#pragma once
#include <cstdint>
#include <string>

#include "builtins/callframe.h"
#include "engine/context.h"
#include "lang/values.h"

namespace tov {

inline int32_t arg_int(ArgBlock& a, int n) { return a.slot[n].c.i; }
inline double arg_float(ArgBlock& a, int n) { return a.slot[n].c.f; }
inline const char* arg_str(RunContext* ctx, ArgBlock& a, int n) { return str_at(ctx, a.slot[n].c.str); }
inline const wchar* arg_wstr(RunContext* ctx, ArgBlock& a, int n) { return wstr_at(ctx, a.slot[n].c.wstr); }

// Text converted with the run's code page.
std::u16string wide_of(RunContext* ctx, const char* text, size_t len);
std::string ansi_of(RunContext* ctx, const char16_t* text, size_t len);
inline std::string ansi_of(RunContext* ctx, const std::u16string& text) { return ansi_of(ctx, text.data(), text.size()); }

// A text argument in wide form, whichever form it arrived in.
std::u16string arg_wide(RunContext* ctx, ArgBlock& a, int n);
// A text argument in ANSI form, whichever form it arrived in.
std::string arg_ansi(RunContext* ctx, ArgBlock& a, int n);

// Sets a text result: wide in a wide call, ANSI otherwise (converted with the context's code page).
bool set_text_result(RunContext* ctx, Value* result, const std::u16string& text, bool wide);

}  // namespace tov
