// memcpy, memmove and memset 32 bytes at a time, for processors with AVX2 whose registers the
// system saves (stdlib/byte_vectors.h says when): the 16-byte loops of
// stdlib/memory_blocks.cpp at twice the width, which halves the stores. The ends are moved
// apart with unaligned moves; the stores between them are aligned.

#include <immintrin.h>

#include "stdlib/byte_vectors.h"

namespace {

using Bytes32 = __m256i;
using Byte = unsigned char;

[[gnu::target("avx2")]] inline Bytes32 load32(const void* p) {
  return _mm256_loadu_si256(static_cast<const Bytes32*>(p));
}
[[gnu::target("avx2")]] inline void store32(void* p, Bytes32 v) {
  _mm256_storeu_si256(static_cast<Bytes32*>(p), v);
}
[[gnu::target("avx2")]] inline void store32_aligned(void* p, Bytes32 v) {
  _mm256_store_si256(static_cast<Bytes32*>(p), v);
}

}  // namespace

// The first 32 and the last 128 bytes are read up front and written last; in between, each
// group is read before it is written, ahead of every store that could reach it.
[[gnu::target("avx2")]] void* nk::copy_forward_avx2(Byte* d, const Byte* s, size_t n) {
  Bytes32 head = load32(s);
  Bytes32 t0 = load32(s + n - 128), t1 = load32(s + n - 96), t2 = load32(s + n - 64), t3 = load32(s + n - 32);
  size_t skip = 32 - (address(d) & 31);
  Byte* to = d + skip;
  const Byte* from = s + skip;
  for (size_t left = n - skip; left > 128; left -= 128, to += 128, from += 128) {
    Bytes32 a = load32(from), b = load32(from + 32), c = load32(from + 64), e = load32(from + 96);
    store32_aligned(to, a);
    store32_aligned(to + 32, b);
    store32_aligned(to + 64, c);
    store32_aligned(to + 96, e);
  }
  store32(d + n - 128, t0);
  store32(d + n - 96, t1);
  store32(d + n - 64, t2);
  store32(d + n - 32, t3);
  store32(d, head);
  return d;
}

// The mirror image, for d above s: from the end down.
[[gnu::target("avx2")]] void* nk::copy_backward_avx2(Byte* d, const Byte* s, size_t n) {
  Bytes32 tail = load32(s + n - 32);
  Bytes32 h0 = load32(s), h1 = load32(s + 32), h2 = load32(s + 64), h3 = load32(s + 96);
  size_t skip = address(d + n) & 31;
  Byte* to = d + n - skip;
  const Byte* from = s + n - skip;
  for (size_t left = n - skip; left > 128; left -= 128) {
    to -= 128;
    from -= 128;
    Bytes32 a = load32(from), b = load32(from + 32), c = load32(from + 64), e = load32(from + 96);
    store32_aligned(to, a);
    store32_aligned(to + 32, b);
    store32_aligned(to + 64, c);
    store32_aligned(to + 96, e);
  }
  store32(d, h0);
  store32(d + 32, h1);
  store32(d + 64, h2);
  store32(d + 96, h3);
  store32(d + n - 32, tail);
  return d;
}

// Up to 128 and 256 bytes in unaligned stores from both ends; beyond, the first and last 128
// bytes so, and aligned groups of 128 in between.
[[gnu::target("avx2")]] void* nk::fill_avx2(Byte* d, Byte c, size_t n) {
  Bytes32 v = _mm256_set1_epi8(static_cast<char>(c));
  Byte* end = d + n;
  store32(d, v);
  store32(d + 32, v);
  store32(end - 64, v);
  store32(end - 32, v);
  if (n <= 128) return d;
  store32(d + 64, v);
  store32(d + 96, v);
  store32(end - 128, v);
  store32(end - 96, v);
  if (n <= 256) return d;
  for (Byte* p = reinterpret_cast<Byte*>(address(d + 128) & ~uintptr_t{31}); p < end - 128; p += 128) {
    store32_aligned(p, v);
    store32_aligned(p + 32, v);
    store32_aligned(p + 64, v);
    store32_aligned(p + 96, v);
  }
  return d;
}
