#pragma once
// The frames a window publishes, saved as DIR/frame-NNNNNN.png (`--frames DIR`), numbered
// from 1 in publication order.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace nk::sim {

class FrameFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An 8-bit RGBA PNG of `height` rows of `width` pixels, `stride` bytes apart. Throws
// FrameFileError (and leaves no partial file) when it cannot be written.
void write_rgba_png(const std::filesystem::path& path, const uint8_t* pixels, uint32_t width,
                    uint32_t height, size_t stride);

class FrameFiles {
 public:
  // Creates the directory when needed and removes the frame files of an earlier run, so
  // that the directory holds exactly this run's frames. Throws FrameFileError.
  explicit FrameFiles(std::filesystem::path directory);

  // Saves the next frame: the published RGBA rows as they are, or, for a publication without
  // pixels, the window's size filled with the background word 0x00RRGGBB and alpha 255.
  // Returns the file written; throws FrameFileError.
  std::filesystem::path save(const uint8_t* pixels, uint32_t width, uint32_t height,
                             size_t stride, uint32_t background);

  uint64_t saved() const { return saved_; }
  static std::filesystem::path name(uint64_t number);  // "frame-000042.png"

 private:
  std::filesystem::path directory_;
  uint64_t saved_ = 0;
};

}  // namespace nk::sim
