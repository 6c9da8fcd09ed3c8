// The SjLj unwinder driven by hand-built function contexts. Their landing pads are a host
// function entered on a stack of its own, which records what the unwinder handed it and
// then either resumes the unwinding (a cleanup) or jumps back into the test (a handler).

#include <csetjmp>
#include <cstdint>
#include <vector>

#include "support/library_test.h"
#include "unit/lsda_builder.h"

namespace {

using namespace nk::test;
using nk::sim::kExitHalted;
using ::testing::ExitedWithCode;

using Register = void(Context*);
using AllocateException = void*(size_t);
using Throw = void(void*, const void*, void (*)(void*));
using BeginCatch = void*(void*);
using EndCatch = void();
using Resume = void(void*);
using Personality = int(int, int, uint64_t, void*, void*);

constexpr size_t kHeaderSize = 48;

// What a landing pad found when the unwinder jumped into it.
struct Landing {
  Context* head;
  int32_t call_site;
  uint32_t header;
  uint32_t selector;
};

// Shared with the landing pad, which runs outside any test frame.
struct LandingState {
  Context** head = nullptr;
  Resume* resume = nullptr;
  Context* cleanup_frames[4] = {};
  Landing landings[8] = {};
  int count = 0;
  sigjmp_buf back_to_test;
} gState;

[[noreturn]] void landing_pad() {
  Context* head = *gState.head;
  if (gState.count < 8)
    gState.landings[gState.count++] = {head, head->call_site, head->resume_data[0], head->resume_data[1]};
  for (Context* frame : gState.cleanup_frames)
    if (frame != nullptr && frame == head)
      gState.resume(reinterpret_cast<void*>(uintptr_t(head->resume_data[0])));
  siglongjmp(gState.back_to_test, 1);
}

std::vector<void*> gDestroyed;
void record_destruction(void* object) { gDestroyed.push_back(object); }

const Descriptor kOther{nullptr, "5Other", nullptr};
const Descriptor kMiddle{nullptr, "6Middle", nullptr};

class Unwinder : public LibraryTest {
 protected:
  Unwinder() : stack_(64 * 1024) {
    gState = {};
    gState.head = reinterpret_cast<Context**>(*lib.find_symbol("gSjLjHead"));
    gState.resume = fn<Resume>("_Unwind_SjLj_Resume");
    gDestroyed.clear();
    leaf_ = Descriptor{reinterpret_cast<const char*>(lib.export_address(
                           "_ZTVN10__cxxabiv120__si_class_type_infoE")) + 16,
                       "4Leaf", &kMiddle};
  }

  // A frame whose landing pad is landing_pad(), entered on the test's spare stack.
  Context frame(const uint8_t* lsda, int32_t call_site) {
    Context context{};
    context.lsda = lsda;
    context.call_site = call_site;
    auto top = reinterpret_cast<uintptr_t>(stack_.data() + stack_.size()) & ~uintptr_t(15);
    context.jbuf[1] = reinterpret_cast<void*>(&landing_pad);
    context.jbuf[2] = reinterpret_cast<void*>(top - 8);  // as if landing_pad had been called
    return context;
  }

  Context* head() { return *gState.head; }

  Register* register_ = fn<Register>("_Unwind_SjLj_Register");
  Register* unregister = fn<Register>("_Unwind_SjLj_Unregister");
  AllocateException* allocate = fn<AllocateException>("__cxa_allocate_exception");
  Throw* throw_ = fn<Throw>("__cxa_throw");
  Arena arena;
  Descriptor leaf_{};

 private:
  std::vector<uint8_t> stack_;
};

TEST_F(Unwinder, RegisterAndUnregisterKeepTheChain) {
  Context a{}, b{}, c{}, stranger{};
  register_(&a);
  register_(&b);
  register_(&c);
  EXPECT_EQ(head(), &c);
  EXPECT_EQ(c.prev, &b);
  EXPECT_EQ(b.prev, &a);
  EXPECT_EQ(a.prev, nullptr);

  unregister(&b);  // from the middle: just that one goes
  EXPECT_EQ(head(), &c);
  EXPECT_EQ(c.prev, &a);
  unregister(&stranger);
  EXPECT_EQ(head(), &c);
  EXPECT_EQ(c.prev, &a);
  unregister(&c);
  EXPECT_EQ(head(), &a);
  unregister(&a);
  EXPECT_EQ(head(), nullptr);
}

// Newest first: a frame with no table, a frame whose call site is inactive, a frame with a
// cleanup, and the frame whose second catch clause takes the thrown type.
TEST_F(Unwinder, CleanupsRunNewestFirstThenTheHandlerIsEntered) {
  TableLayout cleanup;
  cleanup.call_sites = {{9, 0}, {3, 0}};
  TableLayout handler;
  handler.type_encoding = 0x9B;
  handler.call_sites = {{5, 1}};
  handler.actions = action_chain({1, 2});
  handler.types = {&kOther, &kMiddle};

  Context outer = frame(arena.place(handler, 1024), 1);
  Context cleaning = frame(arena.place(cleanup, 2048), 2);
  Context inactive = frame(arena.place(cleanup, 2560), -1);
  Context no_table = frame(nullptr, 1);
  for (Context* c : {&outer, &cleaning, &inactive, &no_table}) register_(c);
  gState.cleanup_frames[0] = &cleaning;

  void* object = allocate(8);
  auto header = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object) - kHeaderSize);
  if (sigsetjmp(gState.back_to_test, 0) == 0) {
    throw_(object, &leaf_, record_destruction);
    FAIL() << "__cxa_throw returned";
  }
  ASSERT_EQ(gState.count, 2);
  const Landing& first = gState.landings[0];
  EXPECT_EQ(first.head, &cleaning);
  EXPECT_EQ(first.call_site, 3);
  EXPECT_EQ(first.header, header);
  EXPECT_EQ(first.selector, 0u);
  const Landing& second = gState.landings[1];
  EXPECT_EQ(second.head, &outer);  // the handler's frame stays registered
  EXPECT_EQ(second.call_site, 5);
  EXPECT_EQ(second.header, header);
  EXPECT_EQ(second.selector, 2u);
  EXPECT_EQ(head(), &outer);
  EXPECT_EQ(outer.prev, nullptr);

  EXPECT_EQ(fn<BeginCatch>("__cxa_begin_catch")(reinterpret_cast<void*>(uintptr_t(header))), object);
  fn<EndCatch>("__cxa_end_catch")();
  EXPECT_EQ(gDestroyed, std::vector<void*>{object});
}

TEST_F(Unwinder, RaiseExceptionSearchesFromTheNewestFrame) {
  TableLayout catch_all;
  catch_all.type_encoding = 0x9B;
  catch_all.call_sites = {{0, 1}, {1, 1}};
  catch_all.actions = action_chain({1});
  catch_all.types = {nullptr};
  Context older = frame(arena.place(catch_all, 1024), 1);
  Context newer = frame(arena.place(catch_all, 2048), 2);
  register_(&older);
  register_(&newer);

  void* object = allocate(8);
  auto* header = static_cast<uint8_t*>(object) - kHeaderSize;
  if (sigsetjmp(gState.back_to_test, 0) == 0) {
    fn<Resume>("_Unwind_SjLj_RaiseException")(header);
    FAIL() << "_Unwind_SjLj_RaiseException returned";
  }
  ASSERT_EQ(gState.count, 1);
  EXPECT_EQ(gState.landings[0].head, &newer);
  EXPECT_EQ(gState.landings[0].call_site, 1);
  EXPECT_EQ(gState.landings[0].selector, 1u);
  EXPECT_EQ(head(), &newer);
}

TEST_F(Unwinder, DeadEndsHalt) {
  TableLayout cleanup;
  cleanup.call_sites = {{3, 0}};
  Context cleaning = frame(arena.place(cleanup, 1024), 1);
  // A handler nowhere: nothing is unwound, the search itself ends in terminate.
  EXPECT_EXIT(
      {
        register_(&cleaning);
        throw_(allocate(8), &leaf_, nullptr);
      },
      ExitedWithCode(kExitHalted), "halted");
  EXPECT_EXIT(throw_(allocate(8), &leaf_, nullptr), ExitedWithCode(kExitHalted), "halted");
  EXPECT_EXIT(fn<Resume>("_Unwind_SjLj_Resume")(allocate(8)), ExitedWithCode(kExitHalted), "halted");
  EXPECT_EXIT(fn<Resume>("_Unwind_SjLj_Resume_or_Rethrow")(allocate(8)), ExitedWithCode(kExitHalted),
              "halted");
  EXPECT_EXIT(fn<Resume>("_Unwind_Resume")(nullptr), ExitedWithCode(kExitHalted), "halted");
  EXPECT_EXIT(fn<Resume>("_Unwind_SjLj_ForcedUnwind")(nullptr), ExitedWithCode(kExitHalted), "halted");
}

TEST_F(Unwinder, PersonalitiesDoNothing) {
  Context untouched = frame(nullptr, 1);
  register_(&untouched);
  for (const char* name : {"__gxx_personality_sj0", "__gxx_personality_v0"})
    EXPECT_EQ(fn<Personality>(name)(1, 1, 0, nullptr, &untouched), 0) << name;
  EXPECT_EQ(head(), &untouched);
  EXPECT_EQ(untouched.call_site, 1);
}

}  // namespace
