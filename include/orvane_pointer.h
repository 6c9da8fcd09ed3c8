#ifndef ORVANE_POINTER_H
#define ORVANE_POINTER_H
/* Which pixel of the pushed image lies under a position in the window. pushImage shows
   the image fitted to the window (aspect kept, centred, nearest neighbour), so client
   pixels (getMousePosition) are not image pixels; clientToImage undoes that fit with the
   window's own arithmetic. It is plain arithmetic in this header, not a library call.

     int mx, my, ww, wh, ix, iy;
     getMousePosition(w, &mx, &my);
     getWindowSize(w, &ww, &wh);
     if (clientToImage(mx, my, ww, wh, frame.width, frame.height, &ix, &iy)) paint(ix, iy); */
#include <stdbool.h> /* __extension__ below: bool (_Bool) also in C89 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The image pixel shown at client position (x, y) of a window_width x window_height
   window that shows an image_width x image_height image. True when the position is over
   the image; otherwise false, with the image pixel shown nearest to it (on the image's
   edge).
   A size below 1 (no window, no image) gives false and -1, -1. Either out pointer may be
   null. */
__extension__ static __inline__ bool clientToImage(int x, int y, int window_width,
                                                   int window_height, int image_width,
                                                   int image_height, int *image_x,
                                                   int *image_y) {
  int64_t fitted_width = window_width, fitted_height;
  int32_t left, top;
  int64_t column = 0, row = 0;
  bool over = false;
  if (window_width >= 1 && window_height >= 1 && image_width >= 1 && image_height >= 1) {
    /* The fit of pushImage: the full width, unless that makes the image too tall. */
    fitted_height = (int64_t)window_width * image_height / image_width;
    if (fitted_height < 1) fitted_height = 1;
    if (fitted_height > window_height) {
      fitted_width = (int64_t)window_height * image_width / image_height;
      if (fitted_width < 1) fitted_width = 1;
      fitted_height = window_height;
    }
    left = (int32_t)((window_width - fitted_width) / 2);
    top = (int32_t)((window_height - fitted_height) / 2);
    column = (int64_t)x - left;
    row = (int64_t)y - top;
    over = column >= 0 && column < fitted_width && row >= 0 && row < fitted_height;
    column = column < 0 ? 0 : column >= fitted_width ? fitted_width - 1 : column;
    row = row < 0 ? 0 : row >= fitted_height ? fitted_height - 1 : row;
    /* Nearest neighbour, as the composite picks its source pixels. */
    column = column * image_width / fitted_width;
    row = row * image_height / fitted_height;
    if (column > image_width - 1) column = image_width - 1;
    if (row > image_height - 1) row = image_height - 1;
  } else {
    column = row = -1;
  }
  if (image_x) *image_x = (int)column;
  if (image_y) *image_y = (int)row;
  return over;
}

#ifdef __cplusplus
}
#endif
#endif
