#ifndef ORVANE_NK_CONSOLE_H
#define ORVANE_NK_CONSOLE_H
/* The console of the NorrikLua prompt. Output collects in one pending line of at most
   511 bytes and reaches the host at each LF, when the line is full, or before input is
   read. CR is dropped; backspace erases the last pending byte. */
#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

void nk_lua_write(const char *bytes, size_t length);
void nk_lua_writeline(void);     /* ends the line: hands it over even when empty */
void nk_lua_flush_output(void);  /* hands over what is pending, if anything */
/* Formats one message (format with the single argument text) and writes it, at most
   319 characters. Null format means "%s", null argument "". */
void nk_lua_write_errorf(const char *format, const char *argument);
void nk_lua_show_banner(void);
void nk_lua_show_help(void);
/* Reads one line (NUL-terminated, without line end) into buffer after handing over any
   pending output. prompt and flag go to the host unchanged. False: no line (end of
   input, no console, null buffer or zero capacity). __extension__: bool (_Bool) is
   what the library takes, in C89 too. */
__extension__ bool nk_lua_readline(char *buffer, size_t capacity, const char *prompt, bool flag);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
