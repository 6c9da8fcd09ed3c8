#pragma once
// nkhost's machine: the fixed low memory, the host program interface table, the host's
// services and the loaded Mach-O images. Only one machine exists in a process at a time,
// because the table and the boot memory map live at fixed addresses.

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/image.h"

namespace nk::sim {

class HostAllocator;
class LowMemory;

// Exit statuses of nkhost besides the program's own result.
constexpr int kExitUsage = 64;       // bad command line
constexpr int kExitLoadFailed = 66;  // the library or program could not be loaded
constexpr int kExitHalted = 134;     // the program halted (abort, terminate, ...)
constexpr int kExitCrashed = 139;    // any other fault

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
  std::array<uint64_t, 4> args{};
  std::string text;  // the text argument (console line, file name), when there is one
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

// The host's allocator: every block lies below 4 GiB.
class HostMemory {
 public:
  struct Counters {
    uint64_t allocations = 0;    // successful memory_allocate calls (and reallocate of null)
    uint64_t frees = 0;          // memory_free calls with a non-null pointer
    uint64_t reallocations = 0;  // memory_reallocate calls
    uint64_t failures = 0;       // requests answered with null
    uint64_t live_blocks = 0;
    uint64_t live_bytes = 0;
    uint64_t peak_bytes = 0;
  };
  Counters counters() const;
  // The nth allocation request from now (1 = the next) fails; 0 cancels.
  void fail_nth(uint64_t n);
  // Every allocation request fails while set.
  void fail_all(bool on);
  bool owns(const void* block) const;
  // Host-side blocks below 4 GiB (file contents, decoded images ...).
  void* allocate(uint64_t size);
  void release(void* block);

  HostMemory();
  ~HostMemory();
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;
  // The memory service as the library calls it: counted, failure injection applied, bad
  // pointers reported on stderr and ignored.
  void* service_allocate(uint64_t size);
  void service_free(void* block);
  void* service_reallocate(void* block, uint64_t size);

 private:
  bool inject_failure();
  std::unique_ptr<HostAllocator> allocator_;
  Counters counters_;
  uint64_t fail_countdown_ = 0;
  bool fail_all_ = false;
  std::unordered_map<const void*, uint64_t> host_blocks_;  // host-side block -> size
};

// Console lines: written ones are recorded (and printed in stdio mode); input comes from a
// script in tests, from standard input on the command line.
class Console {
 public:
  void script(std::vector<std::string> input_lines);  // read_line answers 0 when they run out
  void use_stdio(bool on);
  const std::vector<std::string>& lines() const;  // every line written, in order
  void clear();

  // The console service as the library calls it. read_line stores at most capacity - 1
  // bytes and a NUL, returns non-zero when a line was read, and gives the line in got.
  void write_line(const char* text);
  int32_t read_line(char* buffer, uint32_t capacity, std::string& got);

 private:
  std::vector<std::string> lines_;
  std::deque<std::string> script_;
  bool stdio_ = false;
};

// The file store: a directory on disk. Names cannot reach outside it.
class FileStore {
 public:
  void set_root(const std::filesystem::path& directory);
  const std::filesystem::path& root() const;

  explicit FileStore(HostMemory& memory);
  // The file services as the library calls them; info is the 12-byte file record.
  int32_t stat(const char* name, void* info);
  int32_t write(const char* name, const void* data, uint32_t size);
  int32_t remove(const char* name);

 private:
  std::optional<std::filesystem::path> resolve(const char* name) const;
  HostMemory& memory_;
  std::filesystem::path root_;
  // Contents handed out, by path: a read-only stream may read them for the machine's life.
  std::unordered_map<std::string, std::vector<std::pair<const void*, uint32_t>>> handed_out_;
};

// The boot memory map at 0x6088. Setting it also maps the memory that its regions
// describe above 3 MiB, so that the probe heap can write there.
class BootMemoryMap {
 public:
  struct Region {
    uint64_t base;
    uint64_t length;
  };
  void set_memory_top(uint32_t top);
  void set_regions32(const std::vector<Region>& regions, std::optional<uint32_t> count = {});
  void set_regions64(const std::vector<Region>& regions, std::optional<uint32_t> count = {},
                     uint32_t magic = 0x3436484E);
  void clear();  // both tables empty, memory_top 0

  explicit BootMemoryMap(LowMemory& low);
  // One 32-bit region {0x100000, 0x3F00000} and memory_top 0x4000000: the probe heap gets
  // 0x300000..0x4000000, the memory reserved for it.
  void set_default();

 private:
  void map_region(uint64_t base, uint64_t length);
  LowMemory& low_;
};

class Machine {
 public:
  struct Options {
    bool stdio_console = false;  // print lines and read standard input, as nkhost run does
    bool record_calls = true;    // keep the call record (tests); off for nkhost run
    std::filesystem::path files;  // file store directory; empty: the current directory
  };
  Machine();
  explicit Machine(Options options);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  HostTable& table();
  HostMemory& memory();
  Console& console();
  FileStore& files();
  BootMemoryMap& boot_map();

  const std::vector<HostCall>& calls() const;
  void clear_calls();

  // Loads a fresh copy of the library; throws LoadError.
  Image& load_library(const std::filesystem::path& path);
  Image& load_library(const std::vector<uint8_t>& bytes, const std::string& name);
  // Loads a program and binds its imports to the library loaded before; throws LoadError.
  Image& load_program(const std::filesystem::path& path);
  Image& load_program(const std::vector<uint8_t>& bytes, const std::string& name);
  // Calls the program's main (LC_MAIN) with no arguments and returns its result.
  int run_main(const Image& program);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace nk::sim
