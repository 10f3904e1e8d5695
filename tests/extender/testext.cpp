// The test extender: a library built against the public extender header alone, which uses every service
// of the Engine and answers every kind of result. It is built once per interface kind (TESTEXT_KIND):
//   5       tovtestext    names tx...   40-byte records, ANSI names
//   100005  tovtestextw   names tw...   40-byte records, wide names
//   2       tovtestext2   names t2...   20-byte records
//   1       tovtestext1   names t1...   five strings, no query entry
//   0       tovtestext0   no extender entry at all
// Environment variables steer the cases that a script cannot: TOV_TESTEXT_REFUSE (the initialisation
// fails), TOV_TESTEXT_MANY=N (N more functions), TOV_TESTEXT_FAIL_ENUM (the enumeration fails after the
// first function), TOV_TESTEXT_ODD (three records no script could call come first), TOV_TESTEXT_LOG=FILE
// (the close request is written to FILE).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ext/tovextender.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#ifndef TESTEXT_KIND
#define TESTEXT_KIND 5
#endif

#if TESTEXT_KIND != 0
namespace {

#if TESTEXT_KIND == 100005
const char PREFIX[] = "tw";
#elif TESTEXT_KIND == 2
const char PREFIX[] = "t2";
#elif TESTEXT_KIND == 1
const char PREFIX[] = "t1";
#else
const char PREFIX[] = "tx";
#endif

constexpr int32_t VERSION = 3;
constexpr bool RECORDS20 = TESTEXT_KIND == 2;
constexpr bool STRINGS = TESTEXT_KIND == 1;
constexpr int32_t VALUE_SIZE = int32_t(sizeof(TovValue));

std::string env(const char* name) {
#if defined(_WIN32)
  // The environment of the process, as the Engine changes it (the C runtime keeps a copy of its own).
  char buf[1024];
  const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
#else
  const char* v = std::getenv(name);
  return v ? v : "";
#endif
}

std::u16string widen(const char* s) {
  std::u16string w;
  while (*s) w += char16_t(static_cast<unsigned char>(*s++));
  return w;
}

std::string narrow(const uint16_t* w) {
  std::string s;
  while (w && *w) s += char(*w++ & 0x7F);
  return s;
}

// One call: what the entry received.
struct Call {
  TovServiceBlock* block;
  void* answer;
  uint32_t* privateWord;
  TovValue* args;
  TovValue20* args20;
  const char* const* texts;
  int32_t argc;
  void* context() const { return block->context; }
};

TovValue arg(const Call& c, int n) {
  TovValue v{};
  if (STRINGS) {
    v.type = TOVX_STRING;
    v.str = c.texts[n - 1];
  } else if (RECORDS20) {
    v.f = c.args20[n - 1].f;
    v.i = c.args20[n - 1].i;
    v.type = c.args20[n - 1].type;
    v.str = c.args20[n - 1].str;
  } else {
    v = c.args[n - 1];
  }
  return v;
}
int32_t arg_int(const Call& c, int n) { return STRINGS ? std::atoi(c.texts[n - 1]) : arg(c, n).i; }
const char* arg_str(const Call& c, int n) { return static_cast<const char*>(arg(c, n).str); }
const uint16_t* arg_wide(const Call& c, int n) { return static_cast<const uint16_t*>(arg(c, n).str); }

// --- Answers in the form of the interface kind ---------------------------------------------------------

int32_t answer(const Call& c, int32_t status, const TovValue& v) {
  if (RECORDS20) {
    TovValue20 r{v.f, v.i, v.type, v.str};
    return reinterpret_cast<TovAnswer20>(c.answer)(status, 0, c.block, &r);
  }
  if (STRINGS) {
    auto reply = reinterpret_cast<TovAnswer1>(c.answer);
    if (v.type & TOVX_INTEGER) return reply(status, 0, c.block, 0, v.i, nullptr);
    if (v.type & TOVX_FLOAT) {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v.f);
      return reply(status, 0, c.block, 2, 0, text);
    }
    return reply(status, 0, c.block, 1, 0, static_cast<const char*>(v.str));
  }
  TovValue copy = v;
  return reinterpret_cast<TovAnswer>(c.answer)(status, 0, c.block, &copy);
}

int32_t answer_int(const Call& c, int32_t i) {
  TovValue v{};
  v.type = TOVX_INTEGER;
  v.i = i;
  return answer(c, 0, v);
}

int32_t answer_float(const Call& c, double f) {
  TovValue v{};
  v.type = TOVX_FLOAT;
  v.f = f;
  return answer(c, 0, v);
}

int32_t answer_str(const Call& c, const std::string& s) {
  TovValue v{};
  v.type = TOVX_STRING;
  v.str = s.c_str();
  return answer(c, 0, v);
}

int32_t answer_wide(const Call& c, const std::u16string& w) {
  TovValue v{};
  v.type = TOVX_WSTRING;
  v.str = w.c_str();
  return answer(c, 0, v);
}

int32_t fail(const Call& c, int32_t status, const char* message) {
  TovValue v{};
  v.str = message;
  return answer(c, status, v);
}

// --- The functions ----------------------------------------------------------------------------------------

int32_t fn_add(Call& c) { return answer_int(c, arg_int(c, 1) + arg_int(c, 2)); }
int32_t fn_join(Call& c) { return answer_str(c, std::string(arg_str(c, 1)) + arg_str(c, 2)); }
int32_t fn_half(Call& c) { return answer_float(c, arg(c, 1).f / 2); }

// A wide argument comes as a wide string, except to the 20-byte kinds, which get it as ANSI.
int32_t fn_wide(Call& c) {
  if (arg(c, 1).type & TOVX_WSTRING) return answer_wide(c, u"<" + std::u16string(reinterpret_cast<const char16_t*>(arg_wide(c, 1))) + u">");
  return answer_str(c, std::string("<") + arg_str(c, 1) + ">");
}

int32_t fn_text(Call& c) {
  const TovValue v = arg(c, 1);
  if (v.type & TOVX_WSTRING) return answer_str(c, "W:" + narrow(static_cast<const uint16_t*>(v.str)));
  return answer_str(c, std::string("A:") + static_cast<const char*>(v.str));
}

int32_t fn_type(Call& c) { return answer_int(c, int32_t(arg(c, 1).type)); }

int32_t array_info(const Call& c, TovValue* array, TovArrayInfo* info) {
  return c.block->arrayServices(c.context(), array, VALUE_SIZE, info, int32_t(sizeof *info), TOVX_ARRAY_INFO);
}

// Sums the integer elements of a one-dimensional array, read one by one.
int32_t fn_arrsum(Call& c) {
  TovValue a = arg(c, 1);
  TovArrayInfo info{};
  if (int32_t s = array_info(c, &a, &info)) return answer_int(c, -s);
  int32_t sum = 0;
  for (uint32_t i = 0; i < info.dims[0]; ++i) {
    TovValue e{};
    if (c.block->arrHandler(c.context(), &a, int32_t(i), 0, 0, 0, 0, &e, VALUE_SIZE, TOVX_VAR_READ) == 0 &&
        (e.type & TOVX_INTEGER))
      sum += e.i;
  }
  return answer_int(c, sum);
}

// A new array of n elements holding 0, 1, 4, 9, ...
int32_t fn_arrmake(Call& c) {
  TovValue a{};
  int32_t dims[5] = {arg_int(c, 1), 0, 0, 0, 0};
  if (int32_t s = c.block->arrayServices(c.context(), &a, VALUE_SIZE, dims, int32_t(sizeof dims), TOVX_ARRAY_CREATE))
    return answer_int(c, -s);
  for (int32_t i = 0; i < dims[0]; ++i) {
    TovValue e{};
    e.type = TOVX_INTEGER;
    e.i = i * i;
    c.block->arrHandler(c.context(), &a, i, 0, 0, 0, 0, &e, VALUE_SIZE, TOVX_VAR_WRITE);
  }
  return answer(c, 0, a);
}

int32_t fn_varget(Call& c) {
  TovValue v{};
  if (int32_t s = c.block->varHandler(c.context(), arg_str(c, 1), &v, VALUE_SIZE, TOVX_VAR_READ))
    return answer_int(c, -s);
  return answer(c, 0, v);
}

// Strings written to the Engine must lie in the extender's own memory: a copy of an argument with its own
// copy of the string.
struct Owned {
  TovValue v;
  std::string s;
  std::u16string w;
  explicit Owned(const TovValue& from) : v(from) {
    if (v.type & TOVX_STRING) v.str = (s = static_cast<const char*>(v.str)).c_str();
    else if (v.type & TOVX_WSTRING) v.str = (w = reinterpret_cast<const char16_t*>(v.str)).c_str();
  }
};

int32_t fn_varset(Call& c) {
  Owned o(arg(c, 2));
  return answer_int(c, c.block->varHandler(c.context(), arg_str(c, 1), &o.v, VALUE_SIZE, TOVX_VAR_WRITE));
}

// Writes the argument's record as it came: its string lies in the Engine's memory.
int32_t fn_varraw(Call& c) {
  TovValue v = arg(c, 2);
  return answer_int(c, c.block->varHandler(c.context(), arg_str(c, 1), &v, VALUE_SIZE, TOVX_VAR_WRITE));
}

int32_t fn_vardrop(Call& c) {
  return answer_int(c, c.block->varHandler(c.context(), arg_str(c, 1), nullptr, 0, TOVX_VAR_DROP));
}

int32_t fn_vargetw(Call& c) {
  TovValue v{};
  if (int32_t s = c.block->varHandlerW(c.context(), arg_wide(c, 1), &v, VALUE_SIZE, TOVX_VAR_READ_WIDE))
    return answer_int(c, -s);
  return answer(c, 0, v);
}

int32_t fn_elemget(Call& c) {
  TovValue a = arg(c, 1), e{};
  const int32_t j = c.argc >= 3 ? arg_int(c, 3) : 0;
  if (int32_t s = c.block->arrHandler(c.context(), &a, arg_int(c, 2), j, 0, 0, 0, &e, VALUE_SIZE, TOVX_VAR_READ_RAW))
    return answer_int(c, -s);
  return answer(c, 0, e);
}

int32_t fn_elemset(Call& c) {
  TovValue a = arg(c, 1);
  Owned o(arg(c, 3));
  return answer_int(c, c.block->arrHandler(c.context(), &a, arg_int(c, 2), 0, 0, 0, 0, &o.v, VALUE_SIZE, TOVX_VAR_WRITE));
}

int32_t fn_arrfill(Call& c) {
  TovValue a = arg(c, 1);
  Owned o(arg(c, 2));
  return answer_int(c, c.block->arrayServices(c.context(), &a, VALUE_SIZE, &o.v, VALUE_SIZE, TOVX_ARRAY_FILL));
}

// which: 0..4 a dimension, 5 the rank, 6 the element count.
int32_t fn_arrinfo(Call& c) {
  TovValue a = arg(c, 1);
  TovArrayInfo info{};
  if (int32_t s = array_info(c, &a, &info)) return answer_int(c, -s);
  const int32_t which = arg_int(c, 2);
  if (which >= 0 && which < 5) return answer_int(c, int32_t(info.dims[which]));
  return answer_int(c, which == 5 ? info.rank : int32_t(info.count));
}

int32_t fn_arrswap(Call& c) {
  TovValue a = arg(c, 1);
  return answer_int(c, c.block->arraySwapElements(c.context(), &a, VALUE_SIZE, arg_int(c, 2), 0, 0, 0, 0,
                                                  arg_int(c, 3), 0, 0, 0, 0));
}

int32_t fn_arrstrings(Call& c) {
  TovValue a = arg(c, 1);
  auto convert = arg_int(c, 2) ? c.block->arrayStringsToUnicode : c.block->arrayStringsToAnsi;
  return answer_int(c, convert(c.context(), &a, VALUE_SIZE));
}

// A new binary buffer of size bytes holding "hello", answered as a buffer handle.
int32_t fn_buf(Call& c) {
  const intptr_t h = c.block->binaryServices(c.context(), 0, arg_int(c, 1), TOVX_BINARY_ALLOC);
  if (h < 0) return answer_int(c, int32_t(h));
  auto* data = reinterpret_cast<char*>(c.block->binaryServices(c.context(), int32_t(h), 0, TOVX_BINARY_ADDRESS));
  const int32_t n = arg_int(c, 1) < 5 ? arg_int(c, 1) : 5;
  std::memcpy(data, "hello", size_t(n));
  c.block->binaryServices(c.context(), int32_t(h), n, TOVX_BINARY_SET_END);
  TovValue v{};
  v.type = TOVX_INTEGER | TOVX_BINARY;
  v.i = int32_t(h);
  return answer(c, 0, v);
}

int32_t fn_bufinfo(Call& c) {
  const int32_t size = c.argc >= 3 ? arg_int(c, 3) : 0;
  const intptr_t r = c.block->binaryServices(c.context(), arg_int(c, 1), size, arg_int(c, 2));
  if (arg_int(c, 2) == TOVX_BINARY_ADDRESS) return answer_int(c, r != 0);
  return answer_int(c, int32_t(r));
}

int32_t fn_errinfo(Call& c) {
  c.block->storeErrorInfo(c.context(), arg_str(c, 1));
  return fail(c, TOVX_FAIL_MINOR, "4321: the test extender failed with information");
}

// fail(severity, message): the status is -severity.
int32_t fn_fail(Call& c) { return fail(c, -arg_int(c, 1), arg_str(c, 2)); }

int32_t fn_svcset(Call& c) {
  const char* text = arg_str(c, 2);
  return answer_int(c, int32_t(c.block->dllServices(c.context(), TOVX_SVC_SET_VARIABLE, intptr_t(arg_str(c, 1)),
                                                    intptr_t(text), 0, intptr_t(std::strlen(text)))));
}

int32_t fn_svcget(Call& c) {
  char buffer[16] = "";
  const intptr_t r = c.block->dllServices(c.context(), TOVX_SVC_GET_VARIABLE, intptr_t(arg_str(c, 1)),
                                          intptr_t(buffer), intptr_t(sizeof buffer), 0);
  return r ? answer_str(c, buffer) : answer_int(c, 0);
}

// A string made in the Engine's memory and read back from its offset.
int32_t fn_svcstring(Call& c) {
  const intptr_t offset = c.block->dllServices(c.context(), TOVX_SVC_STRING_NEW, intptr_t(arg_str(c, 1)), 0, 0, 0);
  const intptr_t address = c.block->dllServices(c.context(), TOVX_SVC_STRING_ADDRESS, 0, 0, 0, offset);
  if (!offset || !address) return answer_int(c, 0);
  return answer_str(c, reinterpret_cast<const char*>(address));
}

int32_t fn_svcbin(Call& c) {
  const char* text = arg_str(c, 2);
  return answer_int(c, int32_t(c.block->dllServices(c.context(), TOVX_SVC_PUT_BINARY, intptr_t(text),
                                                    intptr_t(std::strlen(text)), 0, arg_int(c, 1))));
}

// svcbininfo(variable name or "", handle, selector)
int32_t fn_svcbininfo(Call& c) {
  const int32_t selector = arg_int(c, 3);
  const intptr_t r = c.block->dllServices(c.context(), TOVX_SVC_BINARY_INFO, intptr_t(arg_str(c, 1)),
                                          arg_int(c, 2), selector, 0);
  return answer_int(c, selector == 1 ? int32_t(r != 0) : int32_t(r));
}

int32_t fn_svcinfo(Call& c) {
  c.block->dllServices(c.context(), TOVX_SVC_ERROR_INFO, intptr_t(arg_str(c, 1)), 0, 0, 0);
  return fail(c, TOVX_FAIL_MINOR, "the test extender added information");
}

int32_t fn_svcparent(Call& c) {
  c.block->dllServices(c.context(), TOVX_SVC_PARENT_WINDOW, 0, 0, 0, 0);
  return answer_int(c, int32_t(c.block->dllServices(c.context(), 9999, 0, 0, 0, 0)));
}

// Every kind of answer: 0 integer, 1 floating point, 2 string, 3 wide string, 4 array, 5 buffer handle,
// 6 object reference (refused), 7 no known type (refused), 8 a wide string at the integer.
int32_t fn_answer(Call& c) {
  static const char16_t wide_text[] = u"wide";
  TovValue v{};
  switch (arg_int(c, 1)) {
    case 0: return answer_int(c, 7);
    case 1: return answer_float(c, 2.5);
    case 2: return answer_str(c, "str");
    case 3: return answer_wide(c, wide_text);
    case 4: {
      int32_t dims[5] = {2, 0, 0, 0, 0};
      c.block->arrayServices(c.context(), &v, VALUE_SIZE, dims, int32_t(sizeof dims), TOVX_ARRAY_CREATE);
      return answer(c, 0, v);
    }
    case 5: v.type = TOVX_INTEGER | TOVX_BINARY; v.i = TOVX_BINARY_FIRST; return answer(c, 0, v);
    case 6: v.type = TOVX_OBJECT_REFERENCE; return answer(c, 0, v);
    case 7: v.type = 0x4000; return answer(c, 0, v);
    default:
      v.type = TOVX_WSTRING_AT_INTEGER;
      v.i = int32_t(reinterpret_cast<intptr_t>(wide_text));
      return answer(c, 0, v);
  }
}

int32_t fn_counter(Call& c) { return answer_int(c, int32_t(++*c.privateWord)); }
// The block's version, and 1 when its size is the one of this build's header.
int32_t fn_block(Call& c) {
  return answer_int(c, int32_t(c.block->version) * 10 + (c.block->size == sizeof(TovServiceBlock)));
}

// A command: it leaves a mark in a variable.
int32_t fn_cmd(Call& c) {
  TovValue v{};
  v.type = TOVX_INTEGER;
  v.i = 1;
  c.block->varHandler(c.context(), (std::string(PREFIX) + "cmdran").c_str(), &v, VALUE_SIZE, TOVX_VAR_WRITE);
  return 0;
}

int32_t fn_num(Call& c) {
  TovValue v{};
  v.type = TOVX_FLOAT;
  v.f = std::atof(arg_str(c, 1));
  return answer(c, 0, v);
}

int32_t fn_len(Call& c) { return answer_int(c, int32_t(std::strlen(arg_str(c, 1)))); }

// --- Registration ------------------------------------------------------------------------------------------

enum : unsigned { K1 = 1, K2 = 2, K5 = 4, ALL = K1 | K2 | K5 };
constexpr uint64_t I = 0, S = 1, F = 2, A = 3, W = 5, T = 6, X = 15;
constexpr uint64_t sig(uint64_t a, uint64_t b = 0, uint64_t c = 0) { return a | b << 4 | c << 8; }

struct Function {
  const char* name;
  uint32_t kind;          // 2 function, 4 command
  uint64_t types;
  uint32_t required, optional;
  int32_t (*run)(Call&);
  unsigned kinds;
};

// Kind 1 gets every argument as a string; its types are the Engine's business.
const Function kFunctions[] = {
    {"add", 2, sig(I, I), 2, 0, fn_add, K5 | K2},
    {"join", 2, sig(S, S), 2, 0, fn_join, ALL},
    {"half", 2, sig(F), 1, 0, fn_half, K5 | K2},
    {"wide", 2, sig(W), 1, 0, fn_wide, K5 | K2},
    {"text", 2, sig(T), 1, 0, fn_text, K5},
    {"type", 2, sig(X), 1, 0, fn_type, K5 | K2},
    {"arrsum", 2, sig(A), 1, 0, fn_arrsum, K5 | K2},
    {"arrmake", 2, sig(I), 1, 0, fn_arrmake, K5 | K2},
    {"varget", 2, sig(S), 1, 0, fn_varget, K5},
    {"varset", 2, sig(S, X), 2, 0, fn_varset, K5},
    {"varraw", 2, sig(S, X), 2, 0, fn_varraw, K5},
    {"vardrop", 2, sig(S), 1, 0, fn_vardrop, K5},
    {"vargetw", 2, sig(W), 1, 0, fn_vargetw, K5},
    {"elemget", 2, sig(A, I, I), 2, 1, fn_elemget, K5},
    {"elemset", 2, sig(A, I, X), 3, 0, fn_elemset, K5},
    {"arrfill", 2, sig(A, X), 2, 0, fn_arrfill, K5},
    {"arrinfo", 2, sig(A, I), 2, 0, fn_arrinfo, K5},
    {"arrswap", 2, sig(A, I, I), 3, 0, fn_arrswap, K5},
    {"arrstrings", 2, sig(A, I), 2, 0, fn_arrstrings, K5},
    {"buf", 2, sig(I), 1, 0, fn_buf, K5},
    {"bufinfo", 2, sig(I, I, I), 2, 1, fn_bufinfo, K5},
    {"errinfo", 2, sig(S), 1, 0, fn_errinfo, K5},
    {"fail", 2, sig(I, S), 2, 0, fn_fail, ALL},
    {"svcset", 2, sig(S, S), 2, 0, fn_svcset, K5},
    {"svcget", 2, sig(S), 1, 0, fn_svcget, K5},
    {"svcstring", 2, sig(S), 1, 0, fn_svcstring, K5},
    {"svcbin", 2, sig(I, S), 2, 0, fn_svcbin, K5},
    {"svcbininfo", 2, sig(S, I, I), 3, 0, fn_svcbininfo, K5},
    {"svcinfo", 2, sig(S), 1, 0, fn_svcinfo, K5},
    {"svcparent", 2, 0, 0, 0, fn_svcparent, K5},
    {"answer", 2, sig(I), 1, 0, fn_answer, K5 | K2},
    {"counter", 2, 0, 0, 0, fn_counter, ALL},
    {"block", 2, 0, 0, 0, fn_block, K5},
    {"cmd", 4, 0, 0, 0, fn_cmd, K5},
    {"num", 2, sig(S), 1, 0, fn_num, K1},
    {"len", 2, sig(S), 1, 0, fn_len, K1},
};
constexpr int FUNCTIONS = int(sizeof kFunctions / sizeof kFunctions[0]);
constexpr int MANY_FIRST = 1000;   // numbers of the extra functions of TOV_TESTEXT_MANY

unsigned this_kind() { return STRINGS ? K1 : RECORDS20 ? K2 : K5; }

// The index-th function of this build: a table entry, or an extra one (number >= MANY_FIRST).
bool nth_function(int index, int* number) {
  for (int n = 0; n < FUNCTIONS; ++n)
    if ((kFunctions[n].kinds & this_kind()) && index-- == 0) {
      *number = n;
      return true;
    }
  if (index < std::atoi(env("TOV_TESTEXT_MANY").c_str())) {
    *number = MANY_FIRST + index;
    return true;
  }
  return false;
}

// Records no script could call: a number beyond 9999, a kind that is neither function nor command, no name.
bool odd_record(void* record, int32_t index) {
  const struct {
    uint32_t number, kind;
    const char* name;
  } odd[] = {{10001, 2, "oddnumber"}, {5, 6, "oddkind"}, {6, 2, ""}};
  if (index >= 3) return false;
  TovRegistration r{};
  r.number = odd[index].number;
  r.kind = odd[index].kind;
  r.nameLength = uint16_t(std::strlen(odd[index].name));
  std::memcpy(r.name, odd[index].name, r.nameLength);
  std::memcpy(record, &r, sizeof r);
  return true;
}

int32_t enumerate(void* record, int32_t index) {
  int number = 0;
  if (!env("TOV_TESTEXT_FAIL_ENUM").empty() && index > 0) return TOVX_FAIL_MINOR;
  if (!STRINGS && TESTEXT_KIND != 100005 && !env("TOV_TESTEXT_ODD").empty()) {
    if (odd_record(record, index)) return 1;
    index -= 3;
  }
  if (!nth_function(index, &number)) return 0;
  const bool extra = number >= MANY_FIRST;
  static const Function extra_function{"many", 2, 0, 0, 0, nullptr, ALL};
  const Function& f = extra ? extra_function : kFunctions[number];
  char name[34];
  if (extra) std::snprintf(name, sizeof name, "%smany%d", PREFIX, number - MANY_FIRST);
  else std::snprintf(name, sizeof name, "%s%s", PREFIX, f.name);
  if (STRINGS) {
    TovRegistration1 r{};
    r.number = int16_t(number);
    r.kind = int16_t(f.kind);
    r.value = uint16_t(f.required | f.optional << 8);
    r.nameLength = uint16_t(std::strlen(name));
    std::memcpy(r.name, name, sizeof r.name);
    std::memcpy(record, &r, sizeof r);
  } else if (TESTEXT_KIND == 100005) {
    TovRegistrationW r{};
    r.number = uint32_t(number);
    r.kind = f.kind;
    r.argTypesLow = uint32_t(f.types);
    r.argTypesHigh = uint32_t(f.types >> 32);
    r.value = f.required | f.optional << 8;
    const std::u16string w = widen(name);
    r.nameLength = uint16_t(w.size());
    std::memcpy(r.name, w.c_str(), (w.size() + 1) * sizeof(char16_t));
    std::memcpy(record, &r, sizeof r);
  } else {
    TovRegistration r{};
    r.number = uint32_t(number);
    r.kind = f.kind;
    r.argTypesLow = uint32_t(f.types);
    r.argTypesHigh = uint32_t(f.types >> 32);
    r.value = f.required | f.optional << 8;
    r.nameLength = uint16_t(std::strlen(name));
    std::memcpy(r.name, name, sizeof r.name);
    std::memcpy(record, &r, sizeof r);
  }
  return 1;
}

[[maybe_unused]] int32_t initialise(void* message) {
  if (env("TOV_TESTEXT_REFUSE").empty()) return 0;
  static const char text[] = "the test extender refuses to load";
  if (TESTEXT_KIND == 100005) {
    const std::u16string w = widen(text);
    std::memcpy(message, w.c_str(), (w.size() + 1) * sizeof(char16_t));
  } else {
    std::memcpy(message, text, sizeof text);
  }
  return TOVX_FAIL_MINOR;
}

// The close request is logged with what the variable closeprobe holds then.
void close(TovServiceBlock* block) {
  const std::string log = env("TOV_TESTEXT_LOG");
  if (log.empty()) return;
  std::string probe = "-";
  TovValue v{};
  if (block && block->varHandler(block->context, "closeprobe", &v, VALUE_SIZE, TOVX_VAR_READ) == 0 &&
      (v.type & TOVX_STRING))
    probe = static_cast<const char*>(v.str);
  if (FILE* f = std::fopen(log.c_str(), "a")) {
    std::fprintf(f, "close %s %s\n", PREFIX, probe.c_str());
    std::fclose(f);
  }
}

int32_t run(int32_t number, Call& c) {
  if (number >= MANY_FIRST) return answer_int(c, number);
  if (number < 0 || number >= FUNCTIONS) return fail(c, TOVX_FAIL_SEVERE, "no such function");
  return kFunctions[number].run(c);
}

}  // namespace
#endif

extern "C" {

#if TESTEXT_KIND == 5
// Functions for DllCall, one for each type word; all in the stdcall convention (the system's own outside
// 32-bit Windows) but TestCdecl.
TOVX_EXPORT int32_t TOVX_CALL TestLong(int32_t a, int32_t b) { return a * 10 + b; }
// A word arrives zero-extended; the result has bits above the low 16.
TOVX_EXPORT int32_t TOVX_CALL TestWord(uint32_t w) { return int32_t(w) + 0x10000; }
TOVX_EXPORT double TOVX_CALL TestDouble(double x, int32_t n) { return x * n; }
TOVX_EXPORT int32_t TOVX_CALL TestStrLen(const char* s) { return int32_t(std::strlen(s)); }
TOVX_EXPORT char* TOVX_CALL TestUpper(char* s) {
  for (char* p = s; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
  return s;
}
TOVX_EXPORT int32_t TOVX_CALL TestWideLen(const char16_t* w) { return int32_t(std::u16string(w).size()); }
TOVX_EXPORT const char16_t* TOVX_CALL TestWideEcho(const char16_t* w) { return w; }
TOVX_EXPORT int32_t TOVX_CALL TestFill(char* buffer, int32_t n, int32_t c) {
  std::memset(buffer, c, size_t(n));
  return n;
}
TOVX_EXPORT int32_t TOVX_CALL TestIsNull(const void* p) { return p == nullptr; }
TOVX_EXPORT const char* TOVX_CALL TestNullString() { return nullptr; }
TOVX_EXPORT int32_t TOVX_CALL TestSetError(int32_t code) {
#if defined(_WIN32)
  SetLastError(DWORD(code));
#else
  errno = code;
#endif
  return 0;
}
// Twenty arguments, each weighted by its position: the order must be kept.
TOVX_EXPORT int32_t TOVX_CALL TestMany(int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5, int32_t a6,
                                       int32_t a7, int32_t a8, int32_t a9, int32_t a10, int32_t a11, int32_t a12,
                                       int32_t a13, int32_t a14, int32_t a15, int32_t a16, int32_t a17, int32_t a18,
                                       int32_t a19, int32_t a20) {
  const int32_t a[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20};
  int32_t sum = 0;
  for (int i = 0; i < 20; ++i) sum += (i + 1) * a[i];
  return sum;
}
// Integers and doubles taking turns, where conventions place them in different registers.
TOVX_EXPORT double TOVX_CALL TestMixed(int32_t a, double b, int32_t c, double d) {
  return a + b * 10 + c * 100 + d * 1000;
}
#if defined(_WIN32)
TOVX_EXPORT int32_t __cdecl TestCdecl(int32_t a, int32_t b) { return a * 10 + b; }
#else
TOVX_EXPORT int32_t TestCdecl(int32_t a, int32_t b) { return a * 10 + b; }
#endif
#endif

#if TESTEXT_KIND == 0
TOVX_EXPORT int32_t TOVX_CALL NotAnExtender(void) { return 0; }
#elif TESTEXT_KIND == 1
TOVX_EXPORT int32_t TOVX_CALL TOVExtender(void*, void*, uint32_t stamp, int32_t request, void* reply,
                                          TovServiceBlock* block, uint32_t* private_word, const char* a1,
                                          const char* a2, const char* a3, const char* a4, const char* a5) {
  if (stamp != TOVX_STAMP) return TOVX_FAIL_SEVERE;
  if (request == TOVX1_ENUMERATE) return enumerate(const_cast<char*>(a1), int32_t(reinterpret_cast<intptr_t>(a2)));
  if (request == TOVX1_CLOSE) {
    close(block);
    return 0;
  }
  const char* const texts[5] = {a1, a2, a3, a4, a5};
  Call c{block, reply, private_word, nullptr, nullptr, texts, 5};
  return run(request, c);
}
#else
#if TESTEXT_KIND == 100005
#define TESTEXT_QUERY TOVExtenderQueryW
#define TESTEXT_ENTRY TOVExtender2W
#else
#define TESTEXT_QUERY TOVExtenderQuery
#define TESTEXT_ENTRY TOVExtender2
#endif

TOVX_EXPORT int32_t TOVX_CALL TESTEXT_QUERY(int32_t request, void* buffer, int32_t size) {
  if (request == TOVX_QUERY_VERSION) return VERSION;
  // The kinds offered must include the one this build speaks.
  const auto* offered = static_cast<const int32_t*>(buffer);
  const int32_t kind = TESTEXT_KIND == 100005 ? 5 : TESTEXT_KIND;
  for (int32_t i = 0; i < size; ++i)
    if (offered[i] == kind) return kind;
  return 0;
}

TOVX_EXPORT int32_t TOVX_CALL TESTEXT_ENTRY(void*, void*, uint32_t stamp, int32_t request, void* reply,
                                            TovServiceBlock* block, uint32_t* private_word, void* args, int32_t argc,
                                            void*) {
  if (stamp != TOVX_STAMP) return TOVX_FAIL_SEVERE;
  switch (request) {
    case TOVX_INIT: return initialise(args);
    case TOVX_ENUMERATE: return enumerate(args, argc);
    case TOVX_CLOSE: close(block); return 0;
    default: break;
  }
  Call c{block, reply, private_word, static_cast<TovValue*>(args), static_cast<TovValue20*>(args), nullptr, argc};
  return run(request, c);
}
#endif

}  // extern "C"
