// PNG files as pixels: the host decodes, the library hands the program a copy. The touch
// bar and image saving do not exist here and do nothing.

#include <new>
#include <orvane_media.h>
#include <string.h>

#include "host/program_api.h"
#include "window/host_pixels.h"

namespace {

bool is_dot_dot(const char* text, size_t length) {
  return length == 2 && text[0] == '.' && text[1] == '.';
}

// Resolves ".", ".." and repeated "/" in a path, lexically. The result is at most one
// byte longer than the path ("" becomes "."); release it with delete[].
char* normalise_path(const char* path) {
  size_t length = strlen(path);
  bool absolute = length > 0 && path[0] == '/';
  char* out = new char[length + 2];
  // Components are kept from out + start, joined with "/".
  size_t start = absolute ? 1 : 0;
  size_t end = start;
  size_t kept = 0;
  for (size_t i = 0; i <= length;) {
    size_t j = i;
    while (j < length && path[j] != '/') ++j;
    const char* part = path + i;
    size_t size = j - i;
    i = j + 1;
    if (size == 0 || (size == 1 && part[0] == '.')) continue;
    if (is_dot_dot(part, size)) {
      size_t last = end;
      while (last > start && out[last - 1] != '/') --last;
      if (kept > 0 && !is_dot_dot(out + last, end - last)) {
        end = last > start ? last - 1 : start;
        --kept;
        continue;
      }
      if (absolute) continue;
    }
    if (kept++ > 0) out[end++] = '/';
    memcpy(out + end, part, size);
    end += size;
  }
  if (absolute) out[0] = '/';
  else if (kept == 0) out[end++] = '.';
  out[end] = 0;
  return out;
}

}  // namespace

int nk_program_png_decode_file(const char* path, NkBaremetalProgramImageInfo* info) {
  return nk::call_host_or<int32_t(const char*, NkBaremetalProgramImageInfo*)>(
      0, nk::HostEntry::png_decode_file, path, info);
}

void nk_program_free(void* pixels) {
  nk::call_host<void(void*)>(nk::HostEntry::memory_free, pixels);
}

uint8_t* baremetal_load_raw_image(const char* path, int* width, int* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  // Without a decoder no call could succeed; the normal form (and its memory) is not needed.
  if (!path || !nk::host_entry<void()>(nk::HostEntry::png_decode_file)) return nullptr;
  char* normal = normalise_path(path);
  NkBaremetalProgramImageInfo info{};
  int decoded = nk_program_png_decode_file(normal, &info);
  if (!decoded && strcmp(normal, path) != 0) decoded = nk_program_png_decode_file(path, &info);
  delete[] normal;
  if (!decoded) return nullptr;
  uint8_t* pixels = nk::host_pixels(info);
  // Users of the result read width * height * 4 bytes: a shorter result is no image.
  uint64_t needed = nk::rgba_bytes(info.width, info.height);
  if (!pixels || info.size == 0 || needed == 0 || info.size < needed) {
    if (pixels) nk_program_free(pixels);
    return nullptr;
  }
  auto* copy = new uint8_t[info.size];
  memcpy(copy, pixels, info.size);
  nk_program_free(pixels);
  if (width) *width = int(info.width);
  if (height) *height = int(info.height);
  return copy;
}

bool baremetal_save_raw_image(const char*, const uint8_t*, int, int) { return false; }

void setTouchBarButtonText(int, const char*) {}

void setTouchBarButtonImage(int, const OrvaneImage*) {}

int getTouchBarButtonState(int) { return 0; }

void clearTouchBar() {}
