// A fixture that runs the tov program built beside the tests, as a user would start it, in a fresh
// folder of its own, and keeps what it wrote.
#pragma once
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "case_report.h"
#include "test_folder.h"
#include "platform/process.h"

class TovProgram : public ::testing::Test {
 protected:
  using path = std::filesystem::path;
  tov::test::TestFolder folder;
  const path& dir = folder.path;
  std::string out, err;

  static std::string slurp(const path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return scripttest::crlf_to_lf(s.str());
  }

  // Always with the console UI, so that on Windows no dialog waits for a click.
  int run(std::vector<const char*> args, const char* stdin_path = nullptr) {
    args.insert(args.begin(), {TOV_RUNNER_PATH, "--console"});
    args.push_back(nullptr);
    const std::string o = (dir / "stdout").string(), e = (dir / "stderr").string(), cwd = dir.string();
    const int code = plat::run_captured(args.data(), cwd.c_str(), stdin_path, o.c_str(), e.c_str(), 30000);
    out = slurp(o);
    err = slurp(e);
    return code;
  }

  // Writes a file of the test's folder; returns its path.
  std::string write(const char* name, const std::string& text) { return folder.write(name, text); }
  // Runs script text saved as script.tov.
  int run_script(const std::string& text) {
    write("script.tov", text);
    return run({"script.tov"});
  }
};

