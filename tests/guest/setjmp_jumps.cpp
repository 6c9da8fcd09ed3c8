// setjmp and longjmp as programs use them: values delivered, 0 delivered as 1, a jump out
// of deep recursion, and the callee-saved registers of the setjmp caller restored.
#include <setjmp.h>

#include "exceptions_log.h"

namespace {

jmp_buf gEnv;

NOINLINE void jump_back(int value) { longjmp(gEnv, value); }

NOINLINE int delivered(int value) {
  int result = setjmp(gEnv);
  if (result == 0) jump_back(value);
  return result;
}

volatile int gDepthReached;

NOINLINE int recurse(int depth) {
  volatile int local = depth;
  gDepthReached = depth;
  if (depth == 200) jump_back(local);
  return recurse(depth + 1) + local;
}

NOINLINE int jump_from_deep(void) {
  volatile int marker = 12345;
  int result = setjmp(gEnv);
  if (result == 0) return recurse(1);
  return marker == 12345 ? result : -1;
}

}  // namespace

// Every callee-saved register gets a known value before setjmp; clobber_and_jump then
// destroys them all before jumping back. 1 when all values came back and the jump
// delivered 7.
extern "C" {
jmp_buf gRegisterEnv;
int registers_survive(void);

__attribute__((used, noinline)) void clobber_and_jump(void) {
  __asm__ volatile("xorl %%ebx, %%ebx\n\txorl %%r12d, %%r12d\n\txorl %%r13d, %%r13d\n\t"
                   "xorl %%r14d, %%r14d\n\txorl %%r15d, %%r15d"
                   ::: "rbx", "r12", "r13", "r14", "r15");
  longjmp(gRegisterEnv, 7);
}
}

__asm__(
    "  .text\n"
    "  .p2align 4\n"
    "_registers_survive:\n"
    "  pushq %rbp\n"
    "  movq %rsp, %rbp\n"
    "  pushq %rbx\n"
    "  pushq %r12\n"
    "  pushq %r13\n"
    "  pushq %r14\n"
    "  pushq %r15\n"
    "  subq $8, %rsp\n"
    "  movabsq $0x1111111111111111, %rbx\n"
    "  movabsq $0x2222222222222222, %r12\n"
    "  movabsq $0x3333333333333333, %r13\n"
    "  movabsq $0x4444444444444444, %r14\n"
    "  movabsq $0x5555555555555555, %r15\n"
    "  leaq _gRegisterEnv(%rip), %rdi\n"
    "  callq _setjmp\n"
    "  testl %eax, %eax\n"
    "  jnz 1f\n"
    "  callq _clobber_and_jump\n"
    "1:\n"
    "  cmpl $7, %eax\n"
    "  jne 2f\n"
    "  xorl %eax, %eax\n"
    "  movabsq $0x1111111111111111, %rcx\n"
    "  cmpq %rcx, %rbx\n"
    "  jne 2f\n"
    "  movabsq $0x2222222222222222, %rcx\n"
    "  cmpq %rcx, %r12\n"
    "  jne 2f\n"
    "  movabsq $0x3333333333333333, %rcx\n"
    "  cmpq %rcx, %r13\n"
    "  jne 2f\n"
    "  movabsq $0x4444444444444444, %rcx\n"
    "  cmpq %rcx, %r14\n"
    "  jne 2f\n"
    "  movabsq $0x5555555555555555, %rcx\n"
    "  cmpq %rcx, %r15\n"
    "  jne 2f\n"
    "  movl $1, %eax\n"
    "2:\n"
    "  addq $8, %rsp\n"
    "  popq %r15\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rbx\n"
    "  popq %rbp\n"
    "  retq\n");

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  say("longjmp 0 delivers %d", delivered(0));
  say("longjmp 42 delivers %d", delivered(42));
  say("longjmp -3 delivers %d", delivered(-3));
  int deep = jump_from_deep();
  say("jump out of depth %d delivers %d", gDepthReached, deep);
  say("registers survive: %d", registers_survive());
  return 0;
}
