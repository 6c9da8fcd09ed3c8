// Saved frames, written with libpng one row at a time, so that a background-only frame needs
// one row of memory whatever the window's size.

#include "sim/services/window/frame_files.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace nk::sim {
namespace fs = std::filesystem;
namespace {

void on_png_error(png_structp png, png_const_charp message) {
  auto* reason = static_cast<std::string*>(png_get_error_ptr(png));
  *reason = message;
  png_longjmp(png, 1);
}
void on_png_warning(png_structp, png_const_charp) {}

// Rows come from row(i). No C++ object with a destructor lives in this frame, so libpng's
// longjmp out of an error leaves nothing behind. Returns false with the reason set.
template <class Row>
bool encode(FILE* file, uint32_t width, uint32_t height, Row row, std::string& reason) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason, on_png_error, on_png_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // Frames are written while the program runs: favour speed over size. The "up" filter
  // alone costs a third of libpng's adaptive choice for about a sixth more bytes on
  // programs' pictures (bench/frame_files_bench).
  png_set_compression_level(png, 1);
  png_set_filter(png, 0, PNG_FILTER_UP);
  // A window's sides may reach 2^31 - 1, as PNG's do; libpng's default stops at a million.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < height; ++y) png_write_row(png, row(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

template <class Row>
void write_png(const fs::path& path, uint32_t width, uint32_t height, Row row) {
  if (width == 0 || height == 0)
    throw FrameFileError(path.string() + ": a frame of " + std::to_string(width) + "x" +
                         std::to_string(height) + " pixels cannot be saved");
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) throw FrameFileError(path.string() + ": " + strerror(errno));
  std::string reason = "write error";
  bool ok = encode(file, width, height, row, reason);
  if (fflush(file) != 0 || ferror(file)) {
    if (ok) reason = strerror(errno);
    ok = false;
  }
  fclose(file);
  if (!ok) {
    std::error_code ignored;
    fs::remove(path, ignored);
    throw FrameFileError(path.string() + ": " + reason);
  }
}

}  // namespace

void write_rgba_png(const fs::path& path, const uint8_t* pixels, uint32_t width,
                    uint32_t height, size_t stride) {
  write_png(path, width, height, [&](uint32_t y) { return pixels + y * stride; });
}

FrameFiles::FrameFiles(fs::path directory) : directory_(std::move(directory)) {
  std::error_code error;
  fs::create_directories(directory_, error);
  if (!fs::is_directory(directory_, error))
    throw FrameFileError(directory_.string() + ": not a directory that frames can be saved in");
  static const std::regex frame_name("frame-[0-9]{6,}\\.png");
  for (const auto& entry : fs::directory_iterator(directory_, error)) {
    if (entry.is_regular_file(error) && std::regex_match(entry.path().filename().string(), frame_name))
      fs::remove(entry.path(), error);
    if (error) throw FrameFileError(entry.path().string() + ": " + error.message());
  }
  if (error) throw FrameFileError(directory_.string() + ": " + error.message());
}

fs::path FrameFiles::name(uint64_t number) {
  char text[32];
  snprintf(text, sizeof text, "frame-%06llu.png", static_cast<unsigned long long>(number));
  return text;
}

fs::path FrameFiles::save(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                          uint32_t background) {
  fs::path path = directory_ / name(saved_ + 1);
  if (pixels) {
    write_rgba_png(path, pixels, width, height, stride);
  } else {
    std::vector<uint8_t> row(size_t{width} * 4);
    for (size_t i = 0; i < row.size(); i += 4) {
      row[i] = static_cast<uint8_t>(background >> 16);
      row[i + 1] = static_cast<uint8_t>(background >> 8);
      row[i + 2] = static_cast<uint8_t>(background);
      row[i + 3] = 255;
    }
    write_png(path, width, height, [&](uint32_t) { return row.data(); });
  }
  ++saved_;
  return path;
}

}  // namespace nk::sim
