/* Halts through the library's abort after one line of output. */
#include <nk_console.h>
#include <stdlib.h>

int main(void) {
  nk_lua_write("about to halt\n", 14);
  abort();
}
