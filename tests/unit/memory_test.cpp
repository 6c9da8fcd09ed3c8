// malloc, free and realloc hand every request to the host unchanged, and answer neutrally
// when the host has no allocator.

#include <cstdint>
#include <cstring>

#include "support/library_test.h"

namespace {

using nk::sim::Entry;

class Memory : public nk::test::LibraryTest {
 protected:
  void* malloc(size_t size) { return fn<void*(size_t)>("malloc")(size); }
  void free(void* block) { fn<void(void*)>("free")(block); }
  void* realloc(void* block, size_t size) { return fn<void*(void*, size_t)>("realloc")(block, size); }
};

TEST_F(Memory, RequestsReachTheHostUnchanged) {
  void* block = malloc(24);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(machine.memory().owns(block));
  std::memset(block, 0x5A, 24);
  void* grown = realloc(block, 4096);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(grown)[23], 0x5A);
  free(grown);
  free(nullptr);
  malloc(0);

  const auto& calls = machine.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].entry, Entry::memory_allocate);
  EXPECT_EQ(calls[0].args[0], 24u);
  EXPECT_EQ(calls[1].entry, Entry::memory_reallocate);
  EXPECT_EQ(calls[1].args[0], reinterpret_cast<uint64_t>(block));
  EXPECT_EQ(calls[1].args[1], 4096u);
  EXPECT_EQ(calls[2].entry, Entry::memory_free);
  EXPECT_EQ(calls[2].args[0], reinterpret_cast<uint64_t>(grown));
  // null and 0 are passed on too: what they mean is the host's affair.
  EXPECT_EQ(calls[3].entry, Entry::memory_free);
  EXPECT_EQ(calls[3].args[0], 0u);
  EXPECT_EQ(calls[4].entry, Entry::memory_allocate);
  EXPECT_EQ(calls[4].args[0], 0u);
}

TEST_F(Memory, SizesAreSixtyFourBitsWide) {
  machine.memory().fail_all(true);
  EXPECT_EQ(malloc(0x100000010ull), nullptr);
  EXPECT_EQ(realloc(nullptr, 0x200000020ull), nullptr);
  ASSERT_EQ(machine.calls().size(), 2u);
  EXPECT_EQ(machine.calls()[0].args[0], 0x100000010ull);
  EXPECT_EQ(machine.calls()[1].args[1], 0x200000020ull);
}

TEST_F(Memory, MissingHostFieldsAreNeutral) {
  void* block = malloc(16);
  ASSERT_NE(block, nullptr);
  machine.table().disable(Entry::memory_allocate);
  machine.table().disable(Entry::memory_free);
  machine.table().disable(Entry::memory_reallocate);
  machine.clear_calls();
  EXPECT_EQ(malloc(16), nullptr);
  EXPECT_EQ(realloc(block, 32), nullptr);
  EXPECT_EQ(realloc(nullptr, 32), nullptr);
  free(block);
  EXPECT_TRUE(machine.calls().empty());
  EXPECT_EQ(machine.memory().counters().live_blocks, 1u);
}

}  // namespace
