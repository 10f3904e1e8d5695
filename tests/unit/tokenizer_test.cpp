// The tokenizer: numbers, names, string literals, comments, the address-of rule, variables created while
// reading, putback and bare words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/errors.h"
#include "lang/vartable.h"
#include "test_context.h"

using tov::test::TestContext;
using namespace tov;

namespace {

struct Tok {
  int type;
  std::string text;
  bool operator==(const Tok& o) const { return type == o.type && text == o.text; }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) { return os << t.type << ":" << t.text; }

struct Scan {
  std::vector<Tok> tokens;
  uint16_t err;
  std::string rest;   // the line from prog on, after the last token read
};

// Reads tokens until the end of the line or an error.
Scan scan(TestContext& t, const char* line) {
  static char buf[2100];
  std::strncpy(buf, line, sizeof buf - 1);
  t->err = 0;
  t->tok.prog = buf;
  t->tok.tok_type = TT_END;
  t->tok.addressOfPending = 0;
  Scan s;
  for (int guard = 0; guard < 100; ++guard) {
    get_token(t.ctx());
    if (t->err || t->tok.tok_type == TT_END) break;
    s.tokens.push_back({t->tok.tok_type, t->tok.text});
  }
  s.err = t->err;
  s.rest = t->tok.prog;
  return s;
}

uint32_t type_of(TestContext& t, const char* name) {
  uint16_t slot = slot_lookup(t.ctx(), name);
  return slot == SLOT_NONE ? 0xFFFFFFFF : slot_at(t.ctx(), slot)->c.type;
}

}  // namespace

TEST(Tokenizer, Numbers) {
  TestContext t;
  EXPECT_EQ(scan(t, ".5").tokens, (std::vector<Tok>{{TT_FLOAT, ".5"}}));
  EXPECT_EQ(scan(t, "5.").tokens, (std::vector<Tok>{{TT_FLOAT, "5."}}));
  EXPECT_EQ(scan(t, "1e-5").tokens, (std::vector<Tok>{{TT_FLOAT, "1e-5"}}));
  EXPECT_EQ(scan(t, "2.5E+3x").tokens, (std::vector<Tok>{{TT_FLOAT, "2.5E+3"}, {TT_VARIABLE, "x"}}));
  EXPECT_EQ(scan(t, "1-5").tokens, (std::vector<Tok>{{TT_INTEGER, "1"}, {TT_DELIMITER, "-"}, {TT_INTEGER, "5"}}));
  EXPECT_EQ(scan(t, "12abc").tokens, (std::vector<Tok>{{TT_INTEGER, "12"}, {TT_VARIABLE, "abc"}}));
  EXPECT_EQ(scan(t, "007").tokens, (std::vector<Tok>{{TT_INTEGER, "007"}}));

  EXPECT_EQ(scan(t, ".").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "x = .a").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "1.2.3").err, ERR_FP_ILLEGAL_DOTS);
  EXPECT_EQ(scan(t, "1e5e2").err, ERR_FP_ILLEGAL_ES);
  // A point after the exponent is no number at all.
  EXPECT_EQ(scan(t, "1e5.3").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "1e").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "1e+").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "1e-x").err, ERR_UNRECOGNIZABLE);
  // The error leaves prog at the offending number.
  EXPECT_EQ(scan(t, "a + 1.2.3").rest, "1.2.3");

  EXPECT_EQ(t.text_of(".5"), "0.5");
  EXPECT_EQ(t.text_of("5."), "5.0");
  EXPECT_EQ(t.text_of("2.5e1"), "25.0");
  EXPECT_EQ(t.text_of("1e999"), "");
  EXPECT_EQ(t.err(), ERR_FP_OVERFLOW);
  EXPECT_EQ(t.text_of("1e-999"), "0.0");   // an underflow is zero
  EXPECT_EQ(t.text_of("4294967297"), "1");  // integer literals wrap
}

TEST(Tokenizer, StringLiterals) {
  TestContext t;
  EXPECT_EQ(scan(t, "\"it\"\"s\"").tokens, (std::vector<Tok>{{TT_STRING, "it\"s"}}));
  EXPECT_EQ(scan(t, "'say \"hi\"'").tokens, (std::vector<Tok>{{TT_STRING, "say \"hi\""}}));
  EXPECT_EQ(scan(t, "`a'b\"c` 'x'").tokens, (std::vector<Tok>{{TT_STRING, "a'b\"c"}, {TT_STRING, "x"}}));
  EXPECT_EQ(scan(t, "\"\"").tokens, (std::vector<Tok>{{TT_STRING, ""}}));
  // Unterminated: the literal runs to the end of the line, without an error; ";" inside is no comment.
  auto s = scan(t, "\"abc ; def");
  EXPECT_EQ(s.err, 0);
  EXPECT_EQ(s.tokens, (std::vector<Tok>{{TT_STRING, "abc ; def"}}));
  EXPECT_EQ(scan(t, "'a''").tokens, (std::vector<Tok>{{TT_STRING, "a'"}}));

  // A literal holds at most 2049 characters; the rest is read as further tokens.
  const std::string fits(2049, 'q');
  s = scan(t, ("\"" + fits + "zz\"").c_str());
  ASSERT_GE(s.tokens.size(), 2u);
  EXPECT_EQ(s.tokens[0].text, fits);
  EXPECT_EQ(s.tokens[1], (Tok{TT_VARIABLE, "zz"}));
}

TEST(Tokenizer, NamesAndKeywords) {
  TestContext t;
  const std::string n30 = "A" + std::string(29, 'b'), n31 = n30 + "c";
  auto s = scan(t, n30.c_str());
  ASSERT_EQ(s.err, 0);
  EXPECT_EQ(s.tokens[0], (Tok{TT_VARIABLE, "a" + std::string(29, 'b')}));
  EXPECT_EQ(scan(t, n31.c_str()).err, ERR_VARNAME_TOO_LONG);
  EXPECT_EQ(slot_lookup(t.ctx(), (n31.substr(0, 30)).c_str()), SLOT_NONE);

  EXPECT_EQ(scan(t, "ifx if(").tokens, (std::vector<Tok>{{TT_VARIABLE, "ifx"}, {TT_DELIMITER, "if"}, {TT_DELIMITER, "("}}));
  EXPECT_EQ(scan(t, "_a@1 @PI").tokens, (std::vector<Tok>{{TT_VARIABLE, "_a@1"}, {TT_DELIMITER, "@PI"}}));
  EXPECT_EQ(t->tok.delim_type, KW_AT_PI);
  EXPECT_EQ(scan(t, "a<=b<>c").tokens[1].text, "<=");
  EXPECT_EQ(scan(t, "a<>c").tokens[1].text, "<>");
  EXPECT_EQ(scan(t, "a**b").tokens[1].text, "**");
  EXPECT_EQ(scan(t, "#").err, ERR_UNRECOGNIZABLE);
  EXPECT_EQ(scan(t, "a $ b").rest, "$ b");
}

TEST(Tokenizer, CommentsEndTheStream) {
  TestContext t;
  auto s = scan(t, "x=1;note = 2");
  EXPECT_EQ(s.tokens, (std::vector<Tok>{{TT_VARIABLE, "x"}, {TT_DELIMITER, "="}, {TT_INTEGER, "1"}}));
  EXPECT_EQ(s.rest, ";note = 2");
  EXPECT_EQ(slot_lookup(t.ctx(), "note"), SLOT_NONE);
  EXPECT_TRUE(scan(t, "   ; only a comment").tokens.empty());
  // The stream stays at its end: reading again gives the end again.
  get_token(t.ctx());
  EXPECT_EQ(t->tok.tok_type, TT_END);
}

TEST(Tokenizer, VariablesAreCreatedWhileReading) {
  TestContext t;
  scan(t, "A = B");
  EXPECT_EQ(type_of(t, "a"), uint32_t(VF_UNINIT));
  EXPECT_EQ(type_of(t, "b"), uint32_t(VF_UNINIT));
  EXPECT_EQ(slot_at(t.ctx(), slot_lookup(t.ctx(), "b"))->c.i, -1);
  t.assign("x = b");
  EXPECT_EQ(t.err(), ERR_UNINITIALIZED);

  // Address-of before an operand creates the new name as a defined integer; after an operand "&" is
  // the binary operator and the name is created uninitialised.
  scan(t, "q = (&newint)");
  EXPECT_EQ(type_of(t, "newint"), uint32_t(VF_INTEGER));
  scan(t, "q = x & other");
  EXPECT_EQ(type_of(t, "other"), uint32_t(VF_UNINIT));
  scan(t, "q = @true & third");
  EXPECT_EQ(type_of(t, "third"), uint32_t(VF_UNINIT));
  scan(t, "q = (1) & fourth");
  EXPECT_EQ(type_of(t, "fourth"), uint32_t(VF_UNINIT));
  scan(t, "q = a && fifth");
  EXPECT_EQ(type_of(t, "fifth"), uint32_t(VF_UNINIT));
}

TEST(Tokenizer, SlotsAreReusedAndTheTableIsBounded) {
  TestContext t(5);   // slot 0 is reserved: four names fit
  scan(t, "v1 v2 v3");
  const uint16_t used = t->nVarUsed;
  EXPECT_EQ(used, 4);
  const uint16_t v2 = slot_lookup(t.ctx(), "v2");
  slot_drop(t.ctx(), v2);
  EXPECT_EQ(t->nVarUsed, used);               // a middle slot leaves a hole
  scan(t, "w");
  EXPECT_EQ(slot_lookup(t.ctx(), "w"), v2);   // which the next new name takes
  slot_drop(t.ctx(), slot_lookup(t.ctx(), "v3"));
  EXPECT_EQ(t->nVarUsed, used - 1);           // dropping the last one shrinks the count
  scan(t, "n4 n5");
  EXPECT_EQ(t->nVarUsed, 5);
  EXPECT_EQ(scan(t, "n6").err, ERR_OUT_OF_VARIABLES);
  EXPECT_EQ(scan(t, "n5 v1").err, 0);         // known names still resolve
}

TEST(Tokenizer, PutbackRereadsTheToken) {
  TestContext t;
  const char* lines[] = {"abc + 1", "12.5e3 x", "<= y", "\"lit\" z", "strlen(1)", "@crlf q"};
  for (const char* line : lines) {
    scan(t, "");
    t->tok.prog = line;
    get_token(t.ctx());
    const Tok first{t->tok.tok_type, t->tok.text};
    const int16_t code = t->tok.delim_type;
    putback(t.ctx());
    EXPECT_EQ(std::string(t->tok.prog), line);
    get_token(t.ctx());
    EXPECT_EQ((Tok{t->tok.tok_type, t->tok.text}), first) << line;
    EXPECT_EQ(t->tok.delim_type, code) << line;
  }
}

TEST(Tokenizer, BareWordsForLabels) {
  TestContext t;
  t->err = 0;
  t->tok.prog = "  Done_2@x+1";
  get_string_token(t.ctx());
  EXPECT_EQ(t->tok.tok_type, TT_STRING);
  EXPECT_STREQ(t->tok.text, "Done_2@x");   // not lower-cased
  EXPECT_EQ(uint16_t(t->tok.delim_type), 65535);
  EXPECT_STREQ(t->tok.prog, "+1");
  t->tok.prog = "  ; nothing";
  get_string_token(t.ctx());
  EXPECT_EQ(t->tok.tok_type, TT_END);
  t->tok.prog = "-x";
  get_string_token(t.ctx());
  EXPECT_EQ(t->err, ERR_UNRECOGNIZABLE);
  t->err = 0;
  const std::string word(2050, 'w');
  t->tok.prog = word.c_str();
  get_string_token(t.ctx());
  EXPECT_EQ(t->err, ERR_STRING_TOO_LONG);
}
