/* NorrikLua's configuration of Lua, part two: replaces luaconf.h's defaults. lua.h
   includes this file (LUA_USER_H) right after luaconf.h. */
#ifndef NORRIKLUA_LUACONF_POST_H
#define NORRIKLUA_LUACONF_POST_H
#include <nk_console.h>
#include "norriklua_port.h"

/* Formatting and number conversion come from the port: the library's formatter knows
   only a few conversions and its strtod neither rounds correctly nor reads hexadecimal. */
#undef l_sprintf
#define l_sprintf(s, sz, f, i) nklua_snprintf(s, sz, f, i)
#undef lua_str2number
#define lua_str2number(s, p) nklua_strtod((s), (p))
/* Lua's own reader of hexadecimal numerals, built on ldexp. */
#undef lua_strx2number

/* Lua's math library, its ^ and % operators and its number hashing use the port's
   accurate functions, not the library's short ones. l_mathop also wraps numeric
   literals, so the names themselves are redirected, for Lua's files only. */
#define floor nklua_floor
#define ceil nklua_ceil
#define fabs nklua_fabs
#define fmod nklua_fmod
#define sqrt nklua_sqrt
#define ldexp nklua_ldexp
#define frexp nklua_frexp
#define exp nklua_exp
#define log nklua_log
#define log2 nklua_log2
#define log10 nklua_log10
#define pow nklua_pow
#define sin nklua_sin
#define cos nklua_cos
#define tan nklua_tan
#define asin nklua_asin
#define acos nklua_acos
#define atan2 nklua_atan2
#define sinh nklua_sinh
#define cosh nklua_cosh
#define tanh nklua_tanh

/* print and the error messages of Lua's own code go to the console. */
#define lua_writestring(s, l) nk_lua_write((s), (l))
#define lua_writeline() nk_lua_write("\n", 1)
#define lua_writestringerror(s, p) nklua_write_error((s), (p))

/* Lua raises errors as C++ exceptions (SjLj unwinding), never with longjmp. */
#if !defined(__cplusplus)
#error "Lua is compiled as C++ for NorrikBoot"
#endif

#endif
