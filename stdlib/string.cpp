// Memory and string functions: plain byte loops, no locale. The compiler would turn these
// loops into calls to themselves; -fno-builtin is what keeps it from doing so.

#include <stdlib.h>
#include <string.h>
#include <strings.h>

void* memcpy(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
  return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
  if (n == 0 || dst == src) return dst;
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
  } else {
    for (size_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return dst;
}

void* memset(void* dst, int c, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(c);
  return dst;
}

void bzero(void* dst, size_t n) { memset(dst, 0, n); }

void __bzero(void* dst, size_t n) { memset(dst, 0, n); }

int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] - y[i];
  return 0;
}

void* memchr(const void* s, int c, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n; ++i)
    if (p[i] == static_cast<unsigned char>(c)) return const_cast<unsigned char*>(p + i);
  return nullptr;
}

size_t strlen(const char* s) {
  if (s == nullptr) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

int strcmp(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x && *x == *y) ++x, ++y;
  return *x - *y;
}

int strncmp(const char* a, const char* b, size_t n) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return x[i] - y[i];
    if (x[i] == 0) return 0;
  }
  return 0;
}

int strcoll(const char* a, const char* b) { return strcmp(a, b); }

char* strcpy(char* dst, const char* src) {
  for (size_t i = 0; (dst[i] = src[i]) != 0; ++i) {
  }
  return dst;
}

char* strdup(const char* s) {
  if (s == nullptr) return nullptr;
  size_t size = strlen(s) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (copy) memcpy(copy, s, size);
  return copy;
}

char* strchr(const char* s, int c) {
  char wanted = static_cast<char>(c);
  for (;; ++s) {
    if (*s == wanted) return const_cast<char*>(s);
    if (*s == 0) return nullptr;
  }
}

size_t strspn(const char* s, const char* set) {
  size_t n = 0;
  while (s[n] && strchr(set, s[n])) ++n;
  return n;
}

char* strpbrk(const char* s, const char* set) {
  for (; *s; ++s)
    if (strchr(set, *s)) return const_cast<char*>(s);
  return nullptr;
}

char* strstr(const char* haystack, const char* needle) {
  if (*needle == 0) return const_cast<char*>(haystack);
  for (; *haystack; ++haystack) {
    size_t i = 0;
    while (needle[i] && haystack[i] == needle[i]) ++i;
    if (needle[i] == 0) return const_cast<char*>(haystack);
  }
  return nullptr;
}
