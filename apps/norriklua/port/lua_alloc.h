/* Lua's allocator (lua_Alloc) for NorrikLua: small blocks in size classes over large
   blocks of the library's heap. */
#ifndef NORRIKLUA_LUA_ALLOC_H
#define NORRIKLUA_LUA_ALLOC_H
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void *nklua_alloc(void *unused, void *block, size_t old_size, size_t new_size);
/* Returns every chunk to the heap; only after the last Lua state is closed. */
void nklua_alloc_release_all(void);

#ifdef __cplusplus
}
#endif
#endif
