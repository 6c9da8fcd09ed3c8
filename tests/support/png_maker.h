#pragma once
// Test pictures: PNG files of every colour type and bit depth written with libpng, from
// samples the test knows, the chunk surgery that damaged files need, and PNG files read
// back as 8-bit RGBA.

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace nk::test {

struct PngPicture {
  uint32_t width = 0, height = 0;
  int color_type = PNG_COLOR_TYPE_RGBA;
  int bit_depth = 8;
  bool interlaced = false;
  std::vector<uint16_t> samples;  // row by row, channel by channel, at the bit depth
  std::vector<png_color> palette;
  std::vector<uint8_t> palette_alpha;         // tRNS of a palette picture
  std::vector<uint16_t> transparent_colour;  // tRNS of a grey or RGB picture: 1 or 3 values

  int channels() const {
    switch (color_type) {
      case PNG_COLOR_TYPE_GRAY: case PNG_COLOR_TYPE_PALETTE: return 1;
      case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
      case PNG_COLOR_TYPE_RGB: return 3;
      default: return 4;
    }
  }
};

inline std::vector<uint8_t> encode_png(const PngPicture& picture) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the test picture");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + length);
      },
      nullptr);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bit_depth, picture.color_type,
               picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, picture.palette.data(), int(picture.palette.size()));
  if (!picture.palette_alpha.empty())
    png_set_tRNS(png, info, picture.palette_alpha.data(), int(picture.palette_alpha.size()), nullptr);
  if (!picture.transparent_colour.empty()) {
    png_color_16 colour{};
    colour.gray = picture.transparent_colour[0];
    if (picture.transparent_colour.size() == 3) {
      colour.red = picture.transparent_colour[0];
      colour.green = picture.transparent_colour[1];
      colour.blue = picture.transparent_colour[2];
    }
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info(png, info);
  if (picture.bit_depth < 8) png_set_packing(png);
  // One byte per sample below 8 bits (packed by libpng), two big-endian bytes at 16.
  size_t per_row = size_t(picture.width) * picture.channels();
  size_t sample_bytes = picture.bit_depth == 16 ? 2 : 1;
  std::vector<std::vector<uint8_t>> rows(picture.height, std::vector<uint8_t>(per_row * sample_bytes));
  for (uint32_t y = 0; y < picture.height; ++y)
    for (size_t i = 0; i < per_row; ++i) {
      uint16_t v = picture.samples[y * per_row + i];
      if (sample_bytes == 2) {
        rows[y][2 * i] = uint8_t(v >> 8);
        rows[y][2 * i + 1] = uint8_t(v);
      } else {
        rows[y][i] = uint8_t(v);
      }
    }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Offsets of each chunk's length field, in file order.
inline std::vector<size_t> png_chunks(const std::vector<uint8_t>& file) {
  std::vector<size_t> at;
  for (size_t pos = 8; pos + 12 <= file.size();) {
    uint32_t length = uint32_t(file[pos]) << 24 | file[pos + 1] << 16 | file[pos + 2] << 8 | file[pos + 3];
    at.push_back(pos);
    if (length > file.size() - pos - 12) break;
    pos += 12 + length;
  }
  return at;
}

// Recomputes the CRC of every chunk whose length still fits the file.
inline void fix_png_crcs(std::vector<uint8_t>& file) {
  for (size_t pos : png_chunks(file)) {
    uint32_t length = uint32_t(file[pos]) << 24 | file[pos + 1] << 16 | file[pos + 2] << 8 | file[pos + 3];
    if (length > file.size() - pos - 12) break;
    uint32_t crc = uint32_t(crc32(0, file.data() + pos + 4, length + 4));
    for (int i = 0; i < 4; ++i) file[pos + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
  }
}

// A chunk with its length and CRC.
inline std::vector<uint8_t> png_chunk(const char type[4], const std::vector<uint8_t>& data) {
  std::vector<uint8_t> chunk(12 + data.size());
  uint32_t length = uint32_t(data.size());
  for (int i = 0; i < 4; ++i) chunk[i] = uint8_t(length >> (24 - 8 * i));
  std::copy(type, type + 4, chunk.begin() + 4);
  std::copy(data.begin(), data.end(), chunk.begin() + 8);
  uint32_t crc = uint32_t(crc32(0, chunk.data() + 4, length + 4));
  for (int i = 0; i < 4; ++i) chunk[8 + length + i] = uint8_t(crc >> (24 - 8 * i));
  return chunk;
}

// A PNG file as 8-bit RGBA, row by row; width and height 0 when it cannot be read.
struct DecodedPng {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

// libpng's longjmp out of an error lands here, where no object with a destructor lives.
inline bool read_png_rows(FILE* file, DecodedPng* out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  // Frames may be as wide as a window: past libpng's default limit of a million pixels.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_init_io(png, file);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->width = png_get_image_width(png, info);
  out->height = png_get_image_height(png, info);
  out->rgba.resize(size_t(out->width) * out->height * 4);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < out->height; ++y)
      png_read_row(png, out->rgba.data() + size_t(y) * out->width * 4, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

inline DecodedPng read_png_file(const std::filesystem::path& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return {};
  DecodedPng png;
  bool ok = read_png_rows(file, &png);
  fclose(file);
  return ok ? png : DecodedPng{};
}

}  // namespace nk::test
