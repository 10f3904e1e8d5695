#include "builtins/args.h"

#include "platform/text.h"

namespace tov {

std::u16string wide_of(RunContext* ctx, const char* text, size_t len) {
  const int need = len ? plat::ansi_to_wide(text, int(len), nullptr, 0, ctx->nCodePage) : 0;
  std::u16string w(need > 0 ? size_t(need) : 0, u'\0');
  if (need > 0) plat::ansi_to_wide(text, int(len), w.data(), need, ctx->nCodePage);
  return w;
}

std::string ansi_of(RunContext* ctx, const char16_t* text, size_t len) {
  const int need = len ? plat::wide_to_ansi(text, int(len), nullptr, 0, ctx->nCodePage) : 0;
  std::string s(need > 0 ? size_t(need) : 0, '\0');
  if (need > 0) plat::wide_to_ansi(text, int(len), s.data(), need, ctx->nCodePage);
  return s;
}

std::u16string arg_wide(RunContext* ctx, ArgBlock& a, int n) {
  const ValueCore& v = a.slot[n].c;
  if (v.type & VF_WSTRING) return std::u16string(wstr_at(ctx, v.wstr));
  if (!(v.type & VF_STRING)) return std::u16string();
  const char* s = str_at(ctx, v.str);
  return wide_of(ctx, s, std::char_traits<char>::length(s));
}

std::string arg_ansi(RunContext* ctx, ArgBlock& a, int n) {
  const ValueCore& v = a.slot[n].c;
  if (v.type & VF_STRING) return std::string(str_at(ctx, v.str));
  if (!(v.type & VF_WSTRING)) return std::string();
  const wchar* w = wstr_at(ctx, v.wstr);
  return ansi_of(ctx, w, wstr_len(w));
}

bool set_text_result(RunContext* ctx, Value* result, const std::u16string& text, bool wide) {
  if (wide) return set_wstring(ctx, result->c, text.data(), text.size());
  const std::string s = ansi_of(ctx, text.data(), text.size());
  return set_string(ctx, result->c, s.data(), s.size());
}

}  // namespace tov
