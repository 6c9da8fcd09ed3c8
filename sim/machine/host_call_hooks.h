#pragma once
// Watching host calls as they happen. When a machine observes its host calls, each table
// entry point leads through a stub to one assembly thunk that saves the call's registers
// (and the words the caller passed on the stack), tells the observers, calls the service
// with everything unchanged and tells the observers its result. So the trace and the
// profiler see every service, including ones added later, without touching their code.

#include <cstdint>

#include "sim/machine/host_table.h"

namespace nk::sim {

// One call in flight, as the thunk laid it out (its offsets are fixed in the thunk).
struct HostCallFrame {
  uint64_t gpr[6];         // rdi, rsi, rdx, rcx, r8, r9: integer and pointer arguments
  uint8_t xmm[8][16];      // xmm0..xmm7: floating-point arguments
  uint64_t entry;          // the table offset of the entry point
  uint64_t target;         // the service function
  uint64_t guest_sp;       // the guest's stack pointer at the call: its return address
  uint64_t guest_fp;       // the guest's frame pointer at the call
  uint64_t result;         // rax after the call
  uint64_t result_high;    // rdx after the call
  uint8_t result_xmm[16];  // xmm0 after the call

  Entry which() const { return static_cast<Entry>(entry); }
  // The nth integer argument, counting those passed on the stack after the sixth.
  uint64_t integer(unsigned index) const;
  float single(unsigned index) const;
};

// What watches the calls. Both run on the calling thread; leave is not reached when the
// service does not return.
struct HostCallObserver {
  void (*enter)(const HostCallFrame& call) = nullptr;
  void (*leave)(const HostCallFrame& call) = nullptr;
};
void add_host_call_observer(HostCallObserver observer);
void remove_host_call_observer(HostCallObserver observer);

// The call being served right now, or null.
const HostCallFrame* current_host_call() noexcept;

// The address a trampoline jumps to so that calls of this service are observed.
uintptr_t observed_service(Entry entry, uintptr_t service);

}  // namespace nk::sim
