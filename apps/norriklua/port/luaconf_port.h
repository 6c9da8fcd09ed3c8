/* NorrikLua's configuration of Lua, given before every Lua source file (-include): the
   settings of luaconf.h that this platform makes its own. Everything else is luaconf.h's
   default for a C99 system, over the platform's C library. Lua's files stay as Debian
   ships them. */
#ifndef NORRIKLUA_LUACONF_PORT_H
#define NORRIKLUA_LUACONF_PORT_H

/* Modules and scripts live in the host's file store, whose names have no folders of
   their own; there are no C modules to load. */
#define LUA_PATH_DEFAULT "?.lua;?/init.lua"
#define LUA_CPATH_DEFAULT ""

/* Lua raises errors as C++ exceptions (SjLj unwinding), never with longjmp. */
#if !defined(__cplusplus)
#error "Lua is compiled as C++ for NorrikBoot"
#endif

#endif
