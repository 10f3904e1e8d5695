// The keyword table and the keyword lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/context.h"
#include "ext/extenders.h"
#include "lang/keywords.h"
#include "platform/ui.h"

namespace tov {
namespace {

std::string name_of(int id) {
  const KeywordEntry& e = g_keywordTable[id];
  return std::string(e.name, e.nameLength);
}

int find_id(const std::string& name) {
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    if (name_of(static_cast<int>(i)) == name) return static_cast<int>(i);
  }
  return -1;
}

// --- The table ------------------------------------------------------------------------------------------

TEST(KeywordTable, IdsThatTheEngineUsesByNumber) {
  const std::vector<std::pair<const char*, int>> fixed = {
      {"!", 0},       {"!=", 1},     {"&", 2},      {"&&", 3},     {"(", 4},      {")", 5},
      {"*", 6},       {"**", 7},     {"+", 8},      {",", 9},      {"-", 10},     {"/", 11},
      {":", 12},      {"::", 13},    {"<", 14},     {"<<", 15},    {"<=", 16},    {"<>", 17},
      {"=", 18},      {"==", 19},    {">", 20},     {">=", 21},    {">>", 22},    {"[", 127},
      {"]", 128},     {"^", 129},    {"mod", 420},  {"|", 637},    {"||", 638},   {"~", 639},
      {"?makepointer", 25},          {"?oleobject", 26},           {"drop", 298},
      {"isdefined", 394},            {"objecttypeget", 444},       {"ptrglobal", 459},
      {"ptrglobaldefine", 460},      {"ptrglobaltest", 461},       {"ptrpersistent", 462},
      {"vartype", 585},              {"call", 225}, {"for", 370},  {"foreach", 371},
      {"switch", 559},               {"while", 591},
      // first and last names of the four dispatch groups
      {"abs", 130},   {"chrunicodetostring", 236},  {"clipappend", 237},  {"ignoreinput", 382},
      {"inidelete", 383},            {"strbytecount", 530},        {"strcat", 531}, {"yields", 636},
      // the item family
      {"itemcount", 400}, {"itemcountcsv", 401}, {"itemextract", 402}, {"itemextractcsv", 403},
      {"iteminsert", 404}, {"itemlocate", 405}, {"itemremove", 406}, {"itemreplace", 407},
      {"itemselect", 408}, {"itemsort", 409}, {"itemsortnc", 410},
  };
  for (const auto& [name, id] : fixed) EXPECT_EQ(name_of(id), name) << "id " << id;

  EXPECT_EQ(KW_NOT_EQUAL, 1);
  EXPECT_EQ(KW_NOT_EQUAL_ALT, 17);
  EXPECT_EQ(KW_MOD, 420);
  EXPECT_EQ(KW_ITEMSELECT, 408);
  EXPECT_EQ(OBJECT_REFERENCE_CODE, 26);
  EXPECT_EQ(name_of(KW_STRLEN), "strlen");
  EXPECT_EQ(name_of(KW_AT_PI), "@pi");
}

TEST(KeywordTable, SortedByFirstCharacterWithIdsAtTheirPositions) {
  size_t longest = 0;
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    const KeywordEntry& e = g_keywordTable[i];
    EXPECT_EQ(e.id, i);
    if (i > 0) {
      EXPECT_GE(static_cast<unsigned char>(e.name[0]), static_cast<unsigned char>(g_keywordTable[i - 1].name[0]))
          << name_of(static_cast<int>(i));
    }
    EXPECT_EQ(std::strlen(e.name), e.nameLength) << "NUL-padded name of " << i;
    if (e.kind != KW_RESERVED) longest = std::max<size_t>(longest, e.nameLength);
  }
  EXPECT_EQ(longest, 24u);   // regquerykeylastwritetime
  // The runs of first characters, in order.
  EXPECT_EQ(g_keywordTable[22].name[0], '>');
  for (int id = 23; id <= 27; ++id) EXPECT_EQ(g_keywordTable[id].name[0], '?');
  for (int id = 28; id <= 126; ++id) EXPECT_EQ(g_keywordTable[id].name[0], '@');
  for (int id = 130; id <= 636; ++id) EXPECT_TRUE(g_keywordTable[id].name[0] >= 'a' && g_keywordTable[id].name[0] <= 'z');
}

TEST(KeywordTable, CountsOfEachKind) {
  std::map<uint32_t, int> kinds;
  for (const KeywordEntry& e : g_keywordTable) ++kinds[e.kind];
  EXPECT_EQ(kinds[KW_OPERATOR], 18);
  EXPECT_EQ(kinds[KW_UNARY], 6);
  EXPECT_EQ(kinds[KW_FUNCTION], 472);
  EXPECT_EQ(kinds[KW_CONSTANT], 99);
  EXPECT_EQ(kinds[KW_COMMAND], 5);
  EXPECT_EQ(kinds[KW_RELATIONAL], 7);
  EXPECT_EQ(kinds[KW_VARFUNC], 9);
  EXPECT_EQ(kinds[KW_STRUCTURE], 22);
  EXPECT_EQ(kinds[KW_RESERVED], 2);
  EXPECT_EQ(kinds.size(), 9u);

  for (const char* unary : {"!", "&", "*", "+", "-", "~"}) EXPECT_EQ(g_keywordTable[find_id(unary)].kind, KW_UNARY);
  for (const char* cmd : {"beep", "execute", "exit", "goto", "yield"}) EXPECT_EQ(g_keywordTable[find_id(cmd)].kind, KW_COMMAND);
  for (const char* w : {"by", "mod", "&&", "::", "|", "||", "^", "="}) EXPECT_EQ(g_keywordTable[find_id(w)].kind, KW_OPERATOR);
  for (const char* w : {"endselect", "then", "to", "gosub", "return", "next"}) EXPECT_EQ(g_keywordTable[find_id(w)].kind, KW_STRUCTURE);
  for (const char* r : {"!=", "<", "<=", "<>", "==", ">", ">="}) EXPECT_EQ(g_keywordTable[find_id(r)].kind, KW_RELATIONAL);
  // Functions live at 23..27 and 130..636 only.
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    if (g_keywordTable[i].kind == KW_FUNCTION) {
      EXPECT_TRUE((i >= 23 && i <= 27) || (i >= 130 && i <= 636)) << i;
    }
  }
}

TEST(KeywordTable, ArityHistogramOfTheFunctions) {
  std::map<std::pair<uint32_t, uint32_t>, int> histogram;
  for (const KeywordEntry& e : g_keywordTable) {
    if (e.kind == KW_FUNCTION) ++histogram[{required_args(e.value), optional_args(e.value)}];
  }
  const std::map<std::pair<uint32_t, uint32_t>, int> expected = {
      {{1, 0}, 146}, {{2, 0}, 108}, {{3, 0}, 55}, {{5, 0}, 26}, {{0, 0}, 23}, {{2, 1}, 21},
      {{4, 0}, 21},  {{1, 1}, 17},  {{255, 0}, 11}, {{3, 1}, 11}, {{1, 2}, 6}, {{5, 1}, 6},
      {{2, 3}, 4},   {{2, 2}, 3},   {{4, 1}, 3},  {{2, 4}, 2},  {{1, 4}, 2},  {{3, 2}, 2},
      {{2, 5}, 1},   {{11, 0}, 1},  {{3, 3}, 1},  {{9, 0}, 1},  {{6, 0}, 1},
  };
  EXPECT_EQ(histogram, expected);

  std::vector<std::string> variadic;
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    const KeywordEntry& e = g_keywordTable[i];
    if (e.kind == KW_FUNCTION && required_args(e.value) == VARIADIC) variadic.push_back(name_of(static_cast<int>(i)));
    if (e.kind == KW_FUNCTION) {
      EXPECT_EQ(e.value >> 16, 0u) << name_of(static_cast<int>(i));
      EXPECT_FALSE(too_many_args(e.value)) << name_of(static_cast<int>(i));
    }
  }
  const std::vector<std::string> expectedVariadic = {"?oleobject", "average", "dllcall", "dllcallcdecl", "getobject", "max",
                                                     "min", "objectget", "objecttype", "strcat", "winclosenot"};
  EXPECT_EQ(variadic, expectedVariadic);
}

// Argument types beyond the declared count are zero, and each declared one is a known code.
TEST(KeywordTable, SignaturesUseOnlyDeclaredSlotsAndKnownCodes) {
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    const KeywordEntry& e = g_keywordTable[i];
    const uint64_t types = keyword_arg_types(e);
    if (e.kind != KW_FUNCTION) {
      EXPECT_EQ(types, 0u) << name_of(static_cast<int>(i));
      continue;
    }
    const uint32_t declared = required_args(e.value) == VARIADIC ? 0 : required_args(e.value) + optional_args(e.value);
    for (int n = 1; n <= 16; ++n) {
      const uint32_t t = arg_type(types, n);
      if (static_cast<uint32_t>(n) > declared) {
        EXPECT_EQ(t, 0u) << name_of(static_cast<int>(i)) << " argument " << n;
      } else {
        EXPECT_TRUE(t <= ARG_TEXT_BOTH || t == ARG_ANY) << name_of(static_cast<int>(i)) << " argument " << n;
      }
    }
  }
}

uint64_t signature(std::initializer_list<uint32_t> types) {
  uint64_t sig = 0;
  int shift = 0;
  for (uint32_t t : types) {
    sig |= uint64_t{t} << shift;
    shift += 4;
  }
  return sig;
}

TEST(KeywordTable, SignaturesThatAreFixed) {
  struct Row {
    const char* name;
    uint32_t required, optional;
    uint64_t types;
  };
  const Row rows[] = {
      {"abs", 1, 0, signature({0})},
      {"acos", 1, 0, signature({2})},
      {"arraylocate", 2, 5, signature({3, 15, 0, 0, 0, 0, 0})},
      {"arrayredim", 2, 4, signature({3, 0, 0, 0, 0, 0})},
      {"arrayfileputcsv", 2, 3, signature({1, 3, 1, 0, 0})},
      {"askdirectory", 5, 0, signature({7, 7, 7, 7, 0})},
      {"binaryindex", 4, 0, signature({0, 0, 1, 0})},
      {"createobject", 1, 1, signature({5, 5})},
      {"iniread", 3, 0, signature({1, 1, 1})},
      {"itemextract", 3, 0, signature({0, 6, 6})},
      {"strcmp", 2, 0, signature({6, 6})},
      {"?setviapointer", 2, 0, signature({1, 15})},
      {"?getviapointer", 1, 0, signature({1})},
      {"arrdimension", 1, 4, signature({0, 0, 0, 0, 0})},
      {"arrinfo", 2, 0, signature({15, 0})},
      {"fileopen", 2, 2, signature({8, 1, 0, 0})},
      {"itemcountcsv", 2, 1, signature({6, 0, 6})},
      {"timedelay", 1, 0, signature({2})},
      {"regquerymulsz", 3, 1, signature({0, 8, 8, 0})},
      {"regsetmulsz", 4, 1, signature({0, 8, 8, 8, 0})},
      {"winwaitchild", 3, 0, signature({6, 6, 0})},
  };
  for (const Row& r : rows) {
    const int id = find_id(r.name);
    ASSERT_GE(id, 0) << r.name;
    const KeywordEntry& e = g_keywordTable[id];
    EXPECT_EQ(required_args(e.value), r.required) << r.name;
    EXPECT_EQ(optional_args(e.value), r.optional) << r.name;
    EXPECT_EQ(keyword_arg_types(e), r.types) << r.name;
  }
}

TEST(KeywordTable, RecordLayoutIsTheBinaryOne) {
  const KeywordEntry& e = g_keywordTable[KW_STRCMP];
  unsigned char bytes[56];
  std::memcpy(bytes, &e, sizeof bytes);
  uint32_t word;
  std::memcpy(&word, bytes + 0, 4);
  EXPECT_EQ(word, static_cast<uint32_t>(KW_STRCMP));
  std::memcpy(&word, bytes + 4, 4);
  EXPECT_EQ(word, KW_FUNCTION);
  std::memcpy(&word, bytes + 8, 4);
  EXPECT_EQ(word, 0x66u);
  std::memcpy(&word, bytes + 16, 4);
  EXPECT_EQ(word, 2u);
  uint16_t len;
  std::memcpy(&len, bytes + 20, 2);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(std::memcmp(bytes + 22, "strcmp\0\0", 8), 0);
}

TEST(KeywordTable, TooManyArgumentsRule) {
  EXPECT_FALSE(too_many_args(16));
  EXPECT_FALSE(too_many_args(8 | 8 << 8));
  EXPECT_TRUE(too_many_args(9 | 8 << 8));
  EXPECT_FALSE(too_many_args(VARIADIC | 20 << 8));
}

// --- Constants ------------------------------------------------------------------------------------------

TEST(KeywordConstants, IntegerFloatAndStringValues) {
  EXPECT_EQ(static_cast<int32_t>(g_keywordTable[KW_AT_REGCLASSES].value), INT32_MIN);
  EXPECT_EQ(static_cast<int32_t>(g_keywordTable[KW_AT_HIDDEN].value), -1);
  EXPECT_EQ(g_keywordTable[KW_AT_WHOLESECTION].value, 692837u);
  EXPECT_EQ(g_keywordTable[KW_AT_NORESIZE].value, 1000000000u);

  const uint32_t pi = g_keywordTable[KW_AT_PI].value;
  ASSERT_TRUE(is_float_constant(pi));
  EXPECT_FALSE(is_string_constant(pi));
  EXPECT_DOUBLE_EQ(keyword_float_constant(pi), 3.141592653589793);
  EXPECT_DOUBLE_EQ(keyword_float_constant(g_keywordTable[KW_AT_E].value), 2.718281828459045);
  EXPECT_DOUBLE_EQ(keyword_float_constant(g_keywordTable[KW_AT_LIGHTMPS].value), 186272.0);
  EXPECT_DOUBLE_EQ(keyword_float_constant(g_keywordTable[KW_AT_PLANCKJOULES].value), 6.6256e-34);
  EXPECT_EQ(keyword_float_constant(FLOAT_CONSTANT_TAG | 20), 0.0);
  EXPECT_EQ(keyword_float_constant(FLOAT_CONSTANT_TAG | 31), 0.0);

  EXPECT_STREQ(keyword_string_constant(g_keywordTable[KW_AT_CRLF].value), "\r\n");
  EXPECT_STREQ(keyword_string_constant(g_keywordTable[KW_AT_TAB].value), "\t");
  EXPECT_STREQ(keyword_string_constant(g_keywordTable[KW_AT_CR].value), "\r");
  EXPECT_STREQ(keyword_string_constant(g_keywordTable[KW_AT_LF].value), "\n");
  EXPECT_STREQ(keyword_string_constant(STRING_CONSTANT_TAG | 4), "");
  EXPECT_TRUE(is_string_constant(g_keywordTable[KW_AT_LF].value));

  // Every float and string number 0..19 / 0..3 is carried by exactly one constant.
  int floats = 0, strings = 0;
  for (const KeywordEntry& e : g_keywordTable) {
    if (e.kind != KW_CONSTANT) continue;
    floats += is_float_constant(e.value);
    strings += is_string_constant(e.value);
  }
  EXPECT_EQ(floats, 20);
  EXPECT_EQ(strings, 4);
}

// --- The first-character index --------------------------------------------------------------------------

TEST(QuickLook, BucketBoundsCoverEachRunExactly) {
  EXPECT_EQ(quicklook_start(0), 0u);
  EXPECT_EQ(quicklook_start('!'), 0u);
  EXPECT_EQ(quicklook_start('"'), 2u);
  EXPECT_EQ(quicklook_start('?'), 23u);
  EXPECT_EQ(quicklook_start('@'), 28u);
  EXPECT_EQ(quicklook_start('['), 127u);
  EXPECT_EQ(quicklook_start('^'), 129u);
  EXPECT_EQ(quicklook_start('a'), 130u);
  EXPECT_EQ(quicklook_start('{'), 637u);
  EXPECT_EQ(quicklook_start('~'), 639u);
  EXPECT_EQ(quicklook_start(127), 640u);
  EXPECT_EQ(quicklook_start(200), 640u);
  for (unsigned c = 0; c < 127; ++c) {
    const uint32_t first = quicklook_start(static_cast<unsigned char>(c));
    const uint32_t end = quicklook_start(static_cast<unsigned char>(c + 1));
    ASSERT_LE(first, end);
    for (uint32_t i = first; i < end; ++i) EXPECT_EQ(static_cast<unsigned char>(g_keywordTable[i].name[0]), c);
    if (first > 0) {
      EXPECT_LT(static_cast<unsigned char>(g_keywordTable[first - 1].name[0]), c);
    }
  }
  EXPECT_EQ(quicklook_status(), QuickLookStatus::Okay);
}

struct Reports {
  std::vector<std::pair<std::string, std::string>> seen;
  static void record(const char* name, const char* caption, void* data) {
    static_cast<Reports*>(data)->seen.emplace_back(name, caption);
  }
};

KeywordEntry entry(uint32_t id, const char* name) {
  KeywordEntry e{};
  e.id = id;
  e.nameLength = static_cast<uint16_t>(std::strlen(name));
  std::memcpy(e.name, name, e.nameLength);
  return e;
}

TEST(QuickLook, BuildChecksReportButDoNotStop) {
  const KeywordEntry table[] = {entry(0, "b"), entry(1, "a"), entry(7, "c"), entry(3, "c")};
  uint32_t start[128];
  Reports reports;
  build_first_char_index(table, 4, start, &Reports::record, &reports);
  const std::vector<std::pair<std::string, std::string>> expected = {{"a", QUICKLOOK_ORDER_CHECK}, {"c", QUICKLOOK_ID_CHECK}};
  EXPECT_EQ(reports.seen, expected);
  EXPECT_STRNE(QUICKLOOK_ORDER_CHECK, QUICKLOOK_ID_CHECK);
  // The build went on: 'b' starts at 0, 'c' at 2, everything above at the count.
  EXPECT_EQ(start['b'], 0u);
  EXPECT_EQ(start['c'], 2u);
  EXPECT_EQ(start['d'], 4u);
  EXPECT_EQ(start[127], 4u);
}

// --- Lookup -----------------------------------------------------------------------------------------------

class KeywordLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<RunContext>();
    savedExtCount_ = g_nNextExtEntry;
  }
  void TearDown() override { g_nNextExtEntry = savedExtCount_; }

  // The code found at text, or -1; the read position never moves.
  int lookup(const char* text, bool wholeWord) {
    ctx_->tok.prog = text;
    ctx_->tok.delim_type = -2;
    const bool found = keyword_lookup(ctx_.get(), wholeWord);
    EXPECT_EQ(ctx_->tok.prog, text);
    return found ? ctx_->tok.delim_type : -1;
  }

  void add_udf(const char* name, uint16_t params) {
    auto rec = std::make_unique<UdfRecord>();
    rec->paramCount = params;
    rec->nameLength = static_cast<uint16_t>(std::strlen(name));
    std::strcpy(rec->name, name);
    ctx_->apUdf[ctx_->nUdfCount++] = rec.get();
    udfs_.push_back(std::move(rec));
  }

  int add_extender_function(const char* name) {
    const uint32_t index = g_nNextExtEntry++;
    g_extFunctions[index] = entry(30007, name);
    g_extFunctions[index].kind = KW_FUNCTION;
    g_extFunctions[index].value = 2;
    return ADDONSTART + static_cast<int>(index);
  }

  std::unique_ptr<RunContext> ctx_;
  std::vector<std::unique_ptr<UdfRecord>> udfs_;
  uint32_t savedExtCount_ = 0;
};

TEST_F(KeywordLookup, LongestOperatorWins) {
  const char* line = "a<=b";
  EXPECT_EQ(lookup(line + 1, false), KW_LESS_EQUAL);
  EXPECT_EQ(lookup("<>b", false), 17);
  EXPECT_EQ(lookup("< b", false), KW_LESS);
  EXPECT_EQ(lookup("**2", false), KW_POWER);
  EXPECT_EQ(lookup("*2", false), KW_MULTIPLY);
  EXPECT_EQ(lookup("&&x", false), KW_LOGICAL_AND);
  EXPECT_EQ(lookup("&x", false), KW_BIT_AND);
  EXPECT_EQ(lookup("||x", false), KW_LOGICAL_OR);
  EXPECT_EQ(lookup("|x", false), KW_BIT_OR);
  EXPECT_EQ(lookup("::x", false), KW_DOUBLE_COLON);
  EXPECT_EQ(lookup("<<1", false), KW_SHIFT_LEFT);
  EXPECT_EQ(lookup(">>=", false), KW_SHIFT_RIGHT);
  EXPECT_EQ(lookup("~", false), KW_BIT_NOT);
  EXPECT_EQ(lookup("]", false), KW_RBRACKET);
  EXPECT_EQ(lookup("\"text\"", false), -1);
  EXPECT_EQ(lookup("", false), -1);
  EXPECT_EQ(lookup("#", false), -1);
}

TEST_F(KeywordLookup, WholeWordRule) {
  EXPECT_EQ(lookup("ifx = 1", true), -1);
  EXPECT_EQ(lookup("if(x)", true), KW_IF);
  EXPECT_EQ(lookup("If x", true), KW_IF);
  EXPECT_EQ(lookup("if", true), KW_IF);
  EXPECT_EQ(lookup("if_x", true), -1);
  EXPECT_EQ(lookup("if@", true), -1);
  EXPECT_EQ(lookup("if2", true), -1);
  EXPECT_EQ(lookup("if\xC3\xA9", true), -1);   // a letter of the code page follows
  EXPECT_EQ(lookup("endif", true), KW_ENDIF);
  EXPECT_EQ(lookup("end if", true), KW_END);
  EXPECT_EQ(lookup("StrIndexNc(a)", true), KW_STRINDEXNC);
  EXPECT_EQ(lookup("strindex(a)", true), KW_STRINDEX);
  EXPECT_EQ(lookup("binaryallocarray(a)", true), KW_BINARYALLOCARRAY);
  // Without the whole-word rule the longest prefix is taken.
  EXPECT_EQ(lookup("ifx", false), KW_IF);
}

TEST_F(KeywordLookup, ConstantsIgnoreCase) {
  EXPECT_EQ(lookup("@PI", true), KW_AT_PI);
  EXPECT_EQ(lookup("@pi)", true), KW_AT_PI);
  EXPECT_EQ(lookup("@Crlf", true), KW_AT_CRLF);
  EXPECT_EQ(lookup("@cr", true), KW_AT_CR);
  EXPECT_EQ(lookup("@pix", true), -1);
}

TEST_F(KeywordLookup, HighCharactersAreNeverKeywords) {
  EXPECT_EQ(lookup("\xC3\xA9if", true), -1);
  EXPECT_EQ(lookup("\xFF", false), -1);
  EXPECT_EQ(lookup("\x80+", false), -1);
}

TEST_F(KeywordLookup, ReservedRecordsCannotBeMatched) {
  for (int id : {KW_RESERVED_1, KW_RESERVED_2}) {
    const KeywordEntry& e = g_keywordTable[id];
    EXPECT_EQ(e.kind, KW_RESERVED);
    EXPECT_EQ(e.value, 0u);
    const std::string flattened(1, e.name[0]);
    EXPECT_EQ(lookup((flattened + "reserved").c_str(), true), -1);
    EXPECT_EQ(lookup((flattened + " reserved").c_str(), false), -1);
  }
}

TEST_F(KeywordLookup, MemberReferenceGivesCode26) {
  EXPECT_EQ(lookup("obj.prop", true), OBJECT_REFERENCE_CODE);
  EXPECT_EQ(lookup("message.x", true), OBJECT_REFERENCE_CODE);
  EXPECT_EQ(lookup("Message(\"a\", \"b\")", true), KW_MESSAGE);
  EXPECT_EQ(lookup("@obj.x", true), OBJECT_REFERENCE_CODE);
  EXPECT_EQ(lookup("a_1.x", true), OBJECT_REFERENCE_CODE);
  // Only with the whole-word flag, and only for names of at most 30 characters.
  EXPECT_EQ(lookup("message.x", false), KW_MESSAGE);
  EXPECT_EQ(lookup("abcdefghijabcdefghijabcdefghij.x", true), OBJECT_REFERENCE_CODE);
  EXPECT_EQ(lookup("abcdefghijabcdefghijabcdefghijk.x", true), -1);
  // A subscript not followed by '.' is no member reference.
  EXPECT_EQ(lookup("message[1] x", true), KW_MESSAGE);
}

TEST(KeywordSubscripts, NestedBracketsAndQuotedStrings) {
  const char* plain = "[1, 2].x";
  EXPECT_EQ(skip_subscripts(plain), plain + 6);
  const char* nested = "[a[1], b[c[2]]].x";
  EXPECT_EQ(skip_subscripts(nested), nested + 15);
  const char* quoted = "[\"]\", ']', `[`].x";
  EXPECT_EQ(skip_subscripts(quoted), quoted + 15);
  EXPECT_EQ(skip_subscripts("[1"), nullptr);
  EXPECT_EQ(skip_subscripts("[\"]"), nullptr);
  EXPECT_EQ(skip_subscripts("[a[1]"), nullptr);
}

TEST_F(KeywordLookup, UserDefinedFunctionsComeAfterBuiltIns) {
  add_udf("myfunc", 2);
  add_udf("strlen", 1);
  add_udf("other", 0);
  EXPECT_EQ(lookup("myfunc(1, 2)", true), UDFSTART + 0);
  EXPECT_EQ(lookup("MyFunc(1, 2)", true), UDFSTART + 0);
  EXPECT_EQ(lookup("other()", true), UDFSTART + 2);
  EXPECT_EQ(lookup("strlen(a)", true), KW_STRLEN);
  EXPECT_EQ(lookup("myfuncs(1)", true), -1);
  EXPECT_EQ(lookup("myfun(1)", true), -1);
}

TEST_F(KeywordLookup, ExtenderFunctionsComeAfterUserDefinedOnes) {
  const int extfn = add_extender_function("extfn");
  add_extender_function("myfunc");
  add_extender_function("strlen");
  const int capital = add_extender_function("MixedCase");
  add_udf("myfunc", 1);
  EXPECT_EQ(lookup("extfn(1)", true), extfn);
  EXPECT_EQ(lookup("EXTFN(1)", true), extfn);
  EXPECT_EQ(lookup("mixedcase(1)", true), capital);
  EXPECT_EQ(lookup("myfunc(1)", true), UDFSTART);
  EXPECT_EQ(lookup("strlen(1)", true), KW_STRLEN);
  EXPECT_EQ(lookup("extfnx(1)", true), -1);
  g_nNextExtEntry = savedExtCount_;
  EXPECT_EQ(lookup("extfn(1)", true), -1);
}

TEST_F(KeywordLookup, HostKeywordsOnlyForWholeWords) {
  KeywordEntry host[3] = {entry(0, "hostcmd"), entry(1, "hostfn"), KeywordEntry{}};
  host[1].kind = KW_FUNCTION;
  host[1].value = 1;
  ctx_->lpHostKeywords = host;
  EXPECT_EQ(lookup("hostcmd", true), PARENTSTART);
  EXPECT_EQ(lookup("HostFn(1)", true), PARENTSTART + 1);
  EXPECT_EQ(lookup("hostcmd", false), -1);
  EXPECT_EQ(lookup("hostcmdx", true), -1);
  EXPECT_EQ(lookup("message(1)", true), KW_MESSAGE);
  ctx_->lpHostKeywords = nullptr;
  EXPECT_EQ(lookup("hostcmd", true), -1);
}

TEST_F(KeywordLookup, BucketBoundDiagnostic) {
  const bool wasConsole = plat::console_ui();
  plat::set_console_ui(true);   // boxes become lines on standard output
  ctx_->nDiagMode = 12;
  testing::internal::CaptureStdout();
  EXPECT_EQ(lookup("abs(1)", true), KW_ABS);
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("X'n'Y are:: 130"), std::string::npos) << shown;
  EXPECT_NE(shown.find("X'n'Y are:: " + std::to_string(quicklook_start('b'))), std::string::npos) << shown;
  ctx_->nDiagMode = 0;
  testing::internal::CaptureStdout();
  lookup("abs(1)", true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  plat::set_console_ui(wasConsole);
}

// --- Read access by code ---------------------------------------------------------------------------------

TEST_F(KeywordLookup, InfoForEveryCodeRange) {
  KeywordInfo info;
  ASSERT_TRUE(keyword_info(ctx_.get(), KW_ITEMEXTRACT, &info));
  EXPECT_EQ(info.kind, KW_FUNCTION);
  EXPECT_EQ(info.required(), 3u);
  EXPECT_EQ(info.optional(), 0u);
  EXPECT_EQ(info.argTypes, signature({0, 6, 6}));
  EXPECT_EQ(std::string(info.name, info.nameLength), "itemextract");

  ASSERT_TRUE(keyword_info(ctx_.get(), KW_AT_TRUE, &info));
  EXPECT_EQ(info.kind, KW_CONSTANT);
  EXPECT_EQ(info.value, 1u);

  add_udf("myfunc", 3);
  ASSERT_TRUE(keyword_info(ctx_.get(), UDFSTART, &info));
  EXPECT_EQ(info.kind, KW_FUNCTION);
  EXPECT_EQ(info.argTypes, ~uint64_t{0});
  EXPECT_EQ(info.required(), 3u);
  EXPECT_EQ(info.optional(), 0u);
  EXPECT_EQ(std::string(info.name, info.nameLength), "myfunc");
  EXPECT_FALSE(keyword_info(ctx_.get(), UDFSTART + 1, &info));

  const int ext = add_extender_function("extfn");
  ASSERT_TRUE(keyword_info(ctx_.get(), ext, &info));
  EXPECT_EQ(info.value, 2u);
  EXPECT_EQ(std::string(info.name, info.nameLength), "extfn");
  EXPECT_FALSE(keyword_info(ctx_.get(), ext + 1, &info));

  KeywordEntry host[2] = {entry(0, "hostfn"), KeywordEntry{}};
  host[0].kind = KW_COMMAND;
  EXPECT_FALSE(keyword_info(ctx_.get(), PARENTSTART, &info));
  ctx_->lpHostKeywords = host;
  ASSERT_TRUE(keyword_info(ctx_.get(), PARENTSTART, &info));
  EXPECT_EQ(info.kind, KW_COMMAND);
  EXPECT_FALSE(keyword_info(ctx_.get(), PARENTSTART + 1, &info));
  EXPECT_FALSE(keyword_info(ctx_.get(), PARENTSTART + 5, &info));

  for (int code : {-1, 640, 999, 3999, 4998 + 1, 9999, 10501, 20000}) EXPECT_FALSE(keyword_info(ctx_.get(), code, &info)) << code;
}

}  // namespace
}  // namespace tov
