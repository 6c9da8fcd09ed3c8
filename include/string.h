#ifndef ORVANE_STRING_H
#define ORVANE_STRING_H
/* Memory and string functions: byte-at-a-time, 7-bit ASCII, no locale. */
#include <stddef.h> /* size_t, NULL */

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

void *memcpy(void *dst, const void *src, size_t n);
void *memmove(void *dst, const void *src, size_t n);
void *memset(void *dst, int c, size_t n);
int memcmp(const void *a, const void *b, size_t n);
void *memchr(const void *s, int c, size_t n);

size_t strlen(const char *s); /* a null s has length 0 */
int strcmp(const char *a, const char *b);
int strncmp(const char *a, const char *b, size_t n);
int strcoll(const char *a, const char *b); /* exactly strcmp */
char *strcpy(char *dst, const char *src);
char *strdup(const char *s); /* release the copy with free */
char *strchr(const char *s, int c);
size_t strspn(const char *s, const char *set);
char *strpbrk(const char *s, const char *set);
char *strstr(const char *haystack, const char *needle);
char *strerror(int number); /* constant text: do not change or free it */

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
