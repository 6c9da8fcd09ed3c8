#ifndef ORVANE_SETJMP_H
#define ORVANE_SETJMP_H

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

/* rbx, rbp, r12-r15, stack pointer, return address. Floating-point state is not kept. */
typedef long jmp_buf[8];

__attribute__((__returns_twice__)) int setjmp(jmp_buf env);
__attribute__((__noreturn__)) void longjmp(jmp_buf env, int value); /* value 0 is delivered as 1 */

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
