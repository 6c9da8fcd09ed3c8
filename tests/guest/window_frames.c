/* Publishes a known sequence of frames for the golden-frame test: the bare window, a pushed
   image fitted into it, a new background colour, a smaller window. */
#include <orvane_window.h>

int main(void) {
  OrvaneWindow *window = createWindow("frames", 8, 6);
  /* 4x2 image: every pixel distinct, alpha included, so any misplaced byte shows. */
  uint8_t pixels[4 * 2 * 4];
  for (int i = 0; i < 8; ++i) {
    pixels[i * 4 + 0] = (uint8_t)(10 * i);
    pixels[i * 4 + 1] = (uint8_t)(100 + i);
    pixels[i * 4 + 2] = (uint8_t)(200 - i);
    pixels[i * 4 + 3] = (uint8_t)(i * 30);
  }
  OrvaneImage image = {4, 2, pixels, {0, 0}};
  pushImage(window, &image);
  updateWindow(window); /* already published: no frame */
  clearWindow(window, 1, 2, 3);
  setWindowSize(window, 2, 3);
  updateWindow(window);
  destroyWindow(window);
  return 0;
}
