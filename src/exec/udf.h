// User-defined functions and subroutines: the records of the UdfTable.
#pragma once
#include <cstdint>
#include "engine/script.h"
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

// A function body made only of assignments of whole-number expressions and a Return of one, as compiled
// steps over whole-number registers (the parameters first, then the locals in the order they are made): a
// call with whole numbers works it out with no frame, and makes the call the usual way when a step would
// raise an error.
constexpr uint32_t WHOLE_STEPS = 64, WHOLE_REGISTERS = 16, WHOLE_STACK = 24;
// WS_BINARY_READ and WS_BINARY_INT take their right operand from a register or a number of their own: an
// operand pushed only for the operator after it is one step less.
enum WholeStepCode : uint8_t { WS_INT, WS_READ, WS_UNARY, WS_BINARY, WS_BINARY_READ, WS_BINARY_INT, WS_STORE, WS_RETURN };
struct WholeStep {
  uint8_t code;     // WholeStepCode
  uint8_t reg;      // WS_READ, WS_BINARY_READ, WS_STORE
  uint16_t op;      // WS_UNARY and the binary steps: the operator
  int32_t value;    // WS_INT, WS_BINARY_INT: the number
};
enum WholeBodyState : uint8_t { WHOLE_BODY_UNKNOWN, WHOLE_BODY_NONE, WHOLE_BODY_READY };
struct WholeBody {
  uint8_t state;        // WholeBodyState, under the names below
  uint8_t tries;        // looks at the body while its lines were not all compiled yet
  uint8_t registers;
  uint8_t statements;   // the assignments before the Return
  // What the names of the body's lines meant when it was looked at (as for the line cache), and the cache's
  // epoch then (the cache starts afresh when a run starts, as a host's keywords may differ).
  int32_t udfCount;
  uint32_t extCount;
  const void* hostKeywords;
  uint32_t cacheEpoch;
  WholeStep steps[WHOLE_STEPS];
};

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
  WholeBody whole;
};

// The script a call of function index runs: its body, whose lines the line cache keeps under its key.
inline HeldScript udf_body_script(const UdfRecord& rec, uint16_t index) {
  HeldScript body{};
  body.text = rec.bodyText;
  body.length = rec.bodyLength;
  body.udf = index;
  body.bodyOffset = rec.bodyStart;
  body.cacheKey = rec.bodyKey;
  return body;
}

}  // namespace tov
