/* A program that keeps its files with the host: writes, appends, reads back, renames and
   removes them, and prints what it sees on standard output. */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void print(const char *format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  int length = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  nkfs_fwrite(text, 1, (size_t)length, stdout);
}

static void put(FILE *stream, const char *text) { nkfs_fwrite(text, 1, strlen(text), stream); }

static int count_lines(const char *name, uint64_t *bytes) {
  void *data;
  if (!nkfs_read_entire_file(name, &data, bytes)) return -1;
  int lines = 0;
  for (uint64_t i = 0; i < *bytes; ++i) lines += ((char *)data)[i] == '\n';
  free(data);
  return lines;
}

int main(void) {
  stdout = nkfs_fopen("__nkfs_stdout", "w");

  FILE *notes = nkfs_fopen("notes.txt", "a");
  put(notes, "second\n");
  put(notes, "third\n");
  if (nkfs_fclose(notes) != 0) return 1;
  notes = nkfs_fopen("notes.txt", "r");
  char seen[64];
  size_t length = nkfs_fread(seen, 1, sizeof seen - 1, notes);
  nkfs_fclose(notes);
  seen[length] = 0;
  for (char *c = seen; *c; ++c)
    if (*c == '\n') *c = '|';
  print("read notes.txt: %s\n", seen);

  FILE *log = nkfs_fopen("log.txt", "w");
  put(log, "alpha\n");
  nkfs_fclose(log);
  log = nkfs_fopen("log.txt", "a");
  put(log, "gamma\n");
  nkfs_fclose(log);
  uint64_t bytes;
  print("log.txt has %d lines, %d bytes\n", count_lines("log.txt", &bytes), (int)bytes);

  if (nkfs_rename("log.txt", "moved.txt") != 0) return 2;
  count_lines("moved.txt", &bytes);
  print("renamed: old name %s, new name %d bytes\n",
        nkfs_fopen("log.txt", "r") ? "still there" : "gone", (int)bytes);

  if (nkfs_remove("moved.txt") != 0) return 3;
  print("removed: moved.txt %s\n", nkfs_fopen("moved.txt", "r") ? "still there" : "gone");

  if (!nkfs_fopen("missing.txt", "r")) print("missing.txt: %s\n", strerror(errno));

  FILE *gap = nkfs_fopen("gap.bin", "w+");
  nkfs_fseek(gap, 4, SEEK_SET);
  put(gap, "end");
  nkfs_fclose(gap);
  void *data;
  if (!nkfs_read_entire_file("gap.bin", &data, &bytes)) return 4;
  int zeros = 0;
  while (zeros < (int)bytes && ((char *)data)[zeros] == 0) ++zeros;
  char rest[8] = {0};
  size_t tail = (size_t)bytes - zeros;
  memcpy(rest, (char *)data + zeros, tail < sizeof rest ? tail : sizeof rest - 1);
  print("gap: %d zero bytes then '%s'\n", zeros, rest);
  free(data);

  print("done\n");
  nkfs_fclose(stdout);
  return 0;
}
