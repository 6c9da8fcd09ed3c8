#include "sim/machine/trampolines.h"

#include <sys/mman.h>

#include <cstring>
#include <stdexcept>

namespace nk::sim {
namespace {

constexpr size_t kStubSize = 16;

}  // namespace

Trampolines::Trampolines(std::span<const uintptr_t> targets)
    : code_(map_below_4g((targets.size() * kStubSize + 4095) / 4096 * 4096)) {
  for (size_t i = 0; i < targets.size(); ++i) {
    uint8_t* stub = code_.data() + i * kStubSize;
    const uint8_t movabs_r11[] = {0x49, 0xBB};
    const uint8_t jmp_r11_then_int3[] = {0x41, 0xFF, 0xE3, 0xCC};
    std::memcpy(stub, movabs_r11, 2);
    std::memcpy(stub + 2, &targets[i], 8);
    std::memcpy(stub + 10, jmp_r11_then_int3, 4);
  }
  if (mprotect(code_.data(), code_.size(), PROT_READ | PROT_EXEC) != 0)
    throw std::runtime_error("nkhost: cannot make the host trampolines executable");
}

uint32_t Trampolines::address(size_t index) const {
  return static_cast<uint32_t>(code_.address() + index * kStubSize);
}

}  // namespace nk::sim
