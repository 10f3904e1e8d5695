// Extenders: registration ids and limits, the close request at teardown, and the services called directly
// with the edge cases that a script cannot reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "builtins/binary.h"
#include "diag/errors.h"
#include "ext/services.h"
#include "lang/arrays.h"
#include "lang/vartable.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "builtin_eval.h"
#include "test_folder.h"

// Exported services of the language core, as an extender finds them in the Engine library.
extern "C" uint32_t TOV_CALL VMalloc(void* context, uint32_t n);
extern "C" void TOV_CALL VFree(void* context, uint32_t offset);
extern "C" uint32_t TOV_CALL find_var(void* context, const char* name, uint32_t report);
extern "C" int32_t TOV_CALL CreateMyArray(void* context, tov::Value* result, int32_t d1, int32_t d2, int32_t d3,
                                          int32_t d4, int32_t d5, uint32_t kind, int32_t given);

namespace fs = std::filesystem;
using tov::ExtValue;
using tov::test::TestContext;

namespace {

#if defined(_WIN32)
constexpr const char* LIBRARY_SUFFIX = ".dll";
#else
constexpr const char* LIBRARY_SUFFIX = ".so";
#endif

const fs::path& program_dir() {
  static const fs::path dir = fs::path(TOV_RUNNER_PATH).parent_path();
  return dir;
}

// A folder of its own for a test, for copies of the test extender under other names.
struct Scratch : tov::test::TestFolder {
  // A copy of the test extender under another name; its path for AddExtender.
  std::string extender_copy(const std::string& name) const {
    const fs::path to = path / (name + LIBRARY_SUFFIX);
    fs::copy_file(program_dir() / (std::string("tovtestext") + LIBRARY_SUFFIX), to,
                  fs::copy_options::overwrite_existing);
    return to.string();
  }
};

// Sets an environment variable for one test.
class EnvSetting {
 public:
  EnvSetting(const char* name, const char* value) : name_(name) { plat::env_set(name, value); }
  ~EnvSetting() { plat::env_set(name_, nullptr); }

 private:
  const char* name_;
};

class Extenders : public ::testing::Test {
 protected:
  void SetUp() override { plat::set_console_ui(true); }

  // The error an AddExtender line raises, 0 when it loads.
  uint16_t add(const std::string& file, int version = 0) {
    t.run("ErrorMode(@OFF)\nAddExtender(\"" + file + "\", " + std::to_string(version) + ")\nerr = LastError()\n");
    return uint16_t(std::stoi(t.var_text("err")));
  }

  const tov::KeywordEntry* function(const char* name) {
    for (uint32_t i = 0; i < t->ext.nFunctions; ++i)
      if (std::strcmp(t->ext.functions[i].name, name) == 0) return &t->ext.functions[i];
    return nullptr;
  }

  TestContext t;
};

TEST_F(Extenders, IdsTellTheSlotAndTheFunctionNumber) {
  ASSERT_EQ(add("tovtestext1"), 0);
  ASSERT_EQ(add("tovtestext2"), 0);
  ASSERT_EQ(add("tovtestext"), 0);
  // arrmake is function 7 of the extender in the third slot.
  ASSERT_NE(function("txarrmake"), nullptr);
  EXPECT_EQ(function("txarrmake")->id, 30007u);
  EXPECT_EQ(function("t1join")->id, 10001u);
  EXPECT_EQ(function("t2add")->id, 20000u);
  EXPECT_EQ(function("txadd")->argTypesLow, 0x00u);
  EXPECT_EQ(function("txjoin")->argTypesLow, 0x11u);
  EXPECT_EQ(function("t1num")->argTypesLow, 0x11111u);
  EXPECT_EQ(function("txelemget")->value, 0x102u);
  EXPECT_EQ(function("txcmd")->kind, uint32_t(tov::KW_COMMAND));
  // Loading one again changes nothing.
  const uint32_t functions = t->ext.nFunctions;
  ASSERT_EQ(add("tovtestext"), 0);
  EXPECT_EQ(t->ext.nExtenders, 3u);
  EXPECT_EQ(t->ext.nFunctions, functions);
}

// The example extender runs its example script as the example says.
TEST_F(Extenders, TheExample) {
  std::ifstream in(fs::path(TOV_EXAMPLES_DIR) / "extender" / "hello_extender.tov", std::ios::binary);
  std::stringstream script;
  script << in.rdbuf();
  testing::internal::CaptureStdout();
  t.run(script.str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Greeting: Hello, world!\nSum: 42\nVariable: set by the extender\nCalls: 4\n");
  EXPECT_EQ(t->hdr.nRunError, 0u);
}

TEST_F(Extenders, RecordsNoScriptCouldCallArePassedOver) {
  EnvSetting odd("TOV_TESTEXT_ODD", "1");
  ASSERT_EQ(add("tovtestext"), 0);
  EXPECT_EQ(function("oddnumber"), nullptr);
  EXPECT_EQ(function("oddkind"), nullptr);
  ASSERT_GT(t->ext.nFunctions, 0u);
  EXPECT_STREQ(t->ext.functions[0].name, "txadd");
}

TEST_F(Extenders, TenExtendersAtMost) {
  Scratch s;
  for (int i = 0; i < 10; ++i) ASSERT_EQ(add(s.extender_copy("copy" + std::to_string(i))), 0) << i;
  EXPECT_EQ(add(s.extender_copy("copy10")), tov::ERR_ADDEXT_TOO_MANY);
  EXPECT_EQ(t->ext.nExtenders, 10u);
}

TEST_F(Extenders, TheFunctionTableStopsAt501) {
  {
    EnvSetting many("TOV_TESTEXT_MANY", "600");
    ASSERT_EQ(add("tovtestext"), 0);
  }
  EXPECT_EQ(t->ext.nFunctions, tov::EXT_FUNCTIONS_MAX);
  EXPECT_EQ(add("tovtestext2"), tov::ERR_ADDEXT_TABLE_FULL);
  // The last one registered is called like any other: it answers with its number.
  const std::string last = t->ext.functions[tov::EXT_FUNCTIONS_MAX - 1].name;
  t.run("x = " + last + "()\n");
  EXPECT_EQ(t.var_text("x"), std::to_string(1000 + std::stoi(last.substr(6))));
}

TEST_F(Extenders, RetiredExtendersAreRefused) {
  Scratch s;
  EXPECT_EQ(add(s.extender_copy("tovx16")), tov::ERR_ADDEXT_OUTDATED);
  EXPECT_EQ(add(s.extender_copy("TOVXW16")), tov::ERR_ADDEXT_OUTDATED);
  // The third name only below its file version; the test extender has none.
  EXPECT_EQ(add(s.extender_copy("tovxnet")), tov::ERR_ADDEXT_OUTDATED);
  EXPECT_EQ(add(s.extender_copy("tovxnew")), 0);
}

// Every extender hears the close request while the variables still exist; then the libraries go.
TEST_F(Extenders, TeardownClosesEveryExtender) {
  Scratch s;
  const std::string log = s.file("close.log");
  EnvSetting logging("TOV_TESTEXT_LOG", log.c_str());
  ASSERT_EQ(add("tovtestext"), 0);
  ASSERT_EQ(add("tovtestext1"), 0);
  t.run("closeprobe = \"still here\"\n");
  tov::engine_init(nullptr, t.handle(), 0, tov::INIT_SHUTDOWN, 0, nullptr, nullptr);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "close tx still here\nclose t1 still here\n");
  EXPECT_EQ(t->ext.nExtenders, 0u);
  EXPECT_EQ(t->ext.nFunctions, 0u);
}

#if !defined(_WIN32)
// The system's C library through DllCall.
TEST_F(Extenders, DllCallOnTheCLibrary) {
  t.run(R"(libc = "libc.so.6"
length = DllCall(libc, long:"strlen", lpstr:"hello world")
absolute = DllCallCdecl(libc, long:"abs", long:-42)
pid = DllCall(libc, long:"getpid")
same = pid == DllCall(libc, long:"getpid")
h = BinaryAlloc(32)
written = DllCall(libc, long:"snprintf", lpbinary:h, long:32, lpstr:"%%d-%%s", long:42, lpstr:"x")
compared = DllCall(libc, long:"strcmp", lpbinary:h, lpstr:"42-x")
failed = DllCall(libc, long:"chdir", lpstr:"/no/such/folder")
errno = DllLastError()
)");
  EXPECT_EQ(t->hdr.nRunError, 0u);
  EXPECT_EQ(t.var_text("length"), "11");
  EXPECT_EQ(t.var_text("absolute"), "42");
  EXPECT_GT(std::stoi(t.var_text("pid")), 1);
  expect_vars(t, {{"same", "1"}, {"written", "4"}, {"compared", "0"}, {"failed", "-1"}, {"errno", "2"}});
}
#endif

#if defined(_WIN32) && !defined(_WIN64)
// A stdcall function given more or fewer arguments than it takes moves the stack: an error and a box, and
// the stack put right. The caller removes the arguments of a cdecl call, which has nothing to check.
TEST_F(Extenders, StdcallWithTheWrongArgumentCount) {
  testing::internal::CaptureStdout();
  t.run(R"(ErrorMode(@OFF)
DllCall("kernel32.dll", long:"GetTickCount", long:1)
more = LastError()
DllCall("tovtestext", long:"TestLong", long:1)
fewer = LastError()
cdecl = DllCallCdecl("tovtestext", long:"TestCdecl", long:1, long:2, long:3)
after = DllCall("tovtestext", long:"TestLong", long:4, long:2)
)");
  const std::string out = testing::internal::GetCapturedStdout();
  expect_vars(t, {{"more", "1379"}, {"fewer", "1379"}, {"cdecl", "12"}, {"after", "42"}});
  EXPECT_NE(out.find("NT DLLCall: Bad Parameter List: Old SP: "), std::string::npos) << out;
  EXPECT_NE(out.find("> New SP: "), std::string::npos) << out;
}
#endif

// --- The services, called as an extender calls them --------------------------------------------------

class Services : public ::testing::Test {
 protected:
  void* context() { return t->hContext; }
  int32_t var(const char* name, ExtValue* v, int32_t request) {
    return tov::dll_var_handler(context(), name, v, int32_t(sizeof *v), request);
  }
  TestContext t;
};

TEST_F(Services, VariablesAndTheirStatuses) {
  t.assign("w = ChrStringToUnicode(\"wide\")");
  ExtValue v{};
  // A wide-only string read as ANSI: flag 2, and the variable keeps both forms.
  ASSERT_EQ(var("w", &v, TOVX_VAR_READ), 0);
  EXPECT_EQ(v.type, uint32_t(tov::VF_STRING));
  EXPECT_STREQ(static_cast<const char*>(v.str), "wide");
  const uint16_t slot = tov::slot_lookup(t.ctx(), "w");
  EXPECT_EQ(tov::slot_at(t.ctx(), slot)->c.type, uint32_t(tov::VF_STRING | tov::VF_WSTRING));
  // A string read from the Engine cannot be written back as it is.
  EXPECT_EQ(var("copy", &v, TOVX_VAR_WRITE), 16);
  const char own[] = "own copy";
  v.str = own;
  EXPECT_EQ(var("copy", &v, TOVX_VAR_WRITE), 0);
  EXPECT_EQ(t.var_text("copy"), "own copy");

  const struct {
    const char* name;
    int32_t size, request, status;
  } rows[] = {
      {"", 40, TOVX_VAR_READ, 2},
      {"a123456789b123456789c123456789d123456789e123456789f123456789g12345678", 40, TOVX_VAR_READ, 3},
      {"copy", 8, TOVX_VAR_READ, 4},
      {"nosuchvar", 0, TOVX_VAR_DROP, 7},
      {"copy", 40, 99, 12},
      {"#VAR$PTR#0000000000000000000000000000x", 40, TOVX_VAR_READ, 13},
  };
  for (const auto& r : rows) {
    ExtValue out{};
    EXPECT_EQ(tov::dll_var_handler(context(), r.name, &out, r.size < 40 ? r.size : int32_t(sizeof out), r.request),
              r.status)
        << r.name;
  }
  EXPECT_EQ(tov::dll_var_handler(nullptr, "copy", &v, int32_t(sizeof v), TOVX_VAR_READ), 5);
  ExtValue bad{};
  bad.type = tov::VF_ARRAY;
  bad.str = reinterpret_cast<const void*>(uintptr_t(0x7FFF0000));
  EXPECT_EQ(var("arr", &bad, TOVX_VAR_WRITE), 17);
  bad.type = TOVX_OBJECT;
  EXPECT_EQ(var("arr", &bad, TOVX_VAR_WRITE), 10);
}

TEST_F(Services, TheScriptsErrorStaysAsItWas) {
  t->err = tov::ERR_NOT_NUMBER;
  ExtValue v{};
  EXPECT_EQ(var("nosuchvar", &v, TOVX_VAR_READ), 7);
  int32_t dims[5] = {-1, 0, 0, 0, 0};
  EXPECT_EQ(tov::dll_array_services(context(), &v, int32_t(sizeof v), dims, int32_t(sizeof dims), TOVX_ARRAY_CREATE), 8);
  EXPECT_EQ(t->err, tov::ERR_NOT_NUMBER);
  t->err = 0;
}

TEST_F(Services, ArraysAndTheirStatuses) {
  const size_t blocks = plat::mem_live_count();
  ExtValue a{};
  int32_t dims[5] = {0, 5, 0, 0, 0};
  EXPECT_EQ(tov::dll_array_services(context(), &a, int32_t(sizeof a), dims, int32_t(sizeof dims), TOVX_ARRAY_CREATE), 9);
  dims[0] = 2;
  dims[1] = 3;
  ASSERT_EQ(tov::dll_array_services(context(), &a, int32_t(sizeof a), dims, int32_t(sizeof dims), TOVX_ARRAY_CREATE), 0);
  ExtValue e{};
  EXPECT_EQ(tov::dll_arr_handler(context(), &a, 1, 3, 0, 0, 0, &e, int32_t(sizeof e), TOVX_VAR_READ), 8);
  EXPECT_EQ(tov::dll_arr_handler(context(), &a, 1, 2, 1, 0, 0, &e, int32_t(sizeof e), TOVX_VAR_READ), 8);
  EXPECT_EQ(tov::dll_arr_handler(context(), &e, 0, 0, 0, 0, 0, &e, int32_t(sizeof e), TOVX_VAR_READ), 3);
  e.type = tov::VF_INTEGER;
  e.i = 5;
  ASSERT_EQ(tov::dll_arr_handler(context(), &a, 1, 2, 0, 0, 0, &e, int32_t(sizeof e), TOVX_VAR_WRITE), 0);
  EXPECT_EQ(tov::dll_array_swap_elements(context(), &a, int32_t(sizeof a), 1, 2, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(tov::dll_array_swap_elements(context(), &a, int32_t(sizeof a), 2, 0, 0, 0, 0, 0, 0, 0, 0, 0), 7);
  ExtValue first{};
  ASSERT_EQ(tov::dll_arr_handler(context(), &a, 0, 0, 0, 0, 0, &first, int32_t(sizeof first), TOVX_VAR_READ_RAW), 0);
  EXPECT_EQ(first.i, 5);
  TovArrayInfo info{};
  EXPECT_EQ(tov::dll_array_services(context(), &a, int32_t(sizeof a), &info, 16, TOVX_ARRAY_INFO), 7);
  ASSERT_EQ(tov::dll_array_services(context(), &a, int32_t(sizeof a), &info, int32_t(sizeof info), TOVX_ARRAY_INFO), 0);
  EXPECT_EQ(info.rank, 2);
  EXPECT_EQ(info.count, 6u);
  EXPECT_EQ(info.dataSize, 6u * tov::ARRAY_ELEMENT_BYTES);
  // The record lets go of the array it made: nothing else holds it, so it goes.
  EXPECT_EQ(tov::dll_array_services(context(), &a, int32_t(sizeof a), nullptr, 0, TOVX_ARRAY_FREE), 0);
  EXPECT_EQ(a.type, 0u);
  EXPECT_EQ(plat::mem_live_count(), blocks);
}

TEST_F(Services, BinaryBuffers) {
  const intptr_t h = tov::dll_binary_services(context(), 0, 8, TOVX_BINARY_ALLOC);
  ASSERT_EQ(h, TOVX_BINARY_FIRST);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 4, TOVX_BINARY_SET_END), 0);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 9, TOVX_BINARY_SET_END), -7);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 0, TOVX_BINARY_END), 4);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h) + 200, 0, TOVX_BINARY_END), -2);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 0, 0), -8);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 0, TOVX_BINARY_FREE), 0);
  EXPECT_EQ(tov::dll_binary_services(context(), int32_t(h), 0, TOVX_BINARY_SIZE), -2);
}

// The language core's exports take the context handle of the service block, as the other services do.
TEST_F(Services, LanguageServicesTakeTheContextHandle) {
  t.assign("known = 5");
  EXPECT_EQ(::find_var(context(), "known", 0), tov::slot_lookup(t.ctx(), "known"));
  const uint32_t used = t.heap_used();
  const uint32_t offset = ::VMalloc(context(), 16);
  EXPECT_GT(t.heap_used(), used);
  ::VFree(context(), offset);
  EXPECT_EQ(t.heap_used(), used);
  tov::Value a;
  tov::value_init(a);
  EXPECT_EQ(::CreateMyArray(context(), &a, 3, 0, 0, 0, 0, 0, 1), 1);
  EXPECT_EQ(tov::array_header(a.c.str)->count, 3u);
  tov::value_free(t.ctx(), a);
  EXPECT_EQ(::VMalloc(nullptr, 16), 0u);
}

// An answer reaches only the result of the call in progress.
TEST_F(Services, AnswersOutsideACallAreRefused) {
  tov::ServiceBlock block;
  tov::Value result;
  tov::value_init(result);
  tov::make_service_block(t.ctx(), &block, &result);
  ExtValue v{};
  v.type = tov::VF_INTEGER;
  EXPECT_EQ(tov::viper_answer(0, 0, &block, &v), TOVX_FAIL_MEMORY);
  EXPECT_EQ(tov::viper_answer(0, 0, nullptr, &v), TOVX_FAIL_MEMORY);
}

}  // namespace
