// The nk module: the platform's window, input, images and fonts for Lua scripts.
#pragma once
#include "lua.h"

// Registers nk in package.loaded and as a global.
void nklua_open_nk(lua_State* L);
