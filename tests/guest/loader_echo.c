/* Echoes console lines until input ends; returns how many there were. */
#include <nk_console.h>
#include <string.h>

int main(void) {
  char line[32];
  int count = 0;
  while (nk_lua_readline(line, sizeof line, "", 0)) {
    nk_lua_write("echo: ", 6);
    nk_lua_write(line, strlen(line));
    nk_lua_write("\n", 1);
    ++count;
  }
  return count;
}
