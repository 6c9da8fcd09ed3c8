#pragma once
// The bytes of a Mach-O file as the loader reads them. A file on disk is mapped, not read:
// its pages come from the page cache as they are touched, and the loader maps the image's
// segments from the same file, so that a load copies only the pages it writes to. (Fresh
// pages are the dearest part of a start-up: a program read and copied twice costs more
// than everything else nkhost does before main.)

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "sim/base/address_space.h"

namespace nk::sim {

class ImageBytes {
 public:
  // Bytes held in memory (images built by tests, fuzz inputs): segments are copied.
  explicit ImageBytes(std::vector<uint8_t> bytes) : copy_(std::move(bytes)) {}
  // The file at path; throws LoadError("<path>: <problem>") when it cannot be read.
  explicit ImageBytes(const std::filesystem::path& path);
  ~ImageBytes();
  ImageBytes(const ImageBytes&) = delete;
  ImageBytes& operator=(const ImageBytes&) = delete;

  std::span<const uint8_t> bytes() const {
    return mapped_ ? std::span<const uint8_t>(mapped_.data(), size_) : std::span<const uint8_t>(copy_);
  }
  // The open file the bytes are mapped from, or -1 for bytes held in memory.
  int fd() const { return fd_; }

 private:
  std::vector<uint8_t> copy_;
  Mapping mapped_;
  size_t size_ = 0;
  int fd_ = -1;
};

// The whole file; throws LoadError when it cannot be read.
std::shared_ptr<const ImageBytes> read_image_file(const std::filesystem::path& path);

}  // namespace nk::sim
