// nkhost's services, called through the host table exactly as the library calls them.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "support/library_test.h"

namespace {

using nk::sim::BootMemoryMap;
using nk::sim::Entry;
using nk::sim::HostCall;
using nk::sim::Machine;

constexpr uint64_t k4GiB = uint64_t(1) << 32;

uint64_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

bool mapped(uint64_t at) {
  return msync(reinterpret_cast<void*>(at & ~uint64_t(4095)), 4096, MS_ASYNC) == 0 || errno != ENOMEM;
}

template <class T>
T peek(uint64_t at) {
  T value;
  std::memcpy(&value, reinterpret_cast<const void*>(at), sizeof value);
  return value;
}

class HostServices : public ::testing::Test {
 protected:
  Machine machine;

  template <class F>
  F* entry(Entry e) {
    uint32_t at = machine.table().raw(e);
    EXPECT_NE(at, 0u) << nk::sim::entry_name(e);
    return reinterpret_cast<F*>(uintptr_t(at));
  }
  void* allocate(uint64_t size) { return entry<void*(uint64_t)>(Entry::memory_allocate)(size); }
  void release(void* p) { entry<void(void*)>(Entry::memory_free)(p); }
  void* reallocate(void* p, uint64_t size) {
    return entry<void*(void*, uint64_t)>(Entry::memory_reallocate)(p, size);
  }
};

TEST_F(HostServices, TheTableIsValidAndEditable) {
  EXPECT_EQ(peek<uint32_t>(0x6800), nk::sim::kTableMagic);
  EXPECT_EQ(peek<uint32_t>(0x6804), 1u);
  EXPECT_EQ(peek<uint32_t>(0x6808), nk::sim::kTableSize);
  for (Entry e : {Entry::memory_allocate, Entry::memory_free, Entry::memory_reallocate,
                  Entry::console_write_line, Entry::console_read_line, Entry::file_stat,
                  Entry::file_write, Entry::file_delete, Entry::window_create,
                  Entry::window_publish, Entry::window_query, Entry::window_close,
                  Entry::window_destroy, Entry::pointer_poll, Entry::display_info,
                  Entry::key_poll, Entry::frame_end}) {
    EXPECT_NE(machine.table().raw(e), 0u) << nk::sim::entry_name(e);
    EXPECT_EQ(peek<uint32_t>(0x6800 + static_cast<uint32_t>(e)), machine.table().raw(e));
  }

  uint32_t own = machine.table().raw(Entry::memory_free);
  machine.table().disable(Entry::memory_free);
  EXPECT_EQ(peek<uint32_t>(0x6850), 0u);
  machine.table().enable(Entry::memory_free);
  EXPECT_EQ(machine.table().raw(Entry::memory_free), own);
  machine.table().set_raw(Entry::window_query, 0x1234);
  EXPECT_EQ(peek<uint32_t>(0x68B4), 0x1234u);
  machine.table().disable_all();
  EXPECT_EQ(machine.table().raw(Entry::console_write_line), 0u);
  machine.table().set_magic(1);
  machine.table().set_version(0);
  machine.table().set_size(12);
  EXPECT_EQ(peek<uint32_t>(0x6800), 1u);
  EXPECT_EQ(peek<uint32_t>(0x6804), 0u);
  EXPECT_EQ(peek<uint32_t>(0x6808), 12u);
}

TEST_F(HostServices, OnlyOneMachineAtATime) { EXPECT_THROW(Machine second, std::logic_error); }

TEST(HostServicesLifetime, TheNextMachineStartsClean) {
  uint64_t extra = 0x5000000;
  {
    Machine first;
    first.table().set_magic(7);
    first.boot_map().set_regions32({{extra, 0x100000}});
    EXPECT_TRUE(mapped(extra));
  }
  EXPECT_FALSE(mapped(0x6000));
  EXPECT_FALSE(mapped(extra));
  Machine second;
  EXPECT_EQ(peek<uint32_t>(0x6800), nk::sim::kTableMagic);
  EXPECT_EQ(peek<uint32_t>(0x608C), 1u);
}

TEST_F(HostServices, MemoryBlocksLieBelow4GiBAndKeepTheirContents) {
  std::vector<void*> blocks;
  for (uint64_t size : {0, 1, 15, 16, 17, 100, 4096, 40000, 3 << 20}) {
    void* p = allocate(size);
    ASSERT_NE(p, nullptr) << size;
    EXPECT_EQ(address(p) % 16, 0u);
    EXPECT_LT(address(p) + size, k4GiB);
    EXPECT_TRUE(machine.memory().owns(p));
    std::memset(p, 0x5A, size);
    blocks.push_back(p);
  }
  std::sort(blocks.begin(), blocks.end());
  EXPECT_EQ(std::adjacent_find(blocks.begin(), blocks.end()), blocks.end()) << "a block was handed out twice";

  auto c = machine.memory().counters();
  EXPECT_EQ(c.allocations, 9u);
  EXPECT_EQ(c.live_blocks, 9u);
  EXPECT_EQ(c.live_bytes, 0 + 1 + 15 + 16 + 17 + 100 + 4096 + 40000 + (3u << 20));

  char* text = static_cast<char*>(reallocate(nullptr, 6));
  std::memcpy(text, "hello", 6);
  for (uint64_t size : {7, 200, 70000, 5 << 20, 3}) {
    text = static_cast<char*>(reallocate(text, size));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, 3), "hel") << size;
  }
  for (void* p : blocks) release(p);
  release(text);
  release(nullptr);
  c = machine.memory().counters();
  EXPECT_EQ(c.allocations, 10u);
  EXPECT_EQ(c.reallocations, 6u);
  EXPECT_EQ(c.frees, 10u);
  EXPECT_EQ(c.live_blocks, 0u);
  EXPECT_EQ(c.live_bytes, 0u);
  EXPECT_GE(c.peak_bytes, (3u << 20) + (5u << 20));
  EXPECT_FALSE(machine.memory().owns(blocks[0]));
}

// Many blocks of mixed sizes, freed and reallocated in random order: no block may overlap
// another, and every block keeps what was written into it.
TEST_F(HostServices, ManyBlocksNeverOverlap) {
  std::mt19937 random(7);
  struct Block {
    uint8_t* p;
    uint64_t size;
    uint8_t fill;
  };
  std::vector<Block> live;
  auto check = [](const Block& b) {
    return std::all_of(b.p, b.p + b.size, [&](uint8_t v) { return v == b.fill; });
  };
  for (int i = 0; i < 30000; ++i) {
    unsigned action = random() % 10;
    if (action < 5 || live.empty()) {
      uint64_t size = random() % 8 == 0 ? random() % 100000 : random() % 300;
      auto* p = static_cast<uint8_t*>(allocate(size));
      ASSERT_NE(p, nullptr);
      auto fill = static_cast<uint8_t>(i);
      std::memset(p, fill, size);
      live.push_back({p, size, fill});
    } else {
      size_t k = random() % live.size();
      ASSERT_TRUE(check(live[k])) << "block overwritten";
      if (action < 8) {
        release(live[k].p);
        live[k] = live.back();
        live.pop_back();
      } else {
        uint64_t size = random() % 2000;
        auto* p = static_cast<uint8_t*>(reallocate(live[k].p, size));
        ASSERT_NE(p, nullptr);
        std::memset(p + std::min(size, live[k].size), live[k].fill, size - std::min(size, live[k].size));
        live[k] = {p, size, live[k].fill};
      }
    }
  }
  for (const auto& b : live) EXPECT_TRUE(check(b));
  EXPECT_EQ(machine.memory().counters().live_blocks, live.size());
}

// Freed slots are kept for reuse: a class that spans several pages takes back every one of
// its blocks, and hands the same addresses out again before it touches a new page.
TEST_F(HostServices, FreedBlocksAreReusedAcrossPages) {
  constexpr size_t kBlocks = 3 * (64 << 10) / 48 + 5;  // a little over three pages of 48-byte slots
  std::vector<void*> first(kBlocks), again(kBlocks);
  for (auto& p : first) ASSERT_NE(p = allocate(40), nullptr);
  for (void* p : first) release(p);
  for (auto& p : again) ASSERT_NE(p = allocate(33), nullptr);
  std::sort(first.begin(), first.end());
  std::sort(again.begin(), again.end());
  EXPECT_EQ(std::adjacent_find(first.begin(), first.end()), first.end());
  EXPECT_EQ(first, again);
  for (void* p : again) release(p);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

// Sizes that keep growing, as a string built by repeated concatenation does: the pages of
// the classes left behind go to the next ones, so the arena does not grow with the number
// of classes passed through (about twenty here, 8 MiB through each size).
TEST_F(HostServices, PagesOfClassesLeftBehindAreReused) {
  uintptr_t lowest = UINTPTR_MAX, highest = 0;
  for (uint64_t size = 600; size <= 30000; size += 600) {
    std::vector<void*> blocks;
    for (uint64_t total = 0; total < (8u << 20); total += size) {
      auto address = reinterpret_cast<uintptr_t>(allocate(size));
      ASSERT_NE(address, 0u) << size;
      lowest = std::min(lowest, address);
      highest = std::max(highest, address + size);
      blocks.push_back(reinterpret_cast<void*>(address));
    }
    for (void* p : blocks) release(p);
  }
  EXPECT_LT(highest - lowest, uintptr_t{32} << 20);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

TEST_F(HostServices, FailureInjection) {
  machine.memory().fail_nth(3);
  void* a = allocate(8);
  void* b = allocate(8);
  EXPECT_EQ(allocate(8), nullptr);
  void* c = allocate(8);
  EXPECT_TRUE(a && b && c);
  machine.memory().fail_all(true);
  EXPECT_EQ(allocate(1), nullptr);
  std::memcpy(a, "kept", 5);
  EXPECT_EQ(reallocate(a, 5000), nullptr);
  EXPECT_STREQ(static_cast<char*>(a), "kept");  // the old block is still valid
  machine.memory().fail_all(false);
  machine.memory().fail_nth(2);
  machine.memory().fail_nth(0);  // cancelled
  EXPECT_NE(allocate(1), nullptr);
  EXPECT_NE(allocate(1), nullptr);
  auto counters = machine.memory().counters();
  EXPECT_EQ(counters.failures, 3u);
  EXPECT_EQ(counters.allocations, 5u);
  EXPECT_EQ(allocate(uint64_t(1) << 40), nullptr);  // more than there is
}

TEST_F(HostServices, BadFreesAreReportedAndIgnored) {
  void* a = allocate(32);
  int on_stack = 0;
  ::testing::internal::CaptureStderr();
  release(&on_stack);
  release(static_cast<char*>(a) + 16);
  release(a);
  release(a);
  EXPECT_EQ(reallocate(&on_stack, 10), nullptr);
  std::string warnings = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 4) << warnings;
  EXPECT_NE(warnings.find("memory_free"), std::string::npos);
  EXPECT_NE(warnings.find("memory_reallocate"), std::string::npos);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
  // Host-side blocks are not the library's to free.
  void* host_block = machine.memory().allocate(64);
  ::testing::internal::CaptureStderr();
  release(host_block);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("ignored"), std::string::npos);
  EXPECT_TRUE(machine.memory().owns(host_block));
  machine.memory().release(host_block);
  EXPECT_FALSE(machine.memory().owns(host_block));
  // The allocator is intact: two fresh blocks are distinct.
  void* x = allocate(32);
  void* y = allocate(32);
  EXPECT_NE(x, y);
}

TEST_F(HostServices, ConsoleLinesAndScriptedInput) {
  auto write = entry<void(const char*)>(Entry::console_write_line);
  // The capacity travels as 32 bits: the high half of a 64-bit value must not matter.
  auto read = entry<int32_t(char*, uint64_t, const char*, uint64_t)>(Entry::console_read_line);
  write("first");
  write("");
  EXPECT_EQ(machine.console().lines(), (std::vector<std::string>{"first", ""}));

  machine.console().script({"plain", "crlf\r\n", "lf\n", "too long for the buffer"});
  char buffer[16];
  const char* prompt = "> ";
  ASSERT_EQ(read(buffer, 16, prompt, 1), 1);
  EXPECT_STREQ(buffer, "plain");
  ASSERT_EQ(read(buffer, 16, prompt, 0), 1);
  EXPECT_STREQ(buffer, "crlf");
  ASSERT_EQ(read(buffer, 16, prompt, 0), 1);
  EXPECT_STREQ(buffer, "lf");
  std::memset(buffer, 'Z', sizeof buffer);
  ASSERT_EQ(read(buffer, (uint64_t(1) << 32) | 5, prompt, 0), 1);
  EXPECT_STREQ(buffer, "too ");
  EXPECT_EQ(buffer[5], 'Z');
  EXPECT_EQ(read(buffer, 16, prompt, 0), 0);  // the script ran out

  const auto& calls = machine.calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].entry, Entry::console_write_line);
  EXPECT_EQ(calls[0].text, "first");
  EXPECT_EQ(calls[2].entry, Entry::console_read_line);
  EXPECT_EQ(calls[2].args[0], address(buffer));
  EXPECT_EQ(calls[2].args[1], 16u);
  EXPECT_EQ(calls[2].args[2], address(prompt));
  EXPECT_EQ(calls[2].args[3], 1u);
  EXPECT_EQ(calls[2].text, "plain");
  EXPECT_EQ(calls[5].args[1], 5u);
  EXPECT_EQ(calls[5].text, "too ");
  machine.console().clear();
  machine.clear_calls();
  EXPECT_TRUE(machine.console().lines().empty());
  EXPECT_TRUE(machine.calls().empty());
}

TEST(HostServicesRecord, RecordingCanBeTurnedOff) {
  Machine quiet(Machine::Options{.record_calls = false});
  auto write = reinterpret_cast<void (*)(const char*)>(uintptr_t(quiet.table().raw(Entry::console_write_line)));
  write("unrecorded");
  EXPECT_TRUE(quiet.calls().empty());
  EXPECT_EQ(quiet.console().lines().size(), 1u);
}

TEST_F(HostServices, BootMemoryMapDefaultsAndRegions) {
  EXPECT_EQ(peek<uint32_t>(0x6088), 0x4000000u);
  EXPECT_EQ(peek<uint32_t>(0x608C), 1u);
  EXPECT_EQ(peek<uint32_t>(0x6090), 0x100000u);
  EXPECT_EQ(peek<uint32_t>(0x6094), 0x3F00000u);
  EXPECT_EQ(peek<uint32_t>(0x6238), 0u);
  // The probe heap's default range is writable.
  *reinterpret_cast<volatile uint64_t*>(0x300000) = 1;
  *reinterpret_cast<volatile uint64_t*>(0x4000000 - 8) = 1;

  auto& map = machine.boot_map();
  map.set_regions32({{0x4000000, 0x200000}, {0x200000, 0x10}}, 20);
  EXPECT_EQ(peek<uint32_t>(0x608C), 20u);
  EXPECT_EQ(peek<uint32_t>(0x6098), 0x200000u);
  EXPECT_EQ(peek<uint32_t>(0x60A0), 0u);  // the rest of the table is cleared
  *reinterpret_cast<volatile uint64_t*>(0x41FFFF8) = 1;

  map.set_regions64({{0x140000000, 0x100000}}, {}, 0x3436484E);
  EXPECT_EQ(peek<uint32_t>(0x6238), 0x3436484Eu);
  EXPECT_EQ(peek<uint32_t>(0x623C), 1u);
  EXPECT_EQ(peek<uint64_t>(0x6240), 0x140000000u);
  EXPECT_EQ(peek<uint64_t>(0x6248), 0x100000u);
  *reinterpret_cast<volatile uint64_t*>(0x140000000) = 1;

  map.set_memory_top(0x4400000);
  EXPECT_EQ(peek<uint32_t>(0x6088), 0x4400000u);
  *reinterpret_cast<volatile uint64_t*>(0x43FFFF8) = 1;

  // A region over memory that is already in use is refused, and the map is unchanged.
  Machine* self = &machine;
  EXPECT_THROW(map.set_regions64({{reinterpret_cast<uintptr_t>(self) & ~uint64_t(4095), 4096}}),
               std::runtime_error);
  EXPECT_EQ(peek<uint64_t>(0x6240), 0x140000000u);
  EXPECT_THROW(map.set_regions32(std::vector<BootMemoryMap::Region>(17, {0x400000, 16})),
               std::invalid_argument);

  map.clear();
  for (uint64_t at = 0x6088; at < 0x6640; at += 4) ASSERT_EQ(peek<uint32_t>(at), 0u) << at;
}

TEST_F(HostServices, FaultsAreReportedAsHaltsOrCrashes) {
  machine.load_library(nk::test::library_path());
  auto& halting = machine.load_program(nk::test::guest_path("loader_abort"));
  EXPECT_EXIT(machine.run_main(halting), ::testing::ExitedWithCode(nk::sim::kExitHalted),
              "nkhost: the program halted: abort was called\n  #0 0x[0-9a-f]+ abort\\+0x[0-9a-f]+ "
              "\\(OrvaneWindow.dylib\\)");
  auto& crashing = machine.load_program(nk::test::guest_path("loader_crash"));
  EXPECT_EXIT(machine.run_main(crashing), ::testing::ExitedWithCode(nk::sim::kExitCrashed),
              "nkhost: the program crashed: invalid memory access writing at address 0x10 "
              "\\(SIGSEGV\\)\n  #0 0x[0-9a-f]+ main\\+0x[0-9a-f]+ \\(guest_loader_crash\\)");
  auto& overflowing = machine.load_program(nk::test::guest_path("loader_overflow"));
  EXPECT_EXIT(machine.run_main(overflowing), ::testing::ExitedWithCode(nk::sim::kExitCrashed),
              "crashed: stack overflow .*\n  #0 0x[0-9a-f]+ deeper\\+0x[0-9a-f]+ "
              "\\(guest_loader_overflow\\)");
}

}  // namespace
