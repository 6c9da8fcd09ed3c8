#include "sim/machine/guest_call.h"

#include <cstddef>

namespace nk::sim {
namespace {

// What the callee must give back as it found it (the status flags of mxcsr excepted).
struct KeptRegisters {
  uint64_t rbx, rbp, r12, r13, r14, r15, rsp;
  uint32_t mxcsr;
  uint16_t x87_control;
};

}  // namespace
}  // namespace nk::sim

// The shim's own state lives in memory, not in registers the callee could clobber.
extern "C" {
__attribute__((visibility("hidden"))) uint64_t nk_guest_call_stack;
__attribute__((visibility("hidden"))) nk::sim::KeptRegisters* nk_guest_call_before;
__attribute__((visibility("hidden"))) nk::sim::KeptRegisters* nk_guest_call_after;
__attribute__((visibility("hidden"))) uint64_t nk_guest_call(uint64_t function, const uint64_t* args,
                                                            nk::sim::KeptRegisters* before,
                                                            nk::sim::KeptRegisters* after);
}

static_assert(offsetof(nk::sim::KeptRegisters, rsp) == 48 &&
              offsetof(nk::sim::KeptRegisters, mxcsr) == 56 &&
              offsetof(nk::sim::KeptRegisters, x87_control) == 60);

// rdi: function, rsi: five arguments, rdx: before, rcx: after.
asm(R"(
  .text
  .p2align 4
  .type nk_guest_call, @function
nk_guest_call:
  pushq %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  subq $8, %rsp
  movq %rsp, nk_guest_call_stack(%rip)
  movq %rdx, nk_guest_call_before(%rip)
  movq %rcx, nk_guest_call_after(%rip)
  movq %rbx, 0(%rdx)
  movq %rbp, 8(%rdx)
  movq %r12, 16(%rdx)
  movq %r13, 24(%rdx)
  movq %r14, 32(%rdx)
  movq %r15, 40(%rdx)
  movq %rsp, 48(%rdx)
  stmxcsr 56(%rdx)
  fnstcw 60(%rdx)
  movq %rdi, %rax
  movq %rsi, %r11
  movq 0(%r11), %rdi
  movq 8(%r11), %rsi
  movq 16(%r11), %rdx
  movq 24(%r11), %rcx
  movq 32(%r11), %r8
  callq *%rax
  movq nk_guest_call_after(%rip), %r11
  movq %rbx, 0(%r11)
  movq %rbp, 8(%r11)
  movq %r12, 16(%r11)
  movq %r13, 24(%r11)
  movq %r14, 32(%r11)
  movq %r15, 40(%r11)
  movq %rsp, 48(%r11)
  stmxcsr 56(%r11)
  fnstcw 60(%r11)
  movq nk_guest_call_stack(%rip), %rsp
  movq nk_guest_call_before(%rip), %r11
  ldmxcsr 56(%r11)
  fldcw 60(%r11)
  cld
  addq $8, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  retq
  .size nk_guest_call, .-nk_guest_call
)");

namespace nk::sim {

uint64_t call_guest(uint64_t function, std::initializer_list<uint64_t> args, const std::string& what) {
  uint64_t words[5] = {};
  size_t n = 0;
  for (uint64_t a : args)
    if (n < 5) words[n++] = a;
  KeptRegisters before{}, after{};
  uint64_t result = nk_guest_call(function, words, &before, &after);
  constexpr uint32_t kMxcsrFlags = 0x3F;  // exception flags: the callee may leave them set
  std::string changed;
  auto check = [&](const char* name, uint64_t a, uint64_t b) {
    if (a != b) changed += (changed.empty() ? "" : ", ") + std::string(name);
  };
  check("rbx", before.rbx, after.rbx);
  check("rbp", before.rbp, after.rbp);
  check("r12", before.r12, after.r12);
  check("r13", before.r13, after.r13);
  check("r14", before.r14, after.r14);
  check("r15", before.r15, after.r15);
  check("rsp", before.rsp, after.rsp);
  check("mxcsr", before.mxcsr & ~kMxcsrFlags, after.mxcsr & ~kMxcsrFlags);
  check("the x87 control word", before.x87_control, after.x87_control);
  if (!changed.empty())
    throw ConventionBroken(what + " returned without restoring " + changed +
                           ", which the calling convention requires it to keep");
  return result;
}

}  // namespace nk::sim
