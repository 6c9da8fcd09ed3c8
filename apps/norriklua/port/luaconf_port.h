/* NorrikLua's configuration of Lua, part one: settings luaconf.h reads, given before
   every Lua source file (-include). Part two, luaconf_post.h, replaces luaconf.h's
   defaults after it (lua.h includes it as LUA_USER_H). Lua's files stay as Debian ships
   them. */
#ifndef NORRIKLUA_LUACONF_PORT_H
#define NORRIKLUA_LUACONF_PORT_H

/* Modules and scripts live in the host's file store, whose names have no folders of
   their own; there are no C modules to load. */
#define LUA_PATH_DEFAULT "?.lua;?/init.lua"
#define LUA_CPATH_DEFAULT ""

#endif
