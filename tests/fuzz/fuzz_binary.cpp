// Feeds the hex and tag functions of the binary buffers arbitrary buffer contents, hex texts, tags and tag
// structures, through the call frame, in one long-lived run context. After every call the buffer must keep
// its end of data within its size; a hex poke that fails must leave the buffer as it was and one that
// succeeds must store what BinaryPeekHex then reads back; a found tag must lie within the data. After each
// input the buffers are freed and the string heap must be back at the bytes it used before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/binary.h"
#include "builtins/callframe.h"
#include "builtins/hex.h"
#include "lang/keywords.h"
#include "test_context.h"

using namespace tov;

namespace {

constexpr size_t MAX_BUFFER = 512;
constexpr int MAX_CALLS = 24;

test::TestContext& context() {
  static test::TestContext* t = new test::TestContext(256, size_t(64) << 20);
  return *t;
}

void check(bool ok) {
  if (!ok) std::abort();
}

// An argument: an integer or a text (script strings end at a NUL).
struct Arg {
  bool text;
  int32_t i;
  std::string s;
};
Arg num(int32_t i) { return {false, i, {}}; }
Arg str(const std::string& s) { return {true, 0, s.substr(0, s.find('\0'))}; }

// Calls a built-in as the evaluator does; the result's text (or number as text) when it succeeded.
bool call(RunContext* ctx, int id, const std::vector<Arg>& args, std::string* text = nullptr, int32_t* number = nullptr) {
  ArgBlock block;
  for (Value& v : block.slot) value_init(v);
  for (size_t n = 0; n < args.size(); ++n) {
    ValueCore& v = block.slot[n + 1].c;
    if (args[n].text) set_string(ctx, v, args[n].s.data(), args[n].s.size());
    else set_integer(ctx, v, args[n].i);
  }
  const KeywordEntry& k = g_keywordTable[id];
  Value result;
  value_init(result);
  ctx->err = 0;
  CallBuiltin(ctx, k.name, id, &result, block, false, int(args.size()),
              uint64_t(k.argTypesHigh) << 32 | k.argTypesLow);
  release_args(ctx, block, ARG_SLOTS - 1);
  const bool ok = ctx->err == 0;
  if (ok && text) check((result.c.type & VF_STRING) && ((*text = str_at(ctx, result.c.str)), true));
  if (ok && number) check(result.c.type & VF_INTEGER && ((*number = result.c.i), true));
  value_free(ctx, result);
  ctx->err = 0;
  error_info_free(ctx);
  return ok;
}

std::string upper_hex(const std::string& text) {
  std::string bytes;
  return bytes_of_hex_pairs(text.c_str(), &bytes) ? hex_of_bytes(bytes.data(), bytes.size()) : std::string();
}

void poke_hex(RunContext* ctx, int32_t handle, BinaryEntry* b, FuzzedDataProvider& in) {
  const int32_t offset = in.ConsumeIntegralInRange<int32_t>(-2, int32_t(MAX_BUFFER) + 2);
  const std::string hex = str(in.ConsumeRandomLengthString(64)).s;
  const std::string before(reinterpret_cast<char*>(b->data), size_t(b->size));
  const int32_t eod = b->eod;
  int32_t stored = -1;
  if (!call(ctx, KW_BINARYPOKEHEX, {num(handle), num(offset), str(hex)}, nullptr, &stored)) {
    check(b->eod == eod && before == std::string(reinterpret_cast<char*>(b->data), size_t(b->size)));
    return;
  }
  std::string back;
  check(stored == 0 || call(ctx, KW_BINARYPEEKHEX, {num(handle), num(offset), num(stored)}, &back));
  check(back == upper_hex(hex));
}

void tags(RunContext* ctx, int32_t handle, FuzzedDataProvider& in) {
  std::string tag;
  const bool from_input = in.ConsumeBool();
  if (from_input) tag = str(in.ConsumeRandomLengthString(64)).s;
  else if (!call(ctx, KW_BINARYTAGINIT,
                 {num(handle), str(in.ConsumeRandomLengthString(8)), str(in.ConsumeRandomLengthString(8))}, &tag))
    return;
  for (int step = 0; step < 8 && in.remaining_bytes(); ++step) {
    const BinaryEntry* b = binary_find(ctx, handle);
    int32_t index = 0, length = 0;
    std::string text;
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        if (!call(ctx, KW_BINARYTAGFIND, {str(tag)}, &tag) || tag.empty()) return;
        break;
      case 1: call(ctx, KW_BINARYTAGEXTR, {str(tag), num(in.ConsumeIntegralInRange(-1, 4))}, &text); break;
      case 2:
        if (call(ctx, KW_BINARYTAGINDEX, {str(tag), num(in.ConsumeIntegralInRange(0, 1))}, nullptr, &index))
          check(index >= 0 && index <= b->eod);
        break;
      case 3:
        if (call(ctx, KW_BINARYTAGLEN, {str(tag), num(in.ConsumeIntegralInRange(0, 1))}, nullptr, &length))
          check(length >= 0 && length <= b->eod);
        break;
      default:
        if (!call(ctx, KW_BINARYTAGREPL, {str(tag), str(in.ConsumeRandomLengthString(16))}, &tag)) return;
        break;
    }
    check(b->eod >= 0 && b->eod <= b->size && text.size() <= size_t(b->eod));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test::TestContext& t = context();
  RunContext* ctx = t.ctx();
  static const uint32_t heap_at_start = t.heap_used();
  FuzzedDataProvider in(data, size);

  int32_t handle = 0;
  check(binary_alloc(ctx, in.ConsumeIntegralInRange<int32_t>(0, MAX_BUFFER), &handle) == 0);
  BinaryEntry* b = binary_find(ctx, handle);
  const std::string content = in.ConsumeRandomLengthString(MAX_BUFFER);
  b->eod = int32_t(std::min(content.size(), size_t(b->size)));
  std::memcpy(b->data, content.data(), size_t(b->eod));

  for (int n = 0; n < MAX_CALLS && in.remaining_bytes(); ++n) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: poke_hex(ctx, handle, b, in); break;
      case 1:
        call(ctx, KW_BINARYPEEKHEX, {num(handle), num(in.ConsumeIntegralInRange(-2, 600)),
                                     num(in.ConsumeIntegralInRange(-2, 600))});
        break;
      case 2:
        call(ctx, KW_BINARYINDEXBIN, {num(handle), num(in.ConsumeIntegralInRange(-2, 600)),
                                      str(in.ConsumeRandomLengthString(32)), num(in.ConsumeIntegralInRange(0, 1)),
                                      num(in.ConsumeIntegralInRange(0, 1))});
        break;
      default: tags(ctx, handle, in); break;
    }
    check(b->eod >= 0 && b->eod <= b->size);
  }
  binary_free(ctx, handle);
  if (t.heap_used() != heap_at_start) std::abort();
  return 0;
}
