#include "engine/registry.h"

#include <mutex>

#include "platform/ui.h"

namespace tov {

namespace {
struct Slot {
  void* key;
  RunContext* ctx;
};
Slot g_slots[CONTEXT_REGISTRY_SLOTS];
std::mutex g_mutex;
}  // namespace

RunContext* context_registry(void* key, RunContext* ctx, RegistryMode mode) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (mode == RegistryMode::Register) {
    Slot* free_slot = nullptr;
    for (Slot& s : g_slots) {
      if (s.ctx && s.key == key) {
        s.ctx = ctx;
        return ctx;
      }
      if (!s.ctx && !free_slot) free_slot = &s;
    }
    if (free_slot) *free_slot = Slot{key, ctx};
    return ctx;
  }
  for (const Slot& s : g_slots)
    if (s.ctx && s.key == key) return s.ctx;
  if (mode == RegistryMode::LookupReport)
    plat::message_box(plat::focus_window(), "DlgPointLookup Failure", "Internal Error", plat::MB_OK_ONLY);
  return nullptr;
}

}  // namespace tov
