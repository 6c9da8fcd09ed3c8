/* Works in the folder "d" of its store until a file "stop" appears there: stores d/x
   whole, d/y through a stream, and reads d/secret both ways. Prints how many rounds it
   made and how many reads returned something other than the store's own secret. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char inside[] = "inside secret";

static int foreign(const void *data, uint64_t size) {
  return size != sizeof inside - 1 || memcmp(data, inside, size) != 0;
}

int main(void) {
  stdout = nkfs_fopen("__nkfs_stdout", "w");
  long rounds = 0, reads = 0, strange = 0;
  FILE *stop;
  while (!(stop = nkfs_fopen("stop", "r"))) {
    nkfs_write_entire_file("d/x", "whole", 5);
    FILE *y = nkfs_fopen("d/y", "w");
    if (y) {
      nkfs_fwrite("streamed", 1, 8, y);
      nkfs_fclose(y);
    }
    void *data;
    uint64_t size;
    if (nkfs_read_entire_file("d/secret", &data, &size)) {
      ++reads;
      strange += foreign(data, size);
      free(data);
    }
    FILE *secret = nkfs_fopen("d/secret", "r");
    if (secret) {
      char buffer[64];
      size_t got = nkfs_fread(buffer, 1, sizeof buffer, secret);
      nkfs_fclose(secret);
      ++reads;
      strange += foreign(buffer, got);
    }
    ++rounds;
  }
  nkfs_fclose(stop);
  char line[128];
  int length = snprintf(line, sizeof line, "rounds %ld reads %ld foreign %ld\n", rounds, reads, strange);
  nkfs_fwrite(line, 1, (size_t)length, stdout);
  nkfs_fclose(stdout);
  return 0;
}
