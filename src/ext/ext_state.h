// The run context's state of extenders and foreign function calls.
#pragma once
#include <cstdint>

#include "lang/keywords.h"

namespace tov {

constexpr uint32_t EXTENDER_SLOTS = 10;
constexpr uint32_t EXT_FUNCTIONS_MAX = 501;
constexpr uint32_t DLLLOAD_SLOTS = 10;

struct ExtenderSlot {
  void* module;            // the loaded library; nullptr: the slot is free
  uint32_t kind;           // interface kind: 1, 2, 3, 4, 5 or 100005
  uint32_t privateWord;    // the extender's own word; its address goes with every call
};

struct ExtState {
  ExtenderSlot slots[EXTENDER_SLOTS];
  uint32_t nExtenders;
  // Extender functions in loading order: a token for record i has the code ADDONSTART + i, and the record's
  // id is 10000 * (slot + 1) + the extender's function number.
  KeywordEntry functions[EXT_FUNCTIONS_MAX];
  uint32_t nFunctions;
  void* dllLoaded[DLLLOAD_SLOTS];   // libraries kept loaded by DllLoad
  uint32_t nDllLoaded;
  uint32_t dllLastError;            // system error code after the last DllCall
  uintptr_t hostData;               // the host's word given with INIT_CONTEXT, passed in service blocks
  void* answerTarget;               // the result value of the extender or host call in progress
};

}  // namespace tov
