#include "sim/services/png.h"

#include <png.h>

#include <cstring>

#include "sim/base/printable.h"
#include "sim/services/files.h"
#include "sim/services/memory.h"

namespace nk::sim {
namespace {

// Wider or taller images are refused before anything is decompressed.
constexpr uint32_t kMaxSide = 1 << 16;
// libpng's own allocations for ancillary chunks (text, colour profiles): a compressed chunk
// that inflates beyond this is an error, not a bomb.
constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;

struct ErrorText {
  char text[160];
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

// Benign problems libpng works around (an unknown sRGB profile, ...) are not worth a line.
void on_warning(png_structp, png_const_charp) {}

// Sets up the transformations that turn any colour type and bit depth into 8-bit RGBA.
void request_rgba(png_structp png, png_infop info) {
  int type = png_get_color_type(png, info);
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (transparency) png_set_tRNS_to_alpha(png);
  if (png_get_bit_depth(png, info) == 16) png_set_scale_16(png);
  if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  if (!(type & PNG_COLOR_MASK_ALPHA) && !transparency) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
}

// Every libpng error longjmps back into this function, so nothing in it may need a
// destructor; pixels is volatile because it changes after setjmp.
uint8_t* read_rgba(png_structp png, png_infop info, HostMemory& memory, ErrorText& error) {
  uint8_t* volatile pixels = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    if (pixels) memory.service_free(pixels);
    return nullptr;
  }
  png_read_info(png, info);
  uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (uint64_t(width) * height * 4 > kMaxImageBytes) {
    snprintf(error.text, sizeof error.text, "an image of %ux%u pixels is too large (more than %llu MiB)",
             width, height, static_cast<unsigned long long>(kMaxImageBytes >> 20));
    return nullptr;
  }
  request_rgba(png, info);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  size_t stride = size_t(width) * 4;
  if (png_get_rowbytes(png, info) != stride) png_error(png, "unexpected pixel layout after conversion");
  pixels = static_cast<uint8_t*>(memory.allocate_for_program(stride * height));
  if (!pixels) {
    snprintf(error.text, sizeof error.text, "no host memory for %ux%u pixels", width, height);
    return nullptr;
  }
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < height; ++y) png_read_row(png, pixels + y * stride, nullptr);
  png_read_end(png, nullptr);  // the rest of the file: its checksums and the end chunk
  return pixels;
}

}  // namespace

bool decode_png(FILE* file, HostMemory& memory, ImageRecord& record, std::string& why) {
  ErrorText error{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, on_error, on_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    why = "libpng could not start";
    return false;
  }
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, 256);
  // A damaged chunk of any kind makes the file unusable, rather than silently dropped.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_init_io(png, file);
  uint8_t* pixels = read_rgba(png, info, memory, error);
  if (pixels) {
    record.width = png_get_image_width(png, info);
    record.height = png_get_image_height(png, info);
    record.size = record.width * record.height * 4;
    record.pixels = reinterpret_cast<uintptr_t>(pixels);
  } else {
    why = error.text[0] ? error.text : "not a PNG image";
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return pixels != nullptr;
}

int32_t png_decode_file(FileStore& files, HostMemory& memory, const char* name, void* record) {
  if (!record) {
    fprintf(stderr, "nkhost: png_decode_file(%s): no record for the result\n", quoted(name).c_str());
    return 0;
  }
  auto file = files.open_for_reading(name, "png_decode_file");
  if (!file) return 0;
  FILE* stream = fdopen(file->release(), "rb");
  if (!stream) return 0;
  ImageRecord result{};
  std::string why;
  bool ok = decode_png(stream, memory, result, why);
  fclose(stream);
  if (!ok) {
    fprintf(stderr, "nkhost: png_decode_file(%s): %s; no image\n", quoted(name).c_str(), why.c_str());
    return 0;
  }
  std::memcpy(record, &result, 20);  // the reserved word is the library's
  return 1;
}

}  // namespace nk::sim
