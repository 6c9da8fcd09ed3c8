/* Returns from main with two registers changed that the calling convention makes it keep,
   as a hand-written routine that forgets to restore them would. */
int main(void) {
  __asm__ volatile("movq $0x5eed, %%rbx\n\tmovq $0x5eed, %%r12" ::: "memory");
  return 0;
}
