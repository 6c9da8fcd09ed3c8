// The entry points compiler-generated code calls for allocation, termination, static
// guards and exit-time registration. There is one thread, no process exit and no way to
// recover from running out of memory, so each does only what that setting needs.

#include <new>
#include <stdint.h>
#include <stdlib.h>

#pragma GCC visibility push(default)

void* operator new(size_t size) {
  // Code that allocates through new never checks for null: running out of memory halts.
  void* block = malloc(size == 0 ? 1 : size);
  if (block == nullptr) abort();
  return block;
}

void* operator new[](size_t size) { return operator new(size); }

void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

namespace std {
const nothrow_t nothrow{};

// There is no terminate handler and no way to install one.
void terminate() noexcept { abort(); }
}  // namespace std

extern "C" {

// __dso_handle, the handle compilers pass to __cxa_atexit, is not defined here: the
// linker gives every image its own, at its Mach-O header, and refuses a second one.

// Static objects are never destroyed: there is no exit to run them at.
int __cxa_atexit(void (*)(void*), void*, void*) { return 0; }

// Bit 0 of the guard's first byte marks a finished initialisation. With one thread there
// is nothing to wait for and no lock to take.
int __cxa_guard_acquire(uint64_t* guard) { return (*reinterpret_cast<uint8_t*>(guard) & 1) == 0; }
void __cxa_guard_release(uint64_t* guard) { *reinterpret_cast<uint8_t*>(guard) |= 1; }
// The guard stays clear, so the next pass tries the initialisation again.
void __cxa_guard_abort(uint64_t*) {}

void __cxa_pure_virtual() { abort(); }
void __cxa_deleted_virtual() { abort(); }

// new[] with a negative or overflowing count; without standard exception classes there is
// nothing to throw.
[[noreturn]] void __cxa_throw_bad_array_new_length() { std::terminate(); }

// Thread-local variables are not supported.
void* _tlv_bootstrap() { return nullptr; }

}  // extern "C"

#pragma GCC visibility pop
