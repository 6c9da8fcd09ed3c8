#pragma once
// Memory mappings below 4 GiB: guest code can only reach host memory through 32-bit
// addresses, so images, trampolines and host allocations all live there.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace nk::sim {

// An anonymous mapping, unmapped on destruction.
class Mapping {
 public:
  Mapping() = default;
  Mapping(void* address, size_t size) : address_(address), size_(size) {}
  Mapping(Mapping&& other) noexcept
      : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  Mapping& operator=(Mapping&& other) noexcept;
  ~Mapping();

  uint8_t* data() const { return static_cast<uint8_t*>(address_); }
  uint64_t address() const { return reinterpret_cast<uintptr_t>(address_); }
  size_t size() const { return size_; }
  explicit operator bool() const { return address_ != nullptr; }

 private:
  void* address_ = nullptr;
  size_t size_ = 0;
};

// Fresh read-write memory whose whole range lies below 4 GiB; throws std::runtime_error.
Mapping map_below_4g(size_t size, bool noreserve = false);

// Anywhere in the address space (bookkeeping that guest code never sees).
Mapping map_anywhere(size_t size, bool noreserve);

// Exactly [address, address + size), which must be free; nullptr-mapping when it is not.
Mapping map_fixed(uint64_t address, size_t size, bool noreserve);

}  // namespace nk::sim
