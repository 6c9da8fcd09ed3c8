#pragma once
// Bounded reading of untrusted bytes. Every read checks its range; a bad one throws
// Malformed with a message that names what was being read (unless that is "").

#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace nk::sim {

// A problem with the contents of a file; the loader prefixes the file name.
struct Malformed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ByteReader {
 public:
  ByteReader(std::span<const uint8_t> bytes, std::string what)
      : bytes_(bytes), what_(std::move(what)) {}

  bool at_end() const { return pos_ >= bytes_.size(); }
  uint64_t position() const { return pos_; }
  uint64_t size() const { return bytes_.size(); }
  void seek(uint64_t pos) {
    if (pos > bytes_.size()) fail("offset past the end");
    pos_ = pos;
  }

  uint8_t u8() {
    need(1);
    return bytes_[pos_++];
  }
  template <class T>
  T fixed() {
    need(sizeof(T));
    T value;
    std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }

  // LEB128 as the fix-up opcodes and the export trie use it. A 64-bit value needs at most
  // ten bytes; anything longer, or bits beyond 64, is malformed rather than silently cut.
  uint64_t uleb() {
    uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
      uint8_t byte = u8();
      if (shift == 63 && (byte & 0x7E)) fail("over-long LEB128 number");
      value |= uint64_t(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
      if (shift == 63) fail("over-long LEB128 number");
    }
  }
  int64_t sleb() {
    uint64_t value = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
      if (shift > 63) fail("over-long LEB128 number");
      byte = u8();
      value |= uint64_t(byte & 0x7F) << shift;
      shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) value |= ~uint64_t(0) << shift;
    return static_cast<int64_t>(value);
  }
  // A NUL-terminated string that must end inside the range.
  std::string_view cstring() {
    if (pos_ >= bytes_.size()) fail("unterminated string");
    const void* nul = std::memchr(bytes_.data() + pos_, 0, bytes_.size() - pos_);
    if (!nul) fail("unterminated string");
    auto length = static_cast<const uint8_t*>(nul) - (bytes_.data() + pos_);
    std::string_view text(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
    pos_ += length + 1;
    return text;
  }

  [[noreturn]] void fail(const std::string& problem) const {
    throw Malformed(what_.empty() ? problem : what_ + ": " + problem);
  }

 private:
  void need(uint64_t count) {
    if (pos_ > bytes_.size() || bytes_.size() - pos_ < count)
      fail(what_.empty() ? "data runs past its end" : "runs past its end");
  }

  std::span<const uint8_t> bytes_;
  std::string what_;
  uint64_t pos_ = 0;
};

}  // namespace nk::sim
