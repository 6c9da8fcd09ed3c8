/* A console session as a prompt program has it: banner, formatted output, a prompt, line
   input echoed back, and an error message. Returns the number of lines read. */
#include <nk_console.h>
#include <stdio.h>
#include <string.h>

static void print(const char *text) { nk_lua_write(text, strlen(text)); }

int main(void) {
  char line[160];
  char input[64];
  int read = 0;
  nk_lua_show_banner();
  for (int i = 1; i <= 3; ++i) {
    int n = snprintf(line, sizeof line, "%d squared is %u, hex %x, a third %f\n", i, i * i, i * 255,
                     i / 3.0);
    nk_lua_write(line, (size_t)n);
  }
  snprintf(line, sizeof line, "%s|%c|%5.2f|%lld|%%|%q\n", "text", 'Z', -2.5, -1LL);
  print(line);
  /* Too long for the buffer: the result still tells the whole length. */
  int full = snprintf(line, 8, "%s", "0123456789abcdef");
  snprintf(line + 8, sizeof line - 8, "%d %s\n", full, line);
  print(line + 8);
  print("half a line, ");
  print("then the rest\r\n");
  while (1) {
    print("> ");
    if (!nk_lua_readline(input, sizeof input, "> ", 0)) break;
    ++read;
    print("echo: ");
    print(input);
    print("\n");
  }
  nk_lua_write_errorf("error: %s\n", "no more input");
  nk_lua_show_help();
  return read;
}
