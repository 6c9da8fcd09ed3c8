#pragma once
// What every library test starts from: a fresh machine with a fresh copy of the shipped
// library, and buffers that catch overruns.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/machine/machine.h"

namespace nk::test {

inline std::filesystem::path library_path() { return NK_LIBRARY_PATH; }
inline std::filesystem::path guest_path(const std::string& name) {
  return std::filesystem::path(NK_GUEST_DIR) / ("guest_" + name);
}
inline std::filesystem::path nkhost_path() { return NK_NKHOST_PATH; }

class LibraryTest : public ::testing::Test {
 protected:
  sim::Machine machine;
  sim::Image& lib = machine.load_library(library_path());

  template <class F>
  F* fn(std::string_view name) {
    return lib.function<F>(name);
  }
  // Loads tests/guest/<name> and runs its main.
  int run_guest(const std::string& name) {
    return machine.run_main(machine.load_program(guest_path(name)));
  }
};

// A buffer with guard bytes on both sides; intact() tells whether anything wrote outside.
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 32;
  static constexpr unsigned char kFill = 0xA5;
  explicit GuardedBuffer(size_t size) : size_(size), bytes_(size + 2 * kGuard, kFill) {}
  char* data() { return reinterpret_cast<char*>(bytes_.data() + kGuard); }
  size_t size() const { return size_; }
  std::string str() const { return reinterpret_cast<const char*>(bytes_.data() + kGuard); }
  bool intact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes_[i] != kFill || bytes_[kGuard + size_ + i] != kFill) return false;
    return true;
  }

 private:
  size_t size_;
  std::vector<unsigned char> bytes_;
};

}  // namespace nk::test
