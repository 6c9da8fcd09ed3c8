#ifndef ORVANE_WINDOW_H
#define ORVANE_WINDOW_H
/* The program's window on the host's display, fed with RGBA frames (orvane_image.h), with
   the keyboard (orvane_keys.h) and the mouse. Every function accepts a null window and
   then does nothing or gives the neutral result stated beside it.

   A program's loop:
     OrvaneWindow *w = createWindow("Demo", 640, 480);
     while (!windowShouldClose(w)) { draw; pushImage(w, &frame); updateWindow(w); }
     destroyWindow(w);                                                                  */
#include <stdbool.h> /* __extension__ below: bool (_Bool) also in C89 */

#include <orvane_image.h>
#include <orvane_keys.h>
#include <orvane_pointer.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

typedef struct OrvaneWindow OrvaneWindow; /* opaque */

/* A window of width x height client pixels (each at least 1); null title means
   "OrvaneWindow". Null when the host made no window. The new window receives the keys.
   It is shown at once, with the background colour alone until the first pushImage. */
OrvaneWindow *createWindow(const char *title, int width, int height);
void destroyWindow(OrvaneWindow *window);
/* Marks the window closing and tells the host; it stays alive until destroyWindow. */
void closeWindow(OrvaneWindow *window);
/* True once the window is closing (closeWindow, the host's close button, Esc, Ctrl-C,
   Ctrl-D, or a host that lost the window); true for null. */
__extension__ bool windowShouldClose(OrvaneWindow *window);
/* A fresh copy of the title; release it with free. */
char *getWindowTitle(OrvaneWindow *window);
void setWindowTitle(OrvaneWindow *window, const char *title);
/* Null window: 0 and 0. Either out pointer may be null. */
void getWindowSize(OrvaneWindow *window, int *width, int *height);
void setWindowSize(OrvaneWindow *window, int width, int height);

/* Copies the image into the window and shows it at once: fitted to the window with its
   aspect kept, centred, nearest neighbour, on the background colour. Images with no
   pixels or a size below 1 are ignored. */
void pushImage(OrvaneWindow *window, const OrvaneImage *image);
/* Once per frame: reads the host's window state, the mouse and the keys, shows the window
   again if the last attempt failed, and ends the frame. The host decides how long a frame
   lasts (nkhost: 60 a second on the desktop, --fps); there is no clock to pace by. */
void updateWindow(OrvaneWindow *window);
/* Colour of the area the image does not cover (246, 246, 246 at first). */
void clearWindow(OrvaneWindow *window, uint8_t red, uint8_t green, uint8_t blue);
/* A copy of the last pushed image at its own size, or a window-size image of the
   background colour; release pixels and record with free. Null for a null window. */
OrvaneImage *captureWindow(OrvaneWindow *window);

/* Mouse position in client pixels, inside the client area; -1, -1 for a null window.
   clientToImage (orvane_pointer.h) gives the image pixel under it. */
void getMousePosition(OrvaneWindow *window, int *x, int *y);
/* Buttons 0, 1 and 2 as the host numbers them; false without input focus and for
   other numbers. */
__extension__ bool getMouseButtonState(OrvaneWindow *window, unsigned button);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
