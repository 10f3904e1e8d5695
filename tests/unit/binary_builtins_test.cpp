// Binary buffers beyond the script cases: the exported decompression, hex pairs, buffers that outlive a
// run, and the clipboard where there is none.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "builtin_eval.h"
#include "builtins/binary.h"
#include "builtins/hex.h"
#include "diag/errors.h"

namespace tov {
namespace {

using test::TestContext;

TEST(BinaryBuiltins, UncompressBufferTakesWholeZlibStreams) {
  const std::string text(5000, 'x');
  uLongf packed_size = compressBound(uLong(text.size()));
  std::string packed(packed_size, '\0');
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                     reinterpret_cast<const Bytef*>(text.data()), uLong(text.size())),
            Z_OK);
  std::string out(6000, '\0');
  EXPECT_EQ(uncompress_buffer(packed.data(), uint32_t(packed_size), out.data(), 6000), 5000);
  EXPECT_EQ(out.substr(0, 5000), text);
  EXPECT_EQ(uncompress_buffer(packed.data(), uint32_t(packed_size), out.data(), 4999), UNCOMPRESS_NO_ROOM);
  EXPECT_EQ(uncompress_buffer(packed.data(), uint32_t(packed_size) - 1, out.data(), 6000), UNCOMPRESS_BAD_DATA);
  EXPECT_EQ(uncompress_buffer(text.data(), 100, out.data(), 6000), UNCOMPRESS_BAD_DATA);
  EXPECT_EQ(uncompress_buffer(nullptr, 10, out.data(), 6000), UNCOMPRESS_BAD_ARGUMENTS);
  EXPECT_EQ(uncompress_buffer(packed.data(), uint32_t(packed_size), nullptr, 10), UNCOMPRESS_BAD_ARGUMENTS);
}

TEST(BinaryBuiltins, HexPairsMaySeparateButNotSplit) {
  struct Case {
    const char* text;
    bool ok;
    std::string bytes;
  };
  const Case cases[] = {
      {"", true, ""},      {"00ff", true, std::string("\x00\xff", 2)}, {" 41\r\n42 ", true, "AB"},
      {"4 1", false, ""},  {"414", false, ""}, {"4G", false, ""},  {"41\t42", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(bytes_of_hex_pairs(c.text, &out), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(out, c.bytes) << c.text;
    }
  }
  EXPECT_EQ(hex_digit_count(" 4 1\r\n"), 2u);
}

TEST(BinaryBuiltins, BuffersOutliveTheRunThatMadeThem) {
  TestContext t;
  ASSERT_EQ(t.run("h = BinaryAlloc(8)\nBinaryPokeStr(h, 0, \"kept\")\n"), 1u);
  ASSERT_EQ(t.run("x = BinaryPeekStr(h, 0, 8)\n"), 1u);
  EXPECT_EQ(t.var_text("x"), "kept");
}

TEST(BinaryBuiltins, ClipboardFormatsAreChecked) {
  TestContext t;
  t.assign("h = BinaryAlloc(8)");
  EXPECT_EQ(test::error_of(t, "BinaryClipGet(h, 0)"), ERR_BINARY_CLIP_FORMAT);
  EXPECT_EQ(test::error_of(t, "BinaryClipPut(h, -1)"), ERR_BINARY_CLIP_FORMAT);
#ifndef _WIN32
  EXPECT_EQ(test::error_of(t, "BinaryClipGet(h, 1)"), ERR_BINARY_CLIP_UNSUPPORTED);
  EXPECT_EQ(test::error_of(t, "BinaryClipPut(h, 13)"), ERR_BINARY_CLIP_UNSUPPORTED);
#endif
}

}  // namespace
}  // namespace tov
