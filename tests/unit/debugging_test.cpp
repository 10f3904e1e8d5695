// The debug trace and DebugData seen from outside: what tov writes to the trace file, to the system
// debugger (standard error on POSIX) and to the quiet log, with real times and dates.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>

#include "tov_program.h"

namespace {

// The text holds the record of a statement with a time: "\nSTATEMENT\n(ms) OUTCOME\n".
bool timed_record(const std::string& text, const std::string& statement, const std::string& outcome) {
  const std::string head = "\n" + statement + "\n(";
  for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
    size_t p = at + head.size();
    const size_t digits = p;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) ++p;
    if (p > digits && text.compare(p, outcome.size() + 3, ") " + outcome + "\n") == 0) return true;
  }
  return false;
}

}  // namespace

using DebugTraceRun = TovProgram;

TEST_F(DebugTraceRun, RealTimesTheEnvironmentReportAndFlagOne) {
  ASSERT_EQ(run_script("DebugTrace(1, \"t.txt\")\na = 1\nDebugTrace(104, \"\", 1)\nb = 2\n"), 0) << err;
  const std::string trace = slurp(dir / "t.txt");
  EXPECT_NE(trace.find("*** Debug Initialized ***\n=============================="), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nTOV DLL "), std::string::npos);
  EXPECT_NE(trace.find("\nWindows platform: NT, version: "), std::string::npos);
  EXPECT_NE(trace.find("\nErrorMode: @CANCEL\nValid Code Signature: "), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nUAC Elevation Level: "), std::string::npos) << trace;
  // Times until flag 1 is set, none after it.
  EXPECT_TRUE(timed_record(trace, "a = 1", "VALUE INT => 1")) << trace;
  EXPECT_NE(trace.find("\nb = 2\nVALUE INT => 2\n"), std::string::npos) << trace;
}

TEST_F(DebugTraceRun, DumpsOfTheTables) {
  ASSERT_EQ(run_script("DebugTrace(1, \"t.txt\")\nname = \"value\"\nn = 42\nDebugTrace(205)\n"
                       "IntControl(71, 3, 0, 0, 0)\nDebugTrace(277, \"\", 70)\nDebugTrace(277)\n"),
            0)
      << err;
  const std::string trace = slurp(dir / "t.txt");
  // One line per keyword record of the built-in table, then the end.
  const size_t begin = trace.find("---------- Begin function table dump ----------\n");
  const size_t end = trace.find("----------- End function table dump -----------\n");
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  std::istringstream table(trace.substr(begin, end - begin));
  int records = 0;
  for (std::string line; std::getline(table, line);) {
    const size_t digits = line.find_first_not_of(' ');
    records += digits != std::string::npos && std::isdigit(static_cast<unsigned char>(line[digits])) &&
               line.find(",  ") != std::string::npos;
  }
  EXPECT_EQ(records, 640);
  EXPECT_NE(trace.find(",   3,  abs\n"), std::string::npos);
  EXPECT_NE(trace.find("\nname           value\nn              42\n----------- End variable table dump"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("Current structure depth: 0\n----------- End internal info dump"), std::string::npos);
  EXPECT_NE(trace.find("Number of file slots available: 128\n"), std::string::npos);
}

TEST_F(DebugTraceRun, UndefinedWordEndsWithTheFunctionTableDump) {
  ASSERT_EQ(run_script("DebugTrace(1, \"t.txt\")\nx = nosuchword\n"), 1);
  const std::string trace = slurp(dir / "t.txt");
  const size_t terminal = trace.find("TERMINAL TOV ERROR=>3052");
  const size_t stack = trace.find("---------- Begin structure stack dump");
  const size_t settings = trace.find("---------- Begin ZRKQUILL.INI dump");
  const size_t functions = trace.find("---------- Begin function table dump");
  ASSERT_NE(terminal, std::string::npos) << trace;
  EXPECT_LT(terminal, stack);
  EXPECT_LT(stack, settings);
  EXPECT_LT(settings, functions);
  EXPECT_NE(functions, std::string::npos);
}

#if !defined(_WIN32)
TEST_F(DebugTraceRun, DebugDataAndTheDebuggerTraceGoToStandardError) {
  ASSERT_EQ(run_script("DebugData(\"label\", \"data\")\nDebugTrace(1, \"*DEBUGDATA*\")\nx = 5\n"), 0);
  EXPECT_NE(err.find("DebugData:label data\n"), std::string::npos) << err;
  EXPECT_TRUE(timed_record(err, "x = 5", "VALUE INT => 5")) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "*DEBUGDATA*"));
}
#endif

TEST_F(DebugTraceRun, DebugDataInQuietModeGoesToTheQuietLog) {
  ASSERT_EQ(run_script("IntControl(38, 1, \"quiet.log\", 0, 0)\nDebugData(\"label\", \"data\")\n"), 0);
  const std::string log = slurp(dir / "quiet.log");
  EXPECT_NE(log.find("\nlabel\n\ndata\n"), std::string::npos) << log;
  EXPECT_EQ(err.find("DebugData:"), std::string::npos);
}

TEST_F(DebugTraceRun, ExtendersLoadedAreNamedWithTheirFile) {
  ASSERT_EQ(run_script("DebugTrace(1, \"t.txt\")\nAddExtender(\"tovtestext\")\n"
                       "Message(IntControl(77, 40, 0, 0, 0), IntControl(77, 42, \"|\", 0, 0))\n"),
            0)
      << err;
  // Item 42 lists the file of each extender loaded.
  EXPECT_EQ(out.rfind("1: ", 0), 0u) << out;
  EXPECT_NE(out.find("tovtestext"), std::string::npos) << out;
  const std::string trace = slurp(dir / "t.txt");
  const size_t at = trace.find("----- Extender loaded: ");
  ASSERT_NE(at, std::string::npos) << trace;
  const std::string record = trace.substr(at, trace.find('\n', at) - at);
  EXPECT_NE(record.find("tovtestext"), std::string::npos) << record;
  EXPECT_NE(record.find(" (file version: "), std::string::npos) << record;
}
