#pragma once
// strace for the host table: every host call of the chosen groups, one line each as it
// returns, with its arguments decoded (texts quoted, cut and escaped; records by their
// fields; handles and sizes as numbers) and its result.

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/machine/host_call_hooks.h"

namespace nk::sim {

// Groups of host calls, as --trace=GROUP,GROUP names them.
enum TraceGroup : unsigned {
  kTraceMemory = 1,
  kTraceConsole = 2,
  kTraceFiles = 4,
  kTraceWindow = 8,
  kTraceInput = 16,
  kTracePng = 32,
  kTraceFonts = 64,
};
constexpr unsigned kTraceAll = 127;
constexpr std::string_view kTraceGroupList = "memory, console, files, window, input, png, fonts";
constexpr size_t kMaxTraceLine = 300;

// "window,files" to a set of groups; "" is all of them. Throws std::invalid_argument naming
// the group that does not exist.
unsigned parse_trace_groups(std::string_view list);
unsigned trace_group_of(Entry entry);

// One finished call as a trace line, without its line end, at most kMaxTraceLine bytes.
std::string format_host_call(const HostCallFrame& call);

// While it lives, the machine's observed host calls of the groups are written to fd.
class CallTrace {
 public:
  CallTrace(int fd, unsigned groups);
  ~CallTrace();
  CallTrace(const CallTrace&) = delete;
  CallTrace& operator=(const CallTrace&) = delete;
};

}  // namespace nk::sim
