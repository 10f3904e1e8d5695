#include "builtins/array_support.h"

#include <cstring>

#include "diag/errors.h"
#include "lang/heap.h"
#include "lang/values.h"

namespace tov {

ArrayHeader* arg_array(RunContext* ctx, ArgBlock& a, int n) {
  ArrayHeader* h = array_header(a.slot[n].c.str);
  if (!h) ctx->err = ERR_ARR_ACCESS;
  return h;
}

bool element_number(const ArrayHeader* h, const int32_t* subs, uint32_t* number) {
  uint64_t k = 0;
  for (int i = 0; i < ARRAY_MAX_DIMS; ++i) {
    if (i >= h->rank) {
      if (subs[i]) return false;
      continue;
    }
    if (subs[i] < 0 || uint32_t(subs[i]) >= h->dims[i]) return false;
    k = k * h->dims[i] + uint32_t(subs[i]);
  }
  if (!h->rank || k >= h->count) return false;
  *number = uint32_t(k);
  return true;
}

bool store_element(RunContext* ctx, ValueCore& e, const ValueCore& v) {
  ValueCore copy{};
  if (!value_copy(ctx, v, copy, VCOPY_DUP_STRINGS | VCOPY_DUP_VARIANT)) return false;
  value_free(ctx, e);
  e = copy;
  return true;
}

void next_subscripts(const ArrayHeader* h, int32_t* subs) {
  for (int i = h->rank; i-- > 0;) {
    if (uint32_t(++subs[i]) < h->dims[i]) return;
    subs[i] = 0;
  }
}

ElementText::ElementText(RunContext* ctx, const ValueCore& e, bool wide) : ctx_(ctx), wide_(wide) {
  // A shallow copy gains the missing form; only a string made here is freed here.
  ValueCore t = e;
  const uint32_t flag = wide ? VF_WSTRING : VF_STRING;
  const uint16_t before = ctx->err;
  if (!(wide ? to_wstring(ctx, t) : to_string(ctx, t))) {
    if (ctx->err == before) ctx->err = wide ? ERR_NOT_UNICODE : ERR_NOT_STRING;
    return;
  }
  text_ = wide ? t.wstr : t.str;
  if (!(e.type & flag)) made_ = text_;
}

ElementText::~ElementText() {
  if (made_) VFree(ctx_, made_);
}

const char* ElementText::ansi() const { return str_at(ctx_, text_); }
const char16_t* ElementText::wide() const { return wstr_at(ctx_, text_); }
size_t ElementText::bytes() const { return wide_ ? wstr_len(wide()) * sizeof(char16_t) : std::strlen(ansi()); }

}  // namespace tov
