#include "sim/machine/fault_report.h"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string_view>

#include "sim/loader/loaded_image.h"
#include "sim/machine/machine.h"

namespace nk::sim {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr uint8_t kCli = 0xFA, kHlt = 0xF4;
constexpr size_t kMaxImages = 64;
constexpr size_t kAltStackSize = 64 * 1024;

std::array<const LoadedImage*, kMaxImages> g_images{};
alignas(16) char g_alt_stack[kAltStackSize];
struct sigaction g_previous[std::size(kSignals)];
stack_t g_previous_stack;

// Async-signal-safe output: write(2) of pieces.
void say(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = write(STDERR_FILENO, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void say_hex(uint64_t value) {
  char digits[18];
  int n = sizeof digits;
  do {
    digits[--n] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value);
  say("0x");
  say(std::string_view(digits + n, sizeof digits - n));
}

const char* signal_name(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
  }
  return "signal";
}

const LoadedImage* image_at(uint64_t address) {
  for (const LoadedImage* image : g_images)
    if (image && image->contains(address)) return image;
  return nullptr;
}

void say_place(const LoadedImage* image, uint64_t address) {
  if (!image) {
    say_hex(address);
    say(" (outside the loaded images)");
    return;
  }
  char text[512];
  image->describe_into(address, text, sizeof text);
  say(text);
}

void on_fault(int signal, siginfo_t* info, void* context) {
  auto* machine_context = static_cast<ucontext_t*>(context);
  auto rip = static_cast<uint64_t>(machine_context->uc_mcontext.gregs[REG_RIP]);
  const LoadedImage* image = image_at(rip);
  if (image && image->in_code(rip)) {
    uint8_t instruction = *reinterpret_cast<const uint8_t*>(rip);
    if (instruction == kCli || instruction == kHlt) {
      say("nkhost: the program halted at ");
      say_place(image, rip);
      say("\n");
      _exit(kExitHalted);
    }
  }
  say("nkhost: the program crashed (");
  say(signal_name(signal));
  say(") at ");
  say_place(image, rip);
  say(" (fault address ");
  say_hex(reinterpret_cast<uintptr_t>(info->si_addr));
  say(")\n");
  _exit(kExitCrashed);
}

}  // namespace

FaultReporter::FaultReporter() {
  stack_t stack{};
  stack.ss_sp = g_alt_stack;
  stack.ss_size = sizeof g_alt_stack;
  sigaltstack(&stack, &g_previous_stack);
  struct sigaction action{};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

FaultReporter::~FaultReporter() {
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  sigaltstack(&g_previous_stack, nullptr);
}

void register_image(const LoadedImage* image) {
  for (auto& slot : g_images)
    if (!slot) {
      slot = image;
      return;
    }
}

void unregister_image(const LoadedImage* image) {
  for (auto& slot : g_images)
    if (slot == image) slot = nullptr;
}

}  // namespace nk::sim
