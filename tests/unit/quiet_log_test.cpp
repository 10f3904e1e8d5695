// The additional information of an error report, and reports in quiet mode: the log file's entries. Which errors reach a report is checked by the script
// cases.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>
#include <sstream>
#include <string>

#include "diag/error_model.h"
#include "diag/errors.h"
#include "platform/text.h"
#include "test_context.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using tov::test::TestContext;

namespace {

class QuietLog : public ::testing::Test {
 protected:
  tov::test::TestFolder folder;
  const fs::path log = folder.path / "quiet.log";

  std::string contents() const { return (std::ostringstream() << std::ifstream(log, std::ios::binary).rdbuf()).str(); }
};

struct Entry {
  std::string message, line;
};

// Splits the log into entries: the local time ("MM/DD/YY  hh:mm:ss"), two blanks and the host window's
// caption (none here), then the message and the failing line. A malformed entry ends the list.
std::vector<Entry> entries_of(const std::string& text) {
  static const char kEnd[] = "\r\n\r\n<HR>\r\n\r\n";
  std::vector<Entry> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string e = text.substr(at, end - at);
    const char* shape = "00/00/00  00:00:00  \r\n\r\n";
    bool ok = e.size() > std::strlen(shape);
    for (size_t i = 0; ok && shape[i]; ++i)
      ok = shape[i] == '0' ? (e[i] >= '0' && e[i] <= '9') : e[i] == shape[i];
    const size_t body = std::strlen(shape), split = e.find("\r\n\r\n", body);
    if (!ok || split == std::string::npos) break;
    out.push_back({e.substr(body, split - body), e.substr(split + 4)});
    at = end + std::strlen(kEnd);
  }
  if (at != text.size()) out.push_back({"malformed", text.substr(at)});
  return out;
}

}  // namespace

TEST_F(QuietLog, ReportsAreAppendedAndEndTheRun) {
  TestContext t;
  const std::string first = "IntControl(38, 1, \"" + log.string() + "\", 0, 0)\nx = 1/0\nx = 2\n";
  t.run(first.c_str());
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(t.var_text("x"), "");   // the run ended at the report

  // Quiet mode and its file carry over to the next run in the context; even a minor error under
  // @NOTIFY ends the run, as if Exit had been chosen.
  t.run("ErrorMode(@NOTIFY)\na = arrdimension(2)\nb = a[0]\nb = 2\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_ARR_UNINIT_ELEMENT);
  EXPECT_EQ(t.var_text("b"), "");

  const std::vector<Entry> entries = entries_of(contents());
  ASSERT_EQ(entries.size(), 2u) << contents();
  EXPECT_EQ(entries[0].message + "|" + entries[0].line, "3062:  Attempt to divide by zero|x = 1/0");
  EXPECT_EQ(entries[1].message + "|" + entries[1].line, "1640:  Uninitialized array element|b = a[0]");
}

// Notes are joined by a rule and a line holding a no-break space in the ANSI code page, so the text stays
// valid in a UTF-8 build.
TEST(AdditionalInfo, NotesAreSeparatedByARuleAndANoBreakSpaceLine) {
  TestContext t;
  tov::AddErrorInfo(t.ctx(), "first");
  tov::AddErrorInfo(t.ctx(), "");
  tov::AddErrorInfo(t.ctx(), "second");
  const char16_t nbsp = 0xA0;
  char space[8] = {};
  ASSERT_GT(plat::wide_to_ansi(&nbsp, 1, space, sizeof space - 1), 0);
  EXPECT_EQ(std::string(tov::error_info_text(t.ctx())),
            "first\n\n" + std::string(40, '-') + "\n" + space + "\nsecond");
  tov::error_info_free(t.ctx());
  EXPECT_STREQ(tov::error_info_text(t.ctx()), "");
}
