// Allocation operators and the small ABI entry points, called directly and from programs
// built for the platform.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/library_test.h"

namespace {

using nk::sim::Entry;
using Lines = std::vector<std::string>;

class Operators : public nk::test::LibraryTest {
 protected:
  std::vector<nk::sim::HostCall> calls_to(Entry entry) {
    std::vector<nk::sim::HostCall> found;
    for (const auto& call : machine.calls())
      if (call.entry == entry) found.push_back(call);
    return found;
  }
};

TEST_F(Operators, NewAsksMallocAndZeroBecomesOne) {
  for (const char* name : {"_Znwm", "_Znam"}) {
    machine.clear_calls();
    auto allocate = fn<void*(size_t)>(name);
    void* empty = allocate(0);
    void* block = allocate(40);
    EXPECT_NE(empty, nullptr);
    EXPECT_TRUE(machine.memory().owns(block));
    auto requests = calls_to(Entry::memory_allocate);
    ASSERT_EQ(requests.size(), 2u) << name;
    EXPECT_EQ(requests[0].args[0], 1u);
    EXPECT_EQ(requests[1].args[0], 40u);
    fn<void(void*)>("free")(empty);
    fn<void(void*)>("free")(block);
  }
}

TEST_F(Operators, EveryDeleteFormPassesThePointerToFree) {
  void* blocks[4];
  for (void*& block : blocks) block = fn<void*(size_t)>("_Znwm")(24);
  fn<void(void*)>("_ZdlPv")(blocks[0]);
  fn<void(void*)>("_ZdaPv")(blocks[1]);
  fn<void(void*, size_t)>("_ZdlPvm")(blocks[2], 24);
  fn<void(void*, size_t)>("_ZdaPvm")(blocks[3], 999);
  fn<void(void*)>("_ZdlPv")(nullptr);
  auto frees = calls_to(Entry::memory_free);
  ASSERT_EQ(frees.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(frees[i].args[0], reinterpret_cast<uint64_t>(blocks[i]));
  EXPECT_EQ(frees[4].args[0], 0u);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

TEST_F(Operators, NewHaltsWhenMemoryRunsOut) {
  machine.memory().fail_all(true);
  EXPECT_EXIT(fn<void*(size_t)>("_Znwm")(16), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
  machine.memory().fail_all(false);
  machine.table().disable(Entry::memory_allocate);
  EXPECT_EXIT(fn<void*(size_t)>("_Znam")(16), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
}

TEST_F(Operators, TerminateAndPureVirtualHalt) {
  EXPECT_EXIT(fn<void()>("_ZSt9terminatev")(), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
  EXPECT_EXIT(fn<void()>("__cxa_pure_virtual")(), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
  EXPECT_EXIT(run_guest("pure_virtual"), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
}

TEST_F(Operators, GuardsUseBitZeroOfTheFirstByte) {
  auto acquire = fn<int(uint64_t*)>("__cxa_guard_acquire");
  auto release = fn<void(uint64_t*)>("__cxa_guard_release");
  auto abort_guard = fn<void(uint64_t*)>("__cxa_guard_abort");
  uint64_t guard = 0;
  EXPECT_EQ(acquire(&guard), 1);
  abort_guard(&guard);
  EXPECT_EQ(guard, 0u);
  EXPECT_EQ(acquire(&guard), 1);
  release(&guard);
  EXPECT_EQ(guard, 1u);
  EXPECT_EQ(acquire(&guard), 0);
  // Other bits of the guard are not the library's to judge or change.
  uint64_t busy = 0xFFFFFFFFFFFFFF00ull;
  EXPECT_EQ(acquire(&busy), 1);
  release(&busy);
  EXPECT_EQ(busy, 0xFFFFFFFFFFFFFF01ull);
  uint64_t done = 0x0000000000000003ull;
  EXPECT_EQ(acquire(&done), 0);
}

void must_not_run(void*) { std::abort(); }

TEST_F(Operators, AtexitRecordsNothingAndThreadLocalsAreUnsupported) {
  int object = 0;
  EXPECT_EQ(fn<int(void (*)(void*), void*, void*)>("__cxa_atexit")(must_not_run, &object, nullptr), 0);
  EXPECT_EQ(fn<void*()>("_tlv_bootstrap")(), nullptr);
  EXPECT_TRUE(lib.contains(lib.export_address("_ZSt7nothrow")));
  EXPECT_TRUE(machine.calls().empty());
}

TEST_F(Operators, ProgramsWithStaticsAndAllocation) {
  EXPECT_EQ(run_guest("static_guards"), 7);
  EXPECT_EQ(machine.console().lines(),
            (Lines{"counter 101", "counter 102", "counter 103", "constructed 1", "first attempt threw 7",
                   "second attempt 42", "third attempt 42", "attempts 2", "area 36", "sum 6",
                   "empty blocks differ 1", "placed area 9", "destroyed 7"}));
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

}  // namespace
