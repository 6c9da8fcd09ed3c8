#include "sim/machine/host_services.h"

#include <unistd.h>

#include <cstring>

#include "sim/machine/machine_state.h"

namespace nk::sim {
namespace {

MachineCore& machine() { return *g_machine; }

uint64_t value(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// A guest text for the call record, bounded in case it lacks its NUL.
std::string_view text_of(const char* text) {
  if (!text) return {};
  return std::string_view(text, strnlen(text, 1 << 16));
}

void* memory_allocate(uint64_t size) {
  machine().record(Entry::memory_allocate, {size});
  return machine().memory.service_allocate(size);
}

void memory_free(void* block) {
  machine().record(Entry::memory_free, {value(block)});
  machine().memory.service_free(block);
}

void* memory_reallocate(void* block, uint64_t size) {
  machine().record(Entry::memory_reallocate, {value(block), size});
  return machine().memory.service_reallocate(block, size);
}

void console_write_line(const char* text) {
  machine().record(Entry::console_write_line, {value(text)}, text_of(text));
  machine().console.write_line(text);
}

// The record's text is the line handed back (empty when none).
int32_t console_read_line(char* buffer, uint32_t capacity, uint64_t prompt, uint32_t flag) {
  std::string got;
  int32_t result = machine().console.read_line(buffer, capacity, got);
  machine().record(Entry::console_read_line, {value(buffer), capacity, prompt, flag}, got);
  return result;
}

int32_t file_stat(const char* name, void* info) {
  machine().record(Entry::file_stat, {value(name), value(info)}, text_of(name));
  return machine().files.stat(name, info);
}

int32_t file_write(const char* name, const void* data, uint32_t size) {
  machine().record(Entry::file_write, {value(name), value(data), size}, text_of(name));
  return machine().files.write(name, data, size);
}

int32_t file_delete(const char* name) {
  machine().record(Entry::file_delete, {value(name)}, text_of(name));
  return machine().files.remove(name);
}

// Reached only through a lazy stub, whose helper pushes words and so may leave the stack
// misaligned.
[[noreturn]] __attribute__((force_align_arg_pointer)) void dyld_stub_binder_called() {
  const char message[] =
      "nkhost: dyld_stub_binder was called: a lazy import was not bound at load time\n";
  ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
  (void)ignored;
  _exit(kExitCrashed);
}

template <class F>
uintptr_t address_of(F* function) {
  return reinterpret_cast<uintptr_t>(function);
}

const HostService kServices[] = {
    {Entry::memory_allocate, address_of(memory_allocate)},
    {Entry::memory_free, address_of(memory_free)},
    {Entry::memory_reallocate, address_of(memory_reallocate)},
    {Entry::console_write_line, address_of(console_write_line)},
    {Entry::console_read_line, address_of(console_read_line)},
    {Entry::file_stat, address_of(file_stat)},
    {Entry::file_write, address_of(file_write)},
    {Entry::file_delete, address_of(file_delete)},
};

}  // namespace

std::span<const HostService> host_services() { return kServices; }

uintptr_t stub_binder_address() { return address_of(dyld_stub_binder_called); }

}  // namespace nk::sim
