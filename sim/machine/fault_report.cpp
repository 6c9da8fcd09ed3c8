#include "sim/machine/fault_report.h"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "sim/base/fd_writer.h"
#include "sim/loader/loaded_image.h"
#include "sim/machine/frame_walker.h"
#include "sim/machine/host_call_hooks.h"
#include "sim/machine/machine.h"

namespace nk::sim {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr uint8_t kCli = 0xFA, kHlt = 0xF4;
constexpr size_t kAltStackSize = 64 * 1024;
constexpr uint64_t kStackSlack = 64 * 1024;  // a fault this near the stack pointer is an overflow
constexpr size_t kHeadFrames = 24, kTailFrames = 6;  // the first screen, and where it began
constexpr uint64_t kPageFaultWrite = 2, kPageFaultFetch = 16;

alignas(16) char g_alt_stack[kAltStackSize];
void (*volatile g_epilogue)() noexcept = nullptr;
struct sigaction g_previous[std::size(kSignals)];
stack_t g_previous_stack;

// Why the library halted, told by the innermost frame that explains it.
struct HaltCause {
  std::string_view function, reason;
};
constexpr HaltCause kHaltCauses[] = {
    {"__clang_call_terminate", "an exception left a function that may not throw (std::terminate)"},
    {"__cxa_throw", "an exception was thrown and nothing caught it"},
    {"__cxa_rethrow", "an exception was rethrown and nothing caught it"},
    {"_Unwind_SjLj_Resume", "an exception was thrown and nothing caught it"},
    {"_Unwind_SjLj_RaiseException", "an exception was thrown and nothing caught it"},
    {"__cxa_allocate_exception", "no memory to throw an exception (std::terminate)"},
    {"__cxa_pure_virtual", "a pure virtual function was called"},
    {"operator new(unsigned long)", "out of memory in operator new"},
    {"operator new[](unsigned long)", "out of memory in operator new[]"},
    {"std::terminate()", "std::terminate was called"},
};

const char* function_name(uint64_t address, bool return_address) {
  uint64_t probe = return_address ? address - 1 : address;
  const KnownImage* image = image_at(probe);
  if (!image) return nullptr;
  const auto* symbol = image->symbols.symbol_at(probe - image->slide);
  return symbol ? symbol->name : nullptr;
}

// The first cause in the list's order that any frame shows: std::terminate is on the way
// to abort for most of the others.
std::string_view halt_reason(FrameWalker walker) {
  size_t best = std::size(kHaltCauses);
  uint64_t address;
  bool return_address;
  while (walker.next(address, return_address))
    if (const char* name = function_name(address, return_address))
      for (size_t i = 0; i < best; ++i)
        if (kHaltCauses[i].function == name) best = i;
  return best < std::size(kHaltCauses) ? kHaltCauses[best].reason : "abort was called";
}

void say_crash(FdWriter& out, int signal, const siginfo_t* info, const ucontext_t* context) {
  const auto& registers = context->uc_mcontext.gregs;
  auto fault = reinterpret_cast<uintptr_t>(info->si_addr);
  auto sp = static_cast<uint64_t>(registers[REG_RSP]);
  auto error = static_cast<uint64_t>(registers[REG_ERR]);
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      if (signal == SIGSEGV && fault + kStackSlack >= sp && fault <= sp + kStackSlack) {
        out << "stack overflow (the stack ran out at ";
        out.hex(fault) << ")";
        return;
      }
      if (error & kPageFaultFetch) out << "jump to an invalid address ";
      else out << "invalid memory access " << ((error & kPageFaultWrite) ? "writing" : "reading") << " at address ";
      out.hex(fault) << (signal == SIGBUS ? " (SIGBUS)" : " (SIGSEGV)");
      return;
    case SIGILL: out << "illegal instruction (SIGILL)"; return;
    case SIGFPE:
      out << (info->si_code == FPE_INTDIV ? "integer division by zero" : "arithmetic fault") << " (SIGFPE)";
      return;
  }
}

// The frames innermost first: the first screen of them, then the outermost few. Runs of
// one frame (plain recursion) are folded into one line.
void say_backtrace(FdWriter& out, FrameWalker walker) {
  struct Frame {
    size_t index;
    uint64_t address;
    bool return_address;
  } tail[kTailFrames];
  size_t index = 0, shown = 0, hidden = 0, repeats = 0;
  uint64_t previous = 0;
  uint64_t address;
  bool return_address;
  auto end_repeats = [&] {
    if (!repeats) return;
    out << "  ... the frame above repeats ";
    out.decimal(repeats) << (repeats == 1 ? " more time\n" : " more times\n");
    repeats = 0;
  };
  while (walker.next(address, return_address)) {
    if (index && address == previous && shown < kHeadFrames) {
      ++repeats;
    } else if (shown < kHeadFrames) {
      end_repeats();
      write_frame(out, index, address, return_address);
      ++shown;
    } else {
      tail[hidden++ % kTailFrames] = {index, address, return_address};
    }
    previous = address;
    ++index;
  }
  end_repeats();
  if (!hidden) return;
  size_t kept = hidden < kTailFrames ? hidden : kTailFrames;
  if (hidden > kept) {
    out << "  ... ";
    out.decimal(hidden - kept) << " frames not shown\n";
  }
  for (size_t i = hidden - kept; i < hidden; ++i) {
    const Frame& frame = tail[i % kTailFrames];
    write_frame(out, frame.index, frame.address, frame.return_address);
  }
}

void on_fault(int signal, siginfo_t* info, void* context) {
  auto* machine_context = static_cast<ucontext_t*>(context);
  const auto& registers = machine_context->uc_mcontext.gregs;
  auto pc = static_cast<uint64_t>(registers[REG_RIP]);
  auto fp = static_cast<uint64_t>(registers[REG_RBP]);
  auto sp = static_cast<uint64_t>(registers[REG_RSP]);
  const KnownImage* image = image_at(pc);
  bool halted = false;
  if (image && image->image->in_code(pc)) {
    uint8_t instruction = *reinterpret_cast<const uint8_t*>(pc);
    halted = instruction == kCli || instruction == kHlt;
  }
  const HostCallFrame* call = image ? nullptr : current_host_call();
  FrameWalker walker = call ? FrameWalker::at_call(call->guest_sp, call->guest_fp)
                            : FrameWalker::interrupted(pc, fp, sp);
  {
    FdWriter out(STDERR_FILENO);
    if (halted) {
      out << "nkhost: the program halted: " << halt_reason(walker) << "\n";
    } else {
      out << "nkhost: the program crashed: ";
      say_crash(out, signal, info, machine_context);
      out << "\n";
      if (call) out << "  in nkhost while serving " << entry_name(call->which()) << ", called from:\n";
    }
    say_backtrace(out, walker);
  }
  if (auto epilogue = g_epilogue) epilogue();
  _exit(halted ? kExitHalted : kExitCrashed);
}

}  // namespace

void set_fault_epilogue(void (*epilogue)() noexcept) { g_epilogue = epilogue; }

FaultReporter::FaultReporter() {
  note_guest_stack();
  stack_t stack{};
  stack.ss_sp = g_alt_stack;
  stack.ss_size = sizeof g_alt_stack;
  sigaltstack(&stack, &g_previous_stack);
  struct sigaction action{};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGPROF);  // no samples while the report is written
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

FaultReporter::~FaultReporter() {
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  sigaltstack(&g_previous_stack, nullptr);
}

}  // namespace nk::sim
