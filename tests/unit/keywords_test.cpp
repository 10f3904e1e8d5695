// The keyword table and the keyword lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/context.h"
#include "lang/keywords.h"
#include "test_context.h"

namespace tov {
namespace {

std::string name_of(int id) {
  const KeywordEntry& e = g_keywordTable[id];
  return std::string(e.name, e.nameLength);
}

KeywordEntry entry(uint32_t id, const char* name) {
  KeywordEntry e{};
  e.id = id;
  e.nameLength = static_cast<uint16_t>(std::strlen(name));
  std::memcpy(e.name, name, e.nameLength);
  return e;
}

// --- The table ------------------------------------------------------------------------------------------

// Scripts compiled elsewhere and the extenders refer to keywords by these numbers.
TEST(KeywordTable, IdsThatTheEngineUsesByNumber) {
  const std::vector<std::pair<const char*, int>> fixed = {
      {"!", 0}, {"!=", 1}, {"&&", 3}, {":", 12}, {"::", 13}, {"<", 14}, {"<<", 15}, {"<=", 16}, {"<>", 17}, {">>", 22},
      {"[", 127}, {"^", 129}, {"mod", 420}, {"||", 638}, {"~", 639}, {"?makepointer", 25}, {"?oleobject", 26},
      {"drop", 298}, {"isdefined", 394}, {"ptrglobal", 459}, {"vartype", 585}, {"call", 225}, {"foreach", 371},
      {"switch", 559}, {"while", 591}, {"itemcount", 400}, {"itemsortnc", 410},
      // first and last names of the four dispatch groups
      {"abs", 130}, {"chrunicodetostring", 236}, {"clipappend", 237}, {"ignoreinput", 382}, {"inidelete", 383},
      {"strbytecount", 530}, {"strcat", 531}, {"yields", 636},
  };
  for (const auto& [name, id] : fixed) EXPECT_EQ(name_of(id), name) << "id " << id;
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    EXPECT_EQ(g_keywordTable[i].id, i);
    EXPECT_EQ(std::strlen(g_keywordTable[i].name), g_keywordTable[i].nameLength) << "NUL-padded name of " << i;
  }
}

TEST(KeywordTable, KindsAritiesAndTheTooManyArgumentsRule) {
  std::map<uint32_t, int> kinds;
  for (const KeywordEntry& e : g_keywordTable) ++kinds[e.kind];
  const std::map<uint32_t, int> expected = {
      {KW_OPERATOR, 18}, {KW_UNARY, 6},      {KW_FUNCTION, 472}, {KW_CONSTANT, 99},  {KW_COMMAND, 5},
      {KW_RELATIONAL, 7}, {KW_VARFUNC, 9},   {KW_STRUCTURE, 22}, {KW_RESERVED, 2}};
  EXPECT_EQ(kinds, expected);

  std::map<std::pair<uint32_t, uint32_t>, int> histogram;
  for (const KeywordEntry& e : g_keywordTable) {
    if (e.kind != KW_FUNCTION) continue;
    ++histogram[{required_args(e.value), optional_args(e.value)}];
    EXPECT_FALSE(too_many_args(e.value)) << e.name;
  }
  const std::map<std::pair<uint32_t, uint32_t>, int> arities = {
      {{1, 0}, 146}, {{2, 0}, 108}, {{3, 0}, 55}, {{5, 0}, 26}, {{0, 0}, 23}, {{2, 1}, 21},
      {{4, 0}, 21},  {{1, 1}, 17},  {{255, 0}, 11}, {{3, 1}, 11}, {{1, 2}, 6}, {{5, 1}, 6},
      {{2, 3}, 4},   {{2, 2}, 3},   {{4, 1}, 3},  {{2, 4}, 2},  {{1, 4}, 2},  {{3, 2}, 2},
      {{2, 5}, 1},   {{11, 0}, 1},  {{3, 3}, 1},  {{9, 0}, 1},  {{6, 0}, 1},
  };
  EXPECT_EQ(histogram, arities);
  EXPECT_FALSE(too_many_args(16));
  EXPECT_FALSE(too_many_args(8 | 8 << 8));
  EXPECT_TRUE(too_many_args(9 | 8 << 8));
  EXPECT_FALSE(too_many_args(VARIADIC | 20 << 8));
}

// --- Lookup -----------------------------------------------------------------------------------------------

// Text, whether whole words only, and the code expected (-1 for none).
struct LookupRow {
  const char* text;
  bool whole;
  int code;
};

class KeywordLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<RunContext>();
  }

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
    const uint32_t index = ctx_->ext.nFunctions++;
    ctx_->ext.functions[index] = entry(30007, name);
    ctx_->ext.functions[index].kind = KW_FUNCTION;
    ctx_->ext.functions[index].value = 2;
    return ADDONSTART + static_cast<int>(index);
  }

  std::unique_ptr<RunContext> ctx_;
  std::vector<std::unique_ptr<UdfRecord>> udfs_;
};

TEST_F(KeywordLookup, BuiltInNames) {
  const LookupRow rows[] = {
      // symbols: the longest match wins
      {":x", false, 12}, {"::x", false, KW_DOUBLE_COLON}, {"< b", false, KW_LESS}, {"<<1", false, KW_SHIFT_LEFT},
      {"<=b", false, KW_LESS_EQUAL}, {"<>b", false, 17}, {"**2", false, KW_POWER}, {"*2", false, KW_MULTIPLY},
      {"&&x", false, KW_LOGICAL_AND}, {"&x", false, KW_BIT_AND}, {"||x", false, KW_LOGICAL_OR},
      {"|x", false, KW_BIT_OR}, {">>=", false, KW_SHIFT_RIGHT}, {"~", false, KW_BIT_NOT}, {"]", false, KW_RBRACKET},
      {"\"text\"", false, -1}, {"", false, -1}, {"#", false, -1},
      // words: whole-word rule, any case
      {"ifx = 1", true, -1}, {"if(x)", true, KW_IF}, {"If x", true, KW_IF}, {"if", true, KW_IF}, {"if_x", true, -1},
      {"if@", true, -1}, {"if2", true, -1}, {"if\xC3\xA9", true, -1},   // a letter of the code page follows
      {"endif", true, KW_ENDIF}, {"end if", true, KW_END}, {"StrIndexNc(a)", true, KW_STRINDEXNC},
      {"strindex(a)", true, KW_STRINDEX}, {"ifx", false, KW_IF},   // without the rule: the longest prefix
      {"@PI", true, KW_AT_PI}, {"@Crlf", true, KW_AT_CRLF}, {"@cr", true, KW_AT_CR}, {"@pix", true, -1},
      {"\xC3\xA9if", true, -1}, {"\xFF", false, -1}, {"\x80+", false, -1},
      // member references: whole words only, names of at most 30 characters, '.' after any subscripts
      {"obj.prop", true, OBJECT_REFERENCE_CODE}, {"message.x", true, OBJECT_REFERENCE_CODE},
      {"@obj.x", true, OBJECT_REFERENCE_CODE}, {"Message(\"a\", \"b\")", true, KW_MESSAGE},
      {"message.x", false, KW_MESSAGE}, {"message[1] x", true, KW_MESSAGE},
      {"abcdefghijabcdefghijabcdefghij.x", true, OBJECT_REFERENCE_CODE},
      {"abcdefghijabcdefghijabcdefghijk.x", true, -1},
  };
  for (const auto& r : rows) EXPECT_EQ(lookup(r.text, r.whole), r.code) << '"' << r.text << "\" " << r.whole;

  for (int id : {KW_RESERVED_1, KW_RESERVED_2}) {
    EXPECT_EQ(g_keywordTable[id].kind, KW_RESERVED);
    EXPECT_EQ(g_keywordTable[id].value, 0u);
    const std::string flattened(1, g_keywordTable[id].name[0]);
    EXPECT_EQ(lookup((flattened + "reserved").c_str(), true), -1);
    EXPECT_EQ(lookup((flattened + " reserved").c_str(), false), -1);
  }
}

// The engine's table first, then user-defined functions, then extender functions, then host keywords.
TEST_F(KeywordLookup, OrderOfTheFourTables) {
  add_udf("myfunc", 2);
  add_udf("strlen", 1);
  add_udf("other", 0);
  const int extfn = add_extender_function("extfn");
  add_extender_function("myfunc");
  add_extender_function("strlen");
  const int capital = add_extender_function("MixedCase");
  KeywordEntry host[4] = {entry(0, "hostcmd"), entry(1, "hostfn"), entry(2, "extfn"), KeywordEntry{}};
  host[1].kind = KW_FUNCTION;
  host[1].value = 1;
  ctx_->lpHostKeywords = host;

  const LookupRow rows[] = {{"strlen(a)", true, KW_STRLEN}, {"MyFunc(1, 2)", true, UDFSTART}, {"other()", true, UDFSTART + 2},
              {"myfuncs(1)", true, -1}, {"myfun(1)", true, -1}, {"EXTFN(1)", true, extfn}, {"mixedcase(1)", true, capital},
              {"extfnx(1)", true, -1}, {"hostcmd", true, PARENTSTART}, {"HostFn(1)", true, PARENTSTART + 1},
              {"hostcmd", false, -1},   // host keywords only for whole words
              {"hostcmdx", true, -1}, {"message(1)", true, KW_MESSAGE}};
  for (const auto& r : rows) EXPECT_EQ(lookup(r.text, r.whole), r.code) << r.text << ' ' << r.whole;
  ctx_->ext.nFunctions = 0;
  EXPECT_EQ(lookup("extfn(1)", true), PARENTSTART + 2);
  ctx_->lpHostKeywords = nullptr;
  EXPECT_EQ(lookup("hostcmd", true), -1);
}

// --- Read access by code ---------------------------------------------------------------------------------

TEST_F(KeywordLookup, InfoForEveryCodeRange) {
  KeywordInfo info;
  ASSERT_TRUE(keyword_info(ctx_.get(), KW_ITEMEXTRACT, &info));
  EXPECT_EQ(info.kind, KW_FUNCTION);
  EXPECT_EQ(info.required(), 3u);
  EXPECT_EQ(info.optional(), 0u);
  EXPECT_EQ(info.argTypes, 0x660u);   // four bits an argument: any, text, text
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
  for (int code : {-1, 640, 999, 3999, 4999, 9999, 10501, 20000}) EXPECT_FALSE(keyword_info(ctx_.get(), code, &info)) << code;
}

TEST(InternalInfo, TheHostsTableIsListedForItem101) {
  test::TestContext t;
  KeywordEntry host[3] = {entry(0, "hostcmd"), entry(1, "hostfn"), KeywordEntry{}};
  host[1].kind = KW_FUNCTION;
  ASSERT_EQ(t.run("list = IntControl(77, 101, '|', 0, 0)\n", nullptr, host), 1u);
  EXPECT_EQ(t.var_text("list"), "0|0|0000000000000000|0|7|hostcmd|1|2|0000000000000000|0|6|hostfn");
}

}  // namespace
}  // namespace tov

