/* A picture from the file store with text written over it, pushed as one frame: the
   path is given in a form the library must normalise first. */
#include <nk_console.h>
#include <orvane_media.h>
#include <orvane_window.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
  int width, height;
  uint8_t *picture = baremetal_load_raw_image("./img/../picture.png", &width, &height);
  uintptr_t font = macos_font_load(NULL, 16);
  OrvaneImage *text = macos_font_render(font, "Hi", 255, 0, 0, 1.0);
  char line[80];
  snprintf(line, sizeof line, "picture %dx%d text %dx%d\n", width, height, text ? text->width : 0,
           text ? text->height : 0);
  nk_lua_write(line, strlen(line));
  if (!picture || !text) return 1;
  for (int y = 0; y < text->height && y < height; ++y)
    for (int x = 0; x < text->width && x < width; ++x) {
      const uint8_t *from = text->pixels + (y * text->width + x) * 4;
      uint8_t *to = picture + (y * width + x) * 4;
      for (int c = 0; c < 3; ++c) to[c] = (uint8_t)((from[c] * from[3] + to[c] * (255 - from[3])) / 255);
    }
  OrvaneWindow *window = createWindow("media", width, height);
  OrvaneImage frame = {width, height, picture, {0, 0}};
  pushImage(window, &frame);
  updateWindow(window);
  destroyWindow(window);
  free(text->pixels);
  free(text);
  macos_font_free(font);
  free(picture);
  return 0;
}
