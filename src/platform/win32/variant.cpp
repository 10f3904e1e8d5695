// The variant routines on Windows: the system's own, in the user's locale. A 64-bit system VARIANT is 24
// bytes; the Engine's record is its first 16, which hold every type the Engine keeps.
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include "platform/variant.h"

namespace plat {

namespace {

static_assert(sizeof(VARIANT) >= sizeof(VariantData));
static_assert(sizeof(DECIMAL) == sizeof(VariantData));

VARIANT to_system(const VariantData& v) {
  VARIANT s;
  VariantInit(&s);
  std::memcpy(&s, &v, sizeof v);
  return s;
}

VariantData from_system(const VARIANT& s) {
  VariantData v;
  std::memcpy(&v, &s, sizeof v);
  return v;
}

// The variant changed to a type by the system's rules, in the user's locale.
bool changed(const VariantData& v, VARTYPE type, VARIANT* out) {
  VARIANT source = to_system(v);
  VariantInit(out);
  return SUCCEEDED(VariantChangeTypeEx(out, &source, LOCALE_USER_DEFAULT, 0, type));
}

const OLECHAR* ole_text(const char16_t* text) { return reinterpret_cast<const OLECHAR*>(text); }

}  // namespace

bool variant_to_int32(const VariantData& v, int32_t* out) {
  VARIANT r;
  if (!changed(v, VT_I4, &r)) return false;
  *out = V_I4(&r);
  return true;
}

bool variant_to_double(const VariantData& v, double* out) {
  VARIANT r;
  if (!changed(v, VT_R8, &r)) return false;
  *out = V_R8(&r);
  return true;
}

bool variant_to_text(const VariantData& v, std::u16string* out) {
  VARIANT r;
  if (!changed(v, VT_BSTR, &r)) return false;
  const BSTR text = V_BSTR(&r);
  out->assign(reinterpret_cast<const char16_t*>(text ? text : L""), SysStringLen(text));
  VariantClear(&r);
  return true;
}

int32_t currency_to_text(int64_t currency, std::u16string* out) {
  CY cy;
  cy.int64 = currency;
  BSTR text = nullptr;
  const HRESULT hr = VarBstrFromCy(cy, LOCALE_USER_DEFAULT, 0, &text);
  if (FAILED(hr)) return int32_t(hr);
  out->assign(reinterpret_cast<const char16_t*>(text ? text : L""), SysStringLen(text));
  SysFreeString(text);
  return 0;
}

bool variant_time_to_fields(double date, int32_t fields[6]) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return false;
  const int32_t f[6] = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  std::memcpy(fields, f, sizeof f);
  return true;
}

bool fields_to_variant_time(const int32_t f[6], double* date) {
  // The system would take a year before 100 as a two-digit year.
  if (f[0] < 100) return false;
  for (int i = 1; i < 6; ++i)
    if (f[i] < 0 || f[i] > 0xFFFF) return false;
  SYSTEMTIME st = {};
  st.wYear = WORD(f[0] > 0xFFFF ? 0xFFFF : f[0]);
  st.wMonth = WORD(f[1]);
  st.wDay = WORD(f[2]);
  st.wHour = WORD(f[3]);
  st.wMinute = WORD(f[4]);
  st.wSecond = WORD(f[5]);
  return SystemTimeToVariantTime(&st, date) != 0;
}

bool text_to_currency(const char16_t* text, int64_t* out) {
  CY cy;
  if (FAILED(VarCyFromStr(const_cast<OLECHAR*>(ole_text(text)), LOCALE_USER_DEFAULT, 0, &cy))) return false;
  *out = cy.int64;
  return true;
}

bool text_to_decimal(const char16_t* text, VariantData* out) {
  DECIMAL d;
  if (FAILED(VarDecFromStr(const_cast<OLECHAR*>(ole_text(text)), LOCALE_USER_DEFAULT, 0, &d))) return false;
  std::memcpy(out, &d, sizeof d);
  out->vt = VT_DECIMAL;
  return true;
}

bool text_to_date(const char16_t* text, double* out) {
  return SUCCEEDED(VarDateFromStr(const_cast<OLECHAR*>(ole_text(text)), LOCALE_USER_DEFAULT, 0, out));
}

bool bstr_variant(const char16_t* text, size_t length, VariantData* out) {
  if (length > 0x3FFFFFF0u) return false;
  const BSTR bstr = SysAllocStringLen(ole_text(text), UINT(length));
  if (!bstr) return false;
  *out = VariantData{};
  out->vt = VT_BSTR;
  set_variant_pointer(*out, bstr);
  return true;
}

size_t bstr_length(const char16_t* bstr) {
  return SysStringLen(const_cast<BSTR>(reinterpret_cast<const OLECHAR*>(bstr)));
}

ByteArrayResult byte_array_variant(const uint8_t* bytes, size_t count, VariantData* out) {
  if (count > 0x7FFFFFFFu) return BYTE_ARRAY_NO_MEMORY;
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, ULONG(count));
  if (!a) return BYTE_ARRAY_NO_MEMORY;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(a, &data))) {
    SafeArrayDestroy(a);
    return BYTE_ARRAY_NO_ACCESS;
  }
  if (count) std::memcpy(data, bytes, count);
  SafeArrayUnaccessData(a);
  *out = VariantData{};
  out->vt = VT_ARRAY | VT_UI1;
  set_variant_pointer(*out, a);
  return BYTE_ARRAY_OK;
}

bool byte_array_bytes(const VariantData& v, std::string* out) {
  auto* a = static_cast<SAFEARRAY*>(variant_pointer(v));
  LONG lower = 0, upper = -1;
  if (v.vt != (VT_ARRAY | VT_UI1) || !a || SafeArrayGetDim(a) != 1 || FAILED(SafeArrayGetLBound(a, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(a, 1, &upper)))
    return false;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(a, &data))) return false;
  out->assign(static_cast<const char*>(data), size_t(upper - lower + 1));
  SafeArrayUnaccessData(a);
  return true;
}

void variant_clear(VariantData* v) {
  VARIANT s = to_system(*v);
  VariantClear(&s);
  *v = VariantData{};
}

bool variant_copy(VariantData* dst, const VariantData& src) {
  VARIANT source = to_system(src), copy;
  VariantInit(&copy);
  if (FAILED(VariantCopy(&copy, &source))) return false;
  *dst = from_system(copy);
  return true;
}

}  // namespace plat
