#pragma once
// NkBaremetalProgramImageInfo: how decoded or rendered pixels reach the program, as 8-bit
// RGBA rows in a block the program releases with memory_free.

#include <cstdint>

namespace nk::sim {

struct ImageRecord {
  uint64_t pixels;
  uint32_t size;
  uint32_t width;
  uint32_t height;
  uint32_t reserved;
};
static_assert(sizeof(ImageRecord) == 24);

// No image or text result takes more than this: a hostile header or a huge text cannot make
// nkhost allocate without bound.
constexpr uint64_t kMaxImageBytes = uint64_t(256) << 20;

}  // namespace nk::sim
