// Script text as the Engine holds it: preparation of host buffers (byte-order marks, line ends, #include
// expansion), reading lines, %name% substitution, labels, and turning offsets back into files and lines.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "diag/errors.h"
#include "engine/script.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;
namespace fs = std::filesystem;

namespace {

// A folder of its own for files that a test creates; removed at the end.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    path_ = fs::temp_directory_path() /
            ("tov-src-" + std::to_string(plat::tick_count()) + "-" + std::to_string(serial++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return (path_ / name).string();
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// A HeldScript over a copy of the text, for the readers that do not need a prepared block.
struct Held {
  explicit Held(std::string text) : buf(std::move(text)) {
    hs = HeldScript{buf.data(), uint32_t(buf.size()), 0, NO_UDF, 0, 0};
  }
  std::string buf;
  HeldScript hs;
};

std::vector<std::string> all_lines(RunContext* ctx, const HeldScript& hs) {
  std::vector<std::string> lines;
  char line[LINE_BUFFER_BYTES];
  uint32_t pos = 0, start = 0;
  while (FetchLine(ctx, line, sizeof line, &hs, &start, &pos)) lines.push_back(line);
  return lines;
}

// Prepares host text the way ProcessDaBatBuffer does (the current file names the markers).
struct Prepared {
  Prepared(RunContext* ctx, const std::string& text, const std::string& file = "main.tov") {
    std::strcpy(ctx->szCurrentFile, file.c_str());
    plat::HostHandle h = plat::host_alloc(text.size() + 2);
    std::memcpy(plat::host_lock(h), text.data(), text.size());
    plat::host_unlock(h);
    ok = PrepareHostBuffer(ctx, h, &hs);
    plat::host_free(h);
  }
  ~Prepared() { FreeHeldScript(&hs); }
  std::string text() const { return ok ? std::string(hs.text, hs.length) : std::string(); }
  bool ok;
  HeldScript hs{};
};

std::string utf16(const std::u16string& s, bool big_endian) {
  std::string out;
  for (char16_t c : s) {
    const char lo = char(c & 0xFF), hi = char(c >> 8);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

// Wide text in the run's ANSI code page (UTF-8 on Linux, the system's code page on Windows).
std::string ansi(RunContext* ctx, const std::u16string& w) {
  char out[256];
  const int n = plat::wide_to_ansi(w.data(), int(w.size()), out, sizeof out, ctx->nCodePage);
  return std::string(out, n > 0 ? size_t(n) : 0);
}


}  // namespace

TEST(ScriptText, ByteOrderMarksSelectLittleAndBigEndianText) {
  TestContext t;
  for (bool big : {false, true}) {
    const std::string text = utf16(u"\xFEFFx = \"\u00e9t\u00e9\"\r\ny = 2\r\n", big);
    Prepared p(t.ctx(), text);
    ASSERT_TRUE(p.ok);
    const auto lines = all_lines(t.ctx(), p.hs);
    ASSERT_GE(lines.size(), 3u);   // the marker line, then the two lines
    EXPECT_EQ(lines[1], ansi(t.ctx(), u"x = \"\u00e9t\u00e9\" ")) << (big ? "big-endian" : "little-endian");
    EXPECT_EQ(lines[2], "y = 2 ");
  }
  // A mark and nothing else converts to nothing: the text is refused.
  Prepared empty(t.ctx(), utf16(u"\xFEFF", false));
  EXPECT_FALSE(empty.ok);
}

TEST(ScriptText, LineEndsAreNormalised) {
  TestContext t;
  Held crlf("a\r\nb\rc\n\r\n");
  // Normalisation happens when a text is prepared; FetchLine only ever sees LF.
  Prepared p(t.ctx(), crlf.buf);
  ASSERT_TRUE(p.ok);
  const auto lines = all_lines(t.ctx(), p.hs);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "a ");   // CR LF: the CR becomes a blank
  EXPECT_EQ(lines[2], "b");    // a lone CR ends a line
  EXPECT_EQ(lines[3], "c");
  EXPECT_EQ(lines[4], "");     // the blank of a CR LF line alone is a leading blank
}

TEST(ScriptText, FetchLineSkipsLeadingBlanksAndStopsAtEof) {
  TestContext t;
  Held h(" \t  x = 1\n\ny\x1Aignored\n");
  char line[LINE_BUFFER_BYTES];
  uint32_t pos = 0, start = 0;
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_STREQ(line, "x = 1");
  EXPECT_EQ(start, 4u);   // the first non-blank byte
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_STREQ(line, "");
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_STREQ(line, "y");   // 0x1A ends the line like LF
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_STREQ(line, "ignored");
  EXPECT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 0);
}

TEST(ScriptText, NulInsideTextDoesNotStallTheReader) {
  TestContext t;
  Held h(std::string("a\0b\nc", 5));
  const auto lines = all_lines(t.ctx(), h.hs);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "c");
}

TEST(ScriptText, LongLinesAndTheDeferredError) {
  TestContext t;
  const std::string full(2048, 'x');
  // A CR LF line of exactly 2048 characters: the blank that stood for the CR is dropped quietly.
  Prepared p(t.ctx(), "a=1\r\n" + full + "\r\nb=2\r\n");
  ASSERT_TRUE(p.ok);
  t->nDeferredError = 0;
  auto lines = all_lines(t.ctx(), p.hs);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], full);
  EXPECT_EQ(lines[3], "b=2 ");
  EXPECT_EQ(t->nDeferredError, 0);

  // 2049 characters: cut at 2048, 3722 deferred, the rest of the line consumed.
  Held h(full + "yz\nnext\n");
  char line[LINE_BUFFER_BYTES];
  uint32_t pos = 0, start = 0;
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_EQ(std::string(line), full);
  EXPECT_EQ(t->nDeferredError, ERR_LINE_TOO_LONG);
  t->nDeferredError = 0;
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_STREQ(line, "next");
  EXPECT_EQ(t->nDeferredError, 0);
}

TEST(ScriptText, OverlongLineFailsWhenReachedNotAtLoad) {
  TestContext t;
  plat::set_console_ui(true);   // boxes and error reports become console lines
  const std::string script = "reached = 1\n" + std::string(2049, '1') + "\nafter = 1\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(t.run(script), 1u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(":2: error 3722"), std::string::npos);
  EXPECT_EQ(t->hdr.nRunError, uint32_t(ERR_LINE_TOO_LONG));
  EXPECT_EQ(t.text_of("reached"), "1");   // the lines before it ran
  EXPECT_EQ(t.text_of("isdefined(after)"), "0");
}

TEST(ScriptText, EmptyScriptThroughTheEntryPoints) {
  TestContext t;
  plat::HostHandle h = plat::host_alloc(4);
  EXPECT_EQ(ProcessDaBatBuffer(nullptr, t.handle(), h, nullptr, nullptr), 1u);
  plat::host_free(h);
  t->lpVars = t->aVarFrame[0].slots = static_cast<VarSlot*>(plat::host_lock(t->hVarTable));
  plat::host_unlock(t->hVarTable);
  EXPECT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t->hdr.nRunError, 0u);
}

TEST(ScriptText, InterfaceLevelOfTheHost) {
  plat::set_console_ui(true);   // boxes and error reports become console lines
  const uint32_t size = DoDaDllInit(nullptr, nullptr, 0x1300, INIT_QUERY, 0, nullptr, nullptr);
  EXPECT_GE(size, sizeof(RunContextHeader));
  testing::internal::CaptureStdout();
  EXPECT_EQ(DoDaDllInit(nullptr, nullptr, 0x1200, INIT_QUERY, 0, nullptr, nullptr), 0u);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Version Interface Incompatible"), std::string::npos);
}

TEST(ScriptText, ConcurrentInitialisationIsSerialised) {
  // Two hosts set up and shut down contexts at the same time; every phase must succeed on both.
  std::atomic<int> failures{0};
  auto host = [&] {
    for (int i = 0; i < 20; ++i) {
      TestContext t(64, size_t(1) << 20);
      if (!t->lpHeap || t->nVarUsed != 1 || t.text_of("1 + 1") != "2") ++failures;
    }
  };
  std::thread a(host), b(host);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
}

// --- #include -------------------------------------------------------------------------------------------

TEST(Includes, NestingLimit) {
  TestContext t;
  TempDir dir;
  // Files 1..16, each including the next; the last one assigns.
  for (int i = 1; i <= 16; ++i) {
    const std::string next = i < 16 ? "#include \"inc" + std::to_string(i + 1) + ".tov\"\n" : "";
    dir.write("inc" + std::to_string(i) + ".tov", "depth" + std::to_string(i) + " = 1\n" + next);
  }
  // The main text at level 0 and fifteen levels below it load.
  dir.write("inc15.tov", "depth15 = 1\n");
  Prepared ok(t.ctx(), "#include \"inc1.tov\"\n", dir.file("main.tov"));
  ASSERT_TRUE(ok.ok);
  EXPECT_NE(ok.text().find("depth15 = 1"), std::string::npos);

  // A sixteenth level fails with 218.
  dir.write("inc15.tov", "depth15 = 1\n#include \"inc16.tov\"\n");
  plat::set_console_ui(true);   // boxes and error reports become console lines
  testing::internal::CaptureStderr();
  Prepared deep(t.ctx(), "#include \"inc1.tov\"\n", dir.file("main.tov"));
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(deep.ok);
  EXPECT_NE(report.find("too deeply nested"), std::string::npos) << report;
}

TEST(Includes, MissingFileIsReportedByName) {
  TestContext t;
  TempDir dir;
  plat::set_console_ui(true);   // boxes and error reports become console lines
  testing::internal::CaptureStderr();
  Prepared p(t.ctx(), "a = 1\n#include 'no_such_file.tov'\n", dir.file("main.tov"));
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(p.ok);
  EXPECT_NE(report.find("217"), std::string::npos) << report;
  EXPECT_NE(report.find("no_such_file.tov"), std::string::npos) << report;
}

TEST(Includes, NamesQuotedOrBareWithTrailingBlanks) {
  TestContext t;
  TempDir dir;
  dir.write("plain name.tov", "from_plain = 1\n");
  dir.write("q.tov", "from_quoted = 1");   // no line end at the end of the file
  Prepared p(t.ctx(), "#include plain name.tov  \t \n  #INCLUDE\t`q.tov`\nlast = 1\n", dir.file("main.tov"));
  ASSERT_TRUE(p.ok);
  const std::string text = p.text();
  EXPECT_NE(text.find("from_plain = 1"), std::string::npos);
  EXPECT_NE(text.find("from_quoted = 1\n"), std::string::npos);
  EXPECT_NE(text.find("last = 1"), std::string::npos);
  EXPECT_EQ(text.find("#include"), std::string::npos);
  EXPECT_EQ(text.find("#INCLUDE"), std::string::npos);
}

TEST(Includes, MarkersGiveEachFileItsOwnLineNumbers) {
  TestContext t;
  TempDir dir;
  const std::string inc = dir.write("inc.tov", "i1 = 1\ni2 = 2\n");
  Prepared p(t.ctx(), "m1 = 1\n#include \"inc.tov\"\nm3 = 3\n", dir.file("main.tov"));
  ASSERT_TRUE(p.ok);
  const std::string text = p.text();
  // The first line of an expanded text is a marker for line 1 of its file.
  ASSERT_GE(text.size(), 8u);
  EXPECT_EQ(text.substr(0, 8), std::string(";\x0B\x41\x40\x40\x40\x40\x41"));

  auto where = [&](const std::string& stmt, std::string* file) {
    const size_t at = text.find(stmt);
    EXPECT_NE(at, std::string::npos) << stmt;
    char name[300], line[100];
    uint32_t in_udf = 99;
    int kind = 0;
    uint32_t n = LocateLine(t.ctx(), &p.hs, uint32_t(at), name, sizeof name, line, sizeof line, &in_udf, &kind);
    *file = name;
    EXPECT_EQ(std::string(line), stmt);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(in_udf, 0u);
    return n;
  };
  std::string file;
  EXPECT_EQ(where("m1 = 1", &file), 1u);
  EXPECT_EQ(file, dir.file("main.tov"));
  EXPECT_EQ(where("i1 = 1", &file), 1u);
  EXPECT_EQ(file, inc);
  EXPECT_EQ(where("i2 = 2", &file), 2u);
  EXPECT_EQ(file, inc);
  EXPECT_EQ(where("m3 = 3", &file), 3u);   // numbering of the including file goes on
  EXPECT_EQ(file, dir.file("main.tov"));
  EXPECT_EQ(LocateLine(t.ctx(), &p.hs, p.hs.length + 1, nullptr, 0, nullptr, 0, nullptr, nullptr), 0u);
}

TEST(Includes, ErrorInIncludedFileNamesThatFile) {
  TestContext t;
  TempDir dir;
  plat::set_console_ui(true);   // boxes and error reports become console lines
  dir.write("bad.tov", "ok = 1\nx = 1 +\n");
  testing::internal::CaptureStderr();
  t.run("a = 1\n#include \"bad.tov\"\n", nullptr, nullptr, dir.file("main.tov").c_str());
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(dir.file("bad.tov") + ":2: error"), std::string::npos) << report;
}

// --- labels ---------------------------------------------------------------------------------------------

TEST(Labels, FindLabelSkipsFunctionBodiesAndRewritesTheJump) {
  TestContext t;
  Held h(
      "goto there\n"
      "#DefineFunction f()\n"
      ":there\n"
      "#EndFunction\n"
      ":therex\n"
      "  :THERE ; the one\n"
      "gosub there\n");
  uint32_t target = 0;
  ASSERT_EQ(FindLabel(t.ctx(), "There", &target, 0, 0, &h.hs, false), 1);
  EXPECT_EQ(h.buf.substr(target, 6), ":THERE");
  EXPECT_EQ(uint8_t(h.buf[0]), RESOLVED_GOTO);
  EXPECT_EQ(decode_24(reinterpret_cast<const uint8_t*>(h.buf.data() + 1)), target);
  EXPECT_EQ(h.buf.substr(5, 6), "there\n");   // the label name stays for listings

  const uint32_t gosub_at = uint32_t(h.buf.find("gosub"));
  ASSERT_EQ(FindLabel(t.ctx(), "there", &target, gosub_at, 0, &h.hs, false), 1);
  EXPECT_EQ(uint8_t(h.buf[gosub_at]), RESOLVED_GOSUB);
  EXPECT_EQ(decode_24(reinterpret_cast<const uint8_t*>(h.buf.data() + gosub_at + 1)), target);

  // With the no-rewrite flag the text stays as it is.
  Held h2("goto a\n:a\n");
  ASSERT_EQ(FindLabel(t.ctx(), "a", &target, 0, 0, &h2.hs, true), 1);
  EXPECT_EQ(h2.buf.substr(0, 4), "goto");

  Held h3("#DefineSubroutine s()\n:hidden\n#EndSubroutine\n");
  EXPECT_EQ(FindLabel(t.ctx(), "hidden", &target, 0, 0, &h3.hs, true), 0);
  EXPECT_EQ(t.err(), ERR_LABEL_NOT_FOUND);
}

TEST(Labels, ResolvedJumpsRunAgainWithoutSearching) {
  TestContext t;
  plat::set_console_ui(true);   // boxes and error reports become console lines
  t.run(
      "n = 0\n"
      "subs = 0\n"
      ":top\n"
      "n = n + 1\n"
      "if n < 3 then goto top\n"
      "gosub sub\n"
      "gosub sub\n"
      "exit\n"
      ":sub\n"
      "subs = subs + 1\n"
      "return\n",
      nullptr, nullptr, "labels.tov");
  EXPECT_EQ(t->hdr.nRunError, uint32_t(STATUS_EXIT));
  EXPECT_EQ(t.text_of("n"), "3");
  EXPECT_EQ(t.text_of("subs"), "2");
}

// --- %name% substitution -------------------------------------------------------------------------------

namespace {

struct Substituted {
  int result;
  uint16_t err;
  std::string line;
};

Substituted substitute(TestContext& t, const std::string& text) {
  char line[LINE_BUFFER_BYTES] = {};
  std::strncpy(line, text.c_str(), sizeof line - 1);
  t->err = 0;
  int r = SubstituteLine(t.ctx(), line);
  return {r, t->err, line};
}

}  // namespace

TEST(Substitution, NamesConstantsAndPercentSigns) {
  TestContext t;
  t.assign("name = \"World\"");
  t.assign("num = 42");
  t.assign("half = 0.5");
  EXPECT_EQ(substitute(t, "x = 100%%").line, "x = 100%");
  EXPECT_EQ(substitute(t, "x = 100%%").result, 1);
  EXPECT_EQ(substitute(t, "plain").result, 1);
  auto s = substitute(t, "Hello %NAME%, %num%/%half%!");
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.line, "Hello World, 42/0.5!");
  s = substitute(t, "[%nothing_here%]");
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.line, "[]");
  EXPECT_EQ(substitute(t, "%@CRLF%%@tab%%@cr%%@lf%").line, "\r\n\t\r\n");
  EXPECT_EQ(substitute(t, "ends with %").line, "ends with %");
}

TEST(Substitution, Limits) {
  TestContext t;
  const std::string n30(30, 'a'), n31(31, 'a');
  EXPECT_EQ(substitute(t, "%" + n30 + "%").err, 0);
  EXPECT_EQ(substitute(t, "%" + n31 + "%").err, ERR_SUBST_NAME_TOO_LONG);
  EXPECT_EQ(substitute(t, "x = %abc").err, ERR_SUBST_NO_CLOSING);
  EXPECT_EQ(substitute(t, "x = %abc def%").err, ERR_SUBST_NO_CLOSING);

  // The result must stay within 2048 characters.
  t.assign(("big = \"" + std::string(2000, 'b') + "\"").c_str());
  auto s = substitute(t, std::string(48, 'x') + "%big%");
  EXPECT_EQ(s.err, 0);
  EXPECT_EQ(s.line.size(), 2048u);
  EXPECT_EQ(substitute(t, std::string(49, 'x') + "%big%").err, ERR_SUBST_TOO_LONG);
  EXPECT_EQ(substitute(t, std::string(2048, '%')).line, std::string(1024, '%'));
  // A failed substitution leaves the line as it was.
  char line[LINE_BUFFER_BYTES] = "keep %me";
  SubstituteLine(t.ctx(), line);
  EXPECT_STREQ(line, "keep %me");
}

TEST(Substitution, IncludeLineBecomesCallAtRunTime) {
  TestContext t;
  t->nIncludeMode = 2;
  auto s = substitute(t, "#include \"lib.tov\"  ");
  EXPECT_EQ(s.line, "Call(\"lib.tov\", ``)");
  s = substitute(t, "#include  a\"b.tov");
  EXPECT_EQ(s.line, "Call(\"a\"\"b.tov\", ``)");
  t->nIncludeMode = 0;
  EXPECT_EQ(substitute(t, "#include \"lib.tov\"").line, "#include \"lib.tov\"");
}
