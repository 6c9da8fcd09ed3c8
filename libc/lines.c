/* getline and getdelim, POSIX's, which newlib has only under reserved names. */
#include <stdio.h>

ssize_t getdelim(char **line, size_t *size, int delimiter, FILE *stream) {
  return __getdelim(line, size, delimiter, stream);
}

ssize_t getline(char **line, size_t *size, FILE *stream) {
  return __getline(line, size, stream);
}
