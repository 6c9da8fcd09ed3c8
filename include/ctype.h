#ifndef ORVANE_CTYPE_H
#define ORVANE_CTYPE_H
/* Character classes of 7-bit ASCII: every code outside 0..127, EOF included, is in no
   class. The class tests return exactly 0 or 1. */

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

int isdigit(int c);
int isxdigit(int c);
int islower(int c);
int isupper(int c);
int isalpha(int c);
int isalnum(int c);
int isblank(int c);
int isspace(int c);
int isprint(int c);
int tolower(int c);
int toupper(int c);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
