// Exception objects: their blocks, throw, catch and rethrow, and the stack of caught
// exceptions. Finding a handler and getting there is the unwinder's business.

#include <new>
#include <stdlib.h>
#include <string.h>

#include "runtime/exception_abi.h"

extern "C" NorrikExceptionHeader* gCaughtException = nullptr;

namespace {

// Landing pads receive the header's address as a 32-bit word, so a block above that range
// could never be delivered to a catch.
constexpr uintptr_t kDeliverableLimit = uintptr_t(1) << 32;

void clear_handler(NorrikExceptionHeader* header) {
  header->handler_context = nullptr;
  header->handler_landing_pad = 0;
  header->handler_selector = 0;
  header->pointer_catch = 0;
}

// What a catch clause receives: the object's address, or for a clause of pointer type the
// thrown pointer itself.
void* caught_value(NorrikExceptionHeader* header) {
  void* object = nk::object_from_header(header);
  return header->pointer_catch ? *static_cast<void**>(object) : object;
}

}  // namespace

#pragma GCC visibility push(default)
extern "C" {

void* __cxa_allocate_exception(size_t size) {
  if (size == 0) size = 1;
  if (size > SIZE_MAX - sizeof(NorrikExceptionHeader)) std::terminate();
  size_t total = sizeof(NorrikExceptionHeader) + size;
  void* block = malloc(total);
  if (block == nullptr) std::terminate();
  if (reinterpret_cast<uintptr_t>(block) >= kDeliverableLimit) std::terminate();
  memset(block, 0, total);
  return nk::object_from_header(static_cast<NorrikExceptionHeader*>(block));
}

void __cxa_free_exception(void* object) {
  if (object == nullptr) return;
  free(nk::header_from_object(object));
}

[[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
  NorrikExceptionHeader* header = nk::header_from_object(object);
  header->exception_type = type;
  header->destructor = destructor;
  clear_handler(header);
  header->rethrown = 0;
  nk::raise_exception(header);
}

// An object caught again while one of its handlers still runs (`throw;` inside a catch,
// caught further in) is already on the caught stack: it only gains a handler.
void* __cxa_begin_catch(void* exception) {
  if (exception == nullptr) return nullptr;
  auto* header = static_cast<NorrikExceptionHeader*>(exception);
  if (header->handler_count++ == 0) {
    header->next_caught = gCaughtException;
    gCaughtException = header;
  }
  header->rethrown = 0;
  return caught_value(header);
}

// The object leaves the caught stack with its last handler, and is finished then unless
// it is in flight again.
void __cxa_end_catch() {
  NorrikExceptionHeader* header = gCaughtException;
  if (header == nullptr) return;
  if (header->handler_count > 1) {
    --header->handler_count;
    return;
  }
  header->handler_count = 0;
  gCaughtException = header->next_caught;
  header->next_caught = nullptr;
  if (header->rethrown) return;  // its outer catch finishes it
  if (header->destructor != nullptr) header->destructor(nk::object_from_header(header));
  free(header);
}

// For a catch by value: the object to copy from, before its handler begins.
void* __cxa_get_exception_ptr(void* exception) {
  if (exception == nullptr) return nullptr;
  return caught_value(static_cast<NorrikExceptionHeader*>(exception));
}

[[noreturn]] void __cxa_rethrow() {
  NorrikExceptionHeader* header = gCaughtException;
  if (header == nullptr) std::terminate();
  header->rethrown = 1;
  clear_handler(header);
  nk::raise_exception(header);
}

// Where a C++11/14 function declared throw() sends an exception that escapes it. The
// unwinder does not enforce such throw() lists, so nothing arrives here, but that code
// refers to it.
[[noreturn]] void __cxa_call_unexpected(void* exception) {
  __cxa_begin_catch(exception);
  std::terminate();
}

}  // extern "C"
#pragma GCC visibility pop

// Where compiler-generated code goes when an exception tries to leave a function that may
// not throw. Kept hidden: each program carries its own copy.
extern "C" [[noreturn]] void __clang_call_terminate(void* exception) {
  __cxa_begin_catch(exception);
  std::terminate();
}
