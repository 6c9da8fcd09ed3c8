// Block copies, fills, comparisons and string scans for NorrikLua's own code. The
// library's versions go one byte at a time by contract, some through further calls
// (strspn calls strchr per byte); Lua moves every string it builds through memcpy and
// scans formats and patterns with these, so the program carries its own (a program's
// definitions take precedence over the library's exports when it is linked).

#include <stddef.h>
#include <stdint.h>

extern "C" {

void* memcpy(void* dst, const void* src, size_t n) {
  void* d = dst;
  __asm__ volatile("rep movsb" : "+D"(d), "+S"(src), "+c"(n) : : "memory");
  return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d <= s || d >= s + n) return memcpy(dst, src, n);
  // Overlapping with the destination above: copy from the end, backwards.
  d += n - 1;
  s += n - 1;
  __asm__ volatile("std\n\trep movsb\n\tcld" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
  return dst;
}

void* memset(void* dst, int c, size_t n) {
  void* d = dst;
  __asm__ volatile("rep stosb" : "+D"(d), "+c"(n) : "a"(c) : "memory");
  return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(a);
  const unsigned char* q = static_cast<const unsigned char*>(b);
  for (; n >= 8; n -= 8, p += 8, q += 8) {
    uint64_t x, y;
    __builtin_memcpy(&x, p, 8);
    __builtin_memcpy(&y, q, 8);
    if (x != y) break;  // the bytes below decide
  }
  for (; n; --n, ++p, ++q)
    if (*p != *q) return *p - *q;
  return 0;
}

size_t strlen(const char* s) {
  const char* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

char* strchr(const char* s, int c) {
  char ch = static_cast<char>(c);
  for (;; ++s) {
    if (*s == ch) return const_cast<char*>(s);
    if (!*s) return nullptr;
  }
}

void* memchr(const void* s, int c, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(s);
  unsigned char ch = static_cast<unsigned char>(c);
  for (; n; --n, ++p)
    if (*p == ch) return const_cast<unsigned char*>(p);
  return nullptr;
}

// The bytes of a set as a 256-bit table; NUL is never in it.
struct ByteSet {
  uint64_t bits[4] = {};
  explicit ByteSet(const char* set) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(set); *p; ++p)
      bits[*p >> 6] |= uint64_t{1} << (*p & 63);
  }
  bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
};

size_t strspn(const char* s, const char* set) {
  ByteSet in(set);
  size_t n = 0;
  while (s[n] && in.has(static_cast<unsigned char>(s[n]))) ++n;
  return n;
}

char* strpbrk(const char* s, const char* set) {
  ByteSet in(set);
  for (; *s; ++s)
    if (in.has(static_cast<unsigned char>(*s))) return const_cast<char*>(s);
  return nullptr;
}

int strcmp(const char* a, const char* b) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
  while (*p && *p == *q) ++p, ++q;
  return *p - *q;
}

int strcoll(const char* a, const char* b) { return strcmp(a, b); }  // the "C" locale

}  // extern "C"
