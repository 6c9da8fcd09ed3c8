# setjmp and longjmp for programs, and the jump the unwinder takes into a landing pad.
# jmp_buf: rbx, rbp, r12, r13, r14, r15, the caller's stack pointer, the return address.

  .text

  .globl _setjmp
  .p2align 4
_setjmp:
  movq %rbx, 0(%rdi)
  movq %rbp, 8(%rdi)
  movq %r12, 16(%rdi)
  movq %r13, 24(%rdi)
  movq %r14, 32(%rdi)
  movq %r15, 40(%rdi)
  leaq 8(%rsp), %rdx
  movq %rdx, 48(%rdi)
  movq (%rsp), %rdx
  movq %rdx, 56(%rdi)
  xorl %eax, %eax
  ret

# The frames between here and the setjmp caller are abandoned: their registered unwind
# contexts, which lie below the stack pointer being restored, leave the chain with them.
  .globl _longjmp
  .p2align 4
_longjmp:
  movq 48(%rdi), %rdx
  movq _gSjLjHead(%rip), %rcx
2:
  testq %rcx, %rcx
  jz 3f
  cmpq %rdx, %rcx
  jae 3f
  movq (%rcx), %rcx
  jmp 2b
3:
  movq %rcx, _gSjLjHead(%rip)
  movl %esi, %eax
  testl %eax, %eax
  jnz 1f
  movl $1, %eax
1:
  movq 0(%rdi), %rbx
  movq 8(%rdi), %rbp
  movq 16(%rdi), %r12
  movq 24(%rdi), %r13
  movq 32(%rdi), %r14
  movq 40(%rdi), %r15
  movq 48(%rdi), %rsp
  jmpq *56(%rdi)

# Enters a registered frame's landing-pad dispatch: its stack and frame pointers come back,
# everything else the dispatch code reloads from its own frame.
  .globl _norrikboot_sjlj_jump
  .p2align 4
_norrikboot_sjlj_jump:
  movq 64(%rdi), %rsp
  movq 48(%rdi), %rbp
  jmpq *56(%rdi)
