// The string built-ins called the way scripts call them (through the call frame, which converts the
// arguments and picks the ANSI or the wide form). The ANSI answers are checked by the script cases; here
// the wide forms agree with them over ASCII cases, plus what only the wide forms have (UTF-16 units as
// characters, surrogate pairs), UTF-8 on Linux, limits and linear-time searches. Every test ends with the
// heap intact and every block it used returned.
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "builtins/callframe.h"
#include "lang/keywords.h"
#include "lang/vartable.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "test_context.h"

namespace {

using tov::Value;

// One argument as the script would have evaluated it.
struct Arg {
  enum Kind { Int, Ansi, Wide } kind;
  int32_t i = 0;
  std::string s;
  std::u16string w;
  Arg(int v) : kind(Int), i(v) {}
  Arg(const char* v) : kind(Ansi), s(v) {}
  Arg(std::string v) : kind(Ansi), s(std::move(v)) {}
  Arg(const char16_t* v) : kind(Wide), w(v) {}
  Arg(std::u16string v) : kind(Wide), w(std::move(v)) {}
};

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class StringBuiltins : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::set_console_ui(true);
    tov::value_init(result_);
    vars_ = t_->nVarUsed;
    tov::HeapStats s{};
    tov::heap_check(ctx(), &s);
    baseline_ = s.usedBlocks;
  }
  void TearDown() override {
    tov::value_free(ctx(), result_);
    for (uint16_t slot = t_->nVarUsed; slot-- > vars_;) tov::slot_drop(ctx(), slot);
    tov::HeapStats s{};
    EXPECT_TRUE(tov::heap_check(ctx(), &s));
    EXPECT_EQ(s.usedBlocks, baseline_) << "string blocks leaked";
  }

  tov::RunContext* ctx() { return t_.ctx(); }

  // Calls a built-in through the frame with the keyword table's signature; the result stays in result_.
  void call(int id, const std::vector<Arg>& args) {
    tov::ArgBlock block;
    for (Value& v : block.slot) tov::value_init(v), v.c.type = 0;
    int n = 0;
    for (const Arg& a : args) {
      tov::ValueCore& c = block.slot[++n].c;
      switch (a.kind) {
        case Arg::Int: tov::set_integer(ctx(), c, a.i); break;
        case Arg::Ansi: ASSERT_TRUE(tov::set_string(ctx(), c, a.s.data(), a.s.size())); break;
        case Arg::Wide: ASSERT_TRUE(tov::set_wstring(ctx(), c, a.w.data(), a.w.size())); break;
      }
    }
    const tov::KeywordEntry& e = tov::g_keywordTable[id];
    tov::CallBuiltin(ctx(), e.name, id, &result_, block, false, n, tov::keyword_arg_types(e));
    tov::release_args(ctx(), block, tov::ARG_SLOTS - 1);
  }
  // The error a call (or an eval) raised, 0 for none; the error is cleared for the next one.
  uint16_t error_of(int id, const std::vector<Arg>& args) {
    call(id, args);
    return take_error();
  }
  uint16_t take_error() {
    const uint16_t e = t_->err;
    t_->err = 0;
    tov::error_info_free(ctx());
    return e;
  }
  std::string ansi(int id, const std::vector<Arg>& args) {
    call(id, args);
    return ansi_result();
  }
  std::string ansi_result() {
    EXPECT_EQ(t_->err, 0);
    EXPECT_EQ(result_.c.type, uint32_t(tov::VF_STRING));
    if (t_->err || result_.c.type != tov::VF_STRING) return "<no string>";
    return tov::str_at(ctx(), result_.c.str);
  }
  std::u16string wide(int id, const std::vector<Arg>& args) {
    call(id, args);
    return wide_result();
  }
  std::u16string wide_result() {
    EXPECT_EQ(t_->err, 0);
    EXPECT_EQ(result_.c.type, uint32_t(tov::VF_WSTRING));
    if (t_->err || result_.c.type != tov::VF_WSTRING) return u"<no string>";
    return tov::wstr_at(ctx(), result_.c.wstr);
  }
  int32_t number(int id, const std::vector<Arg>& args) {
    call(id, args);
    EXPECT_EQ(t_->err, 0);
    EXPECT_EQ(result_.c.type, uint32_t(tov::VF_INTEGER));
    return result_.c.i;
  }
  // Evaluates an expression line of any length (TestContext::eval cuts at 2049); the value stays in result_.
  void eval(const std::string& line) {
    t_->tok.prog = line.c_str();
    tov::get_token(ctx());
    ASSERT_EQ(t_->err, 0);
    tov::ProcessSubExpression(ctx(), &result_, false, false);
  }

  tov::test::TestContext t_{64, size_t(256) << 20};
  uint16_t vars_ = 0;
  Value result_{};
  uint32_t baseline_ = 0;
};

// --- the wide forms agree with the ANSI forms --------------------------------------------------------

struct Case {
  int id;
  std::vector<Arg> args;   // ANSI texts; the wide call makes the first text argument wide
};

// The edges of every rule of the family, ASCII only so both forms must give the same answer.
const std::vector<Case>& ascii_cases() {
  using namespace tov;
  static const std::vector<Case> cases = {
      {KW_STRLEN, {""}}, {KW_STRLEN, {"abcdef"}}, {KW_STRCHARCOUNT, {"abc"}}, {KW_STRSUB, {"abcdef", 3, -1}},
      {KW_STRSUB, {"abcdef", 7, 1}}, {KW_STRSUB, {"abcdef", 0, 2}}, {KW_STRSUB, {"abcdef", 2, -2}},
      {KW_STRSUB, {"abcdef", 9, -1}}, {KW_STRINDEX, {"abcabc", "bc", 0, 1}}, {KW_STRINDEX, {"abcabc", "bc", 4, 1}},
      {KW_STRINDEX, {"abcabc", "bc", -1, 0}}, {KW_STRINDEX, {"abcabc", "", 4, 0}}, {KW_STRINDEX, {"abcabc", "", 0, 1}},
      {KW_STRINDEX, {"aaaa", "aa", 3, 1}}, {KW_STRINDEX, {"aabaab", "aab", 0, 0}},
      {KW_STRINDEXNC, {"abcABC", "bc", 0, 1}}, {KW_STRINDEXNC, {"xyz", "Y", 0, 0}}, {KW_STRSCAN, {"a,b;c", ",;", 3, 1}},
      {KW_STRSCAN, {"a,b;c", ",;", 6, 1}}, {KW_STRSCAN, {"a,b;c", "", 2, 0}}, {KW_STRREPLACE, {"aaaa", "", "b"}},
      {KW_STRREPLACE, {"aaa", "aa", "xyz"}}, {KW_STRREPLACE, {"aXa", "x", "y"}}, {KW_STRTRIM, {" \t a b \t "}},
      {KW_STRTRIM, {"   "}}, {KW_STRUPPER, {"abC1"}}, {KW_STRLOWER, {"ABc1"}}, {KW_STRCMP, {"b", "a"}},
      {KW_STRCMP, {"a", "A"}}, {KW_STRICMP, {"a", "B"}}, {KW_STRFIX, {"abc", "xy", 6}}, {KW_STRFIX, {"abc", "xy", 2}},
      {KW_STRFIX, {"abc", "", 5}}, {KW_STRFIXCHARS, {"ab", "-", 4}}, {KW_STRFIXLEFT, {"abc", "xy", 6}},
      {KW_STRFIXLEFT, {"abcdef", "x", 3}}, {KW_STRFIXCHARSL, {"7", "0", 3}}, {KW_STRFIXBYTES, {"abc", "xy", 6}},
      {KW_STRFIXBYTES, {"abcdef", "", 4}}, {KW_STRFIXBYTESL, {"abc", "xy", 6}}, {KW_STRFILL, {"ab", 5}},
      {KW_STRFILL, {"", 3}}, {KW_STRCNT, {"abcabcabc", "abc", 5, 2, 1}}, {KW_STRCNT, {"abcABCabc", "abc", 0, -1, 0}},
      {KW_STRCNT, {"aaaa", "aa", 0, -1, 1}}, {KW_STRCNT, {"abc", "", 9, 9, 0}}, {KW_STRINDEXWILD, {"xxabc", "a?c", 1}},
      {KW_STRINDEXWILD, {"xxabc", "A*", 0}}, {KW_STRINDEXWILD, {"xxabc", "q*", 1}},
      {KW_STRLENWILD, {"abcdef", "a*d", 1}}, {KW_STRLENWILD, {"abcdef", "b?d", 2}}, {KW_STRLENWILD, {"abc", "abc**", 1}},
      {KW_STRSUBWILD, {"abcdef", "B*D", 1}}, {KW_STRSUBWILD, {"abcdef", "*", 4}}, {KW_STRINSERT, {"abc", "XY", "-", 6}},
      {KW_STRINSERT, {"abc", "XY", "-", 0, 4}}, {KW_STROVERLAY, {"abcdef", "XY", "-", 5, 4}},
      {KW_STRCLEAN, {"a-b_c", "-_", "", 1, 1}}, {KW_STRCLEAN, {"a-B_c", "ab", "*", 0, 2}},
      {KW_STRBYTECOUNT, {"abc", 1}}, {KW_STRTYPEINFO, {"a1 ", 1}}, {KW_STRTYPEINFO, {"a1 ", -1}},
  };
  return cases;
}

TEST_F(StringBuiltins, WideFormsAgreeWithAnsiForms) {
  for (const Case& c : ascii_cases()) {
    SCOPED_TRACE(tov::g_keywordTable[c.id].name);
    call(c.id, c.args);
    ASSERT_EQ(t_->err, 0);
    const bool text = result_.c.type == tov::VF_STRING;
    const std::string a = text ? tov::str_at(ctx(), result_.c.str) : std::to_string(result_.c.i);
    // The same call with the first text argument wide: the whole call becomes wide.
    std::vector<Arg> args = c.args;
    for (Arg& arg : args) {
      if (arg.kind != Arg::Ansi) continue;
      arg = Arg(widen(arg.s));
      break;
    }
    call(c.id, args);
    ASSERT_EQ(t_->err, 0);
    if (text) {
      ASSERT_EQ(result_.c.type, uint32_t(tov::VF_WSTRING));
      EXPECT_EQ(std::u16string(tov::wstr_at(ctx(), result_.c.wstr)), widen(a));
    } else {
      ASSERT_EQ(result_.c.type, uint32_t(tov::VF_INTEGER));
      EXPECT_EQ(std::to_string(result_.c.i), a);
    }
  }
  // An ANSI argument in a text position of a wide call arrives wide: the result is wide.
  EXPECT_EQ(wide(tov::KW_STRREPLACE, {"a-b", "-", u"+"}), u"a+b");
  EXPECT_EQ(wide(tov::KW_STRFIX, {"ab", u"*", 4}), u"ab**");
  EXPECT_EQ(number(tov::KW_STRCMP, {"b", u"a"}), 1);
}

// Results that can never fit in string memory fail as the heap's own error.
TEST_F(StringBuiltins, ResultsBeyondStringMemory) {
  EXPECT_EQ(error_of(tov::KW_STRFIX, {"abc", "xyz", 2147483647}), 3096);
  EXPECT_EQ(error_of(tov::KW_STRFIXBYTES, {"abc", "xyz", 2147483647}), 3096);
  EXPECT_EQ(error_of(tov::KW_STRINSERT, {"abc", "x", "yz", 1, 2147483647}), 3096);
}

TEST_F(StringBuiltins, WideFormsCountUtf16Units) {
  const std::u16string smile = u"a\U0001F600b";   // a surrogate pair between two letters
  EXPECT_EQ(number(tov::KW_STRLEN, {smile}), 4);
  EXPECT_EQ(wide(tov::KW_STRSUB, {smile, 2, 2}), u"\U0001F600");
  EXPECT_EQ(number(tov::KW_STRINDEX, {smile, u"b", 0, 0}), 4);
  EXPECT_EQ(number(tov::KW_STRCNT, {smile, "b", 4, -1, 1}), 1);   // positions count units
  EXPECT_EQ(wide(tov::KW_STRFIX, {u"\u00e9", u"\u00e8", 3}), u"\u00e9\u00e8\u00e8");
  EXPECT_EQ(wide(tov::KW_STRUPPER, {u"\u00e9"}), u"\u00c9");
  EXPECT_EQ(wide(tov::KW_STRLOWER, {u"\u00c9A"}), u"\u00e9a");
  EXPECT_EQ(number(tov::KW_STRICMP, {u"\u00e9", u"\u00c9"}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEXNC, {u"x\u00e9y", u"\u00c9", 0, 0}), 2);
  EXPECT_EQ(number(tov::KW_STRLENWILD, {u"\u00c9t\u00c9", u"\u00e9*\u00e9", 1}), 3);
  // Bytes of a wide text are the bytes of its characters in the code page; a pair is one character.
  const int32_t pair_bytes = plat::wide_to_ansi(smile.data() + 1, 2, nullptr, 0, plat::CP_DEFAULT);
  for (const auto& [mode, bytes] : {std::pair{0, 2 + pair_bytes}, {1, 8}, {2, 6}})
    EXPECT_EQ(number(tov::KW_STRBYTECOUNT, {smile, mode}), bytes) << mode;
  EXPECT_EQ(wide(tov::KW_STRFIXBYTES, {smile, u"", 1}), u"a");
  EXPECT_EQ(wide(tov::KW_STRFIXBYTES, {smile, u"", 1 + pair_bytes}), u"a\U0001F600");
#ifndef _WIN32
  // Either unit of a pair has the classes of the pair's character.
  EXPECT_EQ(number(tov::KW_STRTYPEINFO, {u"\U0001D400", 2}), number(tov::KW_STRTYPEINFO, {u"\U0001D400", 1}));
  EXPECT_TRUE(number(tov::KW_STRTYPEINFO, {u"\U0001D400", 2}) & plat::CC_ALPHA);
#endif
}

// StrCat parses its own list, so its limit and its syntax errors are its own.
TEST_F(StringBuiltins, StrCatTakesUpTo1024Arguments) {
  std::string line = "strcat(";
  for (int i = 0; i < 1024; ++i) line += (i ? "," : "") + std::to_string(i % 10);
  eval(line + ")");
  ASSERT_EQ(t_->err, 0);
  const std::string joined = ansi_result();
  ASSERT_EQ(joined.size(), 1024u);
  EXPECT_EQ(joined.substr(0, 12), "012345678901");
  EXPECT_EQ(t_->tok.tok_type, tov::TT_END);   // the frame read past the ")"
  for (const std::string& bad : {line + ",1)", std::string("strcat(\"a\""), std::string("strcat(\"a\"]"),
                                 std::string("strcat(1;2)")}) {
    eval(bad);
    EXPECT_EQ(take_error(), 2058) << bad.substr(0, 12);
  }
  eval("strcat(\"a\",)");
  EXPECT_NE(take_error(), 0);
  // A wide argument anywhere makes every argument wide and the result wide.
  ASSERT_TRUE(tov::set_variable_by_name(ctx(), "w", u"\u00e9\U0001F600", tov::VF_WSTRING));
  eval("strcat(1, \"x\", w, 2)");
  EXPECT_EQ(wide_result(), u"1x\u00e9\U0001F6002");
}

#ifndef _WIN32
// ANSI comparisons settle plain ASCII prefixes and differences byte by byte; the wide comparison, which
// reads every code point, gives the order they must agree with. Every pair of short texts over letters in
// both cases, neighbours of the letters in ASCII, digits and accented letters is compared both ways.
TEST(TextComparison, AnsiAgreesWithFullCodePointOrder) {
  const std::pair<const char*, const char16_t*> pieces[] = {
      {"a", u"a"}, {"A", u"A"}, {"b", u"b"}, {"Z", u"Z"}, {"z", u"z"}, {"_", u"_"}, {"[", u"["}, {"@", u"@"},
      {"{", u"{"}, {"1", u"1"}, {" ", u" "}, {"\u00e9", u"\u00e9"}, {"\u00c9", u"\u00c9"}, {"\u212a", u"\u212a"}};
  std::vector<std::pair<std::string, std::u16string>> texts = {{"", u""}};
  for (const auto& [a, wa] : pieces) {
    texts.push_back({a, wa});
    for (const auto& [b, wb] : pieces) texts.push_back({std::string(a) + b, std::u16string(wa) + wb});
  }
  texts.push_back({"abcX", u"abcX"});
  texts.push_back({"abcx", u"abcx"});
  texts.push_back({"abc", u"abc"});
  auto sign = [](int r) { return r < 0 ? -1 : r > 0 ? 1 : 0; };
  for (const auto& [a, wa] : texts)
    for (const auto& [b, wb] : texts)
      for (const bool fold : {false, true})
        ASSERT_EQ(sign(plat::compare_ansi(a.c_str(), b.c_str(), fold)),
                  sign(plat::compare_wide(wa.c_str(), wb.c_str(), fold)))
            << "'" << a << "' '" << b << "' fold " << fold;
  // The orders the rules give: lower case first only between otherwise equal texts.
  const std::tuple<const char*, const char*, int> orders[] = {
      {"_", "A", -1}, {"Z", "[", 1}, {"aB", "Ab", -1}, {"abX", "abxa", -1}, {"abcX", "abcx", 1}, {"", "a", -1},
      {"ab", "a", 1}, {"e\u00e9", "e\u00c9", -1}, {"a", "\u00e9", -1}};
  for (const auto& [a, b, order] : orders) EXPECT_EQ(sign(plat::compare_ansi(a, b, false)), order) << a << " " << b;
}
#endif

#ifndef _WIN32
// The ANSI code page is UTF-8 here: characters are whole sequences, except where positions are bytes.
TEST_F(StringBuiltins, Utf8CharactersAreWholeSequencesAndBytes) {
  EXPECT_EQ(number(tov::KW_STRLEN, {"stra\u00dfe"}), 6);
  EXPECT_EQ(number(tov::KW_STRLEN, {"\u65e5\u672c\U0001F600"}), 3);
  EXPECT_EQ(ansi(tov::KW_STRSUB, {"\u65e5\u672c\u8a9e\u30c6", 2, 2}), "\u672c\u8a9e");
  EXPECT_EQ(number(tov::KW_STRINDEX, {"\u00e9a\u00e9a", "a", 0, 1}), 4);
  // Forward searches find bytes first; positions count characters before and after what was found.
  const std::pair<std::vector<Arg>, int32_t> forward[] = {
      {{"\u00e9 needle", "needle", 0, 0}, 3}, {{"needle \u00e9", "\u00e9", 0, 0}, 8}, {{"\u00e9\u00e9", "x", 0, 0}, 0},
      {{"\u00e9a\u00e9a", "a", 3, 0}, 4},      {{"a\u00e9", "a", 3, 0}, 0},          {{"\u00e9a", "a", 2, 0}, 2},
      {{"ab\u00e9", "b\u00e9", 1, 0}, 2},      {{"\u00e9\u00e9", "\u00a9", 0, 0}, 0}, {{"abc", "c", 4, 0}, 0}};
  for (const auto& [args, at] : forward) EXPECT_EQ(number(tov::KW_STRINDEX, args), at) << args[0].s << " " << args[2].i;
  EXPECT_EQ(number(tov::KW_STRINDEXNC, {"x\u00c9\u00e9", "\u00e9\u00c9", 0, 0}), 2);
  EXPECT_EQ(number(tov::KW_STRSCAN, {"a\u00e9b\u00e8", "\u00e8\u00e9", 0, 1}), 4);
  EXPECT_EQ(ansi(tov::KW_STRREPLACE, {"\u00e9t\u00e9", "\u00e9", "e"}), "ete");
  EXPECT_EQ(ansi(tov::KW_STRFIX, {"\u00e9", "\u65e5x", 4}), "\u00e9\u65e5x\u65e5");
  EXPECT_EQ(ansi(tov::KW_STRFIXLEFT, {"\u00e9\u00e8\u00ea", "", 2}), "\u00e8\u00ea");
  EXPECT_EQ(ansi(tov::KW_STRFILL, {"\u00e9", 3}), "\u00e9\u00e9\u00e9");
  EXPECT_EQ(ansi(tov::KW_STRTRIM, {" \u00e9 "}), "\u00e9");
  // StrCnt positions are bytes: the second character starts at byte 3.
  EXPECT_EQ(number(tov::KW_STRCNT, {"\u00e9\u00e9\u00e9", "\u00e9", 2, 3, 1}), 1);
  EXPECT_EQ(number(tov::KW_STRCNT, {"\u00e9\u00e9\u00e9", "\u00c9", 2, 2, 0}), 0);
  EXPECT_EQ(number(tov::KW_STRLENWILD, {"\u00c9t\u00e9!", "\u00e9?\u00c9", 1}), 3);
  EXPECT_EQ(ansi(tov::KW_STRSUBWILD, {"x\u00e9\u00e8y", "?*y", 2}), "\u00e9\u00e8y");
  EXPECT_EQ(ansi(tov::KW_STRINSERT, {"\u00e9", "\u00e8", "\u00ea", 3}), "\u00e9\u00ea\u00e8");
  EXPECT_EQ(ansi(tov::KW_STRCLEAN, {"\u00e9A\u00c9", "\u00e9", "-", 0, 1}), "-A-");
  // Case mapping may change the length in bytes.
  EXPECT_EQ(ansi(tov::KW_STRUPPER, {"stra\u00dfe \u00e9"}), "STRA\u00dfE \u00c9");
  EXPECT_EQ(ansi(tov::KW_STRUPPER, {"a\u023fb"}), "A\u2c7eB");   // two bytes become three
  EXPECT_EQ(ansi(tov::KW_STRLOWER, {"A\u2c7eB"}), "a\u023fb");   // and back
  EXPECT_EQ(ansi(tov::KW_STRUPPER, {"\u0131x"}), "IX");         // two bytes become one
  EXPECT_EQ(number(tov::KW_STRICMP, {"\u00e9", "\u00c9"}), 0);
  EXPECT_EQ(number(tov::KW_STRCMP, {"\u00e9", "f"}), 1);
  const std::pair<std::vector<Arg>, int32_t> byte_counts[] = {
      {{"\u65e5\u00e9", 0}, 5}, {{"\u65e5\u00e9", 1}, 4}, {{"\U0001F600", 1}, 4}, {{"\u65e5\u00e9", 2}, 5}};
  for (const auto& [args, bytes] : byte_counts) EXPECT_EQ(number(tov::KW_STRBYTECOUNT, args), bytes);
  // Characters are never split: what a whole character cannot fill becomes blanks.
  EXPECT_EQ(ansi(tov::KW_STRFIXBYTES, {"a\u65e5", "", 3}), "a  ");
  EXPECT_EQ(ansi(tov::KW_STRFIXBYTESL, {"\u65e5a", "", 3}), "  a");
  EXPECT_EQ(ansi(tov::KW_STRFIXBYTES, {"a", "\u00e9", 4}), "a\u00e9 ");
  EXPECT_EQ(ansi(tov::KW_STRFIXBYTESL, {"a", "\u00e9", 6}), " \u00e9\u00e9a");
  EXPECT_EQ(number(tov::KW_STRTYPEINFO, {"\u00e9", 1}) & (plat::CC_ALPHA | plat::CC_LOWER | plat::CC_UPPER),
            int32_t(plat::CC_ALPHA | plat::CC_LOWER));
  EXPECT_EQ(number(tov::KW_STRTYPEINFO, {"\u00c9\u00e9", 0}), int32_t(plat::CC_ALPHA));
  EXPECT_EQ(number(tov::KW_STRTYPEINFO, {"\u00c91", -1}) & (plat::CC_UPPER | plat::CC_DIGIT),
            int32_t(plat::CC_UPPER | plat::CC_DIGIT));
}
#endif

// Texts where a search that restarts at every position would take some 10^10 steps; these finish at once
// only when the searches are linear.
TEST_F(StringBuiltins, LongRepetitiveTextsAreSearchedInLinearTime) {
  const std::string text(1000000, 'a');
  const std::string needle = std::string(20000, 'a') + "b";
  EXPECT_EQ(number(tov::KW_STRINDEX, {text, needle, 0, 0}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEX, {text, needle, 0, 1}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEXNC, {text, needle, 0, 0}), 0);
  EXPECT_EQ(number(tov::KW_STRCNT, {text, needle, 0, -1, 0}), 0);
  EXPECT_EQ(ansi(tov::KW_STRREPLACE, {text + "b", needle, "x"}).size(), 1000000u - 20000u + 1u);
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {text, "*" + needle, 0}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {text, needle + "*", 0}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {text + "b", "?*b", 0}), 1);
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {"x" + text + "bx", "a*bq", 0}), 0);
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {text + "bxy", "a*b?y", 0}), 1);
  // Every start floats to the same far "b" and then fails: the search for it is made once.
  EXPECT_EQ(number(tov::KW_STRINDEXWILD, {text + "bxy", "a*b?z", 0}), 0);
}

}  // namespace
