// Frames: pushing an image, the per-frame update, the background colour and capture.

#include <new>
#include <string.h>

#include "host/program_api.h"
#include "window/window.h"

void pushImage(OrvaneWindow* window, const OrvaneImage* image) {
  if (window == nullptr || image == nullptr || image->pixels == nullptr || image->width <= 0 ||
      image->height <= 0)
    return;
  uint64_t bytes = uint64_t(image->width) * uint64_t(image->height) * 4;
  window->image.assign(image->pixels, image->pixels + bytes);
  window->imageWidth = image->width;
  window->imageHeight = image->height;
  nk::publishWindow(window);
}

void updateWindow(OrvaneWindow* window) {
  if (window == nullptr) return;
  nk::queryWindowInfo(window);
  nk::updatePointer(window);
  updateKeyboardState();
  if (!window->published) nk::publishWindow(window);
  nk::call_host<void()>(nk::HostEntry::frame_end);
}

void clearWindow(OrvaneWindow* window, uint8_t red, uint8_t green, uint8_t blue) {
  if (window == nullptr) return;
  window->background[0] = red;
  window->background[1] = green;
  window->background[2] = blue;
  nk::publishWindow(window);
}

OrvaneImage* captureWindow(OrvaneWindow* window) {
  if (window == nullptr) return nullptr;
  OrvaneImage* capture = new OrvaneImage;
  capture->width = window->imageWidth > 0 ? window->imageWidth : window->width;
  capture->height = window->imageHeight > 0 ? window->imageHeight : window->height;
  uint64_t pixels = uint64_t(capture->width) * uint64_t(capture->height);
  capture->pixels = new uint8_t[pixels * 4];
  if (window->image.size != 0 && window->imageWidth == capture->width &&
      window->imageHeight == capture->height) {
    memcpy(capture->pixels, window->image.data, pixels * 4);
  } else {
    for (uint64_t i = 0; i < pixels; ++i) {
      uint8_t* p = capture->pixels + 4 * i;
      p[0] = window->background[0];
      p[1] = window->background[1];
      p[2] = window->background[2];
      p[3] = 255;
    }
  }
  capture->reserved[0] = nullptr;
  capture->reserved[1] = nullptr;
  return capture;
}
