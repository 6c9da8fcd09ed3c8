/* Shows one known frame (four coloured quadrants, one of them fully transparent, which must
   still show its colour) and waits for the host to ask the window to close. */
#include <nk_console.h>
#include <orvane_window.h>
#include <stdio.h>
#include <string.h>

enum { kWidth = 120, kHeight = 90 };

int main(void) {
  static uint8_t pixels[kWidth * kHeight * 4];
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint8_t *p = pixels + (y * kWidth + x) * 4;
      int right = x >= kWidth / 2, bottom = y >= kHeight / 2;
      p[0] = right ? 250 : 10;
      p[1] = bottom ? 200 : 20;
      p[2] = right == bottom ? 30 : 160;
      p[3] = right && bottom ? 0 : 255;
    }
  OrvaneWindow *window = createWindow("nkhost window test", kWidth, kHeight);
  OrvaneImage image = {kWidth, kHeight, pixels, {0, 0}};
  pushImage(window, &image);
  int frames = 0;
  while (!windowShouldClose(window)) {
    updateWindow(window);
    ++frames;
  }
  char line[64];
  snprintf(line, sizeof line, "closed after %d frames\n", frames);
  nk_lua_write(line, strlen(line));
  destroyWindow(window);
  return 0;
}
