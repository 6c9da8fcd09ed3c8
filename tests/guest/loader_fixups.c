/* Exercises every kind of fix-up the loader applies: pointers inside the program
   (rebases), pointers to the library's functions and data (binds) and calls through stubs
   (lazy binds). Returns 42 when all of them hold, otherwise the number of the first check
   that failed. */
#include <errno.h>
#include <nk_console.h>
#include <stdlib.h>
#include <string.h>

/* volatile: every pointer is read at run time, as the loader left it. */
static const char *const words[] = {"alpha", "beta", "gamma"};
static const char *const *volatile word_table = words;
static size_t (*volatile measure)(const char *) = strlen;
static int *volatile error_number = &nk_errno;
static int counter = 7;
static int *volatile counter_pointer = &counter;

int main(void) {
  if (word_table[2][0] != 'g' || strlen(words[1]) != 4) return 1;
  if (measure("four") != 4) return 2;
  if (error_number != &nk_errno || nk_errno != 0) return 3;
  *counter_pointer += 1;
  if (counter != 8) return 4;
  char *copy = malloc(16);
  if (!copy) return 5;
  memcpy(copy, "fixed up\n", 10);
  nk_lua_write(copy, strlen(copy));
  free(copy);
  return 42;
}
