/* Crashes three calls deep inside the program, in the library's memset: the report must
   name the library frame and each of the program's frames. Each caller uses its callee's
   result afterwards, so that no call becomes a jump that leaves no frame. */
#include <string.h>

#define NOINLINE __attribute__((noinline))

char *volatile target = (char *)0x40;
volatile int frames;

NOINLINE int draw_sprite(char *pixels, int size) {
  memset(pixels, 0xFF, (size_t)size);
  return pixels[size - 1];
}

NOINLINE int update(int frame) {
  int drawn = draw_sprite(target, 16 + frame);
  frames = frame + 1;
  return drawn;
}

int main(void) { return update(frames) == 0 ? 0 : 1; }
