#include "sim/base/address_space.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace nk::sim {
namespace {

constexpr uint64_t k4GiB = uint64_t(1) << 32;

int flags_for(bool noreserve) { return MAP_PRIVATE | MAP_ANONYMOUS | (noreserve ? MAP_NORESERVE : 0); }

}  // namespace

Mapping& Mapping::operator=(Mapping&& other) noexcept {
  if (this != &other) {
    if (address_) munmap(address_, size_);
    address_ = std::exchange(other.address_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

Mapping::~Mapping() {
  if (address_) munmap(address_, size_);
}

Mapping map_fixed(uint64_t address, size_t size, bool noreserve) {
  void* p = mmap(reinterpret_cast<void*>(address), size, PROT_READ | PROT_WRITE,
                 flags_for(noreserve) | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == MAP_FAILED) return {};
  // Kernels before 4.17 treat the flag as a hint and may place the mapping elsewhere.
  if (reinterpret_cast<uintptr_t>(p) != address) {
    munmap(p, size);
    return {};
  }
  return Mapping(p, size);
}

Mapping map_anywhere(size_t size, bool noreserve) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags_for(noreserve), -1, 0);
  if (p == MAP_FAILED)
    throw std::runtime_error("nkhost: cannot map " + std::to_string(size) + " bytes: " +
                             std::strerror(errno));
  return Mapping(p, size);
}

Mapping map_below_4g(size_t size, bool noreserve) {
  // MAP_32BIT first: the kernel picks a free range in the low 2 GiB.
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags_for(noreserve) | MAP_32BIT, -1, 0);
  if (p != MAP_FAILED) {
    if (reinterpret_cast<uintptr_t>(p) + size <= k4GiB) return Mapping(p, size);
    munmap(p, size);
  }
  // Otherwise search the range above 2 GiB for a hole.
  for (uint64_t at = uint64_t(1) << 31; at + size <= k4GiB; at += uint64_t(16) << 20)
    if (Mapping m = map_fixed(at, size, noreserve)) return m;
  throw std::runtime_error("nkhost: no room for " + std::to_string(size) +
                           " bytes below 4 GiB: " + std::strerror(errno));
}

}  // namespace nk::sim
