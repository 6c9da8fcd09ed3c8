/* A picture and text in a window: the program loads sunset.png from its file store, renders
   a caption and a frame counter with the host's fonts, and draws both over the picture
   each frame while the caption drifts. Esc or the window's close button ends it.

   Live, on a desktop:
     build/nkhost run build/examples/bin/picture_text --files examples/media --window sdl
   Headless, saving every frame as a PNG file:
     build/nkhost run build/examples/bin/picture_text --files examples/media \
       --frames picture-frames --exit-after-frames 60                              */
#include <nk_console.h>
#include <orvane_media.h>
#include <orvane_window.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kWidth = 480, kHeight = 320 };

static uint8_t pixels[kWidth * kHeight * 4];

/* The picture stretched over the whole frame, nearest neighbour. */
static void draw_picture(const uint8_t *picture, int width, int height) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      memcpy(pixels + (y * kWidth + x) * 4,
             picture + ((y * height / kHeight) * width + x * width / kWidth) * 4, 4);
}

/* Rendered text carries its coverage in alpha: blend it over the frame at x, y. */
static void draw_text(const OrvaneImage *text, int x, int y) {
  for (int row = 0; row < text->height; ++row)
    for (int column = 0; column < text->width; ++column) {
      int fx = x + column, fy = y + row;
      if (fx < 0 || fy < 0 || fx >= kWidth || fy >= kHeight) continue;
      const uint8_t *from = text->pixels + (row * text->width + column) * 4;
      uint8_t *to = pixels + (fy * kWidth + fx) * 4;
      for (int c = 0; c < 3; ++c) to[c] = (uint8_t)((from[c] * from[3] + to[c] * (255 - from[3])) / 255);
    }
}

static void release(OrvaneImage *image) {
  if (!image) return;
  free(image->pixels);
  free(image);
}

int main(void) {
  int width, height;
  uint8_t *picture = baremetal_load_raw_image("sunset.png", &width, &height);
  uintptr_t title_font = macos_font_load(NULL, 40);
  uintptr_t small_font = macos_font_load("DejaVu Sans Mono", 16);
  if (!picture || !title_font || !small_font) {
    nk_lua_write("picture_text: sunset.png or the fonts are missing (run with --files examples/media)\n", 83);
    return 1;
  }
  OrvaneImage *caption = macos_font_render(title_font, "Hello, NorrikBoot!", 255, 255, 255, 1.0);
  OrvaneImage *shadow = macos_font_render(title_font, "Hello, NorrikBoot!", 0, 0, 0, 0.6);
  OrvaneWindow *window = createWindow("Picture and text", kWidth, kHeight);
  OrvaneImage frame = {kWidth, kHeight, pixels, {0, 0}};
  int count = 0;
  while (!windowShouldClose(window)) {
    draw_picture(picture, width, height);
    int x = 20 + (count * 2) % (kWidth - 40), y = 40;
    if (shadow) draw_text(shadow, x + 2, y + 2);
    if (caption) draw_text(caption, x, y);
    char line[48];
    snprintf(line, sizeof line, "frame %d", ++count);
    OrvaneImage *counter = macos_font_render(small_font, line, 255, 240, 120, 1.0);
    if (counter) draw_text(counter, 10, kHeight - counter->height - 8);
    release(counter);
    pushImage(window, &frame);
    updateWindow(window);
  }
  destroyWindow(window);
  release(caption);
  release(shadow);
  macos_font_free(title_font);
  macos_font_free(small_font);
  free(picture);
  return 0;
}
