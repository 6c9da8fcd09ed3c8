/* Reads a block after freeing it. Harmless here, but memcheck must report it: the memory
   checks use this program to show that they can fail. */
#include <stdlib.h>

int main(void) {
  volatile char *block = malloc(16);
  block[0] = 1;
  free((void *)block);
  return block[0] - block[0];
}
