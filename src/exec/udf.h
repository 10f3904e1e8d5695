// User-defined functions and subroutines: the records of the UdfTable.
#pragma once
#include <cstdint>
#include "lang/value.h"
#include "platform/memory.h"

namespace tov {

constexpr uint32_t UDF_MAX = 512;
constexpr uint32_t UDF_BLOCK_RECORDS = 16;
constexpr uint32_t UDF_BLOCKS = UDF_MAX / UDF_BLOCK_RECORDS;
constexpr uint32_t UDF_MAX_PARAMS = 16;
constexpr uint32_t UDF_NAME_BYTES = 31;
constexpr uint32_t UDF_PARAM_SLOT_BYTES = 32;   // a variable slot's name field

// How a call lays its parameters into the function's fresh table, worked out on the first call.
enum UdfLayout : uint8_t { UDF_LAYOUT_UNKNOWN = 0, UDF_LAYOUT_IN_ORDER = 1, UDF_LAYOUT_BY_NAME = 2 };

enum UdfKind : uint32_t { UDF_FUNCTION = 0, UDF_SUBROUTINE = 1 };

struct UdfRecord {
  uint16_t paramCount;
  uint16_t nameLength;
  plat::MemId hBody;            // copy of the body text; 0 while the definition is open
  uint32_t bodyStart;           // offset in the HeldScript of the first body line
  uint32_t bodyLength;
  uint32_t target;              // assignment target of the statement running in it, 0xFFFFFFFF none
  uint32_t kind;                // UdfKind
  uint32_t bodyKey;             // the body's key in the line cache
  char* bodyText;               // hBody's text (the block stays locked while the record lives)
  char name[UDF_NAME_BYTES];
  char params[UDF_MAX_PARAMS][UDF_NAME_BYTES];
  char file[260];
  // Parameter i goes to slot i + 1 of the fresh table when the names all differ (IN_ORDER); otherwise each
  // is looked up by name, as a repeated name shares one variable. slotNames: the variables' names as a slot
  // holds them, lower case and zero-padded.
  uint8_t layout;
  // The layout numbers of a call's table before its first name, and once its parameters are in order; 0
  // until a call gives them.
  LayoutNumber freshLayout, paramsLayout;
  char slotNames[UDF_MAX_PARAMS][UDF_PARAM_SLOT_BYTES];
};

}  // namespace tov
