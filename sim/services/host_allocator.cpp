#include "sim/services/host_allocator.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "sim/base/valgrind_hooks.h"

namespace nk::sim {
namespace {

constexpr uint64_t kPreferredArena = 0x80000000;
constexpr uint64_t kArenaSize = uint64_t(1) << 30;
constexpr uint64_t kMinimumArena = uint64_t(64) << 20;

uint32_t class_size(unsigned size_class) {
  if (size_class < 8) return 16 * (size_class + 1);
  uint32_t power = uint32_t(1) << (7 + (size_class - 8) / 4);
  return power + (size_class - 8) % 4 * (power / 4) + power / 4;
}

Mapping reserve_arena() {
  if (Mapping m = map_fixed(kPreferredArena, kArenaSize, true)) return m;
  for (uint64_t size = kArenaSize / 2; size >= kMinimumArena; size /= 2) {
    try {
      return map_below_4g(size, true);
    } catch (const std::exception&) {
    }
  }
  return map_below_4g(kMinimumArena, true);
}

}  // namespace

HostAllocator::HostAllocator()
    : arena_(reserve_arena()),
      sizes_(map_anywhere(arena_.size() / kGranule * sizeof(uint32_t), true)),
      size_of_(reinterpret_cast<uint32_t*>(sizes_.data())),
      page_class_(arena_.size() / kPage, 0),
      run_length_(arena_.size() / kPage, 0),
      redzone_(running_on_valgrind() ? kGranule : 0) {
  static_assert(class_of(kMaxSmall) + 1 == kClassCount);
  for (unsigned i = 0; i < kClassCount; ++i) classes_[i].size = class_size(i);
  valgrind_no_access(arena_.data(), arena_.size());
}

std::optional<uint32_t> HostAllocator::offset_of(const void* block) const {
  auto address = reinterpret_cast<uintptr_t>(block);
  if (address < arena_.address() || address - arena_.address() >= arena_.size()) return std::nullopt;
  auto offset = static_cast<uint32_t>(address - arena_.address());
  if (offset % kGranule || size_of_[offset / kGranule] == 0) return std::nullopt;
  return offset;
}

std::optional<uint64_t> HostAllocator::block_size(const void* block) const {
  auto offset = offset_of(block);
  if (!offset) return std::nullopt;
  return (size_of_[*offset / kGranule] & ~kKept) - 1;
}

void HostAllocator::for_each_block(const std::function<void(const uint8_t*, uint64_t)>& visit) const {
  for (uint64_t granule = 0; granule < uint64_t(next_page_) * kPage / kGranule; ++granule)
    if (uint32_t size = size_of_[granule] & ~kKept) visit(at(static_cast<uint32_t>(granule * kGranule)), size - 1);
}

// Pages taken again stop counting as free ones that may be resident. Some of them may have
// been purged already; then the count runs low, which at worst keeps a little more.
std::optional<uint32_t> HostAllocator::take_pages(uint32_t count) {
  for (auto it = free_runs_.begin(); it != free_runs_.end(); ++it) {
    if (it->second < count) continue;
    uint32_t first = it->first, left = it->second - count;
    free_runs_.erase(it);
    if (left) free_runs_.emplace(first + count, left);
    unpurged_pages_ -= std::min(unpurged_pages_, count);
    return first;
  }
  if (count > page_class_.size() - next_page_) return std::nullopt;
  uint32_t first = next_page_;
  if (high_water_ > first) unpurged_pages_ -= std::min({unpurged_pages_, count, high_water_ - first});
  next_page_ += count;
  high_water_ = std::max(high_water_, next_page_);
  return first;
}

void HostAllocator::give_pages(uint32_t first, uint32_t count) {
  unpurged_pages_ += count;
  auto next = free_runs_.lower_bound(first);
  if (next != free_runs_.end() && next->first == first + count) {
    count += next->second;
    next = free_runs_.erase(next);
  }
  if (next != free_runs_.begin()) {
    auto previous = std::prev(next);
    if (previous->first + previous->second == first) {
      first = previous->first;
      count += previous->second;
      free_runs_.erase(previous);
    }
  }
  if (first + count == next_page_) {
    next_page_ = first;
  } else {
    free_runs_.emplace(first, count);
  }
  if (unpurged_pages_ > kKeptFreePages) purge_free_pages();
}

void HostAllocator::purge_free_pages() {
  for (auto [first, count] : free_runs_) madvise(at(first * kPage), uint64_t(count) * kPage, MADV_DONTNEED);
  if (high_water_ > next_page_)
    madvise(at(next_page_ * kPage), uint64_t(high_water_ - next_page_) * kPage, MADV_DONTNEED);
  high_water_ = next_page_;
  unpurged_pages_ = 0;
}

void* HostAllocator::carve_small(unsigned size_class) {
  SizeClass& c = classes_[size_class];
  if (c.free_count != 0) return at(c.pop());
  if (c.end - c.next < c.size) {
    if (small_pages_ >= reclaim_at_) {
      reclaim_empty_pages();
      reclaim_at_ = std::max(kFirstReclaim, small_pages_ + small_pages_ / 4);
    }
    auto page = take_pages(1);
    if (!page) return nullptr;
    c.free_slots.resize(c.free_slots.size() + kPage / c.size);
    ++small_pages_;
    page_class_[*page] = static_cast<uint8_t>(size_class + 1);
    c.next = *page * kPage;
    c.end = c.next + kPage / c.size * c.size;
  }
  uint32_t offset = c.next;
  c.next += c.size;
  return at(offset);
}

// A page whose slots are all on its class's free stack holds no live block. The page a class
// is still carving is left alone.
void HostAllocator::reclaim_empty_pages() {
  std::vector<uint32_t> free_in_page(next_page_, 0);
  for (const SizeClass& c : classes_)
    for (uint32_t i = 0; i < c.free_count; ++i) ++free_in_page[c.free_slots[i] / kPage];
  auto empty = [&](const SizeClass& c, uint32_t page) {
    return free_in_page[page] == kPage / c.size && (c.end == 0 || page != (c.end - 1) / kPage);
  };
  for (SizeClass& c : classes_) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < c.free_count; ++i)
      if (!empty(c, c.free_slots[i] / kPage)) c.free_slots[kept++] = c.free_slots[i];
    c.free_slots.resize(c.free_slots.size() - (c.free_count - kept));
    c.free_count = kept;
  }
  for (uint32_t page = 0; page < next_page_; ++page) {
    uint8_t kind = page_class_[page];
    if (kind == 0 || kind >= kLargeHead || !empty(classes_[kind - 1], page)) continue;
    page_class_[page] = 0;
    --small_pages_;
    give_pages(page, 1);
  }
}

void* HostAllocator::carve_large(uint64_t size) {
  auto count = static_cast<uint32_t>((size + kPage - 1) / kPage);
  auto first = take_pages(count);
  if (!first) return nullptr;
  page_class_[*first] = kLargeHead;
  for (uint32_t i = 1; i < count; ++i) page_class_[*first + i] = kLargeTail;
  run_length_[*first] = count;
  return at(*first * kPage);
}

void* HostAllocator::allocate_any(uint64_t size) {
  if (size >= arena_.size()) return nullptr;
  uint64_t room = size + redzone_;
  void* block = room <= kMaxSmall ? carve_small(class_of(room)) : carve_large(room);
  if (!block) return nullptr;
  auto offset = static_cast<uint32_t>(static_cast<uint8_t*>(block) - arena_.data());
  size_of_[offset / kGranule] = static_cast<uint32_t>(size + 1);
  if (redzone_) valgrind_block_allocated(block, size);
  return block;
}

uint64_t HostAllocator::release_any(void* block) {
  auto offset = offset_of(block);
  if (!offset || size_of_[*offset / kGranule] & kKept) return kNotABlock;
  uint64_t size = size_of_[*offset / kGranule] - 1;
  size_of_[*offset / kGranule] = 0;
  if (redzone_) valgrind_block_freed(block);
  uint32_t page = *offset / kPage;
  if (page_class_[page] == kLargeHead) {
    uint32_t count = run_length_[page];
    for (uint32_t i = 0; i < count; ++i) page_class_[page + i] = 0;
    give_pages(page, count);
  } else {
    classes_[page_class_[page] - 1].push(*offset);
  }
  return size;
}

void* HostAllocator::reallocate(void* block, uint64_t size) {
  auto offset = offset_of(block);
  if (!offset || size >= arena_.size() || size_of_[*offset / kGranule] & kKept) return nullptr;
  uint64_t old_size = size_of_[*offset / kGranule] - 1;
  uint64_t room = size + redzone_;
  uint8_t kind = page_class_[*offset / kPage];
  bool fits = kind == kLargeHead
                  ? room > kMaxSmall &&
                        (room + kPage - 1) / kPage == run_length_[*offset / kPage]
                  : room <= kMaxSmall && class_of(room) + 1 == kind;
  if (fits) {
    size_of_[*offset / kGranule] = static_cast<uint32_t>(size + 1);
    if (redzone_) valgrind_block_resized(block, old_size, size);
    return block;
  }
  void* moved = allocate(size);
  if (!moved) return nullptr;
  std::memcpy(moved, block, std::min(old_size, size));
  release(block);
  return moved;
}

void* HostAllocator::allocate_kept(uint64_t size) {
  void* block = allocate(size);
  if (block) size_of_[*offset_of(block) / kGranule] |= kKept;
  return block;
}

void HostAllocator::release_kept(void* block) {
  if (auto offset = offset_of(block)) {
    size_of_[*offset / kGranule] &= ~kKept;
    release(block);
  }
}

}  // namespace nk::sim
