/* A frame for every update that depends only on the input so far: arrows move a cursor,
   letters pick its colour, the left button paints where the mouse is. Used to check that
   a recorded session replays to the same frames. */
#include <orvane_window.h>
#include <string.h>

enum { kWidth = 80, kHeight = 60 };

static uint8_t canvas[kWidth * kHeight * 4];
static uint8_t frame[kWidth * kHeight * 4];

static void fill(uint8_t *pixels, int x, int y, int size, const uint8_t colour[4]) {
  for (int row = y; row < y + size; ++row)
    for (int column = x; column < x + size; ++column)
      if (row >= 0 && row < kHeight && column >= 0 && column < kWidth)
        memcpy(pixels + (row * kWidth + column) * 4, colour, 4);
}

int main(void) {
  OrvaneWindow *window = createWindow("nkhost paint test", kWidth, kHeight);
  static const uint8_t white[4] = {255, 255, 255, 255}, ink[4] = {0, 0, 0, 255};
  uint8_t colour[4] = {200, 0, 0, 255};
  for (int i = 0; i < kWidth * kHeight; ++i) memcpy(canvas + i * 4, white, 4);
  int cx = 10, cy = 10;
  while (!windowShouldClose(window)) {
    updateWindow(window);
    cx += 4 * (keyright - keyleft);
    cy += 4 * (keydown - keyup);
    if (keylastchar >= 'a' && keylastchar <= 'z') {
      colour[1] = (uint8_t)((keylastchar - 'a') * 9);
      colour[2] = (uint8_t)(255 - (keylastchar - 'a') * 9);
    }
    int mx, my;
    getMousePosition(window, &mx, &my);
    if (getMouseButtonState(window, 0)) fill(canvas, mx - 1, my - 1, 3, ink);
    memcpy(frame, canvas, sizeof frame);
    fill(frame, cx, cy, 5, colour);
    OrvaneImage image = {kWidth, kHeight, frame, {0, 0}};
    pushImage(window, &image);
  }
  destroyWindow(window);
  return 0;
}
