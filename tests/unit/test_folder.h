// A fresh folder for the files of one test, removed with the object.
#pragma once
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace tov::test {

struct TestFolder {
  TestFolder() {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  std::string file(const std::string& name) const { return (path / name).string(); }
  // Writes a file of the folder; returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path / name, std::ios::binary) << bytes;
    return file(name);
  }

  inline static std::atomic<int> serial{0};
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tov-test-" + std::to_string(std::random_device{}()) + "-" +
                                      std::to_string(serial++));
};

}  // namespace tov::test
