// COM variants in values: their integer, float and text forms wherever the language needs one, and strings
// passed to object members whose parameters are declared currency, decimal, date or byte array.
#pragma once
#include <cstdint>
#include <string>

#include "lang/value.h"

namespace tov {

struct RunContext;

// Each adds its form to the value's type bits and keeps the variant (an integer VF_VARIANT | VF_INTEGER, a
// float VF_VARIANT | VF_FLOAT, a string or wide string beside what was there). On success an error pending
// before the call is left as it was. On failure the error is 1257 when the variant has no such form at all
// (a null, an error code, an array, a text that is no number).
//
// Integers: objects give their interface pointer (0 for none); a value that is not a whole number in the
// integer range (a float, a currency or decimal with a fraction, a date with a time) gains its float form
// and then follows the rule for floats: without allow_float the conversion fails without an error,
// with it the float is rounded half away from zero.
bool variant_to_integer(RunContext* ctx, ValueCore& v, bool allow_float);
bool variant_to_float(RunContext* ctx, ValueCore& v);
bool variant_to_string(RunContext* ctx, ValueCore& v, bool wide);

// The form a comparison uses for a variant operand: integer kinds and objects an integer, floating,
// currency, decimal and date values a float, texts and everything else a string. False with the error set.
bool variant_to_operand(RunContext* ctx, ValueCore& v);

// A single-precision value as the double it stands for: reduced to six decimal places, so 0.1 reads as 0.1.
double single_value(float f);

// Declared types of member parameters that take a string converted.
enum class ParamType { Currency, Decimal, Date, ByteArray };

// The variant to pass for a string argument of a member parameter of that type; a new variant that the
// caller clears. Currency and decimal text may begin with "#CURRENCY:" or "#DECIMAL:"; a date is a YmdHms
// text or one that the system reads as a date. Text that is none of these is passed as a string (VT_BSTR),
// except after a prefix: 1648 "Invalid currency format string", 1649 "Invalid decimal format string".
// False with the error set (1491 without memory for a copy, 1676 when a byte array cannot be filled).
bool param_variant_from_string(RunContext* ctx, const std::u16string& text, ParamType type, VariantData* out);

// The error number of a COM result code.
uint16_t com_error_number(int32_t result);

}  // namespace tov
