#pragma once
// The host program interface table that NorrikBoot writes at 0x6800 before it enters the
// program. It is read afresh, as volatile memory, on every use: a host may fill or extend
// it after the library has started, so nothing of it is ever cached.

#include <stdint.h>

struct NkBaremetalProgramApi {
  uint32_t magic;    // kProgramApiMagic
  uint32_t version;  // nonzero
  uint32_t size;     // bytes of the table, entry points included
  // Entry points follow from 0x0C, one 32-bit code address each, 0 when absent.
};

namespace nk {

constexpr uintptr_t kProgramApiAddress = 0x6800;
constexpr uint32_t kProgramApiMagic = 0x50414B4E;  // "NKAP"

// Byte offsets of the entry points the library uses.
enum class HostEntry : uint32_t {
  key_poll = 0x2C,
  file_stat = 0x34,
  file_write = 0x38,
  file_delete = 0x3C,
  console_write_line = 0x40,
  console_read_line = 0x44,
  memory_allocate = 0x4C,
  memory_free = 0x50,
  memory_reallocate = 0x54,
  png_decode_file = 0x58,
  font_load = 0x68,
  font_resize = 0x70,
  font_render = 0x74,
  font_free = 0x78,
  display_info = 0x7C,
  pointer_poll = 0x80,
  frame_end = 0x9C,
  window_create = 0xA0,
  window_publish = 0xA4,
  window_destroy = 0xA8,
  window_close = 0xB0,
  window_query = 0xB4,
};

inline const volatile NkBaremetalProgramApi* program_api() {
  return reinterpret_cast<const volatile NkBaremetalProgramApi*>(kProgramApiAddress);
}

}  // namespace nk

// True when the entry point at byte `offset` of `table` may be read: valid magic, nonzero
// version, and a size that covers both the header and the whole entry.
extern "C" bool nk_program_api_field_ready(const volatile NkBaremetalProgramApi* table,
                                           uint32_t offset);

namespace nk {

// The same rule, inline for the calls on every allocation.
inline bool field_ready(const volatile NkBaremetalProgramApi* table, uint32_t offset) {
  if (table == nullptr) return false;
  uint32_t size = table->size;
  // Widened so that an offset near the top of the 32-bit range cannot wrap past the size.
  return table->magic == kProgramApiMagic && table->version != 0 && size >= 12 &&
         uint64_t{size} >= uint64_t{offset} + 4;
}

// The host's function at `entry`, typed as F, or null when the table does not provide it.
template <class F>
inline F* host_entry(HostEntry entry) {
  const volatile NkBaremetalProgramApi* table = program_api();
  uint32_t offset = static_cast<uint32_t>(entry);
  if (!field_ready(table, offset)) return nullptr;
  uint32_t address =
      *reinterpret_cast<const volatile uint32_t*>(reinterpret_cast<uintptr_t>(table) + offset);
  return reinterpret_cast<F*>(static_cast<uintptr_t>(address));
}

template <class F>
struct HostSignature;
template <class R, class... P>
struct HostSignature<R(P...)> {
  using Result = R;
};

// Calls the host's function at `entry` when it is present; otherwise answers `neutral`.
template <class F, class... A>
inline typename HostSignature<F>::Result call_host_or(typename HostSignature<F>::Result neutral,
                                                      HostEntry entry, A... args) {
  if (F* function = host_entry<F>(entry)) return function(args...);
  return neutral;
}

// The same for entry points whose result the library does not use.
template <class F, class... A>
inline void call_host(HostEntry entry, A... args) {
  if (F* function = host_entry<F>(entry)) function(args...);
}

}  // namespace nk
