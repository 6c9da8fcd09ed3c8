#pragma once
// Pixels the host decodes or renders: the record it returns them in, and the calls that
// fetch and release them.

#include <stdint.h>

// Filled by png_decode_file and font_render; the library zeroes it before the first call.
struct NkBaremetalProgramImageInfo {
  uint64_t pixels;  // host allocation, released through memory_free
  uint32_t size;    // pixel bytes; for rendered text 0 means width * height * 4
  uint32_t width;
  uint32_t height;
  uint32_t reserved;
};

extern "C" {
// Non-zero when the host decoded the file; 0 without a call when it cannot decode.
int nk_program_png_decode_file(const char* path, NkBaremetalProgramImageInfo* info);
// Returns a host buffer to the host; without memory_free it stays allocated.
void nk_program_free(void* pixels);
}

namespace nk {

// The bytes a host result must cover for its users, who read width * height * 4; 0 when
// that does not fit in 64 bits.
inline uint64_t rgba_bytes(uint32_t width, uint32_t height) {
  uint64_t bytes;
  return __builtin_mul_overflow(uint64_t{width} * height, 4u, &bytes) ? 0 : bytes;
}

inline uint8_t* host_pixels(const NkBaremetalProgramImageInfo& info) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(info.pixels));
}

}  // namespace nk
