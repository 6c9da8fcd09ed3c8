/* C's files over the host's store, one case a line of output: "name ok" or what went
   wrong. The store's own view comes from the library's nkfs_read_entire_file, which
   <nk_fs.h> gives beside <stdio.h>. Ends with files left open, which exit stores. */
#include <errno.h>
#include <fcntl.h>
#include <nk_fs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

static int failures;

static void check(const char *name, int ok, const char *detail) {
  printf("%s %s%s%s\n", name, ok ? "ok" : "FAILED", ok || !detail ? "" : ": ", ok ? "" : detail);
  failures += !ok;
}

/* The store's copy of a file as a NUL-terminated text, "<missing>" when there is none. */
static const char *stored(const char *name) {
  static char text[256];
  void *data;
  uint64_t size;
  if (!nkfs_read_entire_file(name, &data, &size)) return "<missing>";
  size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
  memcpy(text, data, n);
  text[n] = 0;
  free(data);
  return text;
}

static void write_creates_at_open(void) {
  FILE *f = fopen("created.txt", "w");
  check("w creates at open", f && strcmp(stored("created.txt"), "") == 0, stored("created.txt"));
  fputs("kept in memory", f);
  check("written bytes wait for a flush", strcmp(stored("created.txt"), "") == 0, NULL);
  check("fflush stores", fflush(f) == 0 && strcmp(stored("created.txt"), "kept in memory") == 0,
        stored("created.txt"));
  fputs(" until closed", f);
  check("fclose stores", fclose(f) == 0 &&
                             strcmp(stored("created.txt"), "kept in memory until closed") == 0,
        stored("created.txt"));
  f = fopen("created.txt", "w");
  check("w truncates at open", f && strcmp(stored("created.txt"), "") == 0, NULL);
  fclose(f);
}

static void missing_files(void) {
  errno = 0;
  FILE *f = fopen("missing.txt", "r");
  check("r on a missing file fails with ENOENT", !f && errno == ENOENT, strerror(errno));
  errno = 0;
  check("r+ too", !fopen("missing.txt", "r+") && errno == ENOENT, NULL);
  struct stat status;
  check("stat of a missing file", stat("missing.txt", &status) == -1 && errno == ENOENT, NULL);
  check("remove of a missing file", remove("missing.txt") == -1 && errno == ENOENT, NULL);
  check("rename of a missing file", rename("missing.txt", "other.txt") == -1 && errno == ENOENT,
        NULL);
  check("O_EXCL on an existing file",
        open("created.txt", O_WRONLY | O_CREAT | O_EXCL, 0644) == -1 && errno == EEXIST, NULL);
}

static void append_and_read(void) {
  FILE *f = fopen("log.txt", "w");
  fputs("abc", f);
  fclose(f);
  f = fopen("log.txt", "a+");
  char text[32] = {0};
  check("a+ reads from the start", fread(text, 1, 3, f) == 3 && strcmp(text, "abc") == 0, text);
  fputs("def", f);
  fseek(f, 0, SEEK_SET);
  fputs("ghi", f);
  rewind(f);
  memset(text, 0, sizeof text);
  fread(text, 1, sizeof text - 1, f);
  check("a+ writes at the end", strcmp(text, "abcdefghi") == 0, text);
  fclose(f);
  check("appended file stored", strcmp(stored("log.txt"), "abcdefghi") == 0, stored("log.txt"));
}

static void lines_and_positions(void) {
  FILE *f = fopen("lines.txt", "w+");
  fprintf(f, "first line\nsecond %d\nno end", 2);
  rewind(f);
  char line[64];
  fgets(line, sizeof line, f);
  check("fgets", strcmp(line, "first line\n") == 0, line);
  long at = ftell(f);
  int c = fgetc(f);
  ungetc(c, f);
  check("ftell and ungetc", at == 11 && fgetc(f) == 's' && ftell(f) == 12, NULL);
  fgets(line, sizeof line, f);
  fgets(line, sizeof line, f);
  check("last line without LF", strcmp(line, "no end") == 0 && fgetc(f) == EOF && feof(f), line);
  rewind(f);
  char *grown = NULL;
  size_t size = 0;
  ssize_t first = getline(&grown, &size, f);
  ssize_t word = getdelim(&grown, &size, ' ', f);
  ssize_t rest = getline(&grown, &size, f), last = getline(&grown, &size, f);
  check("getline and getdelim", first == 11 && word == 7 && rest == 2 && last == 6 &&
                                    strcmp(grown, "no end") == 0 && getline(&grown, &size, f) == -1,
        grown);
  free(grown);
  check("fseeko past 2 GiB", fseeko(f, 3LL << 30, SEEK_SET) == 0 && ftello(f) == 3LL << 30,
        NULL);
  check("reading there gives EOF", fgetc(f) == EOF, NULL);
  fpos_t position;
  fseek(f, 6, SEEK_SET);
  fgetpos(f, &position);
  fseek(f, 0, SEEK_END);
  fsetpos(f, &position);
  check("fgetpos and fsetpos", fgetc(f) == 'l', NULL);
  struct stat status;
  check("fstat size", fstat(fileno(f), &status) == 0 && status.st_size == 26 &&
                          S_ISREG(status.st_mode), NULL);
  fclose(f);
}

static void names(void) {
  FILE *f = fopen("old.txt", "w");
  fputs("moving", f);
  fclose(f);
  check("rename", rename("old.txt", "new.txt") == 0 && strcmp(stored("new.txt"), "moving") == 0 &&
                      strcmp(stored("old.txt"), "<missing>") == 0, NULL);
  check("remove", remove("new.txt") == 0 && strcmp(stored("new.txt"), "<missing>") == 0, NULL);
  f = fopen("open-while-removed.txt", "w+");
  fputs("still here", f);
  remove("open-while-removed.txt");
  rewind(f);
  char text[16] = {0};
  fgets(text, sizeof text, f);
  check("a removed open file stays readable", strcmp(text, "still here") == 0, text);
  fclose(f);
  check("and is not stored again", strcmp(stored("open-while-removed.txt"), "<missing>") == 0,
        NULL);
  f = tmpfile();
  fputs("temporary", f);
  rewind(f);
  memset(text, 0, sizeof text);
  fgets(text, sizeof text, f);
  check("tmpfile", strcmp(text, "temporary") == 0, text);
  fclose(f);
}

/* /dev/null discards and reads nothing; the store has no such file. "." is the store itself,
   a folder. */
static void special_names(void) {
  FILE *f = fopen("/dev/null", "w");
  check("/dev/null discards", f && fprintf(f, "%0500d", 7) == 500 && fclose(f) == 0, NULL);
  f = fopen("/dev/null", "r");
  check("/dev/null reads nothing", f && fgetc(f) == EOF && feof(f), NULL);
  if (f) fclose(f);
  int fd = open("/dev/null", O_RDWR);
  char byte;
  check("/dev/null descriptor", fd >= 0 && pwrite(fd, "x", 1, 10) == 1 &&
                                    pread(fd, &byte, 1, 0) == 0 && lseek(fd, 5, SEEK_SET) == 0 &&
                                    !isatty(fd), NULL);
  close(fd);
  struct stat status;
  check("stat /dev/null", stat("/dev/null", &status) == 0 && S_ISCHR(status.st_mode) &&
                              access("/dev/null", R_OK | W_OK) == 0, NULL);
  check("stat .", stat(".", &status) == 0 && S_ISDIR(status.st_mode) && access(".", R_OK) == 0,
        NULL);
}

/* The store keeps no modes, owners or times: setting what stat reports succeeds, so that a
   program may copy one file's attributes to another; any other value fails and changes
   nothing. creat empties a file as open with O_TRUNC does. */
static void attributes(void) {
  FILE *f = fopen("attributes.txt", "w");
  fputs("old content", f);
  fclose(f);
  int fd = creat("attributes.txt", 0600);
  check("creat truncates", fd >= 0 && write(fd, "new", 3) == 3 && close(fd) == 0 &&
                               strcmp(stored("attributes.txt"), "new") == 0,
        stored("attributes.txt"));
  struct stat status;
  stat("attributes.txt", &status);
  struct utimbuf times = {status.st_atime, status.st_mtime};
  fd = open("attributes.txt", O_RDONLY);
  check("the attributes stat reports can be set",
        chmod("attributes.txt", status.st_mode) == 0 && fchmod(fd, status.st_mode & 0777) == 0 &&
            chown("attributes.txt", status.st_uid, status.st_gid) == 0 &&
            fchown(fd, (uid_t)-1, status.st_gid) == 0 && utime("attributes.txt", &times) == 0 &&
            utime("attributes.txt", NULL) == 0, strerror(errno));
  times.modtime -= 60;
  errno = 0;
  check("a mode the store cannot keep", chmod("attributes.txt", 0755) == -1 && errno == ENOSYS,
        NULL);
  errno = 0;
  check("an owner", fchown(fd, 1000, 1000) == -1 && errno == ENOSYS, NULL);
  errno = 0;
  check("a time", utime("attributes.txt", &times) == -1 && errno == ENOSYS, NULL);
  errno = 0;
  check("attributes of a missing file", chmod("missing.txt", 0644) == -1 && errno == ENOENT, NULL);
  close(fd);
}

/* Eight megabytes in 100-byte pieces: the store sees the file once, at fclose (the test
   counts the stores). */
static void large_file(void) {
  FILE *f = fopen("large.bin", "wb");
  char piece[100];
  for (int i = 0; i < 100; ++i) piece[i] = (char)i;
  for (int i = 0; i < 80000; ++i) fwrite(piece, 1, sizeof piece, f);
  check("large file", fclose(f) == 0, NULL);
  f = fopen("large.bin", "rb");
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 7999999, SEEK_SET);
  check("large file read back", size == 8000000 && fgetc(f) == 99, NULL);
  fclose(f);
}

static void left_open(void) {
  FILE *f = fopen("left-open.txt", "w");
  fprintf(f, "stored by exit %d", 42);
  int fd = open("left-open-fd.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  write(fd, "descriptor", 10);
}

int main(void) {
  write_creates_at_open();
  missing_files();
  append_and_read();
  lines_and_positions();
  names();
  special_names();
  attributes();
  large_file();
  left_open();
  printf("%d failed\n", failures);
  exit(failures ? 1 : 0);
}
