/* Spends nearly all its time in one function, for the profiler: blend() is the hot spot,
   reached as main -> render -> blend. */
#include <nk_console.h>
#include <stdio.h>
#include <string.h>

#define NOINLINE __attribute__((noinline))

static unsigned pixels[4096];

NOINLINE static unsigned blend(unsigned a, unsigned b, unsigned rounds) {
  for (unsigned i = 0; i < rounds; ++i) a = (a * 1103515245u + b) ^ (a >> 7);
  return a;
}

NOINLINE static unsigned render(unsigned frame) {
  unsigned sum = 0;
  for (unsigned i = 0; i < 4096; ++i) sum += pixels[i] = blend(pixels[i] + i, frame, 64);
  return sum;
}

int main(void) {
  char line[64];
  unsigned sum = 0;
  for (unsigned frame = 0; frame < 1500; ++frame) sum ^= render(frame);
  snprintf(line, sizeof line, "checksum %08x\n", sum);
  nk_lua_write(line, strlen(line));
  return 0;
}
