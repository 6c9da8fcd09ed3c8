#pragma once
// Walks the guest's frame-pointer chain: programs and the library are built with frame
// pointers (clang keeps them for Darwin targets), so each frame begins with the caller's
// frame pointer and the return address. The walk reads memory only where it is sure to be
// mapped or through a system call that fails cleanly, and stops at the first return address
// that is not in guest code (nkhost's own frames below main) or at anything unreadable. It
// allocates nothing: fault reports and the profiler run it in signal handlers.

#include <cstdint>

namespace nk::sim {

// Records the top of the calling thread's stack, so that frames between a sampled stack
// pointer and that top can be read directly. Call on the thread that runs the guest.
void note_guest_stack();

// Reads a word, or answers false when the address is not readable.
bool read_guest_word(uint64_t address, uint64_t sp, uint64_t& value) noexcept;

class FrameWalker {
 public:
  // From a point where guest code was interrupted (a fault, a timer signal).
  static FrameWalker interrupted(uint64_t pc, uint64_t fp, uint64_t sp) noexcept;
  // From a call the guest made to the host: sp points at the return address.
  static FrameWalker at_call(uint64_t sp, uint64_t fp) noexcept;

  // The next frame's code address, innermost first; false when the walk is over.
  // return_address tells whether it is a return address (the frame's caller) rather than
  // the exact instruction.
  bool next(uint64_t& address, bool& return_address) noexcept;

 private:
  FrameWalker(uint64_t fp, uint64_t sp) : fp_(fp), sp_(sp) {}
  uint64_t pending_[2] = {};
  bool pending_is_return_[2] = {};
  int pending_count_ = 0, pending_at_ = 0;
  uint64_t fp_, sp_;
  bool done_ = false;
};

}  // namespace nk::sim
