#pragma once
// A sampling profiler for guest code. A CPU-time timer signal samples the interrupted
// guest's instruction pointer and frame-pointer chain; a sample taken while the host serves
// a call is the guest's stack at that call with the service as its leaf, and one taken in
// nkhost's own work counts as "[nkhost]". Samples are counted per distinct stack in memory
// set aside beforehand, so the handler never allocates, and the result is written as folded
// stacks ("main;update;draw_sprite 1234"), the input of flame-graph tools.

#include <cstdint>

namespace nk::sim {

class Profiler {
 public:
  // Writes to fd (kept open by the caller); samples every interval_us of CPU time.
  explicit Profiler(int fd, unsigned interval_us = 1000);
  ~Profiler();  // stops sampling and writes the folded stacks
  Profiler(const Profiler&) = delete;
  Profiler& operator=(const Profiler&) = delete;

  uint64_t samples() const;
};

// For a fault report on its way out: writes what the live profiler has gathered, if any.
// Safe in a signal handler.
void flush_profile_from_signal() noexcept;

}  // namespace nk::sim
