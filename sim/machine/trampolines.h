#pragma once
// Host entry points are 32-bit addresses, but nkhost's own code lies wherever the PIE
// executable was loaded. Each entry point is therefore a small stub below 4 GiB that jumps
// to the service function: movabs r11, target; jmp r11 (r11 is free at a call boundary).

#include <cstdint>
#include <span>

#include "sim/base/address_space.h"

namespace nk::sim {

class Trampolines {
 public:
  explicit Trampolines(std::span<const uintptr_t> targets);
  uint32_t address(size_t index) const;

 private:
  Mapping code_;
};

}  // namespace nk::sim
