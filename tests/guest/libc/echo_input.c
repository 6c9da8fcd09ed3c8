/* Standard input: a prompt, lines with fgets, numbers with scanf, then the end of input. */
#include <stdio.h>
#include <string.h>

int main(void) {
  char line[128];
  int lines = 0;
  fputs("name? ", stdout);
  for (int i = 0; i < 2 && fgets(line, sizeof line, stdin); ++i) {
    line[strcspn(line, "\n")] = 0;
    printf("line %d: [%s]\n", ++lines, line);
  }
  int whole;
  double real;
  char word[16];
  if (scanf("%d %lf %15s", &whole, &real, word) == 3) {
    ++lines;
    printf("numbers: %d %g %s\n", whole, real, word);
  }
  if (getchar() == '\n' && getchar() == EOF && feof(stdin)) printf("end of input after %d lines\n", lines);
  return 0;
}
