// Extender functions: the process-wide table that grows as extender libraries are added.
#pragma once
#include <cstdint>
#include "lang/keywords.h"

namespace tov {

constexpr uint32_t EXT_FUNCTIONS_MAX = 501;

// Records have the keyword-record layout; a token for record i has the code ADDONSTART + i.
extern KeywordEntry g_extFunctions[EXT_FUNCTIONS_MAX];
extern uint32_t g_nNextExtEntry;    // records in use

}  // namespace tov
