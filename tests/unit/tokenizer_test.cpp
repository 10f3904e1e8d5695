// The tokenizer: numbers, names, string literals and comments.
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
Scan scan(TestContext& t, const std::string& line) {
  static char buf[2100];
  std::strncpy(buf, line.c_str(), sizeof buf - 1);
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

}  // namespace

TEST(Tokenizer, TokensOfALine) {
  TestContext t;
  const std::string n30 = "A" + std::string(29, 'b');
  const struct { std::string line; std::vector<Tok> tokens; } rows[] = {
      {".5", {{TT_FLOAT, ".5"}}}, {"5.", {{TT_FLOAT, "5."}}}, {"1e-5", {{TT_FLOAT, "1e-5"}}}, {"007", {{TT_INTEGER, "007"}}},
      {"2.5E+3x", {{TT_FLOAT, "2.5E+3"}, {TT_VARIABLE, "x"}}}, {"12abc", {{TT_INTEGER, "12"}, {TT_VARIABLE, "abc"}}},
      {"1-5", {{TT_INTEGER, "1"}, {TT_DELIMITER, "-"}, {TT_INTEGER, "5"}}},
      // quotes of three kinds, doubled to stand for themselves; an unterminated literal runs to the end of
      // the line without an error, and ";" inside it is no comment
      {"\"it\"\"s\"", {{TT_STRING, "it\"s"}}}, {"'say \"hi\"'", {{TT_STRING, "say \"hi\""}}}, {"\"\"", {{TT_STRING, ""}}},
      {"`a'b\"c` 'x'", {{TT_STRING, "a'b\"c"}, {TT_STRING, "x"}}}, {"\"abc ; def", {{TT_STRING, "abc ; def"}}},
      {"'a''", {{TT_STRING, "a'"}}},
      // a literal holds at most 2049 characters; the rest is read as further tokens
      {"\"" + std::string(2049, 'q') + "zz\"", {{TT_STRING, std::string(2049, 'q')}, {TT_VARIABLE, "zz"}, {TT_STRING, ""}}},
      // names: lower-cased, up to 30 characters; keywords only as whole words
      {n30, {{TT_VARIABLE, "a" + std::string(29, 'b')}}},
      {"ifx if(", {{TT_VARIABLE, "ifx"}, {TT_DELIMITER, "if"}, {TT_DELIMITER, "("}}},
      {"_a@1 @PI", {{TT_VARIABLE, "_a@1"}, {TT_DELIMITER, "@PI"}}},
      {"a<=b<>c**d", {{TT_VARIABLE, "a"}, {TT_DELIMITER, "<="}, {TT_VARIABLE, "b"}, {TT_DELIMITER, "<>"},
                      {TT_VARIABLE, "c"}, {TT_DELIMITER, "**"}, {TT_VARIABLE, "d"}}},
      // a comment ends the stream
      {"x=1;note = 2", {{TT_VARIABLE, "x"}, {TT_DELIMITER, "="}, {TT_INTEGER, "1"}}}, {"   ; only a comment", {}},
  };
  for (const auto& r : rows) {
    const Scan s = scan(t, r.line);
    EXPECT_EQ(s.err, 0) << r.line.substr(0, 40);
    EXPECT_EQ(s.tokens, r.tokens) << r.line.substr(0, 40);
  }
  scan(t, "@PI");
  EXPECT_EQ(t->tok.delim_type, KW_AT_PI);
  // The stream stays at its end, and the comment's names are never created.
  EXPECT_EQ(scan(t, "x=1;note = 2").rest, ";note = 2");
  EXPECT_EQ(slot_lookup(t.ctx(), "note"), SLOT_NONE);
  get_token(t.ctx());
  EXPECT_EQ(t->tok.tok_type, TT_END);
}

TEST(Tokenizer, Errors) {
  TestContext t;
  const std::string n31 = "A" + std::string(29, 'b') + "c";
  const std::pair<std::string, uint16_t> rows[] = {
      {".", ERR_UNRECOGNIZABLE},  {"x = .a", ERR_UNRECOGNIZABLE}, {"1.2.3", ERR_FP_ILLEGAL_DOTS},
      {"1e5e2", ERR_FP_ILLEGAL_ES}, {"1e5.3", ERR_UNRECOGNIZABLE},   // a point after the exponent: no number
      {"1e", ERR_UNRECOGNIZABLE}, {"1e+", ERR_UNRECOGNIZABLE},    {"1e-x", ERR_UNRECOGNIZABLE},
      {"#", ERR_UNRECOGNIZABLE},  {n31, ERR_VARNAME_TOO_LONG},
  };
  for (const auto& [line, err] : rows) EXPECT_EQ(scan(t, line).err, err) << line;
  EXPECT_EQ(slot_lookup(t.ctx(), n31.substr(0, 30).c_str()), SLOT_NONE);
  // The error leaves prog at the offending token.
  EXPECT_EQ(scan(t, "a + 1.2.3").rest, "1.2.3");
  EXPECT_EQ(scan(t, "a $ b").rest, "$ b");

  EXPECT_EQ(t.text_of("5."), "5.0");
  EXPECT_EQ(t.text_of("2.5e1"), "25.0");
  EXPECT_EQ(t.text_of("1e999"), "");
  EXPECT_EQ(t.err(), ERR_FP_OVERFLOW);
  EXPECT_EQ(t.text_of("1e-999"), "0.0");   // an underflow is zero
  EXPECT_EQ(t.text_of("4294967297"), "1");  // integer literals wrap
}

TEST(Tokenizer, PutbackRereadsTheToken) {
  TestContext t;
  for (const char* line : {"abc + 1", "12.5e3 x", "<= y", "\"lit\" z", "strlen(1)", "@crlf q"}) {
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
