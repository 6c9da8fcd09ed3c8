/* The smallest useful NorrikBoot program: format some numbers and print them on the
   console. Run it with: nkhost run build/examples/bin/hello */
#include <nk_console.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char line[128];
  nk_lua_show_banner();
  for (int i = 1; i <= 3; ++i) {
    int n = snprintf(line, sizeof line, "%d squared is %d, a third of it is %f\n", i, i * i,
                     i * i / 3.0);
    nk_lua_write(line, (size_t)n);
  }
  snprintf(line, sizeof line, "strlen(\"%s\") = %u\n", "NorrikBoot", (unsigned)strlen("NorrikBoot"));
  nk_lua_write(line, strlen(line));
  return 0;
}
