#pragma once
// The one machine a benchmark process runs the library on, with the call record and the
// kept console lines off as nkhost run has them, so that the host's bookkeeping is not what
// gets measured.

#include <filesystem>
#include <string>

#include "sim/machine/machine.h"

namespace nk::bench {

inline sim::Machine& machine() {
  static sim::Machine instance(sim::Machine::Options{.record_calls = false, .console_lines = 0});
  return instance;
}

inline const sim::Image& library() {
  static const sim::Image& image = machine().load_library(NK_LIBRARY_PATH);
  return image;
}

// bench/guest/<name>, loaded once over the library.
inline const sim::Image& guest_program(const std::string& name) {
  library();
  return machine().load_program(std::filesystem::path(NK_BENCH_GUEST_DIR) / ("bench_guest_" + name));
}

}  // namespace nk::bench
