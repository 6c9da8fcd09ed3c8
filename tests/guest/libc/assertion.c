/* A failed assertion: its message, then abort, which halts at once (nothing more is
   flushed or stored). */
#include <assert.h>
#include <stdio.h>

int main(void) {
  printf("before the assertion\n");
  FILE *file = fopen("kept.txt", "w");
  fputs("never stored", file);
  assert(1 + 1 == 3);
  return 0;
}
