/* A window that moves: a ball bounces across a scrolling sky, the arrow keys move the
   square, holding the left mouse button pulls the ball to the pointer, a letter key
   recolours the square, and Esc (or the window's close button) ends the program.

   Live, on a desktop:
     build/nkhost run build/examples/bin/window_demo --window sdl
   Headless, from a script, saving every frame as a PNG file:
     build/nkhost run build/examples/bin/window_demo --input examples/window_demo.input \
       --frames demo-frames                                                          */
#include <nk_console.h>
#include <orvane_window.h>
#include <stdio.h>
#include <string.h>

/* The picture is drawn at half the window's size; the window scales it up. */
enum { kWidth = 320, kHeight = 200, kScale = 2, kBall = 6, kSquare = 12 };

static uint8_t pixels[kWidth * kHeight * 4];

static void put(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  uint8_t *p = pixels + (y * kWidth + x) * 4;
  p[0] = r;
  p[1] = g;
  p[2] = b;
  p[3] = 255;
}

static void box(int x, int y, int size, uint8_t r, uint8_t g, uint8_t b) {
  for (int row = 0; row < size; ++row)
    for (int column = 0; column < size; ++column) put(x + column, y + row, r, g, b);
}

static void sky(int frame) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      int stripe = ((x + frame) / 16 + y / 16) & 1;
      put(x, y, (uint8_t)(40 + y / 4), (uint8_t)(90 + y / 3), (uint8_t)(stripe ? 220 : 200));
    }
}

static int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

int main(void) {
  OrvaneWindow *window = createWindow("OrvaneWindow demo", kWidth * kScale, kHeight * kScale);
  OrvaneImage image = {kWidth, kHeight, pixels, {0, 0}};
  int ball_x = 40, ball_y = 30, ball_dx = 3, ball_dy = 2;
  int square_x = kWidth / 2, square_y = kHeight / 2;
  uint8_t square_red = 250, square_green = 200;
  int frame = 0;
  while (!windowShouldClose(window)) {
    updateWindow(window);
    square_x = clamp(square_x + 6 * (keyright - keyleft), 0, kWidth - kSquare);
    square_y = clamp(square_y + 6 * (keydown - keyup), 0, kHeight - kSquare);
    if (keylastchar >= 'a' && keylastchar <= 'z') {
      square_red = (uint8_t)(255 - (keylastchar - 'a') * 8);
      square_green = (uint8_t)((keylastchar - 'a') * 9);
    }
    /* The pointer in picture pixels: the window shows the picture fitted to its size. */
    int client_x, client_y, window_width, window_height, mouse_x, mouse_y;
    getMousePosition(window, &client_x, &client_y);
    getWindowSize(window, &window_width, &window_height);
    clientToImage(client_x, client_y, window_width, window_height, kWidth, kHeight, &mouse_x, &mouse_y);
    if (getMouseButtonState(window, 0)) {
      ball_x += (mouse_x - ball_x) / 4;
      ball_y += (mouse_y - ball_y) / 4;
    } else {
      ball_x += ball_dx;
      ball_y += ball_dy;
      if (ball_x < 0 || ball_x > kWidth - kBall) ball_dx = -ball_dx;
      if (ball_y < 0 || ball_y > kHeight - kBall) ball_dy = -ball_dy;
    }
    ball_x = clamp(ball_x, 0, kWidth - kBall);
    ball_y = clamp(ball_y, 0, kHeight - kBall);

    sky(frame++);
    box(square_x, square_y, kSquare, square_red, square_green, 40);
    box(ball_x, ball_y, kBall, 255, 255, 255);
    for (int d = -3; d <= 3; ++d) { /* the pointer */
      put(mouse_x + d, mouse_y, 0, 0, 0);
      put(mouse_x, mouse_y + d, 0, 0, 0);
    }
    pushImage(window, &image);
  }
  char line[64];
  snprintf(line, sizeof line, "bye after %d frames\n", frame);
  nk_lua_write(line, strlen(line));
  destroyWindow(window);
  return 0;
}
