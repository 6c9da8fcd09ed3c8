// The host's memory service: counters and failure injection over the allocator, and the
// checks that keep a bad free from doing harm.

#include <cinttypes>
#include <cstdio>

#include "sim/services/memory.h"

namespace nk::sim {

HostMemory::Counters HostMemory::counters() const { return counters_; }
void HostMemory::fail_nth(uint64_t n) { fail_countdown_ = n; }
void HostMemory::fail_all(bool on) { fail_all_ = on; }
void HostMemory::limit_live_bytes(uint64_t limit) { live_limit_ = limit; }

bool HostMemory::owns(const void* block) const {
  return allocator_.block_size(block).has_value();
}

bool HostMemory::inject_failure(uint64_t live_bytes_after) {
  if (fail_all_ || (live_limit_ && live_bytes_after > live_limit_)) return true;
  return fail_countdown_ > 0 && --fail_countdown_ == 0;
}

void* HostMemory::allocate_injecting(uint64_t size) {
  return inject_failure(counters_.live_bytes + size) ? nullptr : allocator_.allocate(size);
}

// A block nkhost keeps for itself, or no block at all.
void HostMemory::refuse_free(void* block) {
  bool host_side = host_blocks_.contains(block);
  fprintf(stderr,
          host_side ? "nkhost: memory_free(%p): the bytes of a file from file_stat belong to "
                      "nkhost; ignored\n"
                    : "nkhost: memory_free(%p): not a block from memory_allocate (freed twice, "
                      "or never allocated); ignored\n",
          block);
}

void* HostMemory::service_reallocate(void* block, uint64_t size) {
  ++counters_.reallocations;
  if (!block) return service_allocate(size);
  auto old_size = allocator_.block_size(block);
  if (!old_size || (!host_blocks_.empty() && host_blocks_.contains(block))) {
    fprintf(stderr,
            "nkhost: memory_reallocate(%p, %" PRIu64 "): not a block from memory_allocate "
            "(freed, or never allocated); answered with null\n",
            block, size);
    ++counters_.failures;
    return nullptr;
  }
  void* moved = inject_failure(counters_.live_bytes - *old_size + size) ? nullptr
                                                                      : allocator_.reallocate(block, size);
  if (!moved) {
    ++counters_.failures;
    return nullptr;
  }
  counters_.live_bytes = counters_.live_bytes - *old_size + size;
  counters_.peak_bytes = std::max(counters_.peak_bytes, counters_.live_bytes);
  return moved;
}

void* HostMemory::allocate(uint64_t size) {
  void* block = allocator_.allocate_kept(size);
  if (block) host_blocks_.emplace(block, size);
  return block;
}

void HostMemory::release(void* block) {
  if (host_blocks_.erase(block)) allocator_.release_kept(block);
}

// Counted as the program's own blocks, so that memory_free releases them; never failed by
// injection, which is aimed at the library's own requests.
void* HostMemory::allocate_for_program(uint64_t size) {
  void* block = allocator_.allocate(size);
  if (block) count_allocation(size);
  return block;
}

void HostMemory::for_each_program_block(const std::function<void(const uint8_t*, uint64_t)>& visit) const {
  allocator_.for_each_block([&](const uint8_t* block, uint64_t size) {
    if (host_blocks_.empty() || !host_blocks_.contains(block)) visit(block, size);
  });
}

}  // namespace nk::sim
