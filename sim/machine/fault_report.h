#pragma once
// Turns faults into reports. The library's abort runs cli; hlt, which a Linux process may
// not execute: the fault lands with the instruction pointer on that instruction, and is
// reported as a halt. Every other fault is reported as a crash. A report's first line says
// in words what happened (abort, an uncaught exception, an invalid memory access at an
// address, a stack overflow ...); a backtrace of the program's and the library's frames
// follows. Both end the process with nkhost's own exit status.

#include "sim/machine/image_registry.h"

namespace nk::sim {

// Installs the handlers (on an alternate stack, so that a stack overflow is reported too)
// and restores the previous ones when destroyed.
class FaultReporter {
 public:
  FaultReporter();
  ~FaultReporter();
  FaultReporter(const FaultReporter&) = delete;
  FaultReporter& operator=(const FaultReporter&) = delete;
};

// Work that must still happen when a fault ends the process, after the report (the
// profiler writes what it has gathered). It runs in the signal handler, so it must be
// async-signal-safe; null for none.
void set_fault_epilogue(void (*epilogue)() noexcept);

}  // namespace nk::sim
