// The window record and its life: creation, title, size, publication to the host, the
// host's report, closing and destruction.

#include "window/window.h"

#include <new>
#include <string.h>

#include "host/program_api.h"
#include "window/composite.h"

namespace nk {

OrvaneWindow* gActiveWindow;

namespace {

int32_t at_least_one(int value) { return value < 1 ? 1 : value; }

uint32_t background_word(const OrvaneWindow& window) {
  return uint32_t{window.background[0]} << 16 | uint32_t{window.background[1]} << 8 |
         window.background[2];
}

using PublishFn = uint32_t(uint32_t handle, const char* title, const uint8_t* pixels,
                           int32_t width, int32_t height, int32_t stride, uint32_t background);

}  // namespace

void publishWindow(OrvaneWindow* window) {
  if (window == nullptr || window->handle == 0) return;
  int32_t width = at_least_one(window->width);
  int32_t height = at_least_one(window->height);
  // A stride the host's i32 cannot hold would reach it wrapped: such a frame is not sent.
  uint64_t stride = uint64_t(width) * 4;
  if (stride > uint64_t{INT32_MAX}) {
    window->published = 0;
    return;
  }
  uint8_t* frame = nullptr;
  if (window->image.size != 0 && window->imageWidth > 0 && window->imageHeight > 0) {
    frame = new uint8_t[stride * uint64_t(height)];
    build_composite(frame, width, height, window->image.data, window->imageWidth,
                    window->imageHeight, background_word(*window));
  }
  uint32_t result = call_host_or<PublishFn>(0, HostEntry::window_publish, window->handle,
                                            window->title.chars(), frame, width, height,
                                            int32_t(stride), background_word(*window));
  window->published = result != 0;
  delete[] frame;
}

bool queryWindowInfo(OrvaneWindow* window) {
  if (window == nullptr || window->handle == 0) return false;
  if (call_host_or<int32_t(uint32_t, NkWindowInfo*)>(0, HostEntry::window_query,
                                                      window->handle, &window->info) != 0) {
    window->x = window->info.x;
    window->y = window->info.y;
    if (window->info.flags & kInfoCloseRequested) window->shouldClose = 1;
    return true;
  }
  window->shouldClose = 1;
  return false;
}

void clampMouse(OrvaneWindow* window) {
  int32_t last_column = at_least_one(window->width) - 1;
  int32_t last_row = at_least_one(window->height) - 1;
  if (window->mouseX > last_column) window->mouseX = last_column;
  if (window->mouseX < 0) window->mouseX = 0;
  if (window->mouseY > last_row) window->mouseY = last_row;
  if (window->mouseY < 0) window->mouseY = 0;
}

}  // namespace nk

using nk::gActiveWindow;

OrvaneWindow* createWindow(const char* title, int width, int height) {
  OrvaneWindow* window = new OrvaneWindow;
  window->title = title ? title : "OrvaneWindow";
  window->width = nk::at_least_one(width);
  window->height = nk::at_least_one(height);
  window->mouseX = window->width / 2;
  window->mouseY = window->height / 2;
  window->handle = nk::call_host_or<uint32_t(const char*, int32_t, int32_t)>(
      0, nk::HostEntry::window_create, window->title.chars(), window->width, window->height);
  if (window->handle == 0) {
    delete window;
    return nullptr;
  }
  gActiveWindow = window;
  nk::publishWindow(window);
  nk::queryWindowInfo(window);
  return window;
}

void destroyWindow(OrvaneWindow* window) {
  if (window == nullptr) return;
  if (window == gActiveWindow) gActiveWindow = nullptr;
  if (window->handle != 0)
    nk::call_host<void(uint32_t)>(nk::HostEntry::window_destroy, window->handle);
  delete window;
}

void closeWindow(OrvaneWindow* window) {
  if (window == nullptr) return;
  window->shouldClose = 1;
  if (window->handle != 0)
    nk::call_host<void(uint32_t, int32_t, int32_t, uint32_t, uint32_t)>(
        nk::HostEntry::window_close, window->handle, window->x, window->y, 1u, 1u);
}

bool windowShouldClose(OrvaneWindow* window) {
  if (window == nullptr) return true;
  nk::queryWindowInfo(window);
  return window->shouldClose != 0;
}

char* getWindowTitle(OrvaneWindow* window) {
  uint64_t length = window ? window->title.size : 0;
  char* copy = new char[length + 1];
  if (length != 0) memcpy(copy, window->title.data, length);
  copy[length] = 0;
  return copy;
}

void setWindowTitle(OrvaneWindow* window, const char* title) {
  if (window == nullptr) return;
  window->title = title ? title : "";
  nk::publishWindow(window);
}

void getWindowSize(OrvaneWindow* window, int* width, int* height) {
  if (width) *width = window ? window->width : 0;
  if (height) *height = window ? window->height : 0;
}

void setWindowSize(OrvaneWindow* window, int width, int height) {
  if (window == nullptr) return;
  window->width = nk::at_least_one(width);
  window->height = nk::at_least_one(height);
  nk::clampMouse(window);
  nk::publishWindow(window);
}
