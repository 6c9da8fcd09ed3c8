#pragma once
// The frame the host is shown: the pushed image fitted into the window (aspect kept,
// centred, nearest neighbour, no blending) on the background colour.

#include <stdint.h>

namespace nk {

struct Placement {
  int32_t left, top;      // offset of the fitted image in the window
  int32_t width, height;  // fitted size, each at least 1
};

// Where an image_width x image_height image lands in a window_width x window_height window.
Placement fit_image(int32_t window_width, int32_t window_height, int32_t image_width,
                    int32_t image_height);

// Fills frame (window_width * window_height pixels, stride window_width * 4) with the
// composite. background is 0x00RRGGBB.
void build_composite(uint8_t* frame, int32_t window_width, int32_t window_height,
                     const uint8_t* image, int32_t image_width, int32_t image_height,
                     uint32_t background);

}  // namespace nk
