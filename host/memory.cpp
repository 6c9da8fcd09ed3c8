// The general allocator owns no memory: every call goes to the host unchanged.

#include <stdlib.h>

#include "host/program_api.h"

void* malloc(size_t size) {
  return nk::call_host_or<void*(uint64_t)>(nullptr, nk::HostEntry::memory_allocate, size);
}

void free(void* block) { nk::call_host<void(void*)>(nk::HostEntry::memory_free, block); }

void* realloc(void* block, size_t size) {
  return nk::call_host_or<void*(void*, uint64_t)>(nullptr, nk::HostEntry::memory_reallocate,
                                                  block, size);
}
