#include "sim/loader/image_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/loader/image.h"

namespace nk::sim {

ImageBytes::ImageBytes(const std::filesystem::path& path) {
  auto fail = [&](const char* what) {
    std::string problem = path.string() + ": " + what + " (" + std::strerror(errno) + ")";
    if (fd_ >= 0) close(fd_);
    throw LoadError(problem);
  };
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) fail("cannot open");
  struct stat status;
  if (fstat(fd_, &status) != 0) fail("cannot read");
  if (S_ISDIR(status.st_mode)) {
    close(fd_);
    throw LoadError(path.string() + ": is a directory");
  }
  size_ = static_cast<size_t>(status.st_size);
  if (!S_ISREG(status.st_mode) || size_ == 0) {
    // Nothing to map (an empty file, a pipe): read what there is, which the parser refuses
    // or accepts as it would any bytes.
    uint8_t buffer[65536];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) != 0;) {
      if (got < 0) fail("cannot read");
      copy_.insert(copy_.end(), buffer, buffer + got);
    }
    close(fd_);
    fd_ = -1;
    return;
  }
  void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (p == MAP_FAILED) fail("cannot read");
  mapped_ = Mapping(p, size_);
}

ImageBytes::~ImageBytes() {
  if (fd_ >= 0) close(fd_);
}

std::shared_ptr<const ImageBytes> read_image_file(const std::filesystem::path& path) {
  return std::make_shared<const ImageBytes>(path);
}

}  // namespace nk::sim
