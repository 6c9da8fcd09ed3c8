// Text as pixels: fonts live with the host, which renders; the library hands the program
// a copy of each rendering as an image record.

#include <new>
#include <orvane_media.h>
#include <string.h>

#include "host/program_api.h"
#include "window/host_pixels.h"

namespace {

using FontRender = int32_t(uintptr_t, const char*, int32_t, int32_t, int32_t, int64_t,
                           NkBaremetalProgramImageInfo*);

// Opacity 0.0..1.0 as 0..255, truncated; below 0, and NaN, give 0.
int64_t alpha_byte(double alpha) {
  if (!(alpha >= 0.0)) return 0;
  return int64_t((alpha < 1.0 ? alpha : 1.0) * 255.0);
}

// The byte count of a rendering the program can use as width * height * 4 pixels, or 0.
uint64_t usable_bytes(const NkBaremetalProgramImageInfo& info) {
  if (!info.pixels || info.width == 0 || info.height == 0) return 0;
  // The record's dimensions are 32-bit signed.
  if (info.width > INT32_MAX || info.height > INT32_MAX) return 0;
  uint64_t needed = nk::rgba_bytes(info.width, info.height);
  if (info.size == 0) return needed;
  return info.size < needed ? 0 : info.size;
}

}  // namespace

uintptr_t macos_font_load(const char* font, float size) {
  return nk::call_host_or<uintptr_t(uintptr_t, float)>(0, nk::HostEntry::font_load,
                                                       reinterpret_cast<uintptr_t>(font), size);
}

void macos_font_resize(uintptr_t font, float size) {
  nk::call_host<void(uintptr_t, float)>(nk::HostEntry::font_resize, font, size);
}

void macos_font_free(uintptr_t font) {
  nk::call_host<void(uintptr_t)>(nk::HostEntry::font_free, font);
}

OrvaneImage* macos_font_render(uintptr_t font, const char* text, int red, int green, int blue,
                               double alpha) {
  if (!font || !text) return nullptr;
  FontRender* render = nk::host_entry<FontRender>(nk::HostEntry::font_render);
  if (!render) return nullptr;
  NkBaremetalProgramImageInfo info{};
  if (render(font, text, red, green, blue, alpha_byte(alpha), &info) == 0) return nullptr;
  uint8_t* pixels = nk::host_pixels(info);
  uint64_t bytes = usable_bytes(info);
  if (bytes == 0) {
    if (pixels) nk_program_free(pixels);
    return nullptr;
  }
  auto* image = new OrvaneImage{int32_t(info.width), int32_t(info.height), new uint8_t[bytes], {}};
  memcpy(image->pixels, pixels, bytes);
  nk_program_free(pixels);
  return image;
}
