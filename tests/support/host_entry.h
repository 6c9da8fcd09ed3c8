#pragma once
// Calling nkhost's services through the host table, exactly as the library does.

#include <cstdint>

#include "sim/machine/machine.h"

namespace nk::test {

template <class F>
F* host_entry(sim::Machine& machine, sim::Entry entry) {
  return reinterpret_cast<F*>(uintptr_t(machine.table().raw(entry)));
}

}  // namespace nk::test
