// Menu hotkeys matched against a host's table, and the registry through which dialogs find their context.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/registry.h"
#include "engine/tovengine.h"

namespace {

constexpr uint32_t WM_KEYDOWN_MSG = 256, WM_CHAR_MSG = 258;

// The host's hotkey table: a count at byte 16, then pairs of (code, command id) from byte 20.
std::vector<uint8_t> hotkey_table(std::initializer_list<std::pair<uint16_t, uint16_t>> pairs) {
  std::vector<uint8_t> t(20 + 4 * pairs.size());
  const uint32_t count = uint32_t(pairs.size());
  std::memcpy(t.data() + 16, &count, 4);
  uint8_t* at = t.data() + 20;
  for (const auto& [code, id] : pairs) std::memcpy(at, &code, 2), std::memcpy(at + 2, &id, 2), at += 4;
  return t;
}

}  // namespace

TEST(HotKeys, MatchesVirtualKeysAndCharacters) {
  auto table = hotkey_table({{0x1070, 7}, {'A', 8}});
  // A function key comes as a key-down message: its code carries the virtual-key bit.
  EXPECT_EQ(HotKeyCheck(nullptr, nullptr, WM_KEYDOWN_MSG, 0x70, table.data()), 1u);
  // A character is upper-cased before the search.
  EXPECT_EQ(HotKeyCheck(nullptr, nullptr, WM_CHAR_MSG, 'a', table.data()), 1u);
  EXPECT_EQ(HotKeyCheck(nullptr, nullptr, WM_CHAR_MSG, 'b', table.data()), 0u);
  // Shift, Control and Alt alone never match, not even an entry made for them.
  auto modifiers = hotkey_table({{0x1010, 1}, {0x1011, 2}, {0x1012, 3}});
  for (uint32_t key : {16u, 17u, 18u}) EXPECT_EQ(HotKeyCheck(nullptr, nullptr, WM_KEYDOWN_MSG, key, modifiers.data()), 0u);
  EXPECT_EQ(HotKeyCheck(nullptr, nullptr, WM_CHAR_MSG, 'a', nullptr), 0u);
}

TEST(ContextRegistry, RegistersReplacesAndLooksUp) {
  using tov::RegistryMode;
  auto* a = reinterpret_cast<tov::RunContext*>(uintptr_t(0x1000));
  auto* b = reinterpret_cast<tov::RunContext*>(uintptr_t(0x2000));
  int key1 = 0, key2 = 0, missing = 0;
  tov::context_registry(&key1, a, RegistryMode::Register);
  tov::context_registry(&key2, b, RegistryMode::Register);
  EXPECT_EQ(tov::context_registry(&key1, nullptr, RegistryMode::LookupSilent), a);
  EXPECT_EQ(tov::context_registry(&key2, nullptr, RegistryMode::LookupSilent), b);
  // The same key takes its slot again instead of a second one.
  tov::context_registry(&key1, b, RegistryMode::Register);
  EXPECT_EQ(tov::context_registry(&key1, nullptr, RegistryMode::LookupSilent), b);
  EXPECT_EQ(tov::context_registry(&missing, nullptr, RegistryMode::LookupSilent), nullptr);
  // Registering nothing under a key frees its slot.
  tov::context_registry(&key1, nullptr, RegistryMode::Register);
  tov::context_registry(&key2, nullptr, RegistryMode::Register);
  EXPECT_EQ(tov::context_registry(&key1, nullptr, RegistryMode::LookupSilent), nullptr);
}

TEST(ContextRegistry, AFullRegistryChangesNothing) {
  using tov::RegistryMode;
  static int keys[tov::CONTEXT_REGISTRY_SLOTS + 1];
  auto* ctx = reinterpret_cast<tov::RunContext*>(uintptr_t(0x3000));
  for (int& k : keys) tov::context_registry(&k, ctx, RegistryMode::Register);
  EXPECT_EQ(tov::context_registry(&keys[0], nullptr, RegistryMode::LookupSilent), ctx);
  EXPECT_EQ(tov::context_registry(&keys[tov::CONTEXT_REGISTRY_SLOTS], nullptr, RegistryMode::LookupSilent), nullptr);
  for (int& k : keys) tov::context_registry(&k, nullptr, RegistryMode::Register);
}
