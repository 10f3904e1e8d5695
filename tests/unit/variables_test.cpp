// Variables: pointers and the pointer built-ins, names handed over by hosts, values as text, find_var.
// Pointers across call frames and VarType/IsDefined are checked by the script cases.
#include <gtest/gtest.h>

#include <string>

#include "diag/errors.h"
#include "lang/variables.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "builtin_eval.h"

using tov::test::TestContext;
using namespace tov;

namespace {

std::string info(TestContext& t) { return error_info_text(t.ctx()); }

}  // namespace

TEST(Pointers, AddressOfAndDereference) {
  TestContext t;
  t.assign("x = \"text\"");
  t.assign("p = &x");
  const std::string p = t.text_of("p");
  EXPECT_EQ(p.substr(0, 9), "#VAR$PTR#");
  EXPECT_EQ(p.size(), 37u + 1);
  EXPECT_EQ(p.substr(37), "x");
  expect_texts(t, {{"*p", "text"}, {"*p : \"!\"", "text!"}, {"*(*&p)", "text"}, {"&x == p", "1"}});
  // Any spelling of the name finds the variable; a tampered identity does not.
  EXPECT_EQ(t.text_of(("*\"" + p.substr(0, 37) + "X\"").c_str()), "text");
  std::string forged = p;
  forged[20] = forged[20] == '0' ? '1' : '0';
  EXPECT_EQ(t.error_of(("*\"" + forged + "\"").c_str()), ERR_INVALID_POINTER);
  EXPECT_EQ(t.error_of(("*\"#VAR$PTR#0065" + std::string(24, '0') + "x\"").c_str()), ERR_INVALID_POINTER);
  EXPECT_EQ(t.error_of("*\"#VAR$PTR#short\""), ERR_NOT_POINTER);
  EXPECT_EQ(t.error_of(("*\"" + p + std::string(31, 'y') + "\"").c_str()), ERR_NOT_POINTER);   // 68 chars
  t.assign("u = &fresh");   // address-of creates a new name as a defined integer
  EXPECT_EQ(t.err(), 0);
  EXPECT_EQ(t.text_of("*u"), "-1");
  t.assign("drop(fresh)");
  EXPECT_EQ(t.error_of("*u"), ERR_POINTER_UNINIT);
  // Writing through what is no pointer fails as reading does.
  t.run_reported("n = 5\n*n = 1\n");
  EXPECT_EQ(t->hdr.nRunError, uint32_t(ERR_NOT_POINTER));
  t.run_reported("w = \"plain\"\n*w = 1\n");
  EXPECT_EQ(t->hdr.nRunError, uint32_t(ERR_NOT_POINTER));
}

TEST(VariableNames, HostNamesAreFolded) {
  TestContext t;
  char out[VARNAME_BYTES];
  fold_name("MixedCase", out);
  EXPECT_STREQ(out, "mixedcase");
  const std::string n30(30, 'A');
  fold_name(n30.c_str(), out);
  EXPECT_EQ(std::string(out), std::string(30, 'a'));
  // The 31st character is added onto position 5, the 32nd onto 6, and so on.
  fold_name((std::string(30, 'a') + "bc").c_str(), out);
  std::string expected(30, 'a');
  expected[5] = char(uint8_t('a' + 'b'));
  expected[6] = char(uint8_t('a' + 'c'));
  EXPECT_EQ(std::string(out), expected);
  // Past position 29 the positions wrap to 5 again.
  std::string long_name(30 + 25, 'a');
  long_name += "z";
  fold_name(long_name.c_str(), out);
  EXPECT_EQ(uint8_t(out[5]), uint8_t('a' + 'a' + 'z'));
  EXPECT_EQ(std::strlen(out), 30u);

  const int32_t value = 77;
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "HostVar", &value, VF_INTEGER));
  EXPECT_EQ(t.text_of("hostvar"), "77");
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "HostVar", "text", VF_STRING));   // replaces the integer
  EXPECT_EQ(t.text_of("hostvar"), "text");
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "w", u"wide", VF_WSTRING));
  EXPECT_EQ(t.text_of("vartype(w)"), "128");
  ASSERT_TRUE(set_variable_by_name(t.ctx(), "empty", nullptr, VF_STRING));
  EXPECT_EQ(t.text_of("vartype(empty) : (empty == \"\")"), "21");
  EXPECT_FALSE(set_variable_by_name(t.ctx(), "bad", &value, 4));
}

// A value's text is cut to the buffer, its whole length still told; -1 where there is no value.
TEST(VariableNames, ValuesAsText) {
  TestContext t;
  for (const char* statement : {"i = -12", "f = 0.25", "s = \"a string\"", "a = arrdimension(2, 2)",
                                "a[1, 0] = \"elem\"", "u = 1", "drop(u)", "low = 0 - 2147483647 - 1", "zero = 0",
                                "slot1 = 11", "slot2 = 22", "slot22 = 2222"})
    t.assign(statement);
  const std::string long_name(300, 'x');   // longer than any name the table can hold
  const struct { std::string name; size_t size; int length; const char* text; } rows[] = {
      {"I", 64, 3, "-12"},           {"f", 64, 4, "0.25"},         {"a", 64, 7, "<array>"},
      {"a[1, 0]", 64, 4, "elem"},    {"s", 4, 8, "a s"},           {"low", 5, 11, "-214"},
      {"low", 64, 11, "-2147483648"}, {"ZERO", 64, 1, "0"},
      // names alike but for their last characters are told apart
      {"slot2", 64, 2, "22"},        {"Slot22", 64, 4, "2222"},    {"slot", 64, -1, nullptr},
      {"a[0, 0]", 64, -1, nullptr},  {"a[9, 0]", 64, -1, nullptr}, {"missing", 64, -1, nullptr},
      {"u", 64, -1, nullptr},        {"", 64, -1, nullptr},        {long_name, 64, -1, nullptr},
      {long_name + "[1]", 64, -1, nullptr},
  };
  for (const auto& r : rows) {
    char buf[64];
    EXPECT_EQ(variable_value_as_text(t.ctx(), r.name.c_str(), buf, r.size), r.length) << r.name.substr(0, 12);
    if (r.text) {
      EXPECT_STREQ(buf, r.text) << r.name;
    }
  }
  EXPECT_EQ(t.err(), 0);
}

// find_var takes the folded name, as the tokenizer hands it over.
TEST(FindVar, MissingUnsetAndSetVariables) {
  TestContext t;
  EXPECT_EQ(find_var(t.ctx(), "nosuchname", 1), 65535);
  EXPECT_EQ(t.err(), ERR_UNDEFINED_VARIABLE);
  EXPECT_EQ(info(t), "");

  // The tokenizer creates the slot of a name it meets; it has no value until something is assigned.
  EXPECT_EQ(t.error_of("declared + 1"), ERR_UNINITIALIZED);
  error_info_free(t.ctx());
  t->err = 0;
  EXPECT_EQ(find_var(t.ctx(), "declared", 0), 65535);
  EXPECT_EQ(t.err(), ERR_UNINITIALIZED);
  EXPECT_EQ(info(t), "");
  t->err = 0;
  EXPECT_EQ(find_var(t.ctx(), "declared", 1), 65535);
  EXPECT_EQ(t.err(), ERR_UNINITIALIZED);
  EXPECT_NE(info(t).find("    declared"), std::string::npos) << info(t);

  error_info_free(t.ctx());
  t->err = 0;
  t.assign("answer = 42");
  const uint16_t slot = find_var(t.ctx(), "answer", 1);
  ASSERT_NE(slot, 65535);
  EXPECT_EQ(t.err(), 0);
  EXPECT_EQ(t->lpVars[slot].c.i, 42);
}

// The name-argument built-ins pass the name through the scratch slot 0 with the top bit of its first byte
// set; a name that starts with a non-ASCII letter has that bit already and must still never reach slot 0.
// "ete" with acute accents in the ANSI code page: UTF-8 on Linux; on Windows byte 0xE9, a letter in
// every single-byte Windows code page.
#ifdef _WIN32
#define ETE "\xE9t\xE9"
#else
#define ETE "\xC3\xA9t\xC3\xA9"
#endif

TEST(Variables, NamesStartingWithANonAsciiLetterNeverMatchTheScratchSlot) {
  TestContext t;
  const uint16_t used = t->nVarUsed;
  EXPECT_EQ(t.text_of("drop(" ETE ")"), "1");
  EXPECT_EQ(t->lpVars[0].c.type, uint32_t(VF_UNINIT));
  EXPECT_EQ(t->nVarUsed, used);

  t.assign(ETE " = \"summer\"");
  t.assign("g = \"kept\"");
  ASSERT_EQ(t.err(), 0);
  EXPECT_EQ(t.text_of("isdefined(" ETE ")"), "1");
  EXPECT_EQ(t.text_of("drop(" ETE ")"), "1");
  EXPECT_EQ(t.text_of("isdefined(" ETE ")"), "0");
  EXPECT_EQ(t.text_of("g"), "kept");
  EXPECT_EQ(std::string(t->lpVars[0].name).find('g'), std::string::npos);
  EXPECT_EQ(t->lpVars[0].c.type, uint32_t(VF_UNINIT));
}

TEST(Pointers, GlobalAndPersistentVariables) {
  TestContext t;
  plat::set_console_ui(true);   // boxes and error reports become console lines
  t.run(
      "pg = ptrglobaldefine(g1)\n"
      "g1 = 10\n"
      "notglobal = 1\n"
      "#DefineFunction useglobal()\n"
      "p = ptrglobal(G1)\n"
      "*p = *p + 1\n"
      "return ptrglobaltest(g1) : ptrglobaltest(notglobal) : ptrglobaltest(missing) : ptrglobaltest(5)\n"
      "#EndFunction\n"
      "#DefineFunction counter()\n"
      "p = ptrpersistent(count, 100)\n"
      "*p = *p + 1\n"
      "return *p\n"
      "#EndFunction\n"
      "t = useglobal()\n"
      "a = counter()\n"
      "b = counter()\n");
  EXPECT_EQ(t->hdr.nRunError, 0u);
  expect_texts(t, {{"g1", "11"}, {"t", "1000"}, {"a", "101"}, {"b", "102"}, {"pg == ptrglobal(g1)", "1"}});

  // A defined global is a defined integer until it is assigned.
  t.assign("pd = ptrglobaldefine(newglobal)");
  EXPECT_EQ(t.text_of("newglobal"), "-1");

  EXPECT_EQ(t.error_of("ptrglobal(notglobal)"), ERR_POINTER);
  EXPECT_NE(info(t).find("Not a global variable"), std::string::npos) << info(t);
  EXPECT_EQ(t.error_of("ptrglobal(missing_one)"), ERR_POINTER);
  EXPECT_NE(info(t).find("Variable not found"), std::string::npos) << info(t);
  EXPECT_EQ(t.error_of("ptrglobal(5)"), ERR_POINTER);
  EXPECT_NE(info(t).find("Not a variable name"), std::string::npos) << info(t);
  EXPECT_EQ(t.error_of("ptrpersistent(abcdefghijklmnopqrstuvwxyz, 1)"), ERR_POINTER);
  EXPECT_NE(info(t).find("longer than 25"), std::string::npos) << info(t);
  EXPECT_EQ(t.error_of("ptrpersistent(abcdefghijklmnopqrstuvwxy, 1)"), 0);

  const std::string report = t.run_reported("#DefineFunction f()\nreturn ptrglobaldefine(x)\n#EndFunction\ny = f()\n",
                                            "test.tov");
  EXPECT_NE(report.find("test.tov:2: error 3821"), std::string::npos) << report;
  EXPECT_NE(report.find("PtrGlobalDefine may only be called from the main script"), std::string::npos) << report;
}

TEST(Pointers, FunctionForms) {
  TestContext t;
  t.assign("x = 5");
  t.assign("p = ?makepointer(x)");
  expect_texts(t, {{"p == &x", "1"}, {"?getviapointer(p)", "5"}, {"?setviapointer(p, \"new\")", "1"}, {"x", "new"}});
  t.assign("n = ?makepointer(made_here)");
  EXPECT_EQ(t.text_of("vartype(made_here)"), "1");
  EXPECT_EQ(t.error_of("?makepointer(5)"), ERR_MAKEPOINTER_NAME);
  EXPECT_EQ(t.error_of("?getviapointer(\"nothing\")"), ERR_NOT_POINTER);
  t.assign("drop(made_here)");
  EXPECT_EQ(t.error_of("?getviapointer(n)"), ERR_POINTER_UNINIT);
  EXPECT_EQ(t.text_of("?setviapointer(n, 3)"), "1");   // writing creates the name again
  EXPECT_EQ(t.text_of("made_here"), "3");
}

TEST(VariableFunctions, DropIsdefinedVartype) {
  TestContext t;
  t.assign("x = \"5\"");
  t.assign("f = 2.5");
  t.assign("a = arrdimension(2)");
  t.assign("a[1] = 1");
  t.assign("p = &x");
  t.assign("bad = \"not a pointer\"");
  expect_texts(t, {{"vartype(x)", "2"}, {"vartype(f)", "32"}, {"vartype(a)", "256"}, {"vartype(a[0])", "0"},
                   {"vartype(a[1])", "1"}, {"vartype(*p)", "2"}, {"vartype(*bad)", "-1"}, {"vartype(5)", "-1"},
                   {"vartype(\"x\")", "-1"}, {"vartype(never_used)", "0"}, {"isdefined(never_used)", "0"},
                   {"isdefined(x)", "1"}, {"isdefined(a[0])", "0"}, {"isdefined(a[1])", "1"}, {"isdefined(*p)", "1"},
                   {"isdefined(5)", "-1"}, {"objecttypeget(x)", ""}});
  EXPECT_EQ(t.error_of("vartype(a[5])"), ERR_ARR_OUT_OF_BOUNDS);
  EXPECT_EQ(t.error_of("vartype(x y)"), ERR_WRONG_ARG_COUNT);

  EXPECT_EQ(t.text_of("drop(*p, f)"), "1");
  EXPECT_EQ(slot_lookup(t.ctx(), "x"), SLOT_NONE);
  EXPECT_EQ(t.text_of("isdefined(x) : isdefined(f)"), "00");
  EXPECT_EQ(t.text_of("drop(*bad, missing_too)"), "1");   // nothing to drop: no error
  expect_errors(t, {{"drop(5)", ERR_DROP_NOT_VARIABLE}, {"drop(a bad)", ERR_WRONG_ARG_COUNT},
                    {"drop(a", ERR_WRONG_ARG_COUNT}});

  // The current assignment target is left alone.
  t.assign("k = 5");
  t.assign("k = drop(k) + 10");
  EXPECT_EQ(t.text_of("k"), "11");
}


TEST(Variables, AParameterGivenANumberReleasesTheStringItsVariableHeld) {
  // A subroutine's parameter is the caller's variable; a function's repeated parameter name is one variable.
  // Either may hold a string when a number is given to it.
  TestContext t;
  const uint32_t before = t.heap_used();
  t.run("#DefineSubroutine shared(x)\n  Return\n#EndSubroutine\n"
        "#DefineFunction twice(x, x)\n  Return x\n#EndFunction\n"
        "x = \"a string\"\nshared(5)\nr = twice(\"another string\", 7)\n");
  ASSERT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("x"), "5");
  EXPECT_EQ(t.var_text("r"), "7");
  t.run("Drop(x, r)\n");
  EXPECT_EQ(t.heap_used(), before);
}

TEST(VariableFunctions, DropFreesWhatAFinishedCallAssignedLast) {
  // Drop leaves alone only the targets of statements still running: not the variable a subroutine's last
  // statement assigned, nor the slot a finished function's last assignment had in a table used again.
  TestContext t;
  t.run("#DefineSubroutine set_y()\n  y = 1\n#EndSubroutine\n"
        "#DefineFunction last(n)\n  a = n\n#EndFunction\n"
        "#DefineFunction dropped(n)\n  a = n\n  Drop(a)\n  Return IsDefined(a)\n#EndFunction\n"
        "#DefineFunction self(n)\n  If n == 0 Then Return 0\n  r = self(n - 1) + Drop(r)\n  Return IsDefined(r)\n#EndFunction\n"
        "set_y()\nDrop(y)\nkept = IsDefined(y)\nlast(1)\nafter = dropped(2)\nouter = self(2)\n");
  ASSERT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("kept"), "0");
  EXPECT_EQ(t.var_text("after"), "0");
  // A statement waiting for the result of a call is still running: its target stays, recursion included.
  EXPECT_EQ(t.var_text("outer"), "1");
}
