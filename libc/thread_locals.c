/* Thread-local variables (__thread, _Thread_local). A Mach-O program reaches each one
   through a descriptor {thunk, key, offset} in __thread_vars: the code calls the thunk
   with the descriptor and takes the variable's address from it. dyld points every thunk
   at a function that finds the calling thread's copy; here the thunk is bound to the
   library's _tlv_bootstrap, which gives no address. The platform runs one thread, so the
   program's template (__thread_data, then __thread_bss: the linker makes offsets relative
   to the first of them) is that thread's copy, and each descriptor can hold its
   variable's address itself. */
#include <stdint.h>

struct descriptor {
  void *(*thunk)(struct descriptor *);
  uintptr_t key;
  uintptr_t offset;  /* from the template's start; the address once bound */
};

extern struct descriptor vars_start[] __asm("section$start$__DATA$__thread_vars");
extern struct descriptor vars_end[] __asm("section$end$__DATA$__thread_vars");
extern char data_start[] __asm("section$start$__DATA$__thread_data");
extern char data_end[] __asm("section$end$__DATA$__thread_data");
extern char bss_start[] __asm("section$start$__DATA$__thread_bss");

/* The compiler expects a thunk to change no register but rax (as dyld's does): so it is
   written in assembly. */
void *nk_thread_local_address(struct descriptor *variable);
__asm__(".text\n"
        ".p2align 4\n"
        ".private_extern _nk_thread_local_address\n"
        "_nk_thread_local_address:\n"
        "  movq 16(%rdi), %rax\n"
        "  retq\n");

void nk_bind_thread_locals(void) {
  uintptr_t template = (uintptr_t)data_end != (uintptr_t)data_start ? (uintptr_t)data_start
                                                                    : (uintptr_t)bss_start;
  for (struct descriptor *variable = vars_start; variable < vars_end; ++variable) {
    variable->offset += template;
    variable->thunk = nk_thread_local_address;
  }
}
