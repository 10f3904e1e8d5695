// The string heap: block sizes, splitting, merging, growth in place, damaged tags, and a random workload.
#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>
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

class Heap : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<tov::RunContext>();
    page_ = static_cast<uint32_t>(plat::vm_page_size());
    base_ = static_cast<char*>(plat::vm_reserve(kReserve));
    ASSERT_NE(base_, nullptr);
    uint32_t error = 0;
    initial_ = page_ * 2;
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

  std::unique_ptr<tov::RunContext> ctx_;
  tov::HeapInfo info_{};
  char* base_ = nullptr;
  uint32_t page_ = 0, initial_ = 0;
};

TEST_F(Heap, FreshLayout) {
  const uint32_t t = initial_;
  EXPECT_EQ(ctx()->heapEnd, t - 16);
  EXPECT_EQ(tag_at(ctx(), 0), "5678");
  EXPECT_EQ(tag_at(ctx(), 16), "5678");
  EXPECT_EQ(tag_at(ctx(), 20), "5678");
  EXPECT_EQ(tag_at(ctx(), 36), "5678");
  EXPECT_EQ(tag_at(ctx(), 40), "QRST");
  EXPECT_EQ(word(ctx(), 44), t - 56);
  EXPECT_EQ(word(ctx(), 8), 40u);   // the list holds the one free block
  EXPECT_EQ(word(ctx(), 12), 40u);
  EXPECT_EQ(tag_at(ctx(), t - 16), "5678");
  HeapStats s = stats();
  EXPECT_EQ(s.freeBlocks, 1u);
  EXPECT_EQ(s.usedBlocks, 0u);

  tov::RunContext small{};
  std::vector<char> tiny(tov::HEAP_MIN_SIZE - 1);
  EXPECT_FALSE(tov::heap_init(&small, tiny.data(), static_cast<uint32_t>(tiny.size())));
}

TEST_F(Heap, BlockSizesAndSplittingFromTheTop) {
  const uint32_t requests[] = {0, 1, 13, 14, 17};
  const uint32_t sizes[] = {28, 28, 28, 28, 32};
  uint32_t top = ctx()->heapEnd;
  for (size_t i = 0; i < std::size(requests); ++i) {
    uint32_t off = VMalloc(ctx(), requests[i]);
    ASSERT_NE(off, 0u);
    EXPECT_EQ(off % 4, 0u);
    EXPECT_EQ(block_size(ctx(), off), sizes[i]) << "request " << requests[i];
    // Each block is cut from the top of the free block, directly below the previous one.
    EXPECT_EQ(off - 8 + sizes[i], top);
    top = off - 8;
    EXPECT_EQ(tag_at(ctx(), off - 8), "5678");
    EXPECT_EQ(tag_at(ctx(), off - 8 + sizes[i] - 4), "5678");
  }
  // The free block kept its place at 40 and shrank by what was handed out.
  EXPECT_EQ(word(ctx(), 8), 40u);
  EXPECT_EQ(word(ctx(), 44), top - 40);
  EXPECT_EQ(stats().usedBlocks, 5u);
}

TEST_F(Heap, SmallRemainderIsNotSplitOff) {
  // Make a free block of 112 bytes between two used blocks.
  uint32_t a = VMalloc(ctx(), 100);   // 112 bytes at the top
  uint32_t guard = VMalloc(ctx(), 0);
  ASSERT_EQ(block_size(ctx(), a), 112u);
  VFree(ctx(), a);
  ASSERT_EQ(word(ctx(), 8), a - 8);   // at the front of the list

  // need 88: a remainder of 24 is too small for a block, so the whole 112 bytes are handed out.
  uint32_t whole = VMalloc(ctx(), 76);
  EXPECT_EQ(whole, a);
  EXPECT_EQ(block_size(ctx(), whole), 112u);
  EXPECT_EQ(stats().freeBlocks, 1u);

  // need 84: a remainder of exactly 28 is split off, the upper 84 bytes are handed out.
  VFree(ctx(), whole);
  uint32_t upper = VMalloc(ctx(), 72);
  EXPECT_EQ(upper, a + 28);
  EXPECT_EQ(block_size(ctx(), upper), 84u);
  EXPECT_EQ(word(ctx(), a - 8 + 4), 28u);
  EXPECT_EQ(stats().freeBlocks, 2u);
  VFree(ctx(), guard);
  VFree(ctx(), upper);
}

TEST_F(Heap, FreeingMergesWithBothNeighbours) {
  // Address order: [free][guard][x3][x2][x1][end]
  uint32_t x1 = VMalloc(ctx(), 40), x2 = VMalloc(ctx(), 60), x3 = VMalloc(ctx(), 80);
  uint32_t guard = VMalloc(ctx(), 0);
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
  const uint32_t old_end = ctx()->heapEnd;
  const uint32_t first_free = initial_ - 56;
  const uint32_t n = initial_;   // more than the heap holds
  const uint32_t need = (n + 15) & ~3u;
  uint32_t off = VMalloc(ctx(), n);
  ASSERT_NE(off, 0u);
  std::memset(tov::heap_ptr(ctx(), off), 'x', n);

  const uint64_t want = (uint64_t(initial_) + need + 32768 + page_ - 1) / page_ * page_;
  EXPECT_EQ(ctx()->heapSize, want);
  EXPECT_EQ(ctx()->heapSize % page_, 0u);
  EXPECT_EQ(info_.committed, ctx()->heapSize);
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
  uint32_t big = VMalloc(ctx(), 200000);
  ASSERT_NE(big, 0u);
  std::memset(tov::heap_ptr(ctx(), big), 'y', 200000);
  EXPECT_EQ(info_.committed, ctx()->heapSize);
  VFree(ctx(), off);
  VFree(ctx(), big);
  s = stats();
  EXPECT_EQ(s.freeBlocks, 1u);
  EXPECT_EQ(s.usedBlocks, 0u);
}

TEST_F(Heap, ReservationLimitFailsSilently) {
  info_.reserved = initial_;   // nothing left to commit
  const uint32_t end = ctx()->heapEnd;
  testing::internal::CaptureStdout();
  EXPECT_EQ(VMalloc(ctx(), initial_), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ctx()->heapSize, initial_);
  EXPECT_EQ(info_.committed, initial_);
  EXPECT_EQ(ctx()->heapEnd, end);
  EXPECT_EQ(stats().freeBlocks, 1u);
  // What still fits is still handed out.
  EXPECT_NE(VMalloc(ctx(), 100), 0u);
  // Requests that cannot be expressed in 32-bit offsets fail without touching the heap.
  info_.reserved = 0;
  EXPECT_EQ(VMalloc(ctx(), 0xFFFFFFFFu), 0u);
  EXPECT_EQ(ctx()->heapSize, initial_);
}

TEST_F(Heap, DamagedTagsAreReportedAndTheBlockLeaked) {
  uint32_t upper = VMalloc(ctx(), 20);
  uint32_t lower = VMalloc(ctx(), 20);   // directly below upper
  uint32_t bottom = VMalloc(ctx(), 20);
  ASSERT_EQ(lower - 8 + block_size(ctx(), lower), upper - 8);
  const HeapStats before = stats();

  // The lower block overruns its bytes into its trailer tag; freeing the block after it finds the damage.
  std::memset(tov::heap_ptr(ctx(), lower), 'z', block_size(ctx(), lower) - 8);
  testing::internal::CaptureStdout();
  VFree(ctx(), upper);
  std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("INTERNAL DYNALLOC ERROR"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Tag Overwrite 1"), std::string::npos) << shown;
  EXPECT_EQ(tag_at(ctx(), upper - 8), "5678");   // leaked, not freed
  EXPECT_FALSE(tov::heap_check(ctx()));

  // The block before a damaged header cannot be freed either.
  std::memcpy(tov::heap_ptr(ctx(), lower + block_size(ctx(), lower) - 12), "5678", 4);   // repair
  ASSERT_TRUE(tov::heap_check(ctx()));
  std::memcpy(tov::heap_ptr(ctx(), lower - 8), "oops", 4);
  testing::internal::CaptureStdout();
  VFree(ctx(), bottom);
  shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("Tag Overwrite 2"), std::string::npos) << shown;
  EXPECT_EQ(tag_at(ctx(), bottom - 8), "5678");
  std::memcpy(tov::heap_ptr(ctx(), lower - 8), "5678", 4);
  HeapStats after = stats();
  EXPECT_EQ(after.freeBlocks, before.freeBlocks);
  EXPECT_EQ(after.usedBlocks, before.usedBlocks);
}

TEST_F(Heap, MergeWithFreeBlockIsUndoneWhenTheOtherSideIsDamaged) {
  // [free][d][c][b][a][end] with c free: freeing b would merge it with c, but a's header is damaged;
  // nothing may change, or c would vanish from the free list while still tagged free.
  uint32_t a = VMalloc(ctx(), 20), b = VMalloc(ctx(), 20), c = VMalloc(ctx(), 20);
  uint32_t d = VMalloc(ctx(), 20);
  VFree(ctx(), c);
  const HeapStats before = stats();
  std::memcpy(tov::heap_ptr(ctx(), a - 8), "oops", 4);
  testing::internal::CaptureStdout();
  VFree(ctx(), b);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Tag Overwrite 2"), std::string::npos);
  std::memcpy(tov::heap_ptr(ctx(), a - 8), "5678", 4);
  HeapStats after = stats();
  EXPECT_EQ(after.freeBlocks, before.freeBlocks);
  EXPECT_EQ(after.freeBytes, before.freeBytes);
  VFree(ctx(), b);
  VFree(ctx(), a);
  VFree(ctx(), d);
  EXPECT_EQ(stats().freeBlocks, 1u);
}

TEST_F(Heap, BadOffsetsAndSecondFreesAreIgnored) {
  uint32_t a = VMalloc(ctx(), 50);
  uint32_t b = VMalloc(ctx(), 50);   // directly below a
  uint32_t c = VMalloc(ctx(), 50);
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
  testing::internal::CaptureStdout();
  VFree(ctx(), a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");   // not a damaged heap: nothing to report
  VFree(ctx(), 1);
  VFree(ctx(), 8);
  VFree(ctx(), ctx()->heapEnd + 64);
  VFree(ctx(), c + 2);
  HeapStats after = stats();
  EXPECT_EQ(after.freeBytes, s.freeBytes);
  EXPECT_EQ(after.freeBlocks, s.freeBlocks);
}

TEST_F(Heap, RandomWorkloadKeepsEveryInvariant) {
  std::mt19937 rng(20240611);
  struct Live {
    uint32_t off, n;
    uint8_t fill;
  };
  std::vector<Live> live;
  for (int step = 0; step < 6000; ++step) {
    bool allocate = live.empty() || rng() % 100 < 55;
    if (allocate) {
      uint32_t n = rng() % 100 < 3 ? rng() % 70000 : rng() % 300;
      uint32_t off = VMalloc(ctx(), n);
      ASSERT_NE(off, 0u) << "step " << step;
      ASSERT_GE(block_size(ctx(), off), n + 12);
      uint8_t fill = static_cast<uint8_t>(rng());
      std::memset(tov::heap_ptr(ctx(), off), fill, n);
      live.push_back({off, n, fill});
    } else {
      size_t i = rng() % live.size();
      const Live& l = live[i];
      const char* p = tov::heap_ptr(ctx(), l.off);
      for (uint32_t k = 0; k < l.n; ++k)
        ASSERT_EQ(static_cast<uint8_t>(p[k]), l.fill) << "block overlapped, step " << step;
      VFree(ctx(), l.off);
      live[i] = live.back();
      live.pop_back();
    }
    HeapStats s{};
    ASSERT_TRUE(tov::heap_check(ctx(), &s)) << "step " << step;
    ASSERT_EQ(s.usedBlocks, live.size());
    ASSERT_EQ(info_.committed, ctx()->heapSize);
  }
  for (const Live& l : live) VFree(ctx(), l.off);
  HeapStats s = stats();
  EXPECT_EQ(s.usedBlocks, 0u);
  EXPECT_EQ(s.freeBlocks, 1u);
  EXPECT_EQ(s.freeBytes, ctx()->heapEnd - 40);
}

}  // namespace
