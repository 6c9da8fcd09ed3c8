// Exception objects and their life: allocation, the caught stack, end of catch, rethrow
// bookkeeping, the halting paths, and real compiler-generated throw and catch in guest
// programs.

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/library_test.h"

namespace {

using AllocateException = void*(size_t);
using FreeException = void(void*);
using BeginCatch = void*(void*);
using EndCatch = void();
using Rethrow = void();
using Throw = void(void*, const void*, void (*)(void*));

// The exception header in front of every thrown object.
constexpr size_t kHeaderSize = 48;
constexpr size_t kDestructorOffset = 8;
constexpr size_t kNextCaughtOffset = 16;
constexpr size_t kRethrownOffset = 40;

std::vector<void*> gDestroyed;
void record_destruction(void* object) { gDestroyed.push_back(object); }

using nk::sim::kExitHalted;
using ::testing::ExitedWithCode;

class Exceptions : public nk::test::LibraryTest {
 protected:
  Exceptions() { gDestroyed.clear(); }

  static uint8_t* header_of(void* object) { return static_cast<uint8_t*>(object) - kHeaderSize; }
  static void set_destructor(void* object, void (*destructor)(void*)) {
    std::memcpy(header_of(object) + kDestructorOffset, &destructor, sizeof destructor);
  }
  void* caught_top() { return *reinterpret_cast<void**>(*lib.find_symbol("gCaughtException")); }
  void* sjlj_head() { return *reinterpret_cast<void**>(*lib.find_symbol("gSjLjHead")); }

  AllocateException* allocate = fn<AllocateException>("__cxa_allocate_exception");
  FreeException* free_exception = fn<FreeException>("__cxa_free_exception");
  BeginCatch* begin_catch = fn<BeginCatch>("__cxa_begin_catch");
  EndCatch* end_catch = fn<EndCatch>("__cxa_end_catch");
};

TEST_F(Exceptions, AllocationGivesAZeroedObjectBehindItsHeader) {
  for (size_t size : {size_t(0), size_t(1), size_t(100)}) {
    uint64_t before = machine.memory().counters().allocations;
    auto* object = static_cast<uint8_t*>(allocate(size));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(machine.memory().counters().allocations, before + 1);
    EXPECT_TRUE(machine.memory().owns(header_of(object)));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(object) % 16, reinterpret_cast<uintptr_t>(header_of(object)) % 16);
    for (size_t i = 0; i < kHeaderSize + (size ? size : 1); ++i)
      ASSERT_EQ(header_of(object)[i], 0) << "size " << size << ", byte " << i;
    free_exception(object);
    EXPECT_FALSE(machine.memory().owns(header_of(object)));
  }
  uint64_t frees = machine.memory().counters().frees;
  free_exception(nullptr);
  EXPECT_EQ(machine.memory().counters().frees, frees);
}

TEST_F(Exceptions, EndCatchFinishesTheNewestCatchFirst) {
  void* a = allocate(8);
  void* b = allocate(8);
  set_destructor(a, record_destruction);
  set_destructor(b, record_destruction);
  EXPECT_EQ(begin_catch(header_of(a)), a);
  EXPECT_EQ(begin_catch(header_of(b)), b);
  EXPECT_EQ(caught_top(), header_of(b));

  end_catch();
  EXPECT_EQ(gDestroyed, std::vector<void*>{b});
  EXPECT_FALSE(machine.memory().owns(header_of(b)));
  EXPECT_EQ(caught_top(), header_of(a));
  EXPECT_TRUE(machine.memory().owns(header_of(a)));

  end_catch();
  EXPECT_EQ(gDestroyed, (std::vector<void*>{b, a}));
  EXPECT_FALSE(machine.memory().owns(header_of(a)));
  EXPECT_EQ(caught_top(), nullptr);

  uint64_t frees = machine.memory().counters().frees;
  end_catch();  // nothing caught: nothing happens
  EXPECT_EQ(machine.memory().counters().frees, frees);
  EXPECT_EQ(gDestroyed.size(), 2u);
}

TEST_F(Exceptions, NullArgumentsAndObjectsWithoutDestructor) {
  EXPECT_EQ(begin_catch(nullptr), nullptr);
  EXPECT_EQ(caught_top(), nullptr);
  void* object = allocate(4);
  begin_catch(header_of(object));
  end_catch();
  EXPECT_TRUE(gDestroyed.empty());
  EXPECT_FALSE(machine.memory().owns(header_of(object)));
}

TEST_F(Exceptions, ARethrownObjectOutlivesItsInnerCatch) {
  void* object = allocate(8);
  set_destructor(object, record_destruction);
  begin_catch(header_of(object));
  header_of(object)[kRethrownOffset] = 1;  // what __cxa_rethrow leaves behind
  end_catch();
  EXPECT_TRUE(gDestroyed.empty());
  EXPECT_TRUE(machine.memory().owns(header_of(object)));
  EXPECT_EQ(caught_top(), nullptr);

  begin_catch(header_of(object));  // the outer handler
  EXPECT_EQ(header_of(object)[kRethrownOffset], 0);
  end_catch();
  EXPECT_EQ(gDestroyed, std::vector<void*>{object});
  EXPECT_FALSE(machine.memory().owns(header_of(object)));
}

// `throw;` caught again inside the handler that holds the object: a second handler of the
// same object, not a second entry on the caught stack.
TEST_F(Exceptions, AnObjectCaughtAgainGainsAHandler) {
  void* below = allocate(8);
  void* object = allocate(8);
  set_destructor(object, record_destruction);
  begin_catch(header_of(below));
  begin_catch(header_of(object));
  EXPECT_EQ(begin_catch(header_of(object)), object);
  EXPECT_EQ(caught_top(), header_of(object));
  EXPECT_EQ(*reinterpret_cast<void**>(header_of(object) + kNextCaughtOffset), header_of(below));

  end_catch();  // the inner handler
  EXPECT_TRUE(gDestroyed.empty());
  EXPECT_EQ(caught_top(), header_of(object));
  end_catch();  // the outer one
  EXPECT_EQ(gDestroyed, std::vector<void*>{object});
  EXPECT_EQ(caught_top(), header_of(below));
  end_catch();
  EXPECT_EQ(caught_top(), nullptr);
}

TEST_F(Exceptions, DeadEndsHalt) {
  EXPECT_EXIT(fn<Rethrow>("__cxa_rethrow")(), ExitedWithCode(kExitHalted), "halted");
  EXPECT_EXIT(fn<Throw>("__cxa_throw")(allocate(8), nullptr, nullptr), ExitedWithCode(kExitHalted),
              "halted");
  EXPECT_EXIT(
      {
        machine.memory().fail_all(true);
        allocate(8);
      },
      ExitedWithCode(kExitHalted), "halted");
  // A size that would wrap around when the header is added.
  EXPECT_EXIT(allocate(SIZE_MAX - 8), ExitedWithCode(kExitHalted), "halted");
}

// Landing pads receive the header's address in 32 bits: a block at or above 4 GiB could
// never reach its catch, so allocating one halts at once.
TEST_F(Exceptions, ABlockAbove4GiBHalts) {
  void* high = mmap(reinterpret_cast<void*>(0x500000000), 4096, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  ASSERT_NE(high, MAP_FAILED);
  // A host allocator that always answers with that page: movabs rax, high; ret.
  void* code = mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  ASSERT_NE(code, MAP_FAILED);
  auto* bytes = static_cast<uint8_t*>(code);
  bytes[0] = 0x48;
  bytes[1] = 0xB8;
  std::memcpy(bytes + 2, &high, 8);
  bytes[10] = 0xC3;
  machine.table().set_raw(nk::sim::Entry::memory_allocate,
                          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code)));
  EXPECT_EXIT(allocate(16), ExitedWithCode(kExitHalted), "halted");
  munmap(code, 4096);
  munmap(high, 4096);
}

// ---- Real throw and catch, compiled by clang for the platform -------------------------

std::vector<std::string> lines(std::initializer_list<const char*> texts) {
  return std::vector<std::string>(texts.begin(), texts.end());
}

TEST_F(Exceptions, GuestThrowThroughFramesRunsEveryDestructorOnce) {
  auto& program = machine.load_program(nk::test::guest_path("exceptions_unwind"));
  uint64_t live = machine.memory().counters().live_blocks;
  EXPECT_EQ(machine.run_main(program), 4);  // Error objects destroyed
  EXPECT_EQ(machine.console().lines(),
            lines({"~level3", "~level2", "~level1.b", "~level1.a", "caught Error 7",
                   "end of catch", "~Error 7", "after catch, Errors destroyed: 1",
                   // through a frame without regions and one with none active
                   "~level3", "caught Error 8", "~Error 8",
                   // 10,001 frames deep, twice
                   "deep throw caught: 10000", "~Error 10000", "frames cleaned up: 10001",
                   "deep throw caught: 10000", "~Error 10000", "frames cleaned up: 10001"}));
  EXPECT_EQ(machine.memory().counters().live_blocks, live);
  EXPECT_EQ(sjlj_head(), nullptr);
  EXPECT_EQ(caught_top(), nullptr);
}

TEST_F(Exceptions, GuestCatchClausesRethrowAndDynamicCast) {
  auto& program = machine.load_program(nk::test::guest_path("exceptions_catch"));
  uint64_t live = machine.memory().counters().live_blocks;
  EXPECT_EQ(machine.run_main(program), 13);
  EXPECT_EQ(machine.console().lines(),
            lines({"Leaf", "Leaf caught as Middle 1", "~Root 1",
                   "Leaf caught as Root 2", "~Root 2",
                   "Root passed Leaf, caught as Root 3", "~Root 3",
                   "catch-all took Other", "~Other 4",
                   "Other clause skipped, Middle took 5", "~Root 5",
                   "clause Other: 10", "~Other 10", "clause Leaf: 11", "~Root 11",
                   "clause Root: 12", "~Root 12", "nothing thrown",
                   "inner catch 20, rethrowing", "outer catch 20, destroyed so far: 0",
                   "~Root 20", "after rethrow, destroyed: 1",
                   "inner caught 31 while outer holds 30", "~Other 31", "outer still holds 30",
                   "~Root 30", "after nested catches, destroyed: 2",
                   "Root* to Leaf*: the Leaf", "Root* to Middle*: the Leaf", "Middle as Leaf: null",
                   "null stays null", "~Root 41", "~Root 40"}));
  EXPECT_EQ(machine.memory().counters().live_blocks, live);
  EXPECT_EQ(sjlj_head(), nullptr);
  EXPECT_EQ(caught_top(), nullptr);
}

// Each program frees every block it allocates, each exactly once (a second free of a block
// counts as a free without a block going).
class GuestRun {
 public:
  GuestRun(nk::sim::Machine& machine, const char* name)
      : machine_(machine), program_(machine.load_program(nk::test::guest_path(name))),
        before_(machine.memory().counters()) {}
  int run() { return machine_.run_main(program_); }
  void expect_balanced() const {
    auto after = machine_.memory().counters();
    EXPECT_EQ(after.live_blocks, before_.live_blocks);
    EXPECT_EQ(after.allocations - before_.allocations, after.frees - before_.frees);
  }

 private:
  nk::sim::Machine& machine_;
  nk::sim::Image& program_;
  nk::sim::HostMemory::Counters before_;
};

TEST_F(Exceptions, GuestCatchesAnObjectAgainInsideItsHandler) {
  GuestRun guest(machine, "exceptions_nested_rethrow");
  EXPECT_EQ(guest.run(), 0);
  EXPECT_EQ(machine.console().lines(),
            lines({"classified NotFound 100", "dispatcher: not found, live 1", "~Error 100",
                   "classified Error 101", "dispatcher: error, live 1", "~Error 101",
                   "dispatcher: unknown, live 0",
                   "inner sees 101, same object: 1", "outer still holds 101", "~Error 101",
                   "after both handlers, live 0",
                   "reporter saw 100", "handler goes on with 100", "~Error 100",
                   "after reporter, live 0",
                   "inner handler passes 100 on", "outermost caught 100, live 1", "~Error 100",
                   "after rethrow out of both, live 0", "destroyed 5, live 0"}));
  guest.expect_balanced();
  EXPECT_EQ(sjlj_head(), nullptr);
  EXPECT_EQ(caught_top(), nullptr);
}

TEST_F(Exceptions, GuestThrowsAfterLongjmpOutOfTryFrames) {
  GuestRun guest(machine, "exceptions_longjmp");
  EXPECT_EQ(guest.run(), 0);
  EXPECT_EQ(machine.console().lines(),
            lines({"enter 1: jumped 1, caught 1", "enter 2: jumped 1, caught 2",
                   "after the jumps caught 3", "sum 6, thrown 3"}));
  guest.expect_balanced();
  EXPECT_EQ(sjlj_head(), nullptr);
}

TEST_F(Exceptions, GuestThrowsFundamentalTypesPointersAndEnums) {
  GuestRun guest(machine, "exceptions_values");
  EXPECT_EQ(guest.run(), 0);
  EXPECT_EQ(machine.console().lines(),
            lines({"int 42", "long passed int, caught 7", "double by reference 5", "char x",
                   "bool 1", "string 'text'", "string passed int, caught 'inner'",
                   "Node* is the node: 1, id 9", "null Node* arrives null: 1",
                   "const Node* is the node: 1", "int* points at 17", "null int* arrives null: 1",
                   "Node* passed int*, caught by catch-all", "Colour 2", "Mode 5",
                   "by value: id 101, live 2", "copies made: 1, live 0"}));
  guest.expect_balanced();
  EXPECT_EQ(caught_top(), nullptr);
}

// There is no std::bad_cast to throw.
TEST_F(Exceptions, GuestFailingDynamicCastToAReferenceHalts) {
  EXPECT_EXIT(run_guest("bad_cast"), ExitedWithCode(kExitHalted), "halted");
  for (const char* name : {"__cxa_bad_cast", "__cxa_bad_typeid", "__cxa_throw_bad_array_new_length",
                           "__cxa_deleted_virtual"})
    EXPECT_EXIT(fn<void()>(name)(), ExitedWithCode(kExitHalted), "halted") << name;
  EXPECT_EXIT(fn<void(void*)>("__cxa_call_unexpected")(nullptr), ExitedWithCode(kExitHalted),
              "halted");
}

TEST_F(Exceptions, GuestUncaughtExceptionHalts) {
  EXPECT_EXIT(run_guest("exceptions_uncaught"), ExitedWithCode(kExitHalted), "halted");
}

TEST_F(Exceptions, GuestThrowFromADestructorDuringUnwindingHalts) {
  EXPECT_EXIT(run_guest("exceptions_destructor_throw"), ExitedWithCode(kExitHalted), "halted");
}

}  // namespace
