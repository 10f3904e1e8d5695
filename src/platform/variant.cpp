// Variant routines that need nothing of the operating system.
#include "platform/variant.h"

#include <cstring>

namespace plat {

namespace {

// Bytes of a value of a base type that a reference points to; 0 for types that cannot be referred to.
size_t referred_size(uint16_t type) {
  switch (type) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    default: return 0;
  }
}

}  // namespace

bool variant_dereference(const VariantData& v, VariantData* out) {
  if (!(v.vt & VT_BYREF)) {
    *out = v;
    return true;
  }
  const void* target = variant_pointer(v);
  const uint16_t type = uint16_t(v.vt & ~VT_BYREF);
  if (!target) return false;
  VariantData value{};
  if (type == VT_VARIANT) {
    // The first 16 bytes of the variant referred to (the whole of a 32-bit one).
    std::memcpy(&value, target, sizeof value);
  } else if (type & VT_ARRAY) {
    std::memcpy(&value.ptr, target, sizeof(void*));
    value.vt = type;
  } else if (type == VT_DECIMAL) {
    // A decimal's first word is reserved, so the record holds it whole under the type.
    std::memcpy(&value, target, sizeof value);
    value.vt = VT_DECIMAL;
  } else if (const size_t size = referred_size(type)) {
    std::memcpy(&value.u64, target, size);
    value.vt = type;
  } else {
    return false;
  }
  *out = value;
  return true;
}

}  // namespace plat
