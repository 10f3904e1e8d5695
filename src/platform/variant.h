// COM VARIANTs: the 16-byte record that values carry, and the system's variant routines on it. Windows uses
// the system's own routines in the user's locale. POSIX supplies the same conversions for the English
// (United States) conventions: "." as decimal point, "," between thousands, "$" as currency sign, dates
// written month/day/year or year-month-day.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// Variant types of the COM automation standard.
enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,          // currency: a 64-bit integer of ten-thousandths
  VT_DATE = 7,        // days since 1899-12-30, the fraction the time of day
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,       // 16 bits: -1 true, 0 false
  VT_VARIANT = 12,    // only by reference: a pointer to another variant
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,    // fills the whole record (see below)
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_TYPEMASK = 0x0FFF,
  VT_ARRAY = 0x2000,  // a SAFEARRAY of the base type
  VT_BYREF = 0x4000,  // a pointer to a value of the base type
};

#pragma pack(push, 4)

// The first 16 bytes of a system VARIANT, the whole of it in 32-bit builds. A decimal keeps its scale
// (digits after the point, 0..28) in the low byte of reserved1 and its sign (0x80 negative) in the high
// byte, the high 32 bits of its 96-bit magnitude in reserved2 (low half) and reserved3, the low 64 in u64.
struct VariantData {
  uint16_t vt;
  uint16_t reserved1, reserved2, reserved3;
  union {
    int64_t i64;
    uint64_t u64;
    double dbl;
    float flt;
    int32_t i32;
    uint32_t u32;
    int16_t i16;
    uint16_t u16;
    int8_t i8;
    uint8_t u8;
    uint64_t ptr;     // BSTR, interface, SAFEARRAY or by-reference target, as an address
  };
};

#pragma pack(pop)

static_assert(sizeof(VariantData) == 16);

// The address a variant holds (a BSTR, an interface, a SAFEARRAY or the target of a reference).
inline void* variant_pointer(const VariantData& v) { return reinterpret_cast<void*>(static_cast<uintptr_t>(v.ptr)); }
inline void set_variant_pointer(VariantData& v, const void* p) { v.ptr = reinterpret_cast<uintptr_t>(p); }

// The value a by-reference variant refers to, as a variant of its base type (not owning what it points to);
// a reference to a variant gives that variant. Other variants are copied as they are. False for a null
// reference.
bool variant_dereference(const VariantData& v, VariantData* out);

// Conversions by the system's rules (those of changing a variant's type): false when the variant cannot be
// converted (a type mismatch, or a value out of range). Integers round half to even.
bool variant_to_int32(const VariantData& v, int32_t* out);
bool variant_to_double(const VariantData& v, double* out);
bool variant_to_text(const VariantData& v, std::u16string* out);

// Currency as text in the user's locale; the system's result code (0 for success).
int32_t currency_to_text(int64_t currency, std::u16string* out);

// A variant date as year, month, day, hour, minute, second (rounded to the second), and back; false
// outside 0100-01-01 .. 9999-12-31 (years before 100 are not taken as two-digit years).
bool variant_time_to_fields(double date, int32_t fields[6]);
bool fields_to_variant_time(const int32_t fields[6], double* date);

// Text read by the system's parsers in the user's locale; false when the text is no such value. A date's
// year written with two digits lies in 1950 .. 2049.
bool text_to_currency(const char16_t* text, int64_t* out);
bool text_to_decimal(const char16_t* text, VariantData* out);   // out becomes a VT_DECIMAL
bool text_to_date(const char16_t* text, double* out);

// A VT_BSTR variant holding a new copy of the text; false when there is no memory for it.
bool bstr_variant(const char16_t* text, size_t length, VariantData* out);
// The length in characters of a BSTR (0 for a null one).
size_t bstr_length(const char16_t* bstr);

// A VT_ARRAY | VT_UI1 variant: a new one-dimensional SAFEARRAY of the bytes, lower bound 0.
enum ByteArrayResult { BYTE_ARRAY_OK, BYTE_ARRAY_NO_MEMORY, BYTE_ARRAY_NO_ACCESS };
ByteArrayResult byte_array_variant(const uint8_t* bytes, size_t count, VariantData* out);
// The bytes of such an array; false for any other variant.
bool byte_array_bytes(const VariantData& v, std::string* out);

// Releases what a variant owns (BSTR, interface, array) and leaves it VT_EMPTY.
void variant_clear(VariantData* v);
// A copy that owns its own BSTR, array or interface reference; false when there is no memory for it.
bool variant_copy(VariantData* dst, const VariantData& src);

}  // namespace plat
