// The Call built-in: runs another script file with parameters.
#include "builtins/registry.h"
#include "exec/udf_call.h"
#include "lang/keywords.h"

namespace tov {

namespace {
const BuiltinEntry kEntries[] = {{KW_CALL, CallScript}};
}

extern const BuiltinFamily kScriptCallBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
