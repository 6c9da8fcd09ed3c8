#pragma once
// What the window tests share: the window interface of a fresh library, the host's window
// service, and a view of the library's window record.

#include <cstdint>
#include <string>
#include <vector>

#include "support/library_test.h"

namespace nk::test {

struct Window;  // the library's record, read through WindowRecord

// The record's layout as the library keeps it (fields in their specified order).
struct WindowRecord {
  void* title_data;
  uint64_t title_size, title_capacity;
  uint32_t handle;
  int32_t width, height, x, y;
  uint8_t shouldClose, published;
  uint8_t background[3];
  int32_t mouseX, mouseY;
  uint8_t mouseButtons[3];
  void* image_data;
  uint64_t image_size, image_capacity;
  int32_t imageWidth, imageHeight;
  uint8_t info[112];
};

struct Image {
  int32_t width, height;
  uint8_t* pixels;
  void* reserved[2];
};

class WindowTest : public LibraryTest {
 protected:
  sim::WindowService& host = machine.window();

  Window* (*create)(const char*, int, int) = fn<Window*(const char*, int, int)>("createWindow");
  void (*destroy)(Window*) = fn<void(Window*)>("destroyWindow");
  void (*close)(Window*) = fn<void(Window*)>("closeWindow");
  bool (*should_close)(Window*) = fn<bool(Window*)>("windowShouldClose");
  char* (*get_title)(Window*) = fn<char*(Window*)>("getWindowTitle");
  void (*set_title)(Window*, const char*) = fn<void(Window*, const char*)>("setWindowTitle");
  void (*get_size)(Window*, int*, int*) = fn<void(Window*, int*, int*)>("getWindowSize");
  void (*set_size)(Window*, int, int) = fn<void(Window*, int, int)>("setWindowSize");
  void (*push)(Window*, const Image*) = fn<void(Window*, const Image*)>("pushImage");
  void (*update)(Window*) = fn<void(Window*)>("updateWindow");
  void (*clear)(Window*, uint8_t, uint8_t, uint8_t) = fn<void(Window*, uint8_t, uint8_t, uint8_t)>("clearWindow");
  Image* (*capture)(Window*) = fn<Image*(Window*)>("captureWindow");
  void (*mouse_position)(Window*, int*, int*) = fn<void(Window*, int*, int*)>("getMousePosition");
  bool (*mouse_button)(Window*, unsigned) = fn<bool(Window*, unsigned)>("getMouseButtonState");
  void (*lib_free)(void*) = fn<void(void*)>("free");

  static const WindowRecord& record(Window* w) { return *reinterpret_cast<WindowRecord*>(w); }
  Window* active() { return *reinterpret_cast<Window**>(*lib.find_symbol("_ZN2nk13gActiveWindowE")); }

  // The calls made through one entry point, in order.
  std::vector<sim::HostCall> calls_to(sim::Entry entry) const {
    std::vector<sim::HostCall> found;
    for (const auto& call : machine.calls())
      if (call.entry == entry) found.push_back(call);
    return found;
  }
  // The window, pointer, key and frame calls, in order (memory traffic left out).
  std::vector<sim::Entry> window_calls() const {
    std::vector<sim::Entry> found;
    for (const auto& call : machine.calls())
      if (call.entry != sim::Entry::memory_allocate && call.entry != sim::Entry::memory_free &&
          call.entry != sim::Entry::memory_reallocate)
        found.push_back(call.entry);
    return found;
  }
};

// An image whose pixel (x, y) is pixel_at(x, y): every source pixel is told apart.
inline uint32_t pixel_at(int64_t x, int64_t y) {
  return uint32_t(x * 2654435761u + y * 40503u + 7) | 0x01000000u;
}

struct TestImage {
  Image image{};
  std::vector<uint8_t> bytes;
  TestImage(int32_t width, int32_t height) : bytes(size_t(width) * size_t(height) * 4) {
    for (int64_t y = 0; y < height; ++y)
      for (int64_t x = 0; x < width; ++x) {
        uint32_t p = pixel_at(x, y);
        std::memcpy(&bytes[size_t(y * width + x) * 4], &p, 4);
      }
    image = {width, height, bytes.data(), {}};
  }
  const Image* get() const { return &image; }
};

}  // namespace nk::test
