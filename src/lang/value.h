// The evaluated value and the variable slot: fixed binary records shared with hosts and extenders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/variant.h"

namespace tov {

// A COM VARIANT of 16 bytes. On 64-bit Windows the system's VARIANT is wider; the COM layer converts.
using plat::VariantData;

// Type bits of a value; several may be set at once after a conversion.
enum ValueFlags : uint32_t {
  VF_INTEGER = 0x1,
  VF_STRING = 0x2,
  VF_FILE = 0x4,         // with VF_INTEGER: the integer is a file handle of FileOpen
  VF_UNINIT = 0x8,
  VF_FLOAT = 0x20,
  VF_BINARY = 0x40,      // with VF_INTEGER: the integer field holds a binary-buffer handle
  VF_WSTRING = 0x80,
  VF_ARRAY = 0x100,      // the string field holds the array block's id
  VF_VARIANT = 0x200,
};
constexpr uint32_t VF_HAS_VALUE = 0x3A3;    // any of these bits means the value is set

constexpr uint16_t ORIGIN_NONE = 65535;
constexpr uint16_t ORIGIN_ELEMENT = 65534;

#pragma pack(push, 4)

// The first 44 bytes of a value: what a variable slot and an array element store.
struct ValueCore {
  VariantData variant;
  double f;
  int32_t i;          // for VF_BINARY the binary-buffer handle
  uint32_t type;      // ValueFlags
  uint32_t str;       // string-heap offset of the ANSI string, or the array block id (VF_ARRAY)
  uint32_t wstr;      // string-heap offset of the wide string
  uint32_t reserved;
};

struct Value {
  ValueCore c;
  uint32_t originElement;   // element number + 1 of the array element this value was read from, else 0
  uint16_t originSlot;      // variable slot it was read from; ORIGIN_NONE, or ORIGIN_ELEMENT
  uint16_t originFrame;     // variable-table frame of that slot; ORIGIN_NONE
};

constexpr size_t VARNAME_BYTES = 32;
constexpr size_t VARNAMESIZE = 30;        // characters of a variable name
constexpr uint8_t VARNAME_FLAG_GLOBAL = 1;  // in the name's last byte: declared global for pointers

// A variable table's layout number (see RunContext::nVarLayout): 64 bits, so that a number is never given
// twice however long a run makes and drops names.
using LayoutNumber = uint64_t;

struct VarSlot {
  ValueCore c;
  char name[VARNAME_BYTES];   // lower case, NUL-terminated; the last byte carries VARNAME_FLAG_* bits
};

#pragma pack(pop)

static_assert(sizeof(VariantData) == 16);
static_assert(sizeof(ValueCore) == 44);
static_assert(sizeof(Value) == 52);
static_assert(sizeof(VarSlot) == 76);
static_assert(offsetof(ValueCore, f) == 16 && offsetof(ValueCore, i) == 24 && offsetof(ValueCore, type) == 28);
static_assert(offsetof(ValueCore, str) == 32 && offsetof(ValueCore, wstr) == 36);

// A fresh value: the integer 0 with no origin and no strings.
inline void value_init(Value& v) {
  std::memset(&v, 0, sizeof v);
  v.c.type = VF_INTEGER;
  v.originSlot = ORIGIN_NONE;
  v.originFrame = ORIGIN_NONE;
}

// Copies a value's 44 bytes in three moves: an assignment of the packed record may compile to a string
// instruction, which costs more than the copy itself.
inline void value_core_copy(ValueCore& dst, const ValueCore& src) {
  char* const d = reinterpret_cast<char*>(&dst);
  const char* const s = reinterpret_cast<const char*>(&src);
  std::memcpy(d, s, 16);
  std::memcpy(d + 16, s + 16, 16);
  std::memcpy(d + 32, s + 32, 12);
}

inline bool value_has_value(const ValueCore& c) { return (c.type & VF_HAS_VALUE) != 0; }

}  // namespace tov
