// The host table's validity rule, both on tables of the test's own and through services
// that take their neutral paths when the machine's table says an entry is absent.

#include <cstdint>

#include "support/library_test.h"

namespace {

using nk::sim::Entry;

struct Table {
  uint32_t magic = nk::sim::kTableMagic;
  uint32_t version = 1;
  uint32_t size = 0xB8;
};

class ProgramApi : public nk::test::LibraryTest {
 protected:
  bool ready(const Table& table, uint32_t offset) {
    return lib.internal_function<bool(const void*, uint32_t)>("nk_program_api_field_ready")(&table,
                                                                                            offset);
  }
  void* malloc(size_t size) { return fn<void*(size_t)>("malloc")(size); }
  void free(void* block) { fn<void(void*)>("free")(block); }
  size_t host_calls(Entry entry) {
    size_t n = 0;
    for (const auto& call : machine.calls()) n += call.entry == entry;
    return n;
  }
};

TEST_F(ProgramApi, FieldReadyNeedsMagicVersionAndASizeCoveringTheEntry) {
  Table table;
  EXPECT_TRUE(ready(table, 0x0C));
  EXPECT_TRUE(ready(table, 0xB4));
  EXPECT_FALSE(ready(table, 0xB8));

  table.size = 0x50;
  EXPECT_TRUE(ready(table, 0x4C));
  EXPECT_FALSE(ready(table, 0x50));

  // A size below the header makes everything absent, even offsets it would cover.
  table.size = 8;
  EXPECT_FALSE(ready(table, 0));
  table.size = 12;
  EXPECT_FALSE(ready(table, 0x0C));
  EXPECT_TRUE(ready(table, 8));

  table = Table{};
  table.version = 0;
  EXPECT_FALSE(ready(table, 0x4C));
  table = Table{};
  table.magic = 0x4E4B4150;  // the magic's bytes reversed
  EXPECT_FALSE(ready(table, 0x4C));
}

TEST_F(ProgramApi, FieldReadyDoesNotWrapNearTheTopOfTheOffsetRange) {
  Table table;
  table.size = 0xFFFFFFFF;
  EXPECT_TRUE(ready(table, 0xFFFFFFFB));
  EXPECT_FALSE(ready(table, 0xFFFFFFFC));
  EXPECT_FALSE(ready(table, 0xFFFFFFFF));
}

TEST_F(ProgramApi, SizeOf0x50KeepsAllocateAndDropsFree) {
  machine.table().set_size(0x50);
  void* block = malloc(16);
  ASSERT_NE(block, nullptr);
  free(block);
  EXPECT_EQ(host_calls(Entry::memory_allocate), 1u);
  EXPECT_EQ(host_calls(Entry::memory_free), 0u);
  // The block was never released: the host still holds it.
  EXPECT_EQ(machine.memory().counters().live_blocks, 1u);
}

TEST_F(ProgramApi, InvalidTablesMakeEveryServiceNeutral) {
  auto write = fn<void(const char*, size_t)>("nk_lua_write");
  auto readline = fn<bool(char*, size_t, const char*, bool)>("nk_lua_readline");
  machine.console().script({"line"});
  for (int variant = 0; variant < 3; ++variant) {
    machine.table().set_magic(variant == 0 ? 0 : nk::sim::kTableMagic);
    machine.table().set_version(variant == 1 ? 0 : 1);
    machine.table().set_size(variant == 2 ? 12 : nk::sim::kTableSize);
    SCOPED_TRACE(variant);
    EXPECT_EQ(malloc(16), nullptr);
    free(reinterpret_cast<void*>(0x1234));
    write("x\n", 2);
    char buffer[16];
    EXPECT_FALSE(readline(buffer, sizeof buffer, "", false));
  }
  EXPECT_TRUE(machine.calls().empty());
  EXPECT_TRUE(machine.console().lines().empty());
}

TEST_F(ProgramApi, ZeroEntryIsAbsentAndTheTableIsReadOnEveryCall) {
  machine.table().disable(Entry::memory_allocate);
  EXPECT_EQ(malloc(16), nullptr);
  // The host may fill its table after the library has started.
  machine.table().enable(Entry::memory_allocate);
  void* block = malloc(16);
  EXPECT_NE(block, nullptr);
  free(block);
  EXPECT_EQ(host_calls(Entry::memory_allocate), 1u);
}

}  // namespace
