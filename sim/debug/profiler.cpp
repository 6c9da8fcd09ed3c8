#include "sim/debug/profiler.h"

#include <signal.h>
#include <sys/time.h>
#include <ucontext.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "sim/base/address_space.h"
#include "sim/base/fd_writer.h"
#include "sim/machine/fault_report.h"
#include "sim/machine/frame_walker.h"
#include "sim/machine/host_call_hooks.h"
#include "sim/machine/image_registry.h"

namespace nk::sim {
namespace {

constexpr size_t kMaxDepth = 128;            // innermost frames kept per sample
constexpr size_t kSlots = size_t(1) << 16;   // distinct stacks
constexpr size_t kArenaWords = size_t(1) << 22;  // 32 MiB of stack words, touched as used
// Leaves that are not guest code. Guest addresses are never this low (page 0 is unmapped),
// so these small numbers cannot be mistaken for code.
constexpr uint64_t kInNkhost = 1;
constexpr uint64_t kHostCallMark = 0x1000;  // + the entry's table offset

struct Slot {
  uint64_t hash;
  uint64_t count;
  uint32_t offset, depth;  // the stack in the arena, innermost first
};

struct State {
  int fd = -1;
  Mapping table = map_anywhere(kSlots * sizeof(Slot), true);
  Mapping arena = map_anywhere(kArenaWords * 8, true);
  size_t arena_used = 0;
  uint64_t samples = 0, dropped = 0;
  volatile sig_atomic_t busy = 0;
  struct sigaction previous {};
  Slot* slots() { return reinterpret_cast<Slot*>(table.data()); }
  uint64_t* words() { return reinterpret_cast<uint64_t*>(arena.data()); }
};

State* g_state = nullptr;

uint64_t hash_of(const uint64_t* stack, size_t depth) {
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < depth; ++i) hash = (hash ^ stack[i]) * 1099511628211ull;
  return hash | 1;  // 0 marks a free slot
}

void count(State& state, const uint64_t* stack, size_t depth) {
  uint64_t hash = hash_of(stack, depth);
  Slot* slots = state.slots();
  for (size_t probe = 0; probe < kSlots; ++probe) {
    Slot& slot = slots[(hash + probe) & (kSlots - 1)];
    if (slot.hash == hash && slot.depth == depth &&
        std::memcmp(state.words() + slot.offset, stack, depth * 8) == 0) {
      ++slot.count;
      return;
    }
    if (slot.hash) continue;
    if (probe > kSlots / 2 || state.arena_used + depth > kArenaWords) break;
    std::memcpy(state.words() + state.arena_used, stack, depth * 8);
    slot = {hash, 1, static_cast<uint32_t>(state.arena_used), static_cast<uint32_t>(depth)};
    state.arena_used += depth;
    return;
  }
  ++state.dropped;
}

// Samples are counted per function, not per instruction: the start of the function that
// holds the address (a return address is looked up one byte back, in the calling function).
uint64_t function_of(uint64_t address) {
  const KnownImage* image = image_at(address);
  if (!image) return address;
  const auto* symbol = image->symbols.symbol_at(address - image->slide);
  return symbol ? symbol->address + image->slide : address;
}

void on_sample(int, siginfo_t*, void* context) {
  State* state = g_state;
  if (!state || state->busy) return;
  state->busy = 1;
  int saved_errno = errno;
  const auto& registers = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
  auto pc = static_cast<uint64_t>(registers[REG_RIP]);
  uint64_t stack[kMaxDepth];
  size_t depth = 0;
  auto walk = [&](FrameWalker walker) {
    uint64_t address;
    bool is_return;
    while (depth < kMaxDepth && walker.next(address, is_return))
      stack[depth++] = function_of(is_return ? address - 1 : address);
  };
  if (in_guest_code(pc)) {
    walk(FrameWalker::interrupted(pc, static_cast<uint64_t>(registers[REG_RBP]),
                                  static_cast<uint64_t>(registers[REG_RSP])));
  } else if (const HostCallFrame* call = current_host_call()) {
    stack[depth++] = kHostCallMark + call->entry;
    walk(FrameWalker::at_call(call->guest_sp, call->guest_fp));
  } else {
    stack[depth++] = kInNkhost;
  }
  ++state->samples;
  count(*state, stack, depth);
  errno = saved_errno;
  state->busy = 0;
}

void write_name(FdWriter& out, uint64_t address) {
  if (address == kInNkhost) {
    out << "[nkhost]";
  } else if (address >= kHostCallMark && address < kHostCallMark + 0x1000) {
    out << "[host " << entry_name(static_cast<Entry>(address - kHostCallMark)) << "]";
  } else if (const KnownImage* image = image_at(address)) {
    write_code_name(out, *image, address, false);
  } else {
    out.hex(address);
  }
}

// Symbol names only: each function is one node however far into it a sample fell.
void write_frame_name(FdWriter& out, uint64_t address) {
  const KnownImage* image = address >= kHostCallMark + 0x1000 ? image_at(address) : nullptr;
  const auto* symbol = image ? image->symbols.symbol_at(address - image->slide) : nullptr;
  if (symbol) out << symbol->name;
  else write_name(out, address);
}

void write_folded(State& state) {
  FdWriter out(state.fd);
  const Slot* slots = state.slots();
  for (size_t i = 0; i < kSlots; ++i) {
    const Slot& slot = slots[i];
    if (!slot.hash) continue;
    const uint64_t* stack = state.words() + slot.offset;
    for (uint32_t at = slot.depth; at-- > 0;) {
      write_frame_name(out, stack[at]);
      if (at) out << ";";
    }
    out << " ";
    out.decimal(slot.count) << "\n";
  }
  if (state.dropped) {
    out << "[samples not kept: out of room] ";
    out.decimal(state.dropped) << "\n";
  }
}

void set_timer(unsigned interval_us) {
  itimerval timer{};
  timer.it_interval.tv_sec = interval_us / 1000000;
  timer.it_interval.tv_usec = interval_us % 1000000;
  timer.it_value = timer.it_interval;
  setitimer(ITIMER_PROF, &timer, nullptr);
}

}  // namespace

Profiler::Profiler(int fd, unsigned interval_us) {
  if (g_state) throw std::logic_error("nkhost: only one profiler may run at a time");
  note_guest_stack();
  auto* state = new State;
  state->fd = fd;
  g_state = state;
  struct sigaction action {};
  action.sa_sigaction = on_sample;
  // On the alternate stack the fault reporter set up: a sample must not need guest stack.
  action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPROF, &action, &state->previous);
  // A run may end through exit() (a window's frame limit): the profile is still written.
  static const bool at_exit = atexit(flush_profile_from_signal) == 0;
  (void)at_exit;
  set_fault_epilogue(flush_profile_from_signal);
  set_timer(interval_us);
}

Profiler::~Profiler() {
  set_timer(0);
  set_fault_epilogue(nullptr);
  State* state = g_state;
  if (!state) return;  // already written on the way out
  sigaction(SIGPROF, &state->previous, nullptr);
  g_state = nullptr;
  write_folded(*state);
  delete state;
}

uint64_t Profiler::samples() const { return g_state ? g_state->samples : 0; }

void flush_profile_from_signal() noexcept {
  State* state = g_state;
  if (!state) return;
  itimerval off{};
  setitimer(ITIMER_PROF, &off, nullptr);
  g_state = nullptr;
  write_folded(*state);
}

}  // namespace nk::sim
