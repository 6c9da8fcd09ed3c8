#pragma once
// Turns faults into reports. The library's abort runs cli; hlt, which a Linux process may
// not execute: the fault lands with the instruction pointer on that instruction, and is
// reported as a halt. Every other fault is reported as a crash at the nearest exported
// symbol. Both end the process with nkhost's own exit status.

namespace nk::sim {

class LoadedImage;

// Installs the handlers (on an alternate stack, so that a stack overflow is reported too)
// and restores the previous ones when destroyed.
class FaultReporter {
 public:
  FaultReporter();
  ~FaultReporter();
  FaultReporter(const FaultReporter&) = delete;
  FaultReporter& operator=(const FaultReporter&) = delete;
};

// The images a report may name. The handler reads this list without taking locks.
void register_image(const LoadedImage* image);
void unregister_image(const LoadedImage* image);

}  // namespace nk::sim
