/* The library's stdlib.h plus exit, which ends NorrikLua with a status. */
#ifndef NORRIKLUA_STDLIB_H
#define NORRIKLUA_STDLIB_H
#include_next <stdlib.h>

#define EXIT_SUCCESS 0
#define EXIT_FAILURE 1

#ifdef __cplusplus
extern "C" {
#endif
/* Stores open files and leaves the program with the status; no more Lua code runs. */
_Noreturn void exit(int status);
#ifdef __cplusplus
}
#endif
#endif
