// The boot memory map at 0x6088 that the library's probe heap reads. Whatever memory above
// 3 MiB a region describes is mapped, so that the probe heap can write its headers there.

#include <cstring>
#include <stdexcept>

#include "sim/machine/low_memory.h"
#include "sim/machine/machine.h"

namespace nk::sim {
namespace {

constexpr uint64_t kMemoryTop = 0x6088;
constexpr uint64_t kCount32 = 0x608C;
constexpr uint64_t kRegions32 = 0x6090;
constexpr uint64_t kMagic64 = 0x6238;
constexpr uint64_t kCount64 = 0x623C;
constexpr uint64_t kRegions64 = 0x6240;
constexpr uint64_t kMapEnd = 0x6640;
constexpr size_t kSlots32 = 16, kSlots64 = 64;
constexpr uint32_t kValidMagic64 = 0x3436484E;  // "NH64"
constexpr uint64_t kDefaultTop = 0x4000000;

template <class T>
void put(uint64_t address, T value) {
  std::memcpy(reinterpret_cast<void*>(address), &value, sizeof value);
}

}  // namespace

BootMemoryMap::BootMemoryMap(LowMemory& low) : low_(low) {}

void BootMemoryMap::set_default() {
  clear();
  set_memory_top(kDefaultTop);
  set_regions32({{0x100000, kDefaultTop - 0x100000}});
}

void BootMemoryMap::clear() {
  std::memset(reinterpret_cast<void*>(kMemoryTop), 0, kMapEnd - kMemoryTop);
}

// The probe heap falls back to 0x300000..memory_top when no region is usable.
void BootMemoryMap::set_memory_top(uint32_t top) {
  if (top > kProbeHeapStart) map_region(kProbeHeapStart, top - kProbeHeapStart);
  put<uint32_t>(kMemoryTop, top);
}

void BootMemoryMap::set_regions32(const std::vector<Region>& regions, std::optional<uint32_t> count) {
  if (regions.size() > kSlots32)
    throw std::invalid_argument("boot memory map: at most 16 regions fit the 32-bit table");
  for (const auto& r : regions)
    if (r.base > UINT32_MAX || r.length > UINT32_MAX)
      throw std::invalid_argument("boot memory map: a 32-bit region needs 32-bit base and length");
  uint32_t used = count.value_or(static_cast<uint32_t>(regions.size()));
  for (size_t i = 0; i < regions.size() && i < used; ++i) map_region(regions[i].base, regions[i].length);
  std::memset(reinterpret_cast<void*>(kRegions32), 0, kSlots32 * 8);
  for (size_t i = 0; i < regions.size(); ++i) {
    put<uint32_t>(kRegions32 + i * 8, static_cast<uint32_t>(regions[i].base));
    put<uint32_t>(kRegions32 + i * 8 + 4, static_cast<uint32_t>(regions[i].length));
  }
  put<uint32_t>(kCount32, used);
}

void BootMemoryMap::set_regions64(const std::vector<Region>& regions, std::optional<uint32_t> count,
                                  uint32_t magic) {
  if (regions.size() > kSlots64)
    throw std::invalid_argument("boot memory map: at most 64 regions fit the 64-bit table");
  uint32_t used = count.value_or(static_cast<uint32_t>(regions.size()));
  if (magic == kValidMagic64)
    for (size_t i = 0; i < regions.size() && i < used; ++i) map_region(regions[i].base, regions[i].length);
  std::memset(reinterpret_cast<void*>(kRegions64), 0, kSlots64 * 16);
  for (size_t i = 0; i < regions.size(); ++i) {
    put<uint64_t>(kRegions64 + i * 16, regions[i].base);
    put<uint64_t>(kRegions64 + i * 16 + 8, regions[i].length);
  }
  put<uint32_t>(kMagic64, magic);
  put<uint32_t>(kCount64, used);
}

// The part of a region the probe heap may use: nothing below 3 MiB, nothing of an empty or
// wrapping region (the heap skips those). Callers pass only the entries the heap reads.
void BootMemoryMap::map_region(uint64_t base, uint64_t length) {
  uint64_t end = base + length;
  if (length == 0 || end < base || end <= kProbeHeapStart) return;
  low_.ensure_mapped(std::max(base, kProbeHeapStart), end);
}

}  // namespace nk::sim
