#pragma once
// The boot memory map the probe heap reads.

#include <cstdint>
#include <optional>
#include <vector>

namespace nk::sim {

class LowMemory;

// The boot memory map at 0x6088. Setting it also maps the memory that its regions
// describe above 3 MiB, so that the probe heap can write there.
class BootMemoryMap {
 public:
  struct Region {
    uint64_t base;
    uint64_t length;
  };
  void set_memory_top(uint32_t top);
  void set_regions32(const std::vector<Region>& regions, std::optional<uint32_t> count = {});
  void set_regions64(const std::vector<Region>& regions, std::optional<uint32_t> count = {},
                     uint32_t magic = 0x3436484E);
  void clear();  // both tables empty, memory_top 0

  explicit BootMemoryMap(LowMemory& low);
  // One 32-bit region {0x100000, 0x3F00000} and memory_top 0x4000000: the probe heap gets
  // 0x300000..0x4000000, the memory reserved for it.
  void set_default();

 private:
  void map_region(uint64_t base, uint64_t length);
  LowMemory& low_;
};

}  // namespace nk::sim
