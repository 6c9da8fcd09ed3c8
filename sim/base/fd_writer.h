#pragma once
// Text output that neither allocates nor locks, so that signal handlers (fault reports, the
// profiler's last words) can use it: a fixed buffer written to a descriptor with write(2).
// Outside signal handlers the same formatting can collect into a string.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nk::sim {

class FdWriter {
 public:
  explicit FdWriter(int fd) : fd_(fd) {}
  explicit FdWriter(std::string& sink) : sink_(&sink) {}
  ~FdWriter() { flush(); }
  FdWriter(const FdWriter&) = delete;
  FdWriter& operator=(const FdWriter&) = delete;

  FdWriter& operator<<(std::string_view text) {
    for (char c : text) {
      if (length_ == sizeof buffer_) flush();
      buffer_[length_++] = c;
    }
    return *this;
  }
  FdWriter& hex(uint64_t value) {
    char digits[16];
    int n = 0;
    do {
      digits[n++] = "0123456789abcdef"[value & 15];
      value >>= 4;
    } while (value);
    *this << "0x";
    while (n) *this << std::string_view(&digits[--n], 1);
    return *this;
  }
  FdWriter& decimal(uint64_t value) {
    char digits[20];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value);
    while (n) *this << std::string_view(&digits[--n], 1);
    return *this;
  }
  void flush() {
    if (sink_) {
      sink_->append(buffer_, length_);
      length_ = 0;
      return;
    }
    const char* at = buffer_;
    while (length_) {
      ssize_t n = write(fd_, at, length_);
      if (n <= 0) break;
      at += n;
      length_ -= static_cast<size_t>(n);
    }
    length_ = 0;
  }

 private:
  int fd_ = -1;
  std::string* sink_ = nullptr;
  size_t length_ = 0;
  char buffer_[4096];
};

}  // namespace nk::sim
