// The process-wide registry that lets window procedures of the Engine's dialogs find their run context.
#pragma once

namespace tov {

struct RunContext;

constexpr int CONTEXT_REGISTRY_SLOTS = 100;

enum class RegistryMode { Register, LookupReport, LookupSilent };

// Register: remembers ctx under key (reusing the slot of the same key, else the first free one; nothing
// changes when all slots are used) and returns ctx. Lookups return the context of key, or nullptr; the
// reporting lookup shows "DlgPointLookup Failure" titled "Internal Error" when it fails.
RunContext* context_registry(void* key, RunContext* ctx, RegistryMode mode);

}  // namespace tov
