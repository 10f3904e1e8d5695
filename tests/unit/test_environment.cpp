// The unit tests never touch the user's own files: on POSIX the registry store, WIN.INI and the settings
// files live in a folder of their own for the run of the tests, removed at its end. (Windows tests use the
// registry and profile of the Wine prefix they run in.)
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/system.h"

namespace {

#ifndef _WIN32
class PrivateConfig : public ::testing::Environment {
 public:
  PrivateConfig() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() ^ std::random_device{}();
    dir_ = std::filesystem::temp_directory_path() / ("tov-unit-" + std::to_string(stamp));
    std::error_code ec;
    std::filesystem::create_directories(dir_ / "config", ec);
    plat::env_set("XDG_CONFIG_HOME", (dir_ / "config").string().c_str());
    plat::env_set("TOV_REGISTRY", (dir_ / "registry.db").string().c_str());
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::filesystem::path dir_;
};

// Made before main, so that no test reaches the store or the profile before the variables are set.
::testing::Environment* const g_private_config = ::testing::AddGlobalTestEnvironment(new PrivateConfig);
#endif

}  // namespace
