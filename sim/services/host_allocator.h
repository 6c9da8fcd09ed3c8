#pragma once
// The memory behind the host's memory service: one arena below 4 GiB, carved into size
// classes for small blocks and into runs of pages for large ones. All bookkeeping lives
// outside the arena, so a guest that writes past a block or uses it after freeing cannot
// corrupt the allocator, and every pointer handed back is checked before it is trusted.

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "sim/base/address_space.h"

namespace nk::sim {

class HostAllocator {
 public:
  HostAllocator();
  HostAllocator(const HostAllocator&) = delete;
  HostAllocator& operator=(const HostAllocator&) = delete;

  // A 16-byte aligned block; nullptr when the arena has no room. Size 0 gives a unique block.
  void* allocate(uint64_t size) {
    // The common case inline: a small block whose class has a free slot.
    if (redzone_ == 0 && size <= kMaxSmall) {
      SizeClass& c = classes_[class_of(size)];
      if (c.free_count != 0) {
        uint32_t offset = c.pop();
        size_of_[offset / kGranule] = static_cast<uint32_t>(size + 1);
        return at(offset);
      }
    }
    return allocate_any(size);
  }
  // What release answers when block is not a live block; then nothing changes. A plain value
  // rather than an optional: returned through memory, an optional costs a store-forwarding
  // stall on every free.
  static constexpr uint64_t kNotABlock = UINT64_MAX;
  // The size of the block released.
  uint64_t release(void* block) {
    uint64_t offset = reinterpret_cast<uintptr_t>(block) - arena_.address();
    if (redzone_ == 0 && offset < arena_.size() && offset % kGranule == 0) {
      uint32_t& recorded = size_of_[offset / kGranule];
      uint8_t kind = page_class_[offset / kPage];
      if (recorded - 1 < kKept && kind != 0 && kind < kLargeHead) {  // live, not kept
        uint64_t size = recorded - 1;
        recorded = 0;
        classes_[kind - 1].push(static_cast<uint32_t>(offset));
        return size;
      }
    }
    return release_any(block);
  }
  // A block the host keeps for itself: release refuses it, and release_kept frees it.
  void* allocate_kept(uint64_t size);
  void release_kept(void* block);
  // Resizes a live block (which must be one), keeping its contents; nullptr when there is no
  // room, and then the block is unchanged.
  void* reallocate(void* block, uint64_t size);
  // The size asked for when a live block was allocated.
  std::optional<uint64_t> block_size(const void* block) const;
  // Every live block with the size asked for, in address order.
  void for_each_block(const std::function<void(const uint8_t*, uint64_t)>& visit) const;

 private:
  // The free slots of a class are a stack of arena offsets, sized for every slot of the
  // class's pages whenever a page joins it, so that a free never has to grow it.
  struct SizeClass {
    uint32_t size = 0;
    uint32_t free_count = 0;
    std::vector<uint32_t> free_slots;
    uint32_t next = 0, end = 0;  // the unused tail of the class's newest page
    uint32_t pop() { return free_slots[--free_count]; }
    void push(uint32_t offset) { free_slots[free_count++] = offset; }
  };

 public:
  static constexpr uint32_t kPage = 64 << 10;
  static constexpr uint32_t kMaxSmall = 32 << 10;  // larger blocks take runs of whole pages
  static constexpr unsigned kClassCount = 40;

 private:
  static constexpr uint32_t kGranule = 16;

  // Sixteen-byte steps up to 128, then four steps per power of two up to kMaxSmall: at most
  // a quarter of a block is slack.
  static constexpr unsigned class_of(uint64_t size) {
    if (size <= 128) return size == 0 ? 0 : static_cast<unsigned>((size + 15) / 16 - 1);
    unsigned k = 63 - std::countl_zero(size - 1);  // size lies in (2^k, 2^(k+1)]
    uint64_t step = (uint64_t(1) << k) / 4;
    unsigned j = static_cast<unsigned>((size - (uint64_t(1) << k) + step - 1) / step);
    return 8 + (k - 7) * 4 + (j - 1);
  }
  static constexpr uint8_t kLargeHead = 0xFE, kLargeTail = 0xFF;

  void* allocate_any(uint64_t size);
  uint64_t release_any(void* block);
  std::optional<uint32_t> offset_of(const void* block) const;
  void* carve_small(unsigned size_class);
  void reclaim_empty_pages();
  void* carve_large(uint64_t size);
  std::optional<uint32_t> take_pages(uint32_t count);
  void give_pages(uint32_t first, uint32_t count);
  void purge_free_pages();
  uint8_t* at(uint32_t offset) const { return arena_.data() + offset; }

  Mapping arena_;
  // Per 16-byte granule: 0, or 1 + the requested size at a live block's start, with kKept
  // set on the host's own blocks.
  Mapping sizes_;
  static constexpr uint32_t kKept = uint32_t(1) << 31;  // no block reaches 2 GiB
  uint32_t* size_of_ = nullptr;
  std::vector<uint8_t> page_class_;   // 0 unused, 1 + class for small pages, kLarge*
  std::vector<uint32_t> run_length_;  // pages of the large run starting here
  std::array<SizeClass, kClassCount> classes_;
  std::map<uint32_t, uint32_t> free_runs_;  // first page -> page count, released runs
  // Pages held by the small classes. A page stays with its class while any of its blocks
  // lives; once the count has grown by a quarter since the last look, the pages whose
  // blocks are all free go back to the pool, so that a program whose block sizes drift
  // (strings that keep growing) does not leave every class it passed through holding pages.
  uint32_t small_pages_ = 0;
  uint32_t reclaim_at_ = kFirstReclaim;
  static constexpr uint32_t kFirstReclaim = 64;  // 4 MiB
  uint32_t next_page_ = 0;   // pages from here on are not in use
  uint32_t high_water_ = 0;  // pages from here on have never been touched
  // Pages freed since the last purge that may still be resident. A program that frees and
  // allocates a frame-sized block every frame would otherwise fault every page in again;
  // past kKeptFreePages the free pages go back to the system.
  uint32_t unpurged_pages_ = 0;
  static constexpr uint32_t kKeptFreePages = 1024;  // 64 MiB
  // Bytes kept inaccessible after each block under valgrind; 0 when not under valgrind, and
  // then the client requests, a few dozen instructions each, are skipped too.
  uint32_t redzone_ = 0;
};

}  // namespace nk::sim
