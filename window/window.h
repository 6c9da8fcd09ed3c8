#pragma once
// The window record and the window layer's internal operations.

#include <orvane_window.h>
#include <stdint.h>

#include "containers/string.h"
#include "containers/vector.h"

// The host's report on a window, filled by window_query. The library reads only flags, x
// and y, and keeps the rest between calls.
struct NkWindowInfo {
  uint8_t host_head[36];
  uint32_t flags;  // bit 0: close requested; focus: bit 1 set and bit 2 clear
  int32_t x;
  int32_t y;
  uint8_t host_tail[64];
};
static_assert(sizeof(NkWindowInfo) == 112, "the host writes 112 bytes");

struct OrvaneWindow {
  nk::string title;
  uint32_t handle = 0;
  int32_t width = 1;
  int32_t height = 1;
  int32_t x = 0;
  int32_t y = 0;
  uint8_t shouldClose = 0;
  uint8_t published = 0;
  uint8_t background[3] = {246, 246, 246};
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  uint8_t mouseButtons[3] = {};
  nk::vector<uint8_t> image;
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  NkWindowInfo info = {};
};

namespace nk {

constexpr uint32_t kInfoCloseRequested = 1u << 0;
constexpr uint32_t kInfoFocused = 1u << 1;
constexpr uint32_t kInfoFocusBlocked = 1u << 2;

inline bool has_input_focus(const OrvaneWindow& window) {
  return (window.info.flags & (kInfoFocused | kInfoFocusBlocked)) == kInfoFocused;
}

// The window that receives keys: the last one created, until it is destroyed.
extern OrvaneWindow* gActiveWindow;

void publishWindow(OrvaneWindow* window);
bool queryWindowInfo(OrvaneWindow* window);
void clampMouse(OrvaneWindow* window);
// The pointer step of updateWindow: reads the host's pointer into the window's mouse.
void updatePointer(OrvaneWindow* window);
void resetKeyState();
void setLetterKey(char c);
int mapPointerCoordinate(int value, unsigned range, int extent);

}  // namespace nk
