// The cache of compiled lines: what may change under a line after it was compiled.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "diag/errors.h"
#include "exec/compiled.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "test_context.h"

namespace tov {
namespace {

using test::TestContext;

std::string temp_path(const char* name) { return testing::TempDir() + name; }

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(LineCache, ACalledFileIsReadAfreshWhenItsTextChanges) {
  TestContext t;
  const std::string path = temp_path("tov_cache_called.tov");
  write_file(path, "For j = 1 to 3\n  r = j * 10\nNext\n");
  const std::string script = "For k = 1 to 3\n  Call(\"" + path + "\", \"\")\n  total = total + r\nNext\n";
  t.run("total = 0\n" + script);
  EXPECT_EQ(t.var_text("total"), "90");
  // The same lines at the same places, another text.
  write_file(path, "For j = 1 to 3\n  r = j * 20\nNext\n");
  t.run("total = 0\n" + script);
  EXPECT_EQ(t.var_text("total"), "180");
  std::remove(path.c_str());
}

TEST(LineCache, AFunctionDefinedLaterChangesWhatANameInACompiledBodyMeans) {
  TestContext t;
  // Once helper names a function, the body's line is read again, and a function name needs parentheses.
  t.run_reported("#DefineSubroutine f()\n  Return helper\n#EndSubroutine\nhelper = 5\nFor k = 1 to 3\n  r = f()\nNext\n"
                 "#DefineFunction helper()\n  Return 7\n#EndFunction\nr2 = f()\n");
  EXPECT_EQ(t->hdr.nRunResult, 0);
  EXPECT_EQ(t->hdr.nExtendedCode, ERR_NO_OPEN_PAREN) << t->hdr.nRunError;
  EXPECT_EQ(t.var_text("r"), "5");
  EXPECT_EQ(t.var_text("r2"), "");
}

TEST(LineCache, ConstantsLentToBuiltInsAreLetGoAtTheEndOfARun) {
  TestContext t;
  const uint32_t before = t.heap_used();
  // Constants go to comparisons and built-ins that only read them, from a user-defined function's body
  // too; an error ends the second run in the middle of such a loop.
  t.run("#DefineFunction count(s)\n  Return ItemCount(s, \",\") + (s == \"a,b\")\n#EndFunction\n"
        "n = 0\nFor k = 1 to 4\n  n = n + count(\"a,b\") + StrLen(\"xyz\") + StrIndex(\"abc\", \"c\", 1, @FWDSCAN)\nNext\n");
  EXPECT_EQ(t.var_text("n"), "36");
  EXPECT_EQ(t->hdr.nRunResult, 1);
  t.run_reported("For k = 1 to 4\n  r = ItemExtract(k, \"a,b,c\", \",\")\n  If k == 3 Then x = 1 / 0\nNext\n");
  EXPECT_EQ(t->hdr.nRunResult, 0);
  EXPECT_EQ(t.var_text("r"), "c");
  t.run("Drop(n, r, k)\n");
  EXPECT_EQ(t.heap_used(), before);
}

TEST(LineCache, LinesPassedOverInABlockThatDoesNotRunStillMakeTheirVariables) {
  // The Else and Break lines and the skipped assignments are passed over in a row once they are known;
  // a Drop between passes makes the next pass read them again.
  const std::string script =
      "ghost = 0\nFor k = 1 to 5\n  If k > 10\n    ghost = 1\n    Break\n  ElseIf k > 20\n    other = 1\n"
      "  Else\n    seen = k\n  EndIf\n  If k == 2 Then Drop(ghost)\nNext\n";
  for (const uint32_t cache_off : {0u, 1u}) {
    TestContext t;
    t->bLineCacheOff = cache_off;
    t.run(script);
    ASSERT_EQ(t->hdr.nRunResult, 1) << cache_off;
    EXPECT_EQ(t.var_text("seen"), "5");
    EXPECT_NE(slot_lookup(t.ctx(), "ghost"), SLOT_NONE) << cache_off;
    EXPECT_NE(slot_lookup(t.ctx(), "other"), SLOT_NONE) << cache_off;
    EXPECT_EQ(t.eval("IsDefined(ghost)").c.i, 0);
  }
}

// What a script leaves, run in fresh contexts with the cache off and then on (the two must agree): the
// variables named, then "result/error/extended code report". then: what runs after it in the same context.
std::vector<std::string> outcome_with_cache_off_and_on(const std::string& script,
                                                       std::initializer_list<const char*> names,
                                                       const std::function<void(TestContext&)>& then = nullptr) {
  std::vector<std::string> first;
  for (const uint32_t cache_off : {1u, 0u}) {
    TestContext t;
    t->bLineCacheOff = cache_off;
    testing::internal::CaptureStderr();
    t.run(script);
    const std::string report = testing::internal::GetCapturedStderr();
    std::vector<std::string> now;
    for (const char* name : names) now.push_back(t.var_text(name));
    now.push_back(std::to_string(t->hdr.nRunResult) + "/" + std::to_string(t->hdr.nRunError) + "/" +
                  std::to_string(t->hdr.nExtendedCode) + " " + report);
    if (then) then(t);
    if (cache_off) first = now;
    else EXPECT_EQ(now, first);
  }
  return first;
}

// The variables a script that runs to its end leaves, with the cache off and then on; they must agree.
std::vector<std::string> same_with_cache_off_and_on(const std::string& script, std::initializer_list<const char*> names) {
  std::vector<std::string> values = outcome_with_cache_off_and_on(script, names);
  EXPECT_EQ(values.back().rfind("1/0/", 0), 0u) << values.back();
  values.pop_back();
  return values;
}

TEST(LineCache, StraightLinesLeaveWhatReadingThemLeaves) {
  // Loop ends that run their heads, single-line Ifs, and chains of concatenations, with values that change
  // kinds on the way.
  const std::string script =
      "s = 0\nk = 0\nt = \"\"\nWhile k < 12\n  k = k + 1\n  If k == 5 Then k = k : \"\"\n"
      "  If k mod 4 == 0 Then Continue\n  If k == 10 Then s = 2.5\n  If k mod 2 == 0 Then s = s + k\n"
      "  Else s = s - 1\n  t = t : k : \",\" : s\nEndWhile\n"
      "For j = 1 to k by 3\n  If j > 8 Then Break\n  u = j : \"/\" : (j * 2.5) : \"/\" : t\nNext\n";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"s", "k", "j", "u"})[1], "12");
}

TEST(LineCache, AStraightLineThatFailsIsReportedWithItsNotesOnce) {
  // The line calls a pure built-in: it runs straight from its second pass, and fails on the third.
  TestContext t;
  const std::string report =
      t.run_reported("For k = 1 to 3\n  w = \"ab\"\n  If k == 3 Then Drop(w)\n  n = StrLen(w) + k\nNext\n");
  EXPECT_EQ(t->hdr.nRunError, ERR_UNINITIALIZED);
  EXPECT_EQ(t.var_text("n"), "4");
  size_t notes = 0;
  for (size_t at = report.find("undefined function:"); at != std::string::npos;
       at = report.find("undefined function:", at + 1))
    ++notes;
  EXPECT_EQ(notes, 1u) << report;
}

TEST(LineCache, LinesCallingFunctionsRunTheirCallsOnce) {
  // Assignments and Returns that call functions run straight from their third pass: an error after the
  // calls is the line's, dispatched as the general form dispatches it (the handler's value assigned, or the
  // run ended at a function's line), and no call runs again. A Return that calls out from a GoSub is 1760;
  // one in a block that does not run calls nothing.
  const std::string script =
      "#DefineFunction bump(n)\n  p = PtrGlobal(calls)\n  *p = *p + 1\n  Return n\n#EndFunction\n"
      "#DefineFunction onerr(info)\n  p = PtrGlobal(seen)\n  *p = *p : info[0] : \"@\" : info[1] : \";\"\n"
      "  info[11] = \"fixed\"\n  Return 1\n#EndFunction\n"
      "#DefineFunction wrap(n)\n  Return bump(n) * 12 / (n - 5)\n#EndFunction\n"
      "calls = 0\nseen = \"\"\nPtrGlobalDefine(calls)\nPtrGlobalDefine(seen)\n"
      "IntControl(73, 3, 0, \"onerr\", 0)\nout = \"\"\nFor k = 1 to 5\n  x = bump(k) * 12 / (k - 4)\n"
      "  out = out : x : \",\"\nNext\nIntControl(73, 0, 0, \"\", 0)\n"
      "For k = 1 to 6\n  out = out : wrap(k) : \";\"\nNext\n";
  const std::string gosub =
      "#DefineFunction viagosub(n)\n  If n > 9\n    Return bump(n)\n  EndIf\n  If n == 4 Then GoSub inner\n  :inner\n"
      "  Return bump(n)\n#EndFunction\n"
      "For k = 1 to 4\n  q = viagosub(k)\nNext\n";
  const auto first = outcome_with_cache_off_and_on(script, {"out", "calls", "seen"}, [&](TestContext& t) {
    t.run_reported(gosub);
    EXPECT_EQ(t->hdr.nExtendedCode, ERR_RETURN_FROM_GOSUB);
    EXPECT_EQ(t.var_text("q"), "3");
    EXPECT_EQ(t.var_text("calls"), "14");
  });
  EXPECT_EQ(first[0], "-4,-12,-36,fixed,60,-3;-8;-18;-48;");
  EXPECT_EQ(first[1], "10");
  EXPECT_EQ(first[2], "3062@x = bump(k) * 12 / (k - 4);");
  EXPECT_EQ(first[3].rfind("0/9015/3062 ", 0), 0u) << first[3];
  EXPECT_NE(first[3].find(":13: error 3062"), std::string::npos) << first[3];
}

TEST(LineCache, FunctionTablesFilledAlikeKeepTheirSlotsAndOthersDoNot) {
  // Calls whose tables fill alike find their names where the last call left them; calls that make their
  // names in another order, drop one or make one more must not take those slots. The string parameter is
  // stored by copy, not in order.
  const std::string script =
      "#DefineFunction f(n, s)\n  If n mod 2 == 0\n    a = n\n    b = s\n  Else\n    b = s\n    a = n * 10\n"
      "  EndIf\n  If n == 3 Then Drop(a)\n  If n == 5 Then c = 7\n"
      "  out = IsDefined(a) : IsDefined(c) : \"/\" : b : \"/\"\n  If IsDefined(a) Then out = out : a\n"
      "  If n < 6 Then out = out : \"<\" : f(n + 1, s : n) : \">\"\n  Return out\n#EndFunction\n"
      "r = \"\"\nFor k = 1 to 3\n  r = r : f(0, \"x\") : \";\" : f(k, k) : \";\"\nNext\n";
  const std::string nested = "10/x/0<10/x0/10<10/x01/2<00/x012/<10/x0123/4<11/x01234/50<10/x012345/6>>>>>>;";
  const std::string expected = nested + "10/1/10<10/11/2<00/112/<10/1123/4<11/11234/50<10/112345/6>>>>>;" + nested +
                               "10/2/2<00/22/<10/223/4<11/2234/50<10/22345/6>>>>;" + nested +
                               "00/3/<10/33/4<11/334/50<10/3345/6>>>;";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"r"})[0], expected);
}

TEST(LineCache, ANameMadeAtATablesEndIsMadeThereAgainOnlyFromTheSameNames) {
  // "a = 7" makes a at the end of the table after n and b on one call; on the next, a exists already where
  // b was, and the line must find it there, not make a second a at the end (the pointer finds the first).
  const std::string script =
      "#DefineFunction f(n)\n  If n == 1 Then a = 5\n  If n == 0 Then b = 1\n  a = 7\n  p = &a\n  Return *p\n"
      "#EndFunction\nr = \"\"\nFor k = 1 to 4\n  r = r : f(0) : f(1) : \";\"\nNext\n";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"r"})[0], "77;77;77;77;");
}

TEST(LineCache, FileLinesThatFailLeaveWhatReadingThemLeaves) {
  // Reads run straight once compiled; reading past the end fails, on later passes too: with a handler
  // function that assigns its value, then with the run ended at the line.
  const std::string path = temp_path("tov_cache_file_lines.txt");
  write_file(path, "one\ntwo\n");
  const std::string script =
      "#DefineFunction onerr(info)\n  p = PtrGlobal(seen)\n  *p = *p : info[0] : \"@\" : info[1] : \";\"\n"
      "  info[11] = \"fixed\"\n  Return 1\n#EndFunction\nseen = \"\"\nPtrGlobalDefine(seen)\n"
      "h = FileOpen(\"" + path + "\", \"READ\")\nout = \"\"\nIntControl(73, 3, 0, \"onerr\", 0)\n"
      "For k = 1 to 5\n  line = FileRead(h)\n  out = out : line : \",\"\nNext\nIntControl(73, 0, 0, \"\", 0)\n"
      "FileClose(h)\nh = FileOpen(\"" + path + "\", \"READ\")\nFor k = 1 to 5\n  FileRead(h)\n  out = out : k\nNext\n";
  const std::vector<std::string> first =
      outcome_with_cache_off_and_on(script, {"out", "seen"}, [](TestContext& t) { t.run("FileClose(h)\n"); });
  EXPECT_EQ(first[0], "one,two,*EOF*,fixed,fixed,123") << first[2];
  EXPECT_EQ(first[1], "3088@line = FileRead(h);3088@line = FileRead(h);");
  EXPECT_EQ(first[2].rfind("0/", 0), 0u) << first[2];
  EXPECT_NE(first[2].find(":20: error 3088"), std::string::npos) << first[2];
  std::remove(path.c_str());
}

TEST(LineCache, TextComparedWithConstantsAndLinesReadIntoVariablesLeaveWhatReadingThemLeaves) {
  // Texts that read as numbers compare as numbers, others as text, either side; lines replace values of
  // every kind, longer and shorter texts among them, and the end mark is a text like any other.
  const std::string path = temp_path("tov_cache_read_into.txt");
  write_file(path, std::string(150, 'w') + "\na\n\n12\n007\nlast");
  const std::string script =
      "h = FileOpen(\"" + path + "\", \"READ\")\nline = StrFill(\"x\", 400)\nout = \"\"\nFor k = 1 to 9\n"
      "  If k == 4 Then line = 2.5\n  line = FileRead(h)\n  If line == \"*EOF*\" Then Break\n"
      "  out = out : StrLen(line) : (line == \"12\") : (\"7\" == line) : (line < \"b\") : (\"12.0\" >= line) : \",\"\n"
      "Next\nFileClose(h)\nDrop(h)\n";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"out", "k"})[0], "1500000,10010,00011,21011,30111,40000,");
  TestContext t;
  const uint32_t before = t.heap_used();
  t.run(script + "Drop(line, out, k)\n");
  EXPECT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.heap_used(), before);
  std::remove(path.c_str());
}

TEST(LineCache, ReturnsFromCompiledLinesLeaveWhatReadingThemLeaves) {
  // Returns from inside loops and a Switch, after Then (taken or not, an Else line after it), without a value
  // and with values of other kinds.
  const std::string script =
      "#DefineFunction pick(n)\n  For k = 1 to 6\n    Switch n mod 3\n      Case 0\n        Return k * 10 + n\n"
      "      Case 1\n        If k == 3 Then Return k + n\n        Break\n    EndSwitch\n  Next\n  Return -n\n"
      "#EndFunction\n#DefineFunction small(n)\n  If n < 3 Then Return n * 10\n  Else r = 7\n"
      "  If n == 3 Then Return\n  If n == 4 Then Return \"four\"\n  If n == 5 Then Return 2.5\n  Return r + n\n"
      "#EndFunction\nout = \"\"\nFor i = 1 to 9\n  out = out : pick(i) : \"/\" : small(i) : \",\"\nNext\n";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"out"})[0], "4/10,-2/20,13/0,7/four,-5/2.5,16/13,10/14,-8/15,19/16,");
}

TEST(LineCache, FunctionsOfWholeNumberStepsGiveWhatTheirCallsGave) {
  // Bodies of whole-number assignments and a Return, called from whole-number expressions: every operator,
  // constants, a parameter assigned, wrapping arithmetic, comments and blank lines, no value returned.
  const std::string script =
      "#DefineFunction mix(a, b)\n  ; a comment, then a blank line\n\n  c = a * b - -a\n  a = c mod 7 + (b << 2)\n"
      "  d = !(a > b) + ~b + (a ^ b) + (b ** 2) + c / -3 + (a >> 1) + (a && b) + (b || 0) + (a & 6) + (a | 1)\n"
      "  Return d + @TRUE\n#EndFunction\n#DefineFunction wrap(x)\n  Return x * 65536 * 65536 + x * 2147483647 - 2\n"
      "#EndFunction\n#DefineFunction none()\n  Return\n#EndFunction\nout = \"\"\nFor k = -3 to 6\n"
      "  v = mix(k, k + 2) - 1\n  v = v + wrap(k)\n  v = none() + v + 1\n  out = out : v : \",\"\nNext\n";
  EXPECT_EQ(same_with_cache_off_and_on(script, {"out"})[0],
            "-2147483640,3,-2147483638,25,-2147483600,60,-2147483571,84,-2147483537,136,");
}

TEST(LineCache, FunctionsOfWholeNumberStepsCountTheirStatementsTowardsTheNextPump) {
  // Every statement of a body but its Return counts, as when the body runs: at the end of loops of every
  // length the count to the next message pump is what calls given text (whose bodies then run) leave.
  const std::string functions =
      "#DefineFunction three(a)\n  b = a + 1\n  c = b * 2\n  d = c - a\n  Return d\n#EndFunction\n"
      "#DefineFunction one(a)\n  b = a + 1\n  Return b\n#EndFunction\n";
  for (int passes = 1; passes <= 24; ++passes) {
    uint32_t counts[2];
    for (const int text : {0, 1}) {
      const std::string k = text ? "(k : \"\")" : "k";
      TestContext t;
      t.run(functions + "For k = 1 to " + std::to_string(passes) + "\n  t = three(" + k + ") + one(" + k +
            ")\n  u = one(" + k + ")\nNext\n");
      EXPECT_EQ(t.var_text("t"), std::to_string(passes + 2 + passes + 1));
      counts[text] = t->nPumpSkip;
    }
    EXPECT_EQ(counts[0], counts[1]) << passes;
  }
}

TEST(LineCache, FunctionsOfWholeNumberStepsFailAsTheirCallsFailed) {
  // A zero divisor on the fifth call, a local read before it is made, a parameter not given, a repeated
  // parameter name, and a name that becomes a function's after the body was worked out.
  const std::string divide =
      "#DefineFunction part(a, b)\n  q = a / b\n  Return q + 1\n#EndFunction\nt = 0\n"
      "For k = 4 to -1 by -1\n  t = t + part(12, k)\nNext\n";
  EXPECT_EQ(outcome_with_cache_off_and_on(divide, {"t", "k"})[1], "0");
  const std::string unmade = "#DefineFunction f(a)\n  b = a + 1\n  Return b + z\n#EndFunction\nFor k = 1 to 4\n"
                             "  t = f(k) + 1\nNext\n";
  EXPECT_EQ(outcome_with_cache_off_and_on(unmade, {"t"})[0], "");
  const std::string missing = "#DefineFunction f(a, b)\n  Return a + b\n#EndFunction\nFor k = 1 to 4\n"
                              "  t = f(k, k) + f(k)\nNext\n";
  EXPECT_EQ(outcome_with_cache_off_and_on(missing, {"t"})[0], "");
  const std::string repeated = "#DefineFunction f(a, a)\n  Return a * 10\n#EndFunction\nt = 0\nFor k = 1 to 4\n"
                               "  t = t + f(k, 2)\nNext\n";
  EXPECT_EQ(same_with_cache_off_and_on(repeated, {"t"})[0], "80");
  const std::string renamed =
      "#DefineFunction g(n)\n  helper = n\n  Return helper * 2\n#EndFunction\nFor k = 1 to 4\n  r = g(k) + 1\nNext\n"
      "#DefineFunction helper()\n  Return 7\n#EndFunction\nr2 = g(5) + 1\n";
  const std::vector<std::string> after = outcome_with_cache_off_and_on(renamed, {"r", "r2"});
  EXPECT_EQ(after[0], "9");
  EXPECT_EQ(after[2].rfind("1/0/", 0), std::string::npos) << after[2];
}

TEST(LineCache, KeepsToItsCapOnScriptsOfManyLines) {
  TestContext t;
  // Every line runs twice, so every line is compiled; twice the cap of distinct lines.
  std::string script = "For round = 1 to 2\n";
  for (uint32_t i = 0; i < 2 * LINECACHE_LINES; ++i) script += "  v" + std::to_string(i % 50) + " = " + std::to_string(i) + "\n";
  script += "Next\n";
  t.run(script);
  ASSERT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text(("v" + std::to_string((2 * LINECACHE_LINES - 1) % 50)).c_str()),
            std::to_string(2 * LINECACHE_LINES - 1));
  ASSERT_NE(t->lineCache, nullptr);
  EXPECT_LE(t->lineCache->lines, LINECACHE_LINES);
  EXPECT_LE(t->lineCache->arenaUsed, LINECACHE_ARENA);
}

TEST(LineCache, LinesBuiltWithPercentSignsKeepToAQuarterOfTheCap) {
  TestContext t;
  // Every pass substitutes a new text; the texts met are kept up to a quarter of the cap.
  t.run("For k = 1 to 3000\n  name = \"n\" : k mod 500\n  %name% = k * %k%\nNext\n");
  ASSERT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("n499"), std::to_string(2999 * 2999));
  ASSERT_NE(t->lineCache, nullptr);
  EXPECT_LE(t->lineCache->textLines, LINECACHE_LINES / 4);
  EXPECT_LE(t->lineCache->lines, LINECACHE_LINES);
}

#ifndef _WIN32
TEST(LineCache, AStopRequestEndsACompiledLoopBetweenStatements) {
  TestContext t;
  plat::install_break_handler();
  std::thread interrupter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::raise(SIGINT);
  });
  t.run_reported("a = 0\nb = 0\nWhile 1\n  a = a + 1\n  b = b + 1\nEndWhile\n");
  interrupter.join();
  EXPECT_EQ(t->hdr.nRunResult, 0);
  EXPECT_EQ(t->hdr.bCancel, 1u);
  // Both statements of a pass ran, or only the first: never a statement cut in half.
  const long a = std::stol(t.var_text("a")), b = std::stol(t.var_text("b"));
  EXPECT_GT(a, 100);
  EXPECT_TRUE(a == b || a == b + 1) << a << " " << b;
}
#endif

}  // namespace
}  // namespace tov
