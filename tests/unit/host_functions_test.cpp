// Host-defined functions and commands reach the host's callback, and their answers become results.
#include <gtest/gtest.h>

#include <cstring>

#include "diag/errors.h"
#include "ext/services.h"
#include "lang/keywords.h"
#include "test_context.h"

namespace {

using tov::ExtValue;
using tov::KeywordEntry;
using tov::ServiceBlock;
using tov::test::TestContext;

KeywordEntry entry(const char* name, uint32_t kind, uint32_t required) {
  KeywordEntry e{};
  e.kind = kind;
  e.value = required;
  e.nameLength = uint16_t(std::strlen(name));
  std::strcpy(e.name, name);
  return e;
}

// hostadd(a, b), hostfail(code), hostcmd: the table ends with a record whose name is empty.
const KeywordEntry kHostTable[] = {entry("hostadd", tov::KW_FUNCTION, 2), entry("hostfail", tov::KW_FUNCTION, 1),
                                   entry("hostcmd", tov::KW_COMMAND, 0), KeywordEntry{}};

int g_commands = 0;

int32_t TOV_CALL host(void*, void*, uint32_t stamp, int32_t id, void* answer, void* block, uint32_t*, void* args,
                      int32_t argc, void*) {
  EXPECT_EQ(stamp, tov::INTERFACE_STAMP);
  auto reply = reinterpret_cast<TovAnswer>(answer);
  auto* in = static_cast<ExtValue*>(args);
  ExtValue out{};
  switch (id) {
    case 0:  // hostadd: integers arrive as integers
      EXPECT_EQ(argc, 2);
      out.type = tov::VF_INTEGER;
      out.i = in[0].i + in[1].i;
      return reply(0, 0, static_cast<ServiceBlock*>(block), &out);
    case 1:  // hostfail: fails with the severity it is given and a message carrying a code
      out.type = 0;
      out.str = "1234: the host refused";
      return reply(-in[0].i, 0, static_cast<ServiceBlock*>(block), &out);
    case 2:  // hostcmd: a command gets five empty strings
      EXPECT_EQ(argc, 5);
      ++g_commands;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

TEST(HostFunctions, CallsReachTheHostAndAnswersBecomeResults) {
  TestContext t;
  g_commands = 0;
  ASSERT_EQ(t.run("x = hostadd(2, 40)\nhostcmd\nhostcmd\n", reinterpret_cast<void*>(&host), kHostTable), 1u);
  EXPECT_EQ(t->hdr.nRunError, 0u);
  EXPECT_EQ(t.var_text("x"), "42");
  EXPECT_EQ(g_commands, 2);
}

TEST(HostFunctions, NegativeResultsBecomeExtenderErrorsAndNamesNeedTheTable) {
  TestContext t;
  // A minor failure under @OFF is suppressed; LastError then gives the code from the message.
  t.run("ErrorMode(@OFF)\nhostfail(1)\ncode = LastError()\n", reinterpret_cast<void*>(&host), kHostTable);
  EXPECT_EQ(t->hdr.nRunResult, 1);
  EXPECT_EQ(t.var_text("code"), "1234");
  // A severe one ends the run, already reported.
  t.run("hostfail(3)\nx = 1\n", reinterpret_cast<void*>(&host), kHostTable);
  EXPECT_EQ(t->hdr.nRunResult, 0);
  EXPECT_EQ(t->hdr.nRunError, tov::STATUS_EXTENDER_REPORTED);
  // Without the host's table the name is a variable, and reading it fails.
  t.run("x = hostadd(1, 2)\n");
  EXPECT_EQ(t->hdr.nRunError, tov::ERR_UNINITIALIZED);
}
