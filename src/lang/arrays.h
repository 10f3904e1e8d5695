// Arrays: blocks of 1 to 5 dimensions of typeless elements, shared by reference.
#pragma once
#include <cstdint>

#include "lang/value.h"
#include "platform/memory.h"

namespace tov {

struct RunContext;

constexpr int ARRAY_MAX_DIMS = 5;
constexpr uint32_t ARRAY_HEADER_BYTES = 40;
constexpr uint32_t ARRAY_ELEMENT_BYTES = 44;

#pragma pack(push, 4)
struct ArrayHeader {
  uint32_t dims[ARRAY_MAX_DIMS];
  uint8_t rank;
  uint8_t elementKind;     // chosen by the creator, kept by redimensioning
  uint16_t reserved1;
  uint32_t dataOffset;     // elements start this many bytes after the header's start (always 40)
  uint32_t count;
  uint32_t dataSize;
  uint32_t reserved2;
};
#pragma pack(pop)
static_assert(sizeof(ArrayHeader) == ARRAY_HEADER_BYTES);
static_assert(sizeof(ValueCore) == ARRAY_ELEMENT_BYTES);

inline ValueCore* array_elements(ArrayHeader* a) {
  return reinterpret_cast<ValueCore*>(reinterpret_cast<char*>(a) + ARRAY_HEADER_BYTES);
}

// The array behind a value's string field, or nullptr when the block is gone.
ArrayHeader* array_header(uint32_t id);
// The array behind an id handed in from outside the Engine (by an extender), or nullptr when the id does
// not name a block laid out as an array.
ArrayHeader* array_checked(uint32_t id);

// Creates an array (dimensions beyond `given` are 0). Returns 1 for rank 1 or more, 0 for an empty array,
// -1 on error (1628, 1630, 1644, 1631). The result is a temporary holding the new array.
int CreateMyArray(RunContext* ctx, Value* result, int32_t d1, int32_t d2, int32_t d3, int32_t d4, int32_t d5,
                  uint8_t elementKind, int32_t given);

// Reads the subscript list (the current token is "[") and returns the element, or nullptr with the error
// set. On return the current token is the "]".
ValueCore* array_element_address(RunContext* ctx, uint32_t id);
// Reads a subscript list into integers; count receives how many. Errors as for the element address.
bool array_read_subscripts(RunContext* ctx, uint32_t id, int32_t* subs);
// Reads a subscript list given as text ("[1, 2]") with a tokenizer state of its own.
bool parse_subscript_text(RunContext* ctx, uint32_t id, const char* bracketed, int32_t* subs);
// The element at the given subscripts (one per dimension), or nullptr with 1636/1637/1710 set.
ValueCore* array_element_at(RunContext* ctx, uint32_t id, const int32_t* subs);

// A holder takes or releases the array. Releasing with the lock count 2 or less destroys it.
void array_hold(uint32_t id);
// Gives back a hold taken with array_hold without destroying the array: it stays for its other holders,
// or as a temporary when it has none.
void array_unhold(uint32_t id);
void array_release(RunContext* ctx, uint32_t id, bool force);
// Releases a temporary's reference: the array is destroyed when nothing holds it.
void array_release_temp(RunContext* ctx, uint32_t id);

}  // namespace tov
