// The structure stack: one record per open structured statement and per call frame.
#pragma once
#include <cstdint>

namespace tov {

struct HeldScript;

constexpr uint32_t STRUCT_STACK_SIZE = 100;

// Record kinds. Kinds below 1000 are keyword ids.
enum StructKind : uint16_t {
  SK_CALL = 225,           // Call of a script file
  SK_FOR = 370,
  SK_FOREACH = 371,
  SK_SWITCH = 559,         // Switch and Select
  SK_WHILE = 591,
  SK_IF = 10001,           // block If ... Then
  SK_ELSE = 10002,         // the same block after its Else
  SK_GOSUB_FALSE = 29000,  // GoSub with pending-If 0
  SK_GOSUB_TRUE = 29001,   // GoSub with pending-If 1
  SK_GOSUB_NONE = 29003,   // GoSub with no pending If
  SK_UDF = 29500,          // call of a user-defined function or subroutine
};

// BlockState bits of a record.
enum BlockState : uint8_t {
  BS_RUNNING = 0,
  BS_FALSE = 1,            // condition false, or no Case matched yet
  BS_OUTER_SKIP = 2,       // an enclosing block is skipping
  BS_CONTINUE = 4,
  BS_BREAK = 8,
};

struct StructRecord {
  uint16_t kind;
  uint32_t resume;         // offset to continue at; function frames: invocation mode; Switch: value high 16 bits
  uint32_t lineStart;
  const HeldScript* script; // the HeldScript that was running
  uint16_t udf;            // nCurrentUdf when opened (65535 none)
  uint16_t inUdf;
  uint8_t state;
  uint8_t savedInLoop;
  uint16_t aux;            // For/ForEach: loop variable; Switch: value low 16 bits; frames: "returned" flag
  uint16_t aux2;           // ForEach: variable holding the collection
};

}  // namespace tov
