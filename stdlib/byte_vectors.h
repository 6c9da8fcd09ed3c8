#pragma once
// Sixteen bytes at a time (SSE2, which every x86-64 processor has) for the memory and string
// functions, and the rule that keeps their wide reads safe.
//
// A read of an aligned 16- or 64-byte group never crosses a page, so it cannot fault when one
// of its bytes belongs to the object, even if the others lie past its end. Unaligned reads
// stay inside the bytes the caller handed over. Nothing is ever written outside the object.

#include <emmintrin.h>
#include <stddef.h>
#include <stdint.h>

namespace nk {

using Bytes16 = __m128i;

// Unaligned scalar access without any call: the compiler makes these single moves.
typedef uint64_t Unaligned64 __attribute__((aligned(1), may_alias));
typedef uint32_t Unaligned32 __attribute__((aligned(1), may_alias));
typedef uint16_t Unaligned16 __attribute__((aligned(1), may_alias));

template <class T>
inline auto load_scalar(const void* p) {
  return *static_cast<const T*>(p);
}
template <class T, class V>
inline void store_scalar(void* p, V v) {
  *static_cast<T*>(p) = static_cast<T>(v);
}

inline Bytes16 load(const void* p) { return _mm_loadu_si128(static_cast<const Bytes16*>(p)); }
inline Bytes16 load_aligned(const void* p) { return _mm_load_si128(static_cast<const Bytes16*>(p)); }
inline void store(void* p, Bytes16 v) { _mm_storeu_si128(static_cast<Bytes16*>(p), v); }
inline void store_aligned(void* p, Bytes16 v) { _mm_store_si128(static_cast<Bytes16*>(p), v); }

// One bit per byte, bit i for byte i.
inline unsigned equal_mask(Bytes16 a, Bytes16 b) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
}
inline unsigned zero_mask(Bytes16 a) { return equal_mask(a, _mm_setzero_si128()); }

inline unsigned lowest_bit(uint64_t mask) { return static_cast<unsigned>(__builtin_ctzll(mask)); }

inline uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Bytes from p to the end of its page (at least 1), and from the page start to p.
inline size_t page_room(const void* p) { return 4096 - (address(p) & 4095); }
inline size_t back_room(const void* p) { return address(p) & 4095; }

// How the functions that may read past an object's end read. Under valgrind every byte read
// past an end is reported, even where the hardware allows it, so they go one byte at a time
// there (valgrind answers its client request; elsewhere the sequence changes nothing).
// Otherwise 32 bytes at a time where the processor has AVX2 and the system saves its
// registers (the boot environment may not), else 16. Settled on first use. memcpy, memmove,
// memset and memcmp, which stay inside their blocks, take only the width from it.
enum class ReadMode : unsigned char { unknown, bytewise, sse2, avx2 };
extern ReadMode gReadMode;  // the tests set it to try each way on one machine

ReadMode settle_read_mode();

// The first call of all settles the mode, then is made again from here: out of line, so that
// the probes give no caller a stack frame on its usual path.
template <class R, class... Args>
[[gnu::cold, gnu::noinline]] R once_settled(R (*f)(Args...), Args... args) {
  settle_read_mode();
  return f(args...);
}

// AVX2 versions, for ReadMode::avx2 only.
size_t string_length_avx2(const char* s);
const void* find_byte_avx2(const void* s, unsigned char c, size_t n);  // n > 0
int compare_blocks_avx2(const void* a, const void* b, size_t n);      // n >= 32
int compare_strings_avx2(const unsigned char* a, const unsigned char* b, size_t limit);
// n > 128; as copy_forward and copy_backward in stdlib/memory_blocks.cpp, and they return d.
void* copy_forward_avx2(unsigned char* d, const unsigned char* s, size_t n);
void* copy_backward_avx2(unsigned char* d, const unsigned char* s, size_t n);
void* fill_avx2(unsigned char* d, unsigned char c, size_t n);  // n > 64

}  // namespace nk
