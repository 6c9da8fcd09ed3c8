// The mouse: the host's pointer record turned into client pixels once per frame.

#include "host/program_api.h"
#include "window/window.h"

namespace nk {
namespace {

struct NkPointerState {
  uint32_t flags;    // bit 0: absX/absY valid; bit 1: deltaX/deltaY valid
  uint32_t buttons;  // bits 0..2
  int32_t absX, absY;
  int32_t deltaX, deltaY;
  uint32_t rangeX, rangeY;  // device value of the last position; 0: already in pixels
};
static_assert(sizeof(NkPointerState) == 32, "host-facing layout");

struct NkDisplayInfo {
  uint32_t frameAddress[2];  // a u64, kept as two words so that the record has no padding
  uint32_t first;
  uint32_t pitch;
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerPixel;
  uint32_t pairs[6];  // three pairs; only each pair's first word is checked
};
static_assert(sizeof(NkDisplayInfo) == 52, "host-facing layout");

constexpr uint32_t kPointerAbsolute = 1u << 0;
constexpr uint32_t kPointerRelative = 1u << 1;

// The client area starts this far right of and below the window position the host reports.
constexpr int32_t kClientLeft = 14;
constexpr int32_t kClientTop = 38;

bool display_usable(const NkDisplayInfo& d) {
  return (d.frameAddress[0] | d.frameAddress[1]) != 0 && d.first != 0 && d.pitch != 0 && d.width != 0 &&
         d.pitch / 4 >= d.width && d.height != 0 && d.bitsPerPixel == 32 && d.pairs[0] != 0 &&
         d.pairs[2] != 0 && d.pairs[4] != 0;
}

// Positions saturate at the ends of int instead of wrapping.
int32_t saturate(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

}  // namespace

int mapPointerCoordinate(int value, unsigned range, int extent) {
  if (extent < 2) return 0;
  if (range == 0) return value < 0 ? 0 : value > extent - 1 ? extent - 1 : value;
  uint64_t limited = value < 0 ? 0 : unsigned(value) > range ? range : unsigned(value);
  return int(uint64_t(extent - 1) * limited / range);
}

void updatePointer(OrvaneWindow* window) {
  NkPointerState pointer = {};
  if (call_host_or<int32_t(NkPointerState*)>(0, HostEntry::pointer_poll, &pointer) == 0) return;
  NkDisplayInfo display = {};
  bool usable = call_host_or<int32_t(NkDisplayInfo*)>(0, HostEntry::display_info, &display) != 0 &&
                display_usable(display);

  if ((pointer.flags & kPointerRelative) && (pointer.deltaX != 0 || pointer.deltaY != 0)) {
    window->mouseX = saturate(int64_t{window->mouseX} + pointer.deltaX);
    window->mouseY = saturate(int64_t{window->mouseY} + pointer.deltaY);
  } else if ((pointer.flags & kPointerAbsolute) && usable) {
    int x = mapPointerCoordinate(pointer.absX, pointer.rangeX, int(display.width));
    int y = mapPointerCoordinate(pointer.absY, pointer.rangeY, int(display.height));
    window->mouseX = saturate(int64_t{x} - window->x - kClientLeft);
    window->mouseY = saturate(int64_t{y} - window->y - kClientTop);
  }
  bool focused = has_input_focus(*window);
  for (int i = 0; i < 3; ++i) window->mouseButtons[i] = focused && (pointer.buttons >> i & 1);
  clampMouse(window);
}

}  // namespace nk

void getMousePosition(OrvaneWindow* window, int* x, int* y) {
  if (x) *x = window ? window->mouseX : -1;
  if (y) *y = window ? window->mouseY : -1;
}

bool getMouseButtonState(OrvaneWindow* window, unsigned button) {
  return window != nullptr && button < 3 && window->mouseButtons[button] != 0;
}
