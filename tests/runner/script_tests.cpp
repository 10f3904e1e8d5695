// script_tests: runs script test cases through the tov runner.
//
//   script_tests [--tov-option OPTION]... TOV CASE-DIR...
//
// A case is NAME.tov with NAME.out (the exact standard output), NAME.code (the exit status) and optionally
// NAME.err (a text standard error must contain; when empty, standard error must be empty), NAME.in (standard
// input) and NAME.files/ (files copied beside the script). Each case runs as "tov [OPTION...] NAME.tov" in a
// fresh temporary folder that is its current directory, with a fresh registry store and WIN.INI folder
// ($TOV_REGISTRY, $XDG_CONFIG_HOME). One line is printed per failing case, then "N passed, M failed".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>
#include "case_report.h"
#include "platform/process.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t CASE_TIME_LIMIT_MS = 60000;

std::optional<std::string> read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Runner {
  fs::path tov;
  std::vector<std::string> tov_options;
  fs::path scratch;    // holds the case folder and the captured output of one case at a time
  int passed = 0, failed = 0;

  // Runs one case; returns the failure description, empty when it passed.
  std::string run_case(const fs::path& dir, const std::string& name) {
    const fs::path base = dir / name;
    const auto expected_out = read_file(base.string() + ".out");
    const auto expected_code_text = read_file(base.string() + ".code");
    if (!expected_out) return "missing " + name + ".out";
    const std::optional<int> expected_code = expected_code_text ? scripttest::parse_code(*expected_code_text)
                                                                : std::nullopt;
    if (!expected_code) return "missing or unreadable " + name + ".code";

    const fs::path work = scratch / "case", config = scratch / "config";
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::remove_all(config, ec);
    fs::create_directory(work, ec);
    if (!ec) fs::create_directory(config, ec);
    if (ec) return "cannot create the case folder " + work.string() + ": " + ec.message();
    // A registry store and a WIN.INI of its own, beside the case folder (Linux; Windows keeps both in the
    // Wine prefix, which the cases leave as they found it).
    plat::env_set("XDG_CONFIG_HOME", config.string().c_str());
    plat::env_set("TOV_REGISTRY", (config / "registry.db").string().c_str());
    fs::copy_file(base.string() + ".tov", work / (name + ".tov"), ec);
    if (!ec && fs::is_directory(base.string() + ".files"))
      fs::copy(base.string() + ".files", work, fs::copy_options::recursive, ec);
    if (ec) return "cannot copy the case's files: " + ec.message();

    const fs::path input = base.string() + ".in";
    const std::string input_path = fs::exists(input) ? fs::absolute(input).string() : std::string();
    const std::string out_path = (scratch / "stdout").string(), err_path = (scratch / "stderr").string();
    const std::string tov_path = tov.string(), script = name + ".tov", cwd = work.string();
    std::vector<const char*> argv{tov_path.c_str()};
    for (const auto& o : tov_options) argv.push_back(o.c_str());
    argv.push_back(script.c_str());
    argv.push_back(nullptr);

    const auto started = std::chrono::steady_clock::now();
    const int code = plat::run_captured(argv.data(), cwd.c_str(), input_path.empty() ? nullptr : input_path.c_str(),
                                        out_path.c_str(), err_path.c_str(), CASE_TIME_LIMIT_MS);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    fs::remove_all(work, ec);
    fs::remove_all(config, ec);

    if (code == -1 && elapsed >= std::chrono::milliseconds(CASE_TIME_LIMIT_MS))
      return "ran longer than " + std::to_string(CASE_TIME_LIMIT_MS / 1000) + " s";
    scripttest::Outcome outcome;
    outcome.code = code;
    outcome.out = scripttest::crlf_to_lf(read_file(out_path).value_or(""));
    outcome.err = scripttest::crlf_to_lf(read_file(err_path).value_or(""));
    scripttest::Expectation expect{*expected_code, *expected_out, read_file(base.string() + ".err")};
    return scripttest::compare(expect, outcome);
  }

  void report(const std::string& label, const std::string& name, const std::string& failure) {
    if (failure.empty()) {
      ++passed;
      return;
    }
    ++failed;
    std::printf("FAIL %s/%s: %s\n", label.c_str(), name.c_str(), failure.c_str());
    std::fflush(stdout);
  }

  void run_folder(const fs::path& dir) {
    std::vector<std::string> names, parts;   // parts: the other files of cases, to find misnamed ones
    for (const auto& entry : fs::directory_iterator(dir)) {
      const fs::path& p = entry.path();
      if (entry.is_regular_file() && p.extension() == ".tov") names.push_back(p.stem().string());
      else if (p.extension() == ".out" || p.extension() == ".code" || p.extension() == ".err" ||
               p.extension() == ".in" || p.extension() == ".files")
        parts.push_back(p.filename().string());
    }
    std::sort(names.begin(), names.end());
    std::sort(parts.begin(), parts.end());
    const std::string label = dir.filename().empty() ? dir.parent_path().filename().string() : dir.filename().string();
    for (const auto& part : parts) {
      const std::string name = fs::path(part).stem().string();
      if (!std::binary_search(names.begin(), names.end(), name)) report(label, name, part + " has no " + name + ".tov");
    }
    for (const auto& name : names) report(label, name, run_case(dir, name));
  }
};

fs::path make_scratch_folder() {
  std::mt19937_64 random(std::random_device{}() ^
                         uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const fs::path p = fs::temp_directory_path() / (std::string("tov-script-tests-") + suffix);
    std::error_code ec;
    if (fs::create_directory(p, ec)) return p;
  }
  return {};
}

int usage(const char* problem) {
  std::fprintf(stderr, "script_tests: %s\nUsage: script_tests [--tov-option OPTION]... TOV CASE-DIR...\n", problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Runner runner;
  int i = 1;
  for (; i + 1 < argc && std::string(argv[i]) == "--tov-option"; i += 2) runner.tov_options.push_back(argv[i + 1]);
  if (argc - i < 2) return usage("a runner and at least one case folder are needed");

  std::error_code ec;
  runner.tov = fs::absolute(argv[i], ec);
  if (ec || !fs::is_regular_file(runner.tov)) return usage((std::string("no runner at ") + argv[i]).c_str());
  std::vector<fs::path> folders;
  for (++i; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) return usage((std::string("no case folder ") + argv[i]).c_str());
    folders.push_back(fs::absolute(argv[i]));
  }
  runner.scratch = make_scratch_folder();
  if (runner.scratch.empty()) return usage("cannot create a temporary folder");

  for (const auto& folder : folders) runner.run_folder(folder);
  fs::remove_all(runner.scratch, ec);
  std::printf("%d passed, %d failed\n", runner.passed, runner.failed);
  return runner.failed ? 1 : 0;
}
