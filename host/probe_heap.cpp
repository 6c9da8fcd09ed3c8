// The probe heap: an allocate-only first-fit heap over the physical memory that the boot
// memory map describes above 3 MiB. It never asks the host, and it is built on first use
// so that the library needs no initialisation call.

#include <nk_probe_heap.h>
#include <stdint.h>

namespace nk {

// Precedes every block, free or handed out; the payload follows it directly.
struct ProbeHeapBlock {
  uint64_t size;  // payload bytes, a multiple of 16
  uint64_t next;  // address of the next header, 0 for the last block
  uint8_t is_free;  // free only when exactly 1
  uint8_t reserved[15];
};

}  // namespace nk

using nk::ProbeHeapBlock;

extern "C" void nk_probe_heap_init();
extern "C" void nk_probe_heap_append_region(uint64_t base, uint64_t length, ProbeHeapBlock** tail);

namespace {

// The boot memory map, written by the boot environment at fixed addresses.
constexpr uintptr_t kMemoryTopAddress = 0x6088;
constexpr uintptr_t kRegionCount32Address = 0x608C;
constexpr uintptr_t kRegions32Address = 0x6090;
constexpr uintptr_t kTable64MagicAddress = 0x6238;
constexpr uintptr_t kRegionCount64Address = 0x623C;
constexpr uintptr_t kRegions64Address = 0x6240;
constexpr uint32_t kTable64Magic = 0x3436484E;  // "NH64"
constexpr uint32_t kMaxRegions32 = 16;
constexpr uint32_t kMaxRegions64 = 64;

// The loaded program and the boot environment's own data live below 3 MiB.
constexpr uint64_t kHeapFloor = 0x300000;
// Used when the map offers nothing usable.
constexpr uint64_t kFallbackTop = 0x4000000;

constexpr uint64_t kAlignment = 16;
constexpr uint64_t kHeaderBytes = 32;
// A split leaves a remainder only when it can hold a header and 16 payload bytes.
constexpr uint64_t kMinBlockBytes = kHeaderBytes + kAlignment;
static_assert(sizeof(ProbeHeapBlock) == kHeaderBytes, "payloads stay 16-byte aligned");

struct Region {
  uint64_t base;
  uint64_t length;
};

uint8_t gHeapInitialized;
ProbeHeapBlock* gHeapHead;

template <class T>
T read_boot_map(uintptr_t address) {
  return *reinterpret_cast<const volatile T*>(address);
}

ProbeHeapBlock* block_at(uint64_t address) { return reinterpret_cast<ProbeHeapBlock*>(address); }
uint64_t address_of(const ProbeHeapBlock* block) { return reinterpret_cast<uintptr_t>(block); }

// Keeps the working list sorted by base; an equal base goes after the ones already there.
void insert_sorted(Region* regions, uint32_t& count, Region region) {
  if (count == kMaxRegions64) return;
  uint32_t at = count;
  while (at > 0 && regions[at - 1].base > region.base) {
    regions[at] = regions[at - 1];
    --at;
  }
  regions[at] = region;
  ++count;
}

// Clips one map entry to the memory above the floor and adds it to the working list.
void take_entry(Region* regions, uint32_t& count, uint64_t base, uint64_t length) {
  if (length == 0) return;
  uint64_t end = base + length;
  // Only a 64-bit entry can wrap; a widened 32-bit entry never does.
  if (end <= kHeapFloor || end <= base) return;
  if (base < kHeapFloor) base = kHeapFloor;
  insert_sorted(regions, count, Region{base, end - base});
}

uint32_t read_regions(Region* regions) {
  uint32_t count = 0;
  uint32_t count64 = read_boot_map<uint32_t>(kRegionCount64Address);
  if (read_boot_map<uint32_t>(kTable64MagicAddress) == kTable64Magic && count64 != 0) {
    if (count64 > kMaxRegions64) count64 = kMaxRegions64;
    for (uint32_t i = 0; i < count64; ++i) {
      uintptr_t entry = kRegions64Address + i * 16;
      take_entry(regions, count, read_boot_map<uint64_t>(entry), read_boot_map<uint64_t>(entry + 8));
    }
    return count;
  }
  uint32_t count32 = read_boot_map<uint32_t>(kRegionCount32Address);
  if (count32 > kMaxRegions32) count32 = kMaxRegions32;
  for (uint32_t i = 0; i < count32; ++i) {
    uintptr_t entry = kRegions32Address + i * 8;
    take_entry(regions, count, read_boot_map<uint32_t>(entry), read_boot_map<uint32_t>(entry + 4));
  }
  return count;
}

// Folds overlapping and touching regions together; returns the number kept.
uint32_t merge_regions(Region* regions, uint32_t count) {
  if (count == 0) return 0;
  uint32_t kept = 0;
  for (uint32_t i = 1; i < count; ++i) {
    Region& last = regions[kept];
    uint64_t last_end = last.base + last.length;
    if (regions[i].base <= last_end) {
      uint64_t end = regions[i].base + regions[i].length;
      if (end > last_end) last.length = end - last.base;
    } else {
      regions[++kept] = regions[i];
    }
  }
  return kept + 1;
}

uint64_t sum_sizes(bool free_only) {
  nk_probe_heap_init();
  uint64_t sum = 0;
  for (ProbeHeapBlock* block = gHeapHead; block; block = block_at(block->next))
    if (!free_only || block->is_free == 1) sum += block->size;
  return sum;
}

uint32_t saturate32(uint64_t value) { return value > UINT32_MAX ? UINT32_MAX : uint32_t(value); }

}  // namespace

extern "C" void nk_probe_heap_append_region(uint64_t base, uint64_t length,
                                            ProbeHeapBlock** tail) {
  // Computed as a gap rather than by rounding base up, which could wrap at the top of
  // the address space.
  uint64_t gap = (kAlignment - (base & (kAlignment - 1))) & (kAlignment - 1);
  if (tail == nullptr || length <= gap) return;
  uint64_t usable = (length - gap) & ~(kAlignment - 1);
  if (usable < kMinBlockBytes) return;
  ProbeHeapBlock* block = block_at(base + gap);
  block->size = usable - kHeaderBytes;
  block->next = 0;
  block->is_free = 1;
  if (gHeapHead == nullptr)
    gHeapHead = block;
  else
    (*tail)->next = address_of(block);
  *tail = block;
}

extern "C" void nk_probe_heap_init() {
  if (gHeapInitialized) return;
  gHeapHead = nullptr;
  Region regions[kMaxRegions64];
  uint32_t count = merge_regions(regions, read_regions(regions));
  ProbeHeapBlock* tail = nullptr;
  for (uint32_t i = 0; i < count; ++i)
    nk_probe_heap_append_region(regions[i].base, regions[i].length, &tail);
  if (gHeapHead == nullptr) {
    uint32_t memory_top = read_boot_map<uint32_t>(kMemoryTopAddress);
    uint64_t top = memory_top & ~(kAlignment - 1);
    // A top that leaves no room for one block is as good as none.
    if (memory_top <= kHeapFloor || top < kHeapFloor + kMinBlockBytes) top = kFallbackTop;
    nk_probe_heap_append_region(kHeapFloor, top - kHeapFloor, &tail);
  }
  gHeapInitialized = 1;
}

void* nk_probe_heap_alloc(size_t size) {
  if (size == 0) return nullptr;
  nk_probe_heap_init();
  // A size within 15 of the top has no multiple of 16 to round up to.
  if (size > UINT64_MAX - (kAlignment - 1)) return nullptr;
  uint64_t request = (size + kAlignment - 1) & ~(kAlignment - 1);
  ProbeHeapBlock* block = gHeapHead;
  while (block && !(block->is_free == 1 && block->size >= request)) block = block_at(block->next);
  if (block == nullptr) return nullptr;
  // Compared as the left-over rather than request + 48, which could wrap.
  if (block->size - request >= kMinBlockBytes) {
    uint64_t payload = address_of(block) + kHeaderBytes;
    ProbeHeapBlock* rest = block_at(payload + request);
    rest->size = block->size - request - kHeaderBytes;
    rest->next = block->next;
    rest->is_free = 1;
    block->size = request;
    block->next = address_of(rest);
  }
  block->is_free = 0;
  return reinterpret_cast<void*>(address_of(block) + kHeaderBytes);
}

void nk_probe_heap_reset() {
  gHeapInitialized = 0;
  nk_probe_heap_init();
}

uint32_t nk_probe_heap_free_bytes() { return saturate32(sum_sizes(true)); }
uint64_t nk_probe_heap_free_bytes64() { return sum_sizes(true); }
uint32_t nk_probe_heap_total_bytes() { return saturate32(sum_sizes(false)); }
uint64_t nk_probe_heap_total_bytes64() { return sum_sizes(false); }
