#pragma once
// The fixed low memory a NorrikBoot program expects: the page at 0x6000 that holds the boot
// memory map and the host table, the probe heap's range from 3 MiB to 64 MiB, and whatever
// further memory the boot memory map describes. All of it is unmapped with the machine.

#include <cstdint>
#include <vector>

#include "sim/base/address_space.h"

namespace nk::sim {

constexpr uint64_t kFixedPage = 0x6000;
constexpr uint64_t kBootMapAddress = 0x6088;
constexpr uint64_t kProbeHeapStart = 0x300000;
constexpr uint64_t kProbeHeapEnd = 0x4000000;

class LowMemory {
 public:
  // Throws std::runtime_error when the fixed addresses are taken (another machine is alive).
  LowMemory();
  // Maps what is not mapped yet of [begin, end), without reserving swap; throws
  // std::runtime_error when part of it is in use by anything else.
  void ensure_mapped(uint64_t begin, uint64_t end);

 private:
  std::vector<Mapping> mappings_;  // sorted by address, disjoint
};

}  // namespace nk::sim
