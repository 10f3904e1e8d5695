// The tov runner: its command line, the exit status it derives from a run, and the program itself.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "host/command_line.h"
#include "tov_program.h"

namespace fs = std::filesystem;
using tovhost::CommandLine;
using tovhost::parse_command_line;

namespace {

CommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tov");
  return parse_command_line(int(args.size()), args.data());
}

}  // namespace

// Options come before the script; what follows the script (or "--") are its parameters.
TEST(TovCommandLine, OptionsScriptAndParameters) {
  // "--help", "-" and "x y" are the script's parameters.
  const struct { std::vector<const char*> args; const char* script; int first_arg; bool console; } runs[] = {
      {{"--console", "job.tov", "--help", "-", "x y"}, "job.tov", 3, true}, {{"-"}, "-", 2, false},
      {{"--", "--version", "a"}, "--version", 3, false}};
  for (const auto& r : runs) {
    const CommandLine cl = parse(r.args);
    ASSERT_EQ(cl.action, CommandLine::Run) << r.script;
    EXPECT_EQ(cl.script, r.script);
    EXPECT_EQ(cl.first_arg, r.first_arg) << r.script;
    EXPECT_EQ(cl.console, r.console) << r.script;
  }
  EXPECT_EQ(parse({"--help"}).action, CommandLine::Help);
  EXPECT_EQ(parse({"--console", "--version", "job.tov"}).action, CommandLine::Version);
  CommandLine cl = parse({});
  EXPECT_EQ(cl.action, CommandLine::UsageError);
  EXPECT_EQ(cl.error, "no script given");
  EXPECT_EQ(parse({"--console", "--"}).action, CommandLine::UsageError);
  cl = parse({"-v", "job.tov"});
  EXPECT_EQ(cl.action, CommandLine::UsageError);
  EXPECT_EQ(cl.error, "unknown option '-v'");
}

TEST(TovExitStatus, FollowsHowTheRunEnded) {
  auto status = [](int32_t result, uint32_t error, uint32_t cancel, uint32_t extended = 0) {
    tov::RunContextHeader h{};
    h.nRunResult = result, h.nRunError = error, h.bCancel = cancel, h.nExtendedCode = extended;
    return tovhost::exit_status(h);
  };
  EXPECT_EQ(status(1, 0, 0), 0);          // end of text
  EXPECT_EQ(status(-1, 0, 0), 0);         // top-level Return
  EXPECT_EQ(status(0, 9000, 0), 0);       // Exit
  EXPECT_EQ(status(0, 9012, 0), 0);       // Terminate
  EXPECT_EQ(status(0, 3033, 0), 1);       // a reported error
  EXPECT_EQ(status(0, 9013, 0, 3062), 1); // an error reported inside a called script
  EXPECT_EQ(status(0, 9013, 0, 9000), 0); // Exit inside a called script
  EXPECT_EQ(status(0, 9013, 0, 9012), 0); // Terminate inside a called script
  EXPECT_EQ(status(0, 9015, 0, 9000), 1); // only a called script's own end counts
  EXPECT_EQ(status(0, 0, 0), 1);          // stopped without a reason is no success
  EXPECT_EQ(status(0, 9999, 0), 130);     // Cancel in a prompt
  EXPECT_EQ(status(0, 0, 1), 130);        // Ctrl+C
  EXPECT_EQ(status(0, 9000, 1), 130);     // a stop request wins over how the script ended
}

TEST_F(TovProgram, VersionHelpAndUsageErrors) {
  EXPECT_EQ(run({"--version"}), 0);
  EXPECT_EQ(out, "tov " TOV_VERSION_STRING "\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(out.rfind("Usage: tov [OPTIONS] SCRIPT [ARG...]\n", 0), 0u) << out;
  EXPECT_NE(out.find("--console"), std::string::npos);

  EXPECT_EQ(run({}), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "tov: no script given\nTry 'tov --help' for more information.\n");
  EXPECT_EQ(run({"--frobnicate", "x.tov"}), 2);
  EXPECT_EQ(err.rfind("tov: unknown option '--frobnicate'\n", 0), 0u) << err;
}

TEST_F(TovProgram, UnreadableScriptsAreNamedWithTheReason) {
  EXPECT_EQ(run({"missing.tov"}), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err.rfind("tov: cannot open script 'missing.tov': ", 0), 0u) << err;
  EXPECT_GT(err.size(), std::string("tov: cannot open script 'missing.tov': \n").size()) << "no reason given";

  // After "--" an option-like name is a script name.
  EXPECT_EQ(run({"--", "--version"}), 2);
  EXPECT_EQ(err.rfind("tov: cannot open script '--version': ", 0), 0u) << err;
  fs::create_directory(dir / "folder.tov");
  EXPECT_EQ(run({"folder.tov"}), 2);
  EXPECT_EQ(err.rfind("tov: cannot ", 0), 0u) << err;
  EXPECT_NE(err.find("script 'folder.tov': "), std::string::npos) << err;
}

TEST_F(TovProgram, ScriptFromStandardInput) {
  const std::string input = (dir / "script.in").string();
  std::ofstream(input, std::ios::binary) << "; nothing but a comment\r\n";
  EXPECT_EQ(run({"-", "an argument"}, input.c_str()), 0) << err;
  EXPECT_EQ(out, "");

  std::ofstream(input, std::ios::binary) << "#include \"no-such-file.tov\"\n";
  EXPECT_EQ(run({"-"}, input.c_str()), 2);
  EXPECT_NE(err.find("tov: script '(standard input)' could not be started\n"), std::string::npos) << err;
}

#ifndef _WIN32
// On a terminal the prompts show what to type: "[y/n]" after a question, the default of a line prompt.
// The terminal is a pseudo-terminal made by script(1); the answers are typed into it.
TEST_F(TovProgram, TerminalPromptsShowHints) {
  std::ofstream(dir / "ask.tov") << "a = AskYesNo(\"Q\", \"Go on?\")\nMessage(\"\", \"yes=\" : a)\n"
                                    "b = AskLine(\"Name\", \"Yours\", \"Bob\", 0)\nMessage(\"\", \"name=\" : b)\n";
  const std::string typed = "(sleep 1; printf 'y\\r'; sleep 1; printf '\\r'; sleep 3) | script -qec '" +
                            std::string(TOV_RUNNER_PATH) + " ask.tov' /dev/null";
  const char* args[] = {"/bin/sh", "-c", typed.c_str(), nullptr};
  const std::string o = (dir / "stdout").string(), e = (dir / "stderr").string();
  ASSERT_EQ(plat::run_captured(args, dir.string().c_str(), nullptr, o.c_str(), e.c_str(), 30000), 0) << slurp(e);
  const std::string shown = slurp(o);
  EXPECT_NE(shown.find("Q: Go on? [y/n] "), std::string::npos) << shown;
  EXPECT_NE(shown.find("yes=1"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Name: Yours [Bob] "), std::string::npos) << shown;
  EXPECT_NE(shown.find("name=Bob"), std::string::npos) << shown;
}
#endif
