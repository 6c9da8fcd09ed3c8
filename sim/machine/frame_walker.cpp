#include "sim/machine/frame_walker.h"

#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include "sim/machine/image_registry.h"

namespace nk::sim {
namespace {

constexpr uint8_t kPushRbp = 0x55, kRet = 0xC3;

uint64_t g_stack_top = 0;

}  // namespace

void note_guest_stack() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* low = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attributes, &low, &size) == 0)
    g_stack_top = reinterpret_cast<uintptr_t>(low) + size;
  pthread_attr_destroy(&attributes);
}

bool read_guest_word(uint64_t address, uint64_t sp, uint64_t& value) noexcept {
  // Between the stack pointer and the top of the stack, memory is in use and mapped.
  if (sp && address >= sp && address < g_stack_top && g_stack_top - address >= 8) {
    value = *reinterpret_cast<const uint64_t*>(address);
    return true;
  }
  iovec local{&value, 8}, remote{reinterpret_cast<void*>(address), 8};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 8;
}

FrameWalker FrameWalker::interrupted(uint64_t pc, uint64_t fp, uint64_t sp) noexcept {
  FrameWalker walker(fp, sp);
  walker.pending_[walker.pending_count_++] = pc;
  // Inside a prologue or at its ret, the frame pointer still belongs to the caller: the
  // caller's own return address is then found at the stack pointer instead.
  const KnownImage* image = image_at(pc);
  bool in_code = image && image->in_code(pc);
  const auto* symbol = in_code ? image->symbols.symbol_at(pc - image->slide) : nullptr;
  uint64_t start = symbol ? symbol->address + image->slide : 0;
  if (!in_code) {
    // A call to a bad address faults before anything is pushed but the return address.
    uint64_t word = 0;
    if (read_guest_word(sp, sp, word) && in_guest_code(word - 1)) {
      walker.pending_[walker.pending_count_] = word;
      walker.pending_is_return_[walker.pending_count_++] = true;
    }
    return walker;
  }
  // Code sections are mapped readable, so their bytes can be looked at directly.
  auto byte_at = [](uint64_t address) { return *reinterpret_cast<const uint8_t*>(address); };
  bool at_ret = byte_at(pc) == kRet;
  bool after_push = start && pc == start + 1 && byte_at(start) == kPushRbp;
  uint64_t word = 0;
  uint64_t slot = (pc == start || at_ret) ? sp : after_push ? sp + 8 : 0;
  if (slot && read_guest_word(slot, sp, word) && in_guest_code(word - 1)) {
    walker.pending_[walker.pending_count_] = word;
    walker.pending_is_return_[walker.pending_count_++] = true;
  }
  return walker;
}

FrameWalker FrameWalker::at_call(uint64_t sp, uint64_t fp) noexcept {
  FrameWalker walker(fp, sp);
  uint64_t ret = 0;
  if (read_guest_word(sp, sp, ret) && in_guest_code(ret - 1)) {
    walker.pending_[0] = ret;
    walker.pending_is_return_[0] = true;
    walker.pending_count_ = 1;
  } else {
    walker.done_ = true;
  }
  return walker;
}

bool FrameWalker::next(uint64_t& address, bool& return_address) noexcept {
  if (pending_at_ < pending_count_) {
    address = pending_[pending_at_];
    return_address = pending_is_return_[pending_at_++];
    return true;
  }
  if (done_) return false;
  uint64_t caller_fp = 0, ret = 0;
  if (fp_ % 8 || !read_guest_word(fp_, sp_, caller_fp) || !read_guest_word(fp_ + 8, sp_, ret) ||
      !in_guest_code(ret - 1)) {
    done_ = true;
    return false;
  }
  // Frames lie ever higher on the stack; anything else is a broken chain.
  if (caller_fp <= fp_) done_ = true;
  fp_ = caller_fp;
  address = ret;
  return_address = true;
  return true;
}

}  // namespace nk::sim
