#include "sim/machine/low_memory.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/base/hex_text.h"

namespace nk::sim {
namespace {

constexpr uint64_t kPage = 4096;
constexpr uint64_t kUserSpaceEnd = uint64_t(1) << 47;

}  // namespace

LowMemory::LowMemory() {
  Mapping page = map_fixed(kFixedPage, kPage, false);
  if (!page)
    throw std::runtime_error("nkhost: cannot map the fixed page at 0x6000 (is another machine "
                             "alive, or is vm.mmap_min_addr above 0x6000?)");
  mappings_.push_back(std::move(page));
  ensure_mapped(kProbeHeapStart, kProbeHeapEnd);
}

void LowMemory::ensure_mapped(uint64_t begin, uint64_t end) {
  begin = begin / kPage * kPage;
  if (end > kUserSpaceEnd - kPage || begin >= end)
    throw std::runtime_error("nkhost: cannot map memory at " + hex_text(begin) + ".." + hex_text(end) +
                             ": outside the user address space");
  end = (end + kPage - 1) / kPage * kPage;
  uint64_t at = begin;
  std::vector<Mapping> added;
  for (const auto& m : mappings_) {
    if (at >= end) break;
    if (m.address() + m.size() <= at) continue;
    if (m.address() > at) {
      uint64_t gap_end = std::min(end, m.address());
      Mapping gap = map_fixed(at, gap_end - at, true);
      if (!gap)
        throw std::runtime_error("nkhost: cannot map memory at " + hex_text(at) + ".." + hex_text(gap_end) +
                                 ": the range is in use by something else");
      added.push_back(std::move(gap));
    }
    at = std::max(at, m.address() + m.size());
  }
  if (at < end) {
    Mapping gap = map_fixed(at, end - at, true);
    if (!gap)
      throw std::runtime_error("nkhost: cannot map memory at " + hex_text(at) + ".." + hex_text(end) +
                               ": the range is in use by something else");
    added.push_back(std::move(gap));
  }
  for (auto& m : added) mappings_.push_back(std::move(m));
  std::sort(mappings_.begin(), mappings_.end(),
            [](const Mapping& a, const Mapping& b) { return a.address() < b.address(); });
}

}  // namespace nk::sim
