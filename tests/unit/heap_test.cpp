// The string heap: block sizes, splitting, merging, growth in place, damaged tags and bad frees.
#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include "engine/context.h"
#include "lang/heap.h"
#include "platform/memory.h"
#include "platform/ui.h"

namespace {

using tov::HeapStats;
using tov::VFree;
using tov::VMalloc;

constexpr size_t kReserve = 64u << 20;

uint32_t word(const tov::RunContext* ctx, uint32_t off) {
  uint32_t v;
  std::memcpy(&v, tov::heap_ptr(ctx, off), 4);
  return v;
}
std::string tag_at(const tov::RunContext* ctx, uint32_t off) { return std::string(tov::heap_ptr(ctx, off), 4); }
// Size of the block whose caller offset is off.
uint32_t block_size(const tov::RunContext* ctx, uint32_t off) { return word(ctx, off - 4); }
// What a step shows (heap reports are message boxes, shown on the console here).
template <class F>
std::string shown_by(F&& step) {
  testing::internal::CaptureStdout();
  step();
  return testing::internal::GetCapturedStdout();
}

class Heap : public ::testing::Test {
 protected:
  void SetUp() override {
    page_ = static_cast<uint32_t>(plat::vm_page_size());
    initial_ = page_ * 2;
    base_ = static_cast<char*>(plat::vm_reserve(kReserve));
    ASSERT_NE(base_, nullptr);
    uint32_t error = 0;
    ASSERT_TRUE(plat::vm_commit(base_, initial_, &error));
    info_ = tov::HeapInfo{sizeof(tov::HeapInfo), initial_, base_, kReserve};
    ctx_->lpHeapInfo = &info_;
    ASSERT_TRUE(tov::heap_init(ctx_.get(), base_, initial_));
    plat::set_console_ui(true);
  }
  void TearDown() override {
    if (base_) plat::vm_release(base_, kReserve);
  }
  HeapStats stats() {
    HeapStats s{};
    EXPECT_TRUE(tov::heap_check(ctx_.get(), &s));
    return s;
  }
  tov::RunContext* ctx() { return ctx_.get(); }

  std::unique_ptr<tov::RunContext> ctx_ = std::make_unique<tov::RunContext>();
  tov::HeapInfo info_{};
  char* base_ = nullptr;
  uint32_t page_ = 0, initial_ = 0;
};

TEST_F(Heap, BlockSizesAndSplittingFromTheTop) {
  // Each block is cut from the top of the free block, directly below the previous one.
  const std::pair<uint32_t, uint32_t> request_size[] = {{0, 28}, {1, 28}, {13, 28}, {14, 28}, {17, 32}};
  uint32_t top = ctx()->heapEnd;
  for (const auto& [request, size] : request_size) {
    const uint32_t off = VMalloc(ctx(), request);
    ASSERT_NE(off, 0u);
    EXPECT_EQ(off % 4, 0u);
    EXPECT_EQ(block_size(ctx(), off), size) << "request " << request;
    EXPECT_EQ(off - 8 + size, top);
    top = off - 8;
    EXPECT_EQ(tag_at(ctx(), off - 8), "5678");
    EXPECT_EQ(tag_at(ctx(), off - 8 + size - 4), "5678");
  }
  // The free block kept its place at 40 and shrank by what was handed out.
  EXPECT_EQ(word(ctx(), 8), 40u);
  EXPECT_EQ(word(ctx(), 44), top - 40);
  EXPECT_EQ(stats().usedBlocks, 5u);
}

TEST_F(Heap, SmallRemainderIsNotSplitOff) {
  // Make a free block of 112 bytes between two used blocks.
  const uint32_t a = VMalloc(ctx(), 100), guard = VMalloc(ctx(), 0);   // a: 112 bytes at the top
  ASSERT_EQ(block_size(ctx(), a), 112u);
  VFree(ctx(), a);
  ASSERT_EQ(word(ctx(), 8), a - 8);   // at the front of the list

  // need 88: a remainder of 24 is too small for a block, so the whole 112 bytes are handed out.
  const uint32_t whole = VMalloc(ctx(), 76);
  EXPECT_EQ(whole, a);
  EXPECT_EQ(block_size(ctx(), whole), 112u);
  EXPECT_EQ(stats().freeBlocks, 1u);

  // need 84: a remainder of exactly 28 is split off, the upper 84 bytes are handed out.
  VFree(ctx(), whole);
  const uint32_t upper = VMalloc(ctx(), 72);
  EXPECT_EQ(upper, a + 28);
  EXPECT_EQ(block_size(ctx(), upper), 84u);
  EXPECT_EQ(word(ctx(), a - 8 + 4), 28u);
  EXPECT_EQ(stats().freeBlocks, 2u);
  VFree(ctx(), guard);
  VFree(ctx(), upper);
}

TEST_F(Heap, FreeingMergesWithBothNeighbours) {
  // Address order: [free][guard][x3][x2][x1][end]
  const uint32_t x1 = VMalloc(ctx(), 40), x2 = VMalloc(ctx(), 60), x3 = VMalloc(ctx(), 80), guard = VMalloc(ctx(), 0);
  const uint32_t s1 = block_size(ctx(), x1), s2 = block_size(ctx(), x2), s3 = block_size(ctx(), x3);
  const HeapStats before = stats();

  VFree(ctx(), x1);   // then its lower neighbour: merges into the free block above it
  VFree(ctx(), x2);
  EXPECT_EQ(tag_at(ctx(), x2 - 8), "QRST");
  EXPECT_EQ(word(ctx(), x2 - 4), s1 + s2);
  EXPECT_EQ(stats().freeBlocks, before.freeBlocks + 1);

  uint32_t y2 = VMalloc(ctx(), 60), y1 = VMalloc(ctx(), 40);
  ASSERT_EQ(y2, x1 + s1 - s2);   // splitting the merged block from the top gives the old places back
  ASSERT_EQ(y1, x1 - s2);
  VFree(ctx(), y2);   // the other order: upper block first, then the lower one merges with it
  VFree(ctx(), y1);
  EXPECT_EQ(word(ctx(), y1 - 4), s1 + s2);

  // Free the block between two free blocks: one block of all three sizes.
  y1 = VMalloc(ctx(), 40);
  y2 = VMalloc(ctx(), 60);
  ASSERT_EQ(y2, x2);
  VFree(ctx(), x3);
  VFree(ctx(), y1);
  HeapStats mid = stats();
  VFree(ctx(), y2);
  EXPECT_EQ(word(ctx(), x3 - 4), s1 + s2 + s3);
  EXPECT_EQ(stats().freeBlocks, mid.freeBlocks - 1);
  VFree(ctx(), guard);
  EXPECT_EQ(stats().freeBlocks, 1u);
  EXPECT_EQ(stats().usedBlocks, 0u);
}

TEST_F(Heap, GrowsInPlaceWhenExhausted) {
  const uint32_t old_end = ctx()->heapEnd, first_free = initial_ - 56;
  const uint32_t n = initial_, need = (n + 15) & ~3u;   // more than the heap holds
  const uint32_t off = VMalloc(ctx(), n);
  ASSERT_NE(off, 0u);
  std::memset(tov::heap_ptr(ctx(), off), 'x', n);

  const uint64_t want = (uint64_t(initial_) + need + 32768 + page_ - 1) / page_ * page_;
  EXPECT_EQ(ctx()->heapSize, want);
  EXPECT_EQ(info_.committed, want);
  EXPECT_EQ(info_.base, base_);
  EXPECT_EQ(ctx()->lpHeap, base_);
  EXPECT_EQ(ctx()->heapEnd, old_end + need + 32756);
  EXPECT_EQ(tag_at(ctx(), ctx()->heapEnd), "5678");
  // The grown block merged with the old free block; the request was cut from its top.
  HeapStats s = stats();
  EXPECT_EQ(s.freeBlocks, 1u);
  EXPECT_EQ(s.freeBytes, first_free + 32756);
  EXPECT_EQ(off - 8 + need, ctx()->heapEnd);

  // The grown heap keeps working and grows again when asked for more.
  const uint32_t big = VMalloc(ctx(), 200000);
  ASSERT_NE(big, 0u);
  std::memset(tov::heap_ptr(ctx(), big), 'y', 200000);
  EXPECT_EQ(info_.committed, ctx()->heapSize);
  VFree(ctx(), off);
  VFree(ctx(), big);
  EXPECT_EQ(stats().freeBlocks, 1u);
  EXPECT_EQ(stats().usedBlocks, 0u);
}

TEST_F(Heap, DamagedTagsAreReportedAndTheBlockLeaked) {
  const uint32_t upper = VMalloc(ctx(), 20), lower = VMalloc(ctx(), 20), bottom = VMalloc(ctx(), 20);   // from the top down
  ASSERT_EQ(lower - 8 + block_size(ctx(), lower), upper - 8);
  const HeapStats before = stats();

  // The lower block overruns its bytes into its trailer tag; freeing the block after it finds the damage.
  std::memset(tov::heap_ptr(ctx(), lower), 'z', block_size(ctx(), lower) - 8);
  std::string shown = shown_by([&] { VFree(ctx(), upper); });
  EXPECT_NE(shown.find("INTERNAL DYNALLOC ERROR"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Tag Overwrite 1"), std::string::npos) << shown;
  EXPECT_EQ(tag_at(ctx(), upper - 8), "5678");   // leaked, not freed
  EXPECT_FALSE(tov::heap_check(ctx()));

  // The block before a damaged header cannot be freed either.
  std::memcpy(tov::heap_ptr(ctx(), lower + block_size(ctx(), lower) - 12), "5678", 4);   // repair
  ASSERT_TRUE(tov::heap_check(ctx()));
  std::memcpy(tov::heap_ptr(ctx(), lower - 8), "oops", 4);
  shown = shown_by([&] { VFree(ctx(), bottom); });
  EXPECT_NE(shown.find("Tag Overwrite 2"), std::string::npos) << shown;
  EXPECT_EQ(tag_at(ctx(), bottom - 8), "5678");
  std::memcpy(tov::heap_ptr(ctx(), lower - 8), "5678", 4);
  EXPECT_EQ(stats().freeBlocks, before.freeBlocks);
  EXPECT_EQ(stats().usedBlocks, before.usedBlocks);
}

TEST_F(Heap, BadOffsetsAndSecondFreesAreIgnored) {
  const uint32_t a = VMalloc(ctx(), 50), b = VMalloc(ctx(), 50), c = VMalloc(ctx(), 50);   // b directly below a
  const uint32_t size_a = block_size(ctx(), a);
  VFree(ctx(), b);
  const HeapStats once = stats();
  VFree(ctx(), b);   // already free: must not enter the list twice
  HeapStats s = stats();
  EXPECT_EQ(s.freeBlocks, once.freeBlocks);
  EXPECT_EQ(s.freeBytes, once.freeBytes);
  VFree(ctx(), a);   // merges into b's block; a's old header is left inside it
  s = stats();
  EXPECT_EQ(s.freeBytes, once.freeBytes + size_a);
  EXPECT_EQ(shown_by([&] { VFree(ctx(), a); }), "");   // not a damaged heap: nothing to report
  VFree(ctx(), 1);
  VFree(ctx(), 8);
  VFree(ctx(), ctx()->heapEnd + 64);
  VFree(ctx(), c + 2);
  EXPECT_EQ(stats().freeBytes, s.freeBytes);
  EXPECT_EQ(stats().freeBlocks, s.freeBlocks);
}

}  // namespace

TEST_F(Heap, ReservationLimitFailsSilently) {
  info_.reserved = initial_;   // nothing left to commit
  const uint32_t end = ctx()->heapEnd;
  EXPECT_EQ(shown_by([&] { EXPECT_EQ(VMalloc(ctx(), initial_), 0u); }), "");
  EXPECT_EQ(ctx()->heapSize, initial_);
  EXPECT_EQ(info_.committed, initial_);
  EXPECT_EQ(ctx()->heapEnd, end);
  EXPECT_NE(VMalloc(ctx(), 100), 0u);   // what still fits is still handed out
  // Requests that cannot be expressed in 32-bit offsets fail without touching the heap.
  info_.reserved = 0;
  EXPECT_EQ(VMalloc(ctx(), 0xFFFFFFFFu), 0u);
  EXPECT_EQ(ctx()->heapSize, initial_);
}

TEST_F(Heap, MergeWithFreeBlockIsUndoneWhenTheOtherSideIsDamaged) {
  // [free][d][c][b][a][end] with c free: freeing b would merge it with c, but a's header is damaged;
  // nothing may change, or c would vanish from the free list while still tagged free.
  const uint32_t a = VMalloc(ctx(), 20), b = VMalloc(ctx(), 20), c = VMalloc(ctx(), 20), d = VMalloc(ctx(), 20);
  VFree(ctx(), c);
  const HeapStats before = stats();
  std::memcpy(tov::heap_ptr(ctx(), a - 8), "oops", 4);
  EXPECT_NE(shown_by([&] { VFree(ctx(), b); }).find("Tag Overwrite 2"), std::string::npos);
  std::memcpy(tov::heap_ptr(ctx(), a - 8), "5678", 4);
  EXPECT_EQ(stats().freeBlocks, before.freeBlocks);
  EXPECT_EQ(stats().freeBytes, before.freeBytes);
  VFree(ctx(), b);
  VFree(ctx(), a);
  VFree(ctx(), d);
  EXPECT_EQ(stats().freeBlocks, 1u);
}
