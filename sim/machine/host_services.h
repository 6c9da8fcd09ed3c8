#pragma once
// The host's entry points: plain System V functions that the table's trampolines jump to.

#include <cstdint>
#include <span>

#include "sim/machine/machine.h"

namespace nk::sim {

struct HostService {
  Entry entry;
  uintptr_t function;
};

// Every service this host provides.
std::span<const HostService> host_services();

// What imports of dyld_stub_binder bind to: a report that lazy binding was attempted.
uintptr_t stub_binder_address();

}  // namespace nk::sim
