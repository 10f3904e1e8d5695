// Title patterns against a list of window titles as a top-level lookup sees them in enumeration order,
// in both forms of text, and the WinId text of window handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/match.h"

namespace tov {
namespace {

using strtext::Ansi;
using strtext::Wide;

// The desktop of these tests, in enumeration order.
const std::vector<std::string> kWindows = {
    "",                         // untitled windows are never found
    "WinOldAp",                 // nor the DOS placeholder
    "Weekly - Report",
    "Report - May",
    "report - May",
    "Report",
    "Rep - Rep tail Rep",
    "~tilde first",
    "Caf\xC3\xA9 - \xC3\xA9",   // UTF-8: "Café - é"
};

// The title the first matching window has, or "(none)".
std::string first_match(const std::string& pattern) {
  const Ansi form{plat::CP_UTF8_PAGE};
  for (const std::string& title : kWindows)
    if (top_window_matches<Ansi>(title, pattern, form)) return title;
  return "(none)";
}

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string first_match_wide(const std::string& pattern) {
  for (const std::string& title : kWindows) {
    if (title.find('\xC3') != std::string::npos) continue;   // ASCII titles only in this form
    if (top_window_matches<Wide>(widen(title), widen(pattern), Wide{})) return title;
  }
  return "(none)";
}

TEST(WindowMatch, PatternsFindTheFirstMatchingTitleInEnumerationOrder) {
  const struct {
    const char* pattern;
    const char* found;
  } cases[] = {
      {"Report", "Report - May"},              // prefix, case-sensitive, skipping Weekly - Report
      {"report", "report - May"},
      {"Report~", "Report"},                   // exact
      {"Report - M~", "(none)"},
      {"~Report", "Weekly - Report"},          // anywhere in the title
      {"~port - M", "Report - May"},
      {"~Rep~", "Rep - Rep tail Rep"},         // at the end, though it also occurs earlier
      {"~Rep tail~", "(none)"},
      {"~", "~tilde first"},                   // one character: a prefix, even a tilde
      {"~~", "(none)"},                        // two tildes: an empty text, which matches nothing
      {"~~tilde~", "(none)"},
      {"~~t", "~tilde first"},
      {"W", "Weekly - Report"},                // the DOS placeholder is skipped
      {"WinOldAp~", "(none)"},
      {"Report - May and more", "(none)"},     // longer than the title
      {"", "Weekly - Report"},                 // the empty prefix: the first titled window
  };
  for (const auto& c : cases) {
    EXPECT_EQ(first_match(c.pattern), c.found) << c.pattern;
    EXPECT_EQ(first_match_wide(c.pattern), c.found) << c.pattern;
  }
}

TEST(WindowMatch, AnsiPatternsStepOverWholeCharacters) {
  EXPECT_EQ(first_match("~\xC3\xA9~"), "Caf\xC3\xA9 - \xC3\xA9");
  EXPECT_EQ(first_match("Caf\xC3\xA9 - \xC3\xA9~"), "Caf\xC3\xA9 - \xC3\xA9");
  EXPECT_EQ(first_match("~\xA9 - "), "(none)");   // an occurrence never starts inside a character
  EXPECT_EQ(first_match("~f\xC3~"), "(none)");
}

TEST(WindowMatch, ChildLookupsSkipOnlyUntitledWindows) {
  const Ansi form{plat::CP_UTF8_PAGE};
  EXPECT_TRUE(child_window_matches<Ansi>("WinOldAp", "WinOld", form));
  EXPECT_FALSE(top_window_matches<Ansi>("WinOldAp", "WinOld", form));
  EXPECT_FALSE(child_window_matches<Ansi>("", "", form));
}

TEST(WinId, FormatsAndParsesWindowHandles) {
  char text[WINID_CHARS + 1];
  ASSERT_TRUE(format_winid(0x00A1B2C3u, text, sizeof text));
  EXPECT_STREQ(text, "#WIN$ID#00A1B2C3");
  EXPECT_FALSE(format_winid(1u, text, WINID_CHARS));   // no room for the terminator

  char16_t wide[WINID_CHARS + 1];
  ASSERT_TRUE(format_winid(0xFFFFFFFEu, wide, WINID_CHARS + 1));
  uint32_t id = 0;
  EXPECT_TRUE(parse_winid<char16_t>(wide, &id));
  EXPECT_EQ(id, 0xFFFFFFFEu);

  const struct {
    const char* text;
    bool is_id;
    uint32_t id;
  } cases[] = {
      {"#WIN$ID#0000ABCD", true, 0xABCD}, {"#WIN$ID#0000abcd", true, 0xABCD},
      {"#WIN$ID#0000ABCG", true, 0},      {"#WIN$ID#0000ABC", false, 0},
      {"#WIN$ID#0000ABCDE", false, 0},    {"#win$id#0000ABCD", false, 0},
  };
  for (const auto& c : cases) {
    id = 12345;
    EXPECT_EQ(parse_winid<char>(c.text, &id), c.is_id) << c.text;
    if (c.is_id) {
      EXPECT_EQ(id, c.id) << c.text;
    }
  }
}

}  // namespace
}  // namespace tov
