#pragma once
// The host's memory service.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "sim/services/host_allocator.h"

namespace nk::sim {

// The host's allocator: every block lies below 4 GiB.
class HostMemory {
 public:
  struct Counters {
    uint64_t allocations = 0;    // successful memory_allocate calls (and reallocate of null)
    uint64_t frees = 0;          // memory_free calls with a non-null pointer
    uint64_t reallocations = 0;  // memory_reallocate calls
    uint64_t failures = 0;       // requests answered with null
    uint64_t live_blocks = 0;
    uint64_t live_bytes = 0;
    uint64_t peak_bytes = 0;
  };
  Counters counters() const;
  // The nth allocation request from now (1 = the next) fails; 0 cancels.
  void fail_nth(uint64_t n);
  // Every allocation request fails while set.
  void fail_all(bool on);
  // Requests that would take the live bytes above the limit fail; 0: no limit.
  void limit_live_bytes(uint64_t limit);
  bool owns(const void* block) const;
  // Host-side blocks below 4 GiB (file contents kept for the program), which the program
  // cannot free.
  void* allocate(uint64_t size);
  void release(void* block);
  // Blocks the host fills and the program releases with memory_free (decoded images,
  // rendered text).
  void* allocate_for_program(uint64_t size);
  // Every live block of the program's, with its size.
  void for_each_program_block(const std::function<void(const uint8_t*, uint64_t)>& visit) const;

  HostMemory() = default;
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;
  // The memory service as the library calls it: counted, failure injection applied, bad
  // pointers reported on stderr and ignored. The common cases are inline: a program pays for
  // these on every malloc and free.
  void* service_allocate(uint64_t size) {
    void* block = injecting() ? allocate_injecting(size) : allocator_.allocate(size);
    if (!block) {
      ++counters_.failures;
      return nullptr;
    }
    count_allocation(size);
    return block;
  }
  void service_free(void* block) {
    if (block == nullptr) return;
    ++counters_.frees;
    uint64_t size = allocator_.release(block);
    if (size == HostAllocator::kNotABlock) return refuse_free(block);
    count_free(size);
  }
  void* service_reallocate(void* block, uint64_t size);

 private:
  bool injecting() const { return fail_all_ || live_limit_ != 0 || fail_countdown_ != 0; }
  bool inject_failure(uint64_t live_bytes_after);
  void* allocate_injecting(uint64_t size);
  void refuse_free(void* block);
  void count_allocation(uint64_t size) {
    ++counters_.allocations;
    ++counters_.live_blocks;
    counters_.live_bytes += size;
    counters_.peak_bytes = std::max(counters_.peak_bytes, counters_.live_bytes);
  }
  void count_free(uint64_t size) {
    --counters_.live_blocks;
    counters_.live_bytes -= size;
  }
  HostAllocator allocator_;
  Counters counters_;
  uint64_t fail_countdown_ = 0;
  bool fail_all_ = false;
  uint64_t live_limit_ = 0;
  std::unordered_map<const void*, uint64_t> host_blocks_;  // host-side block -> size
};

}  // namespace nk::sim
