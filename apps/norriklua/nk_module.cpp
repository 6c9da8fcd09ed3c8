// The nk module: the platform's window, input, images and fonts for Lua scripts.

#include "nk_module.h"

#include "lauxlib.h"

namespace {

int open_nk(lua_State* L) {
  lua_newtable(L);
  return 1;
}

}  // namespace

void nklua_open_nk(lua_State* L) {
  luaL_requiref(L, "nk", open_nk, 1);
  lua_pop(L, 1);
}
