#pragma once
// The host program interface table at 0x6800: its entry points by offset, the record of
// calls made through it, and the table itself as tests may change it.

#include <array>
#include <cstdint>
#include <string>

namespace nk::sim {

constexpr uint64_t kTableAddress = 0x6800;
constexpr uint32_t kTableMagic = 0x50414B4E;  // "NKAP"
constexpr uint32_t kTableSize = 0xB8;         // covers every entry point the library reads

// Entry points of the host table, by byte offset.
enum class Entry : uint32_t {
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
const char* entry_name(Entry entry);

// One call the library made to the host, with the arguments exactly as the host received
// them (a 32-bit argument is recorded as the 32 bits the host saw, zero-extended).
struct HostCall {
  Entry entry;
  std::array<uint64_t, 7> args{};  // window_publish takes seven
  std::string text;  // the text argument (console line, file name, title), when there is one
};

// The table at 0x6800. A fresh machine has a valid table with every service present.
class HostTable {
 public:
  void set_magic(uint32_t magic);
  void set_version(uint32_t version);
  void set_size(uint32_t size);
  void disable(Entry entry);  // entry point 0: absent
  void enable(Entry entry);   // back to the machine's own service
  void disable_all();
  void set_raw(Entry entry, uint32_t address);
  uint32_t raw(Entry entry) const;

  // The machine's own entry points (0 for a service it lacks); writes a fresh valid table.
  void install(const std::array<uint32_t, kTableSize / 4>& own);

 private:
  std::array<uint32_t, kTableSize / 4> own_{};
};

}  // namespace nk::sim
