/* Runs bzip2's main with a command line read from the first line of standard input
   (words separated by spaces): "-1 -k sample1.ref" runs "bzip2 -1 -k sample1.ref". */
#include <stdio.h>
#include <string.h>

int bzip2_main(int argc, char *argv[]);

int main(void) {
  static char line[1024];
  char *words[64] = {"bzip2"};
  int count = 1;
  if (!fgets(line, sizeof line, stdin)) return 64;
  for (char *word = strtok(line, " \n"); word && count < 63; word = strtok(NULL, " \n"))
    words[count++] = word;
  words[count] = NULL;
  return bzip2_main(count, words);
}
