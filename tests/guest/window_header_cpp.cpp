// A C++ program's view of the window interface: the same declarations, C linkage.
#include <orvane_window.h>

extern "C" int main() {
  OrvaneWindow* window = createWindow(nullptr, 0, 0);
  if (window == nullptr) return 1;
  int width = 0, height = 0;
  getWindowSize(window, &width, &height);
  if (width != 1 || height != 1) return 2;
  if (getMouseButtonState(window, 3) || keylastchar != 0) return 3;
  consumeKeyboardState();
  clearWindow(window, 1, 2, 3);
  OrvaneImage* shot = captureWindow(window);
  bool background = shot->pixels[0] == 1 && shot->pixels[1] == 2 && shot->pixels[2] == 3 && shot->pixels[3] == 255;
  delete[] shot->pixels;
  delete shot;
  destroyWindow(window);
  return background ? 0 : 4;
}
