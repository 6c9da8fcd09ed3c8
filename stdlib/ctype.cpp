// Character classes of 7-bit ASCII as range tests; every code outside 0..127 is in none.

#include <ctype.h>

namespace {
bool in_range(int c, int low, int high) { return c >= low && c <= high; }
}  // namespace

int isdigit(int c) { return in_range(c, '0', '9'); }
int isxdigit(int c) { return isdigit(c) || in_range(c, 'A', 'F') || in_range(c, 'a', 'f'); }
int islower(int c) { return in_range(c, 'a', 'z'); }
int isupper(int c) { return in_range(c, 'A', 'Z'); }
// Bit 5 is the only difference between the two cases; clearing it cannot bring a code
// from outside 0..127 into the range.
int isalpha(int c) { return in_range(c & ~0x20, 'A', 'Z'); }
int isalnum(int c) { return isdigit(c) || isalpha(c); }
int isblank(int c) { return c == ' ' || c == '\t'; }
int isspace(int c) { return c == ' ' || in_range(c, '\t', '\r'); }
int isprint(int c) { return in_range(c, 32, 126); }
int tolower(int c) { return isupper(c) ? c + 32 : c; }
int toupper(int c) { return islower(c) ? c - 32 : c; }
