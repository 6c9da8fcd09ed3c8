/* A window loop as a small game has it: it draws a frame with a square the arrow keys
   move, pushes it, and after each updateWindow reports the keys and the mouse it saw on
   the console, one line per frame: "N: keys K last C mouse X,Y buttons B". It ends when
   the window closes, or after 60 frames, checks captureWindow, and returns the number of
   frames shown. */
#include <nk_console.h>
#include <orvane_window.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kWidth = 32, kHeight = 24, kSquare = 4 };

static void draw(uint8_t *pixels, int square_x) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint8_t *p = pixels + 4 * (y * kWidth + x);
      int inside = x >= square_x && x < square_x + kSquare && y >= 10 && y < 10 + kSquare;
      p[0] = inside ? 255 : 10;
      p[1] = inside ? 255 : 20;
      p[2] = inside ? 255 : (uint8_t)(40 + y);
      p[3] = 255;
    }
}

/* The names of the flags that are set, in the order of the key flag table plus the rest. */
static void flags_text(char *out, size_t size) {
  static const char names[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  unsigned char *table[] = {&key0, &key1, &key2, &key3, &key4, &key5, &key6, &key7, &key8,
                            &key9, &keya, &keyb, &keyc, &keyd, &keye, &keyf, &keyg, &keyh,
                            &keyi, &keyj, &keyk, &keyl, &keym, &keyn, &keyo, &keyp, &keyq,
                            &keyr, &keys, &keyt, &keyu, &keyv, &keyw, &keyx, &keyy, &keyz};
  struct { unsigned char *flag; const char *name; } named[] = {
      {&keyreturn, "return"}, {&keyup, "up"},       {&keydown, "down"},
      {&keyleft, "left"},     {&keyright, "right"}, {&keyminus, "minus"},
      {&keyperiod, "period"}, {&keyback, "back"},   {&keydelete, "delete"},
      {&keyspace, "space"}};
  size_t used = 0;
  out[0] = 0;
  for (int i = 0; i < 36; ++i)
    if (*table[i] && used + 2 < size) {
      out[used++] = names[i];
      out[used] = 0;
    }
  for (size_t i = 0; i < sizeof named / sizeof named[0]; ++i)
    if (*named[i].flag) used += (size_t)snprintf(out + used, size - used, "%s%s", used ? "," : "", named[i].name);
  if (used == 0) snprintf(out, size, "-");
}

int main(void) {
  OrvaneWindow *window = createWindow("loop", 2 * kWidth, 2 * kHeight);
  if (!window) return -1;
  uint8_t *pixels = malloc(kWidth * kHeight * 4);
  OrvaneImage frame = {kWidth, kHeight, pixels, {0, 0}};
  int square_x = 14, frames = 0;
  char keys[128], line[256];
  while (!windowShouldClose(window) && frames < 60) {
    draw(pixels, square_x);
    pushImage(window, &frame);
    updateWindow(window);
    if (keyleft && square_x > 0) --square_x;
    if (keyright && square_x < kWidth - kSquare) ++square_x;
    int mx, my;
    getMousePosition(window, &mx, &my);
    unsigned buttons = 0;
    for (unsigned b = 0; b < 3; ++b) buttons |= (unsigned)getMouseButtonState(window, b) << b;
    flags_text(keys, sizeof keys);
    int n = snprintf(line, sizeof line, "%d: keys %s last %d mouse %d,%d buttons %u\n", frames,
                     keys, keylastchar, mx, my, buttons);
    nk_lua_write(line, (size_t)n);
    ++frames;
  }
  OrvaneImage *shot = captureWindow(window);
  int same = shot && shot->width == kWidth && shot->height == kHeight &&
             memcmp(shot->pixels, pixels, kWidth * kHeight * 4) == 0;
  if (shot) {
    free(shot->pixels);
    free(shot);
  }
  char *title = getWindowTitle(window);
  same = same && strcmp(title, "loop") == 0;
  free(title);
  destroyWindow(window);
  free(pixels);
  return same ? frames : -2;
}
