// The composite frame. Products of rows and columns with image sizes are taken in 64 bits
// so that no size an i32 can hold overflows; where the 32-bit rule does not overflow, the
// results are the same. Row and column sources are worked out once per row and once per
// column, and a fitted image at its own size is copied a whole row at a time.

#include "window/composite.h"

#include <new>
#include <string.h>

namespace nk {
namespace {

// Nearest-neighbour source of destination index i when `fitted` destination pixels show
// `source` ones.
int64_t source_index(int64_t i, int32_t source, int32_t fitted) {
  int64_t s = i * source / fitted;
  return s < source - 1 ? s : source - 1;
}

uint32_t load_pixel(const uint8_t* p) {
  uint32_t v;
  __builtin_memcpy(&v, p, 4);
  return v;
}

void store_pixel(uint8_t* p, uint32_t v) { __builtin_memcpy(p, &v, 4); }

void fill_pixels(uint8_t* row, int64_t count, uint32_t pixel) {
  for (int64_t i = 0; i < count; ++i) store_pixel(row + 4 * i, pixel);
}

// Copies whole bytes; the library's own memcpy is a byte loop, this one moves words.
void copy_bytes(uint8_t* dst, const uint8_t* src, uint64_t n) {
  uint64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    __builtin_memcpy(&v, src + i, 8);
    __builtin_memcpy(dst + i, &v, 8);
  }
  for (; i < n; ++i) dst[i] = src[i];
}

}  // namespace

Placement fit_image(int32_t window_width, int32_t window_height, int32_t image_width,
                    int32_t image_height) {
  int64_t width = window_width;
  int64_t height = int64_t{window_width} * image_height / image_width;
  if (height < 1) height = 1;
  if (height > window_height) {
    width = int64_t{window_height} * image_width / image_height;
    if (width < 1) width = 1;
    height = window_height;
  }
  Placement p;
  p.width = int32_t(width);
  p.height = int32_t(height);
  p.left = (window_width - p.width) / 2;
  p.top = (window_height - p.height) / 2;
  return p;
}

void build_composite(uint8_t* frame, int32_t window_width, int32_t window_height,
                     const uint8_t* image, int32_t image_width, int32_t image_height,
                     uint32_t background) {
  // Memory order red, green, blue, alpha, as one little-endian word.
  uint32_t fill = (background >> 16 & 0xFF) | (background & 0xFF00) | (background & 0xFF) << 16 |
                  0xFF000000u;
  Placement p = fit_image(window_width, window_height, image_width, image_height);
  uint64_t stride = uint64_t(window_width) * 4;
  uint64_t source_stride = uint64_t(image_width) * 4;
  uint64_t fitted_bytes = uint64_t(p.width) * 4;

  fill_pixels(frame, int64_t{p.top} * window_width, fill);
  int32_t below = p.top + p.height;
  fill_pixels(frame + below * stride, int64_t{window_height - below} * window_width, fill);

  bool same_width = p.width == image_width;
  // A whole-number reduction picks every step-th column: no table to read.
  uint32_t step = image_width % p.width == 0 ? uint32_t(image_width / p.width) : 0;
  uint32_t* columns = nullptr;
  if (!same_width && step == 0) {
    columns = new uint32_t[p.width];
    for (int32_t c = 0; c < p.width; ++c)
      columns[c] = uint32_t(source_index(c, image_width, p.width));
  }
  const uint8_t* previous_source = nullptr;
  uint8_t* previous_row = nullptr;
  int32_t right = window_width - p.left - p.width;
  for (int32_t r = 0; r < p.height; ++r) {
    uint8_t* row = frame + (uint64_t(p.top) + r) * stride;
    fill_pixels(row, p.left, fill);
    fill_pixels(row + uint64_t(p.left + p.width) * 4, right, fill);
    uint8_t* out = row + uint64_t(p.left) * 4;
    const uint8_t* source = image + uint64_t(source_index(r, image_height, p.height)) * source_stride;
    if (source == previous_source) {
      copy_bytes(out, previous_row, fitted_bytes);  // a row that scaling repeats
    } else if (same_width) {
      copy_bytes(out, source, fitted_bytes);
    } else if (step != 0) {
      for (int32_t c = 0; c < p.width; ++c)
        store_pixel(out + 4 * uint64_t(c), load_pixel(source + 4 * (uint64_t(c) * step)));
    } else {
      for (int32_t c = 0; c < p.width; ++c)
        store_pixel(out + 4 * uint64_t(c), load_pixel(source + 4 * uint64_t(columns[c])));
    }
    previous_source = source;
    previous_row = out;
  }
  delete[] columns;
}

}  // namespace nk
