// The host program interface table at 0x6800, as tests see and edit it.

#include "sim/machine/machine.h"

namespace nk::sim {
namespace {

constexpr uint32_t kMagicOffset = 0x0, kVersionOffset = 0x4, kSizeOffset = 0x8;
constexpr uint32_t kFirstEntry = 0x0C;

volatile uint32_t* word(uint32_t offset) {
  return reinterpret_cast<volatile uint32_t*>(kTableAddress + offset);
}

uint32_t slot(Entry entry) { return static_cast<uint32_t>(entry) / 4; }

}  // namespace

const char* entry_name(Entry entry) {
  switch (entry) {
    case Entry::key_poll: return "key_poll";
    case Entry::file_stat: return "file_stat";
    case Entry::file_write: return "file_write";
    case Entry::file_delete: return "file_delete";
    case Entry::console_write_line: return "console_write_line";
    case Entry::console_read_line: return "console_read_line";
    case Entry::memory_allocate: return "memory_allocate";
    case Entry::memory_free: return "memory_free";
    case Entry::memory_reallocate: return "memory_reallocate";
    case Entry::png_decode_file: return "png_decode_file";
    case Entry::font_load: return "font_load";
    case Entry::font_resize: return "font_resize";
    case Entry::font_render: return "font_render";
    case Entry::font_free: return "font_free";
    case Entry::display_info: return "display_info";
    case Entry::pointer_poll: return "pointer_poll";
    case Entry::frame_end: return "frame_end";
    case Entry::window_create: return "window_create";
    case Entry::window_publish: return "window_publish";
    case Entry::window_destroy: return "window_destroy";
    case Entry::window_close: return "window_close";
    case Entry::window_query: return "window_query";
  }
  return "unknown";
}

void HostTable::install(const std::array<uint32_t, kTableSize / 4>& own) {
  own_ = own;
  for (uint32_t offset = 0; offset < kTableSize; offset += 4) *word(offset) = 0;
  *word(kMagicOffset) = kTableMagic;
  *word(kVersionOffset) = 1;
  *word(kSizeOffset) = kTableSize;
  for (uint32_t offset = kFirstEntry; offset < kTableSize; offset += 4)
    *word(offset) = own_[offset / 4];
}

void HostTable::set_magic(uint32_t magic) { *word(kMagicOffset) = magic; }
void HostTable::set_version(uint32_t version) { *word(kVersionOffset) = version; }
void HostTable::set_size(uint32_t size) { *word(kSizeOffset) = size; }
void HostTable::disable(Entry entry) { *word(static_cast<uint32_t>(entry)) = 0; }
void HostTable::enable(Entry entry) { *word(static_cast<uint32_t>(entry)) = own_[slot(entry)]; }
void HostTable::disable_all() {
  for (uint32_t offset = kFirstEntry; offset < kTableSize; offset += 4) *word(offset) = 0;
}
void HostTable::set_raw(Entry entry, uint32_t address) {
  *word(static_cast<uint32_t>(entry)) = address;
}
uint32_t HostTable::raw(Entry entry) const { return *word(static_cast<uint32_t>(entry)); }

}  // namespace nk::sim
