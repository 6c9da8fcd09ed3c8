/* A window a million and one pixels wide and one high, with an image that fills it: both
   frames must be saved. Pixel x is (x, x >> 8, x >> 16, 255) in its low bytes. */
#include <orvane_window.h>
#include <stdlib.h>

int main(void) {
  enum { kWidth = 1000001 };
  OrvaneWindow *window = createWindow("wide", kWidth, 1);
  uint8_t *pixels = malloc((size_t)kWidth * 4);
  if (!window || !pixels) return 1;
  for (int x = 0; x < kWidth; ++x) {
    pixels[x * 4 + 0] = (uint8_t)x;
    pixels[x * 4 + 1] = (uint8_t)(x >> 8);
    pixels[x * 4 + 2] = (uint8_t)(x >> 16);
    pixels[x * 4 + 3] = 255;
  }
  OrvaneImage image = {kWidth, 1, pixels, {0, 0}};
  pushImage(window, &image);
  updateWindow(window);
  destroyWindow(window);
  free(pixels);
  return 0;
}
