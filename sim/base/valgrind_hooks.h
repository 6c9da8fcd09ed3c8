#pragma once
// Valgrind client requests, so that memcheck checks how the library uses host memory.
// They cost a few instructions when the process does not run under valgrind.

#include <cstddef>

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#include <valgrind/valgrind.h>
#define NK_HAVE_VALGRIND 1
#else
#define NK_HAVE_VALGRIND 0
#endif

namespace nk::sim {

inline bool running_on_valgrind() {
#if NK_HAVE_VALGRIND
  return RUNNING_ON_VALGRIND;
#else
  return false;
#endif
}

inline void valgrind_block_allocated([[maybe_unused]] void* block, [[maybe_unused]] size_t size) {
#if NK_HAVE_VALGRIND
  VALGRIND_MALLOCLIKE_BLOCK(block, size, 0, 0);
#endif
}

inline void valgrind_block_freed([[maybe_unused]] void* block) {
#if NK_HAVE_VALGRIND
  VALGRIND_FREELIKE_BLOCK(block, 0);
#endif
}

inline void valgrind_block_resized([[maybe_unused]] void* block, [[maybe_unused]] size_t old_size,
                                   [[maybe_unused]] size_t new_size) {
#if NK_HAVE_VALGRIND
  VALGRIND_RESIZEINPLACE_BLOCK(block, old_size, new_size, 0);
#endif
}

inline void valgrind_no_access([[maybe_unused]] void* memory, [[maybe_unused]] size_t size) {
#if NK_HAVE_VALGRIND
  VALGRIND_MAKE_MEM_NOACCESS(memory, size);
#endif
}

inline void valgrind_defined([[maybe_unused]] void* memory, [[maybe_unused]] size_t size) {
#if NK_HAVE_VALGRIND
  VALGRIND_MAKE_MEM_DEFINED(memory, size);
#endif
}

inline void valgrind_discard_translations([[maybe_unused]] void* code, [[maybe_unused]] size_t size) {
#if NK_HAVE_VALGRIND
  VALGRIND_DISCARD_TRANSLATIONS(code, size);
#endif
}

}  // namespace nk::sim
