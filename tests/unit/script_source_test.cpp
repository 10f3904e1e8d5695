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
#include "test_folder.h"

using tov::test::TestContext;
using tov::test::TestFolder;
using namespace tov;
namespace fs = std::filesystem;

namespace {

// What a step reports on standard error, with boxes and error reports turned into console lines.
template <class F>
std::string stderr_of(F&& step) {
  plat::set_console_ui(true);
  testing::internal::CaptureStderr();
  step();
  return testing::internal::GetCapturedStderr();
}

// A HeldScript over a copy of the text, for the readers that do not need a prepared block.
struct Held {
  explicit Held(std::string text) : buf(std::move(text)) {}
  std::string buf;
  HeldScript hs{buf.data(), uint32_t(buf.size()), 0, NO_UDF, 0, 0};
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
  for (char16_t c : s) out += big_endian ? std::string{char(c >> 8), char(c)} : std::string{char(c), char(c >> 8)};
  return out;
}

// Wide text in the run's ANSI code page (UTF-8 on Linux, the system's code page on Windows).
std::string ansi(RunContext* ctx, const std::u16string& w) {
  char out[256];
  const int n = plat::wide_to_ansi(w.data(), int(w.size()), out, sizeof out, ctx->nCodePage);
  return std::string(out, n > 0 ? size_t(n) : 0);
}

// SubstituteLine over a copy of text: the error number and the line afterwards.
std::pair<uint16_t, std::string> substitute(TestContext& t, const std::string& text) {
  char line[LINE_BUFFER_BYTES] = {};
  std::strncpy(line, text.c_str(), sizeof line - 1);
  t->err = 0;
  SubstituteLine(t.ctx(), line);
  return {t->err, line};
}

}  // namespace

TEST(ScriptText, ByteOrderMarksSelectLittleAndBigEndianText) {
  TestContext t;
  for (bool big : {false, true}) {
    Prepared p(t.ctx(), utf16(u"\xFEFFx = \"\u00e9t\u00e9\"\r\ny = 2\r\n", big));
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
  // Normalisation happens when a text is prepared; FetchLine only ever sees LF. After the marker line: a
  // CR LF's CR becomes a blank, a lone CR ends a line, and the blank of a CR LF line alone is a leading blank.
  Prepared p(t.ctx(), "a\r\nb\rc\n\r\n");
  ASSERT_TRUE(p.ok);
  const auto lines = all_lines(t.ctx(), p.hs);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), (std::vector<std::string>{"a ", "b", "c", ""}));
}

TEST(ScriptText, LongLinesAndTheDeferredError) {
  TestContext t;
  const std::string full(2048, 'x');
  // A CR LF line of exactly 2048 characters: the blank that stood for the CR is dropped quietly.
  Prepared p(t.ctx(), "a=1\r\n" + full + "\r\nb=2\r\n");
  ASSERT_TRUE(p.ok);
  t->nDeferredError = 0;
  const auto lines = all_lines(t.ctx(), p.hs);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], full);
  EXPECT_EQ(lines[3], "b=2 ");
  EXPECT_EQ(t->nDeferredError, 0);

  // 2049 characters: cut at 2048, 3722 deferred, the rest of the line consumed.
  EXPECT_EQ(all_lines(t.ctx(), Held(full + "yz\nnext\n").hs), (std::vector<std::string>{full, "next"}));
  EXPECT_EQ(t->nDeferredError, ERR_LINE_TOO_LONG);
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
  plat::set_console_ui(true);   // boxes become console lines
  EXPECT_GE(DoDaDllInit(nullptr, nullptr, 0x1300, INIT_QUERY, 0, nullptr, nullptr), sizeof(RunContextHeader));
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

TEST(Includes, NestingLimitAndMissingFile) {
  TestContext t;
  TestFolder dir;
  const std::string main = dir.file("main.tov");
  // Files 1..16, each including the next: the main text and fifteen levels below it load.
  for (int i = 1; i <= 16; ++i) {
    const std::string next = i < 15 ? "#include \"inc" + std::to_string(i + 1) + ".tov\"\n" : "";
    dir.write("inc" + std::to_string(i) + ".tov", "depth" + std::to_string(i) + " = 1\n" + next);
  }
  {
    Prepared ok(t.ctx(), "#include \"inc1.tov\"\n", main);
    ASSERT_TRUE(ok.ok);
    EXPECT_NE(ok.text().find("depth15 = 1"), std::string::npos);
  }
  // A sixteenth level fails with 218.
  dir.write("inc15.tov", "depth15 = 1\n#include \"inc16.tov\"\n");
  std::string report = stderr_of([&] { EXPECT_FALSE(Prepared(t.ctx(), "#include \"inc1.tov\"\n", main).ok); });
  EXPECT_NE(report.find("too deeply nested"), std::string::npos) << report;
  // A missing file is 217, with its name.
  report = stderr_of([&] { EXPECT_FALSE(Prepared(t.ctx(), "a = 1\n#include 'no_such_file.tov'\n", main).ok); });
  EXPECT_NE(report.find("217"), std::string::npos) << report;
  EXPECT_NE(report.find("no_such_file.tov"), std::string::npos) << report;
}

// Names quoted or bare with trailing blanks; each file's markers give its own name and line numbers.
TEST(Includes, NamesAndMarkers) {
  TestContext t;
  TestFolder dir;
  const std::string plain = dir.write("plain name.tov", "i1 = 1\ni2 = 2\n"), main = dir.file("main.tov");
  const std::string quoted = dir.write("q.tov", "from_quoted = 1");   // no line end at the end of the file
  Prepared p(t.ctx(), "m1 = 1\n#include plain name.tov  \t \n  #INCLUDE\t`q.tov`\nm4 = 4\n", main);
  ASSERT_TRUE(p.ok);
  const std::string text = p.text();
  EXPECT_NE(text.find("from_quoted = 1\n"), std::string::npos);
  EXPECT_EQ(text.find("#include"), std::string::npos);
  EXPECT_EQ(text.find("#INCLUDE"), std::string::npos);
  // The first line of an expanded text is a marker for line 1 of its file.
  ASSERT_GE(text.size(), 8u);
  EXPECT_EQ(text.substr(0, 8), std::string(";\x0B\x41\x40\x40\x40\x40\x41"));

  // The including file's numbering goes on after the included text.
  const struct { const char* stmt; std::string file; uint32_t line; } rows[] = {
      {"m1 = 1", main, 1}, {"i1 = 1", plain, 1}, {"i2 = 2", plain, 2}, {"from_quoted = 1", quoted, 1}, {"m4 = 4", main, 4}};
  for (const auto& r : rows) {
    const size_t at = text.find(r.stmt);
    ASSERT_NE(at, std::string::npos) << r.stmt;
    char name[300], line[100];
    uint32_t in_udf = 99;
    int kind = 0;
    EXPECT_EQ(LocateLine(t.ctx(), &p.hs, uint32_t(at), name, sizeof name, line, sizeof line, &in_udf, &kind), r.line);
    EXPECT_EQ(std::string(name), r.file);
    EXPECT_EQ(std::string(line), r.stmt);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(in_udf, 0u);
  }
  EXPECT_EQ(LocateLine(t.ctx(), &p.hs, p.hs.length + 1, nullptr, 0, nullptr, 0, nullptr, nullptr), 0u);
}

TEST(ScriptText, FindLabelSkipsFunctionBodiesAndRewritesTheJump) {
  TestContext t;
  Held h("goto there\n#DefineFunction f()\n:there\n#EndFunction\n:therex\n  :THERE ; the one\ngosub there\n");
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

TEST(Substitution, Limits) {
  TestContext t;
  EXPECT_EQ(substitute(t, "%" + std::string(30, 'a') + "%").first, 0);
  EXPECT_EQ(substitute(t, "%" + std::string(31, 'a') + "%").first, ERR_SUBST_NAME_TOO_LONG);
  EXPECT_EQ(substitute(t, "x = %abc").first, ERR_SUBST_NO_CLOSING);
  EXPECT_EQ(substitute(t, "x = %abc def%").first, ERR_SUBST_NO_CLOSING);

  // The result must stay within 2048 characters.
  t.assign("big = \"" + std::string(2000, 'b') + "\"");
  const auto s = substitute(t, std::string(48, 'x') + "%big%");
  EXPECT_EQ(s.first, 0);
  EXPECT_EQ(s.second.size(), 2048u);
  EXPECT_EQ(substitute(t, std::string(49, 'x') + "%big%").first, ERR_SUBST_TOO_LONG);
  EXPECT_EQ(substitute(t, std::string(2048, '%')).second, std::string(1024, '%'));
  // A failed substitution leaves the line as it was.
  EXPECT_EQ(substitute(t, "keep %me").second, "keep %me");

  // With includes expanded at run time an #include line becomes a Call.
  t->nIncludeMode = 2;
  EXPECT_EQ(substitute(t, "#include \"lib.tov\"  ").second, "Call(\"lib.tov\", ``)");
  EXPECT_EQ(substitute(t, "#include  a\"b.tov").second, "Call(\"a\"\"b.tov\", ``)");
  t->nIncludeMode = 0;
  EXPECT_EQ(substitute(t, "#include \"lib.tov\"").second, "#include \"lib.tov\"");
}

TEST(ScriptText, FetchLineSkipsBlanksEndsAtEofByteAndPassesOverNul) {
  TestContext t;
  static const char text[] = " \t  x = 1\n\ny\x1Aignored\na\0b\nc";
  Held h(std::string(text, sizeof text - 1));
  // 0x1A and a NUL end a line like LF.
  EXPECT_EQ(all_lines(t.ctx(), h.hs), (std::vector<std::string>{"x = 1", "", "y", "ignored", "a", "b", "c"}));
  char line[LINE_BUFFER_BYTES];
  uint32_t pos = 0, start = 0;
  ASSERT_EQ(FetchLine(t.ctx(), line, sizeof line, &h.hs, &start, &pos), 1);
  EXPECT_EQ(start, 4u);   // the first non-blank byte
}
