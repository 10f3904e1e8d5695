// The process-wide table of extender functions.
#include "ext/extenders.h"

namespace tov {

KeywordEntry g_extFunctions[EXT_FUNCTIONS_MAX];
uint32_t g_nNextExtEntry = 0;

}  // namespace tov
