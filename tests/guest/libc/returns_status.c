/* main's result is the program's status, after the atexit handlers, with main taking the
   program's name and an empty environment. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void handler(void) { printf("handler after main\n"); }

int main(int argc, char **argv, char **envp) {
  atexit(handler);
  printf("argc %d, argv[0] %s, argv[1] %s, envp[0] %s, getenv %s\n", argc,
         strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0],
         argv[1] ? argv[1] : "null", envp[0] ? envp[0] : "null",
         getenv("HOME") ? getenv("HOME") : "null");
  return 12;
}
