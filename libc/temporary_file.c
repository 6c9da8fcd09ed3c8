/* tmpfile: a file of the program's own, held in memory and never stored, so that it
   needs no name in the store and leaves nothing behind. */
#include <stdio.h>
#include <unistd.h>

#include "libc/layer.h"

FILE *tmpfile(void) {
  int fd = nk_open_anonymous();
  if (fd < 0) return NULL;
  FILE *stream = fdopen(fd, "w+b");
  if (!stream) close(fd);
  return stream;
}
