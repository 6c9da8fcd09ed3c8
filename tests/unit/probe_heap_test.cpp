// The probe heap, built from the boot memory map that the machine writes at 0x6088.
// Block headers are read where the heap wrote them.

#include <cstdint>

#include "support/library_test.h"

namespace {

using Region = nk::sim::BootMemoryMap::Region;

struct Header {
  uint64_t size;
  uint64_t next;
  uint8_t is_free;
};

const Header& header_at(uint64_t address) { return *reinterpret_cast<const Header*>(address); }

class ProbeHeap : public nk::test::LibraryTest {
 protected:
  void SetUp() override { machine.boot_map().clear(); }
  uint64_t alloc(uint64_t size) {
    return reinterpret_cast<uint64_t>(fn<void*(uint64_t)>("nk_probe_heap_alloc")(size));
  }
  void reset() { fn<void()>("nk_probe_heap_reset")(); }
  uint64_t free64() { return fn<uint64_t()>("nk_probe_heap_free_bytes64")(); }
  uint64_t total64() { return fn<uint64_t()>("nk_probe_heap_total_bytes64")(); }
  uint32_t free32() { return fn<uint32_t()>("nk_probe_heap_free_bytes")(); }
  uint32_t total32() { return fn<uint32_t()>("nk_probe_heap_total_bytes")(); }
};

TEST_F(ProbeHeap, Region32IsClippedAtThreeMegabytes) {
  machine.boot_map().set_regions32({{0x100000, 0x400000}});
  EXPECT_EQ(alloc(1), 0x300020u);
  const Header& first = header_at(0x300000);
  EXPECT_EQ(first.size, 16u);
  EXPECT_EQ(first.is_free, 0);
  EXPECT_EQ(first.next, 0x300030u);
  EXPECT_EQ(total64(), 0x200000u - 64);
  EXPECT_EQ(free64(), 0x200000u - 64 - 16);
  EXPECT_TRUE(machine.calls().empty()) << "the probe heap never asks the host";
}

TEST_F(ProbeHeap, RegionsAreSortedAndTouchingOrOverlappingOnesMerge) {
  machine.boot_map().set_regions32({{0x400000, 0x100000}, {0x300000, 0x100000}});
  EXPECT_EQ(total64(), 0x200000u - 32);
  EXPECT_EQ(header_at(0x300000).next, 0u);

  // An overlap keeps the larger end; a region inside another adds nothing.
  machine.boot_map().set_regions32({{0x300000, 0x200000}, {0x380000, 0x10000}, {0x480000, 0x100000}});
  reset();
  EXPECT_EQ(total64(), 0x280000u - 32);

  // Separate regions stay separate blocks, linked in address order.
  machine.boot_map().set_regions32({{0x600000, 0x1000}, {0x400000, 0x1000}});
  reset();
  EXPECT_EQ(total64(), 2 * (0x1000u - 32));
  EXPECT_EQ(header_at(0x400000).next, 0x600000u);
  // First fit passes over a block that is too small.
  EXPECT_EQ(alloc(0x1000 - 32 - 16), 0x400020u);
  EXPECT_EQ(alloc(0x100), 0x600020u);
}

TEST_F(ProbeHeap, SixtyFourBitTableWinsOnlyWhenValidAndNotEmpty) {
  machine.boot_map().set_regions32({{0x300000, 0x1000}});
  machine.boot_map().set_regions64({{0x500000, 0x2000}});
  EXPECT_EQ(total64(), 0x2000u - 32);

  machine.boot_map().set_regions64({}, 0);
  reset();
  EXPECT_EQ(total64(), 0x1000u - 32);

  machine.boot_map().set_regions64({{0x500000, 0x2000}}, 1, 0x3436484F);
  reset();
  EXPECT_EQ(total64(), 0x1000u - 32);
}

TEST_F(ProbeHeap, EntriesThatWrapOrEndBelowTheFloorAreSkipped) {
  // The first one's end wraps round to 4 MiB, above the floor.
  machine.boot_map().set_regions64({{0xFFFFFFFFFFF00000ull, 0x500000},
                                    {0x200000, 0x100000},
                                    {0x700000, 0},
                                    {0x500000, 0x1000}});
  EXPECT_EQ(total64(), 0x1000u - 32);
  EXPECT_EQ(header_at(0x500000).next, 0u);
}

TEST_F(ProbeHeap, UnalignedAndTinyRegions) {
  // 8 bytes of alignment gap, and the usable length rounded down to 16.
  machine.boot_map().set_regions32({{0x300008, 0x1000}, {0x500008, 0x28}});
  EXPECT_EQ(total64(), 0xFF0u - 32);
  EXPECT_EQ(alloc(16), 0x300030u);
  // The second region has 32 usable bytes, no room for a block.
  EXPECT_EQ(header_at(0x300010).next, 0x300040u);
  EXPECT_EQ(header_at(0x300040).next, 0u);
}

TEST_F(ProbeHeap, FallbackWhenTheMapOffersNothing) {
  EXPECT_EQ(total64(), 0x3D00000u - 32);

  machine.boot_map().set_memory_top(0x1000008);
  reset();
  EXPECT_EQ(total64(), 0xD00000u - 32);

  // A top that leaves no room for one block counts as none.
  machine.boot_map().set_memory_top(0x300020);
  reset();
  EXPECT_EQ(total64(), 0x3D00000u - 32);
  machine.boot_map().set_memory_top(0x300030);
  reset();
  EXPECT_EQ(total64(), 16u);
}

TEST_F(ProbeHeap, SplitOnlyWhenTheRestHoldsAHeaderAndSixteenBytes) {
  // 48 payload bytes: asking for 16 leaves 32, too little to split.
  machine.boot_map().set_regions32({{0x300000, 0x50}});
  EXPECT_EQ(alloc(1), 0x300020u);
  EXPECT_EQ(header_at(0x300000).size, 48u);
  EXPECT_EQ(free64(), 0u);
  EXPECT_EQ(total64(), 48u);
  EXPECT_EQ(alloc(1), 0u);

  // 64 payload bytes: 48 left over, split into a free block of 16.
  machine.boot_map().set_regions32({{0x300000, 0x60}});
  reset();
  EXPECT_EQ(alloc(1), 0x300020u);
  EXPECT_EQ(free64(), 16u);
  EXPECT_EQ(total64(), 32u);
  EXPECT_EQ(alloc(17), 0u);
  EXPECT_EQ(alloc(16), 0x300050u);
  EXPECT_EQ(free64(), 0u);
}

TEST_F(ProbeHeap, ZeroSizeDoesNotBuildTheHeap) {
  machine.boot_map().set_regions32({{0x300000, 0x1000}});
  EXPECT_EQ(alloc(0), 0u);
  // The map is read at the build, which has not happened yet.
  machine.boot_map().set_regions32({{0x300000, 0x2000}});
  EXPECT_EQ(total64(), 0x2000u - 32);
}

TEST_F(ProbeHeap, ResetForgetsEveryBlock) {
  machine.boot_map().set_regions32({{0x300000, 0x10000}});
  uint64_t first = alloc(100);
  alloc(200);
  EXPECT_LT(free64(), total64());
  reset();
  EXPECT_EQ(free64(), total64());
  EXPECT_EQ(total64(), 0x10000u - 32);
  EXPECT_EQ(alloc(100), first);
}

TEST_F(ProbeHeap, RequestsNearTheTopOfTheRangeGetNothing) {
  machine.boot_map().set_regions32({{0x300000, 0x10000}});
  uint64_t before = free64();
  // Rounding these up to 16 would pass the largest value and wrap to a tiny request.
  EXPECT_EQ(alloc(UINT64_MAX), 0u);
  EXPECT_EQ(alloc(UINT64_MAX - 14), 0u);
  EXPECT_EQ(alloc(UINT64_MAX - 15), 0u);
  EXPECT_EQ(alloc(0x10000), 0u);
  EXPECT_EQ(free64(), before);
  EXPECT_EQ(header_at(0x300000).is_free, 1);
}

TEST_F(ProbeHeap, ThirtyTwoBitCountersSaturate) {
  machine.boot_map().set_regions64({{0x100000000ull, 0x100000040ull}});
  EXPECT_EQ(total64(), 0x100000020ull);
  EXPECT_EQ(total32(), 0xFFFFFFFFu);
  EXPECT_EQ(free32(), 0xFFFFFFFFu);
  alloc(0x40);
  EXPECT_EQ(free64(), 0x100000020ull - 0x40 - 32);
  EXPECT_EQ(free32(), 0xFFFFFFC0u);
  EXPECT_EQ(total32(), 0xFFFFFFFFu);
}

TEST_F(ProbeHeap, AppendRegionIgnoresANullTail) {
  machine.boot_map().set_regions32({{0x300000, 0x1000}});
  auto append = lib.internal_function<void(uint64_t, uint64_t, void**)>("nk_probe_heap_append_region");
  uint64_t total = total64();
  append(0x300000, 0x1000, nullptr);
  EXPECT_EQ(total64(), total);
  EXPECT_EQ(header_at(0x300000).size, 0x1000u - 32);
}

}  // namespace
