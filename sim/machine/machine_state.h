#pragma once
// What a machine is made of. The services reach the one live machine through g_machine.

#include <memory>
#include <vector>

#include "sim/loader/loaded_image.h"
#include "sim/machine/fault_report.h"
#include "sim/machine/low_memory.h"
#include "sim/machine/machine.h"
#include "sim/machine/trampolines.h"

namespace nk::sim {

struct MachineCore {
  explicit MachineCore(Machine::Options options);
  ~MachineCore();

  // Keeps the call when recording is on. The record stops at kMaxRecordedCalls (with one
  // warning), so that a long run of millions of allocations cannot exhaust memory.
  void record(Entry entry, std::array<uint64_t, 7> args, std::string_view text = {}) {
    if (recording()) keep(entry, args, text);
  }
  bool recording() const { return options.record_calls; }
  void keep(Entry entry, std::array<uint64_t, 7> args, std::string_view text);

  Machine::Options options;
  LowMemory low;
  HostMemory memory;
  Console console;
  FileStore files{memory};
  FontService fonts{files, memory};
  WindowService window;
  BootMemoryMap boot_map{low};
  HostTable table;
  Trampolines trampolines;
  FaultReporter fault_reporter;
  std::vector<HostCall> calls;
  bool record_full = false;
  std::vector<std::unique_ptr<LoadedImage>> images;  // last: unmapped first
  const LoadedImage* library = nullptr;
};

constexpr size_t kMaxRecordedCalls = size_t(1) << 20;

extern MachineCore* g_machine;

}  // namespace nk::sim
