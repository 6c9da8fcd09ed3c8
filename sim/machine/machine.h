#pragma once
// nkhost's machine: the fixed low memory, the host program interface table, the host's
// services and the loaded Mach-O images. Only one machine exists in a process at a time,
// because the table and the boot memory map live at fixed addresses.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/loader/image.h"
#include "sim/machine/boot_memory_map.h"
#include "sim/machine/host_table.h"
#include "sim/services/console.h"
#include "sim/services/files.h"
#include "sim/services/fonts.h"
#include "sim/services/memory.h"
#include "sim/services/window/window_service.h"

namespace nk::sim {

// Exit statuses of nkhost besides the program's own result.
constexpr int kExitUsage = 64;       // bad command line
constexpr int kExitLoadFailed = 66;  // the library or program could not be loaded
constexpr int kExitInternal = 70;    // nkhost itself failed (EX_SOFTWARE)
constexpr int kExitHalted = 134;     // the program halted (abort, terminate, ...)
constexpr int kExitCrashed = 139;    // any other fault

class Machine {
 public:
  struct Options {
    bool stdio_console = false;  // print lines and read standard input, as nkhost run does
    bool record_calls = true;    // keep the call record (tests); off for nkhost run
    // Lines written that console().lines() keeps (tests); 0 for none, as nkhost run has it,
    // so that a long run prints in constant memory.
    size_t console_lines = size_t(1) << 16;
    std::filesystem::path files;  // file store directory; empty: the current directory
    // Route host calls through the observer thunk, for the trace and the profiler.
    bool observe_host_calls = false;
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
  FontService& fonts();
  WindowService& window();
  BootMemoryMap& boot_map();

  const std::vector<HostCall>& calls() const;
  void clear_calls();

  // Loads a fresh copy of the library; throws LoadError.
  Image& load_library(const std::filesystem::path& path);
  Image& load_library(const std::vector<uint8_t>& bytes, const std::string& name);
  // Loads a program and binds its imports to the library loaded before; throws LoadError.
  Image& load_program(const std::filesystem::path& path);
  Image& load_program(const std::vector<uint8_t>& bytes, const std::string& name);
  // Calls the program's entry (LC_MAIN) with its name as the one argument and returns its result.
  int run_main(const Image& program);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace nk::sim
