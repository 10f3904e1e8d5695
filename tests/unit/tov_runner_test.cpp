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

// A menu host takes no script: what follows the options are the parameters of the items' runs.
TEST(TovCommandLine, MenuHostOptions) {
  CommandLine cl = parse({"--menu", "tools.mnu", "--popup", "a", "--console"});
  ASSERT_EQ(cl.action, CommandLine::Run);
  EXPECT_EQ(cl.menu, "tools.mnu");
  EXPECT_TRUE(cl.popup);
  EXPECT_FALSE(cl.console);
  EXPECT_EQ(cl.first_arg, 4);
  cl = parse({"--console", "--menu", "tools.mnu"});
  EXPECT_EQ(cl.action, CommandLine::Run);
  EXPECT_EQ(cl.first_arg, 4);
  EXPECT_EQ(parse({"--menu", ""}).error, "option '--menu' needs a menu file");
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
  EXPECT_EQ(run({"-", "an argument"}, write("script.in", "; nothing but a comment\r\n").c_str()), 0) << err;
  EXPECT_EQ(out, "");

  EXPECT_EQ(run({"-"}, write("script.in", "#include \"no-such-file.tov\"\n").c_str()), 2);
  EXPECT_NE(err.find("tov: script '(standard input)' could not be started\n"), std::string::npos) << err;
}

#ifndef _WIN32
// Nesting that would overflow a small stack is refused with error 3099 before it does, on the main thread
// whose bounds the Engine works out itself.
TEST_F(TovProgram, DeepNestingOnASmallStackIsAnError) {
  write("script.tov", "x = " + std::string(1500, '-') + "1\nMessage(\"x\", x)\n");
  const std::string command = std::string("ulimit -s 256 && exec '") + TOV_RUNNER_PATH + "' --console script.tov";
  const char* args[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  const std::string o = (dir / "stdout").string(), e = (dir / "stderr").string(), cwd = dir.string();
  EXPECT_EQ(plat::run_captured(args, cwd.c_str(), nullptr, o.c_str(), e.c_str(), 30000), 1);
  EXPECT_NE(slurp(e).find("error 3099"), std::string::npos) << slurp(e);
  EXPECT_EQ(slurp(o), "");
}

// On a terminal the prompts show what to type: "[y/n]" after a question, the default of a line prompt.
// The terminal is a pseudo-terminal made by script(1); the answers are typed into it.
TEST_F(TovProgram, TerminalPromptsShowHints) {
  write("ask.tov", "a = AskYesNo(\"Q\", \"Go on?\")\nMessage(\"\", \"yes=\" : a)\n"
                   "b = AskLine(\"Name\", \"Yours\", \"Bob\", 0)\nMessage(\"\", \"name=\" : b)\n");
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

// tov --menu on the console: the numbered menu, items chosen by number from standard input, help texts,
// errors of items pointing into the menu file, and a menu file changed by one of its own items.
TEST_F(TovProgram, ConsoleMenuHost) {
  write("tools.mnu",
        "    Message(\"\", \"leading \" : param1)\n"
        "&File\n"
        " &Write\\^W ; Writes out.txt\n"
        "    h = FileOpen(\"out.txt\", \"WRITE\")\n"
        "    FileWrite(h, \"written\")\n"
        "    FileClose(h)\n"
        " Sub\n"
        "  Deep;^\n"
        "    Message(\"\", \"deep \" : param0)\n"
        "_Broken\n"
        "    x = 1 +\n"
        "@Hidden\\^H\n"
        "    Message(\"\", \"hidden\")\n");
  EXPECT_EQ(run({"--menu", "tools.mnu", "one"}, write("choices.in", "1\n?1\n2\n?2\n 3 \n4\nabc\n").c_str()), 0)
      << err;
  const std::string menu =
      "    File\n"
      "      1 Write  Ctrl+W\n"
      "        Sub\n"
      "          2 Deep\n"
      "    ----\n"
      "  3 Broken\n"
      "  0 Exit\n"
      "Choose an item (?N shows its help): ";
  EXPECT_EQ(out, "leading one\n" + menu + menu + "Writes out.txt\n" + menu + "deep 1\n" + menu +
                     "Message(\"\", \"deep \" : param0)\n" + menu + menu + "There is no item '4'.\n" + menu +
                     "There is no item 'abc'.\n" + menu + "\n");
  EXPECT_EQ(slurp(dir / "out.txt"), "written\n");
  // The failing line is named by the menu file and its line.
  EXPECT_NE(err.find("tools.mnu:11: error"), std::string::npos) << err;
}

TEST_F(TovProgram, ConsoleMenuReloadsAChangedFile) {
  write("self.mnu",
        "Change\n"
        "    h = FileOpen(\"self.mnu\", \"WRITE\")\n"
        "    FileWrite(h, \"Changed\")\n"
        "    FileWrite(h, '    Message(\"\", \"new item\")')\n"
        "    FileClose(h)\n"
        "    FileTimeSet(\"self.mnu\", \"2001:02:03:04:05:06\")\n");
  EXPECT_EQ(run({"--menu", "self.mnu"}, write("choices.in", "1\n1\n1\n").c_str()), 0) << err;
  const std::string before = "  1 Change\n  0 Exit\nChoose an item (?N shows its help): ";
  const std::string after = "  1 Changed\n  0 Exit\nChoose an item (?N shows its help): ";
  EXPECT_EQ(out, before + before +
                     "tov: self.mnu: TOV Processor menu(s) will be reloaded\nto reflect recent changes.\n"
                     "Reselect menu option when reload complete.\n" +
                     after + "new item\n" + after + "\n");
}

TEST_F(TovProgram, MenuHostUsageAndBadFiles) {
  EXPECT_EQ(run({"--menu"}), 2);
  EXPECT_EQ(err.rfind("tov: option '--menu' needs a menu file\n", 0), 0u) << err;
  EXPECT_EQ(run({"--popup", "x.tov"}), 2);
  EXPECT_EQ(err.rfind("tov: option '--popup' needs '--menu'\n", 0), 0u) << err;
  EXPECT_EQ(run({"--menu", "missing.mnu"}, write("choices.in", "1\n").c_str()), 2);
  EXPECT_EQ(out, "tov: missing.mnu: Menu file file open error. Maybe it does not exist???\n");
  EXPECT_EQ(err, "tov: menu file 'missing.mnu' could not be loaded\n");
  write("bad.mnu", "First\n    x = 1\n  Third\n");
  EXPECT_EQ(run({"--menu", "bad.mnu"}, write("empty.in", "").c_str()), 0) << err;
  EXPECT_EQ(out.rfind("tov: bad.mnu: Need batch code or top level menu title. Not found.\n"
                      "Unexpected menu line.  Check for proper indentation.: Third\n"
                      "  1 First\n  0 Exit\n", 0), 0u) << out;
}
