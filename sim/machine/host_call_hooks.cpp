#include "sim/machine/host_call_hooks.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <sys/mman.h>

#include "sim/base/address_space.h"

extern "C" void nk_sim_host_call_thunk();
extern "C" void nk_sim_host_call_enter(nk::sim::HostCallFrame* call);
extern "C" void nk_sim_host_call_leave(nk::sim::HostCallFrame* call);

// Entered from a stub with r10 = the entry's table offset and r11 = the service. The frame
// is 64 bytes of copied stack arguments followed by a HostCallFrame; 8 words cover the
// seventh argument of window_publish and font_render with room for more.
asm(R"(
  .text
  .globl nk_sim_host_call_thunk
  .type nk_sim_host_call_thunk, @function
nk_sim_host_call_thunk:
  pushq %rbp
  movq %rsp, %rbp
  subq $304, %rsp
  movq %rdi, 64(%rsp)
  movq %rsi, 72(%rsp)
  movq %rdx, 80(%rsp)
  movq %rcx, 88(%rsp)
  movq %r8, 96(%rsp)
  movq %r9, 104(%rsp)
  movups %xmm0, 112(%rsp)
  movups %xmm1, 128(%rsp)
  movups %xmm2, 144(%rsp)
  movups %xmm3, 160(%rsp)
  movups %xmm4, 176(%rsp)
  movups %xmm5, 192(%rsp)
  movups %xmm6, 208(%rsp)
  movups %xmm7, 224(%rsp)
  movq %r10, 240(%rsp)
  movq %r11, 248(%rsp)
  leaq 8(%rbp), %rax
  movq %rax, 256(%rsp)
  movq (%rbp), %rax
  movq %rax, 264(%rsp)
  movq 16(%rbp), %rax
  movq %rax, 0(%rsp)
  movq 24(%rbp), %rax
  movq %rax, 8(%rsp)
  movq 32(%rbp), %rax
  movq %rax, 16(%rsp)
  movq 40(%rbp), %rax
  movq %rax, 24(%rsp)
  movq 48(%rbp), %rax
  movq %rax, 32(%rsp)
  movq 56(%rbp), %rax
  movq %rax, 40(%rsp)
  movq 64(%rbp), %rax
  movq %rax, 48(%rsp)
  movq 72(%rbp), %rax
  movq %rax, 56(%rsp)
  leaq 64(%rsp), %rdi
  call nk_sim_host_call_enter@PLT
  movq 64(%rsp), %rdi
  movq 72(%rsp), %rsi
  movq 80(%rsp), %rdx
  movq 88(%rsp), %rcx
  movq 96(%rsp), %r8
  movq 104(%rsp), %r9
  movups 112(%rsp), %xmm0
  movups 128(%rsp), %xmm1
  movups 144(%rsp), %xmm2
  movups 160(%rsp), %xmm3
  movups 176(%rsp), %xmm4
  movups 192(%rsp), %xmm5
  movups 208(%rsp), %xmm6
  movups 224(%rsp), %xmm7
  call *248(%rsp)
  movq %rax, 272(%rsp)
  movq %rdx, 280(%rsp)
  movups %xmm0, 288(%rsp)
  leaq 64(%rsp), %rdi
  call nk_sim_host_call_leave@PLT
  movq 272(%rsp), %rax
  movq 280(%rsp), %rdx
  movups 288(%rsp), %xmm0
  leave
  ret
  .size nk_sim_host_call_thunk, .-nk_sim_host_call_thunk
)");

namespace nk::sim {

static_assert(offsetof(HostCallFrame, xmm) == 48 && offsetof(HostCallFrame, entry) == 176 &&
              offsetof(HostCallFrame, target) == 184 && offsetof(HostCallFrame, guest_sp) == 192 &&
              offsetof(HostCallFrame, guest_fp) == 200 && offsetof(HostCallFrame, result) == 208 &&
              offsetof(HostCallFrame, result_high) == 216 &&
              offsetof(HostCallFrame, result_xmm) == 224 && sizeof(HostCallFrame) == 240,
              "the thunk's frame layout");

namespace {

constexpr size_t kStubSize = 32;
constexpr size_t kMaxStubs = 128;
constexpr size_t kMaxObservers = 4;

HostCallObserver g_observers[kMaxObservers];
const HostCallFrame* volatile g_current = nullptr;  // read by the profiler's signal handler

struct Stubs {
  Mapping code = map_anywhere(kMaxStubs * kStubSize, false);
  std::vector<std::pair<uint64_t, uintptr_t>> made;  // (entry, service) of each stub
};

}  // namespace

uint64_t HostCallFrame::integer(unsigned index) const {
  if (index < 6) return gpr[index];
  // Stack arguments sit above the return address, in the guest's frame.
  return reinterpret_cast<const uint64_t*>(guest_sp)[1 + index - 6];
}

float HostCallFrame::single(unsigned index) const {
  float value = 0;
  if (index < 8) std::memcpy(&value, xmm[index], sizeof value);
  return value;
}

void add_host_call_observer(HostCallObserver observer) {
  for (auto& slot : g_observers)
    if (!slot.enter && !slot.leave) {
      slot = observer;
      return;
    }
  throw std::logic_error("nkhost: too many host call observers");
}

void remove_host_call_observer(HostCallObserver observer) {
  for (auto& slot : g_observers)
    if (slot.enter == observer.enter && slot.leave == observer.leave) slot = {};
}

const HostCallFrame* current_host_call() noexcept { return g_current; }

uintptr_t observed_service(Entry entry, uintptr_t service) {
  static Stubs stubs;
  static std::mutex lock;
  std::lock_guard hold(lock);
  auto key = std::make_pair(static_cast<uint64_t>(entry), service);
  auto found = std::find(stubs.made.begin(), stubs.made.end(), key);
  size_t index = static_cast<size_t>(found - stubs.made.begin());
  if (found == stubs.made.end()) {
    if (stubs.made.size() == kMaxStubs) throw std::logic_error("nkhost: too many host services");
    uint8_t* stub = stubs.code.data() + index * kStubSize;
    if (mprotect(stubs.code.data(), stubs.code.size(), PROT_READ | PROT_WRITE) != 0)
      throw std::runtime_error("nkhost: cannot write the host call stubs");
    // mov r10d, entry; movabs r11, service; movabs rax, thunk; jmp rax
    uint32_t offset = static_cast<uint32_t>(entry);
    uintptr_t thunk = reinterpret_cast<uintptr_t>(&nk_sim_host_call_thunk);
    const uint8_t mov_r10d[] = {0x41, 0xBA}, movabs_r11[] = {0x49, 0xBB}, movabs_rax[] = {0x48, 0xB8},
                  jmp_rax[] = {0xFF, 0xE0};
    std::memcpy(stub, mov_r10d, 2);
    std::memcpy(stub + 2, &offset, 4);
    std::memcpy(stub + 6, movabs_r11, 2);
    std::memcpy(stub + 8, &service, 8);
    std::memcpy(stub + 16, movabs_rax, 2);
    std::memcpy(stub + 18, &thunk, 8);
    std::memcpy(stub + 26, jmp_rax, 2);
    if (mprotect(stubs.code.data(), stubs.code.size(), PROT_READ | PROT_EXEC) != 0)
      throw std::runtime_error("nkhost: cannot make the host call stubs executable");
    stubs.made.push_back(key);
  }
  return stubs.code.address() + index * kStubSize;
}

}  // namespace nk::sim

extern "C" void nk_sim_host_call_enter(nk::sim::HostCallFrame* call) {
  using namespace nk::sim;
  g_current = call;
  for (const auto& observer : g_observers)
    if (observer.enter) observer.enter(*call);
}

extern "C" void nk_sim_host_call_leave(nk::sim::HostCallFrame* call) {
  using namespace nk::sim;
  for (const auto& observer : g_observers)
    if (observer.leave) observer.leave(*call);
  g_current = nullptr;
}
