/* File descriptors, the calls newlib's stdio is built on. Descriptors 0, 1 and 2 are the
   console; the others are files of the host's store (store_files.c) or /dev/null, the one
   device programs take for granted (to discard output, or to read nothing). Each descriptor
   refers to an open file description (offset, access mode, append), which dup shares. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "libc/layer.h"

enum kind { CONSOLE_INPUT, CONSOLE_OUTPUT, STORE_FILE, NULL_DEVICE };

struct description {
  enum kind kind;
  struct nk_file *file;  /* STORE_FILE only */
  int flags;             /* access mode and O_APPEND */
  off_t offset;
  int references;        /* descriptors that refer to it */
  int built_in;          /* the console's: never freed */
};

/* A bound that keeps a runaway loop of opens from taking all memory. */
enum { kMaxDescriptors = 4096, kFirstTableSize = 16 };

static struct description console_input = {CONSOLE_INPUT, NULL, O_RDONLY, 0, 1, 1};
static struct description console_output = {CONSOLE_OUTPUT, NULL, O_WRONLY, 0, 2, 1};
static struct description *first_table[kFirstTableSize] = {&console_input, &console_output,
                                                           &console_output};
static struct description **table = first_table;
static int table_size = kFirstTableSize;

void nk_fill_stat(struct stat *status, mode_t mode, off_t size) {
  memset(status, 0, sizeof *status);
  status->st_mode = mode;
  status->st_nlink = 1;
  status->st_size = size;
  status->st_blksize = 4096;
  status->st_blocks = (size + 511) / 512;
  status->st_atime = status->st_mtime = status->st_ctime = time(NULL);
}

static struct description *description_of(int fd) {
  if (fd < 0 || fd >= table_size || !table[fd]) {
    errno = EBADF;
    return NULL;
  }
  return table[fd];
}

/* The lowest free descriptor from lowest on, growing the table; -1 with EMFILE. */
static int free_descriptor(int lowest) {
  for (int fd = lowest; fd < table_size; ++fd)
    if (!table[fd]) return fd;
  if (table_size >= kMaxDescriptors || lowest >= kMaxDescriptors) {
    errno = EMFILE;
    return -1;
  }
  int size = table_size * 2;
  while (size <= lowest) size *= 2;
  if (size > kMaxDescriptors) size = kMaxDescriptors;
  struct description **bigger = calloc((size_t)size, sizeof *bigger);
  if (!bigger) {
    errno = ENOMEM;
    return -1;
  }
  memcpy(bigger, table, (size_t)table_size * sizeof *table);
  if (table != first_table) free(table);
  int fd = table_size > lowest ? table_size : lowest;
  table = bigger;
  table_size = size;
  return fd;
}

static int drop(struct description *d) {
  if (--d->references > 0 || d->built_in) return d->kind == STORE_FILE ? nk_file_sync(d->file) : 0;
  int result = d->kind == STORE_FILE ? nk_file_release(d->file) : 0;
  free(d);
  return result;
}

/* A descriptor on a new description of a store file (or, with no file, of /dev/null). */
static int install(enum kind kind, struct nk_file *file, int flags) {
  struct description *d = malloc(sizeof *d);
  int fd = d ? free_descriptor(0) : -1;
  if (fd < 0) {
    if (!d) errno = ENOMEM;
    free(d);
    if (file) nk_file_release(file);
    return -1;
  }
  *d = (struct description){kind, file, flags & (O_ACCMODE | O_APPEND), 0, 1, 0};
  table[fd] = d;
  return fd;
}

int nk_names_null_device(const char *name) {
  return name && strcmp(name, "/dev/null") == 0;
}

int open(const char *name, int flags, ...) {
  int access = flags & O_ACCMODE;
  if (access != O_RDONLY && access != O_WRONLY && access != O_RDWR) {
    errno = EINVAL;
    return -1;
  }
  if (nk_names_null_device(name)) return install(NULL_DEVICE, NULL, flags);
  struct nk_file *file = nk_file_open(name, flags);
  return file ? install(STORE_FILE, file, flags) : -1;
}

int creat(const char *name, mode_t mode) {
  (void)mode;  /* the store keeps no modes */
  return open(name, O_WRONLY | O_CREAT | O_TRUNC);
}

/* A file of the program's own that no name reaches and that is never stored. */
int nk_open_anonymous(void) {
  struct nk_file *file = nk_file_anonymous();
  return file ? install(STORE_FILE, file, O_RDWR) : -1;
}

void nk_close_all(void) {
  for (int fd = 0; fd < table_size; ++fd)
    if (table[fd]) close(fd);
  if (table != first_table) free(table);
  table = first_table;
  table_size = kFirstTableSize;
}

int close(int fd) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  table[fd] = NULL;
  return drop(d);
}

_READ_WRITE_RETURN_TYPE read(int fd, void *buffer, size_t count) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if ((d->flags & O_ACCMODE) == O_WRONLY) {
    errno = EBADF;
    return -1;
  }
  if (d->kind == CONSOLE_INPUT) return nk_console_read(buffer, count);
  if (d->kind != STORE_FILE) return 0;
  ssize_t got = nk_file_read(d->file, d->offset, buffer, count);
  if (got > 0) d->offset += got;
  return got;
}

_READ_WRITE_RETURN_TYPE write(int fd, const void *bytes, size_t count) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if ((d->flags & O_ACCMODE) == O_RDONLY) {
    errno = EBADF;
    return -1;
  }
  if (d->kind == CONSOLE_OUTPUT) return nk_console_write(bytes, count);
  if (d->kind == NULL_DEVICE) return (ssize_t)count;
  if (d->kind != STORE_FILE) {
    errno = EBADF;
    return -1;
  }
  if (d->flags & O_APPEND) d->offset = nk_file_size(d->file);
  ssize_t written = nk_file_write(d->file, d->offset, bytes, count);
  if (written > 0) d->offset += written;
  return written;
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if (d->kind != STORE_FILE && d->kind != NULL_DEVICE) {
    errno = ESPIPE;
    return -1;
  }
  if (offset < 0 || (d->flags & O_ACCMODE) == O_WRONLY) {
    errno = offset < 0 ? EINVAL : EBADF;
    return -1;
  }
  if (d->kind == NULL_DEVICE) return 0;
  return nk_file_read(d->file, offset, buffer, count);
}

ssize_t pwrite(int fd, const void *bytes, size_t count, off_t offset) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if (d->kind != STORE_FILE && d->kind != NULL_DEVICE) {
    errno = ESPIPE;
    return -1;
  }
  if (offset < 0 || (d->flags & O_ACCMODE) == O_RDONLY) {
    errno = offset < 0 ? EINVAL : EBADF;
    return -1;
  }
  if (d->kind == NULL_DEVICE) return (ssize_t)count;
  return nk_file_write(d->file, offset, bytes, count);
}

off_t lseek(int fd, off_t offset, int whence) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if (d->kind == NULL_DEVICE) return 0;  /* as on Linux: it stays at 0 */
  if (d->kind != STORE_FILE) {
    errno = ESPIPE;
    return -1;
  }
  off_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = d->offset; break;
    case SEEK_END: base = nk_file_size(d->file); break;
    default: errno = EINVAL; return -1;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) {
    errno = offset > 0 ? EOVERFLOW : EINVAL;
    return -1;
  }
  d->offset = base + offset;
  return d->offset;
}

int fstat(int fd, struct stat *status) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if (d->kind == STORE_FILE)
    nk_fill_stat(status, S_IFREG | 0644, nk_file_size(d->file));
  else
    nk_fill_stat(status, S_IFCHR | (d->kind == NULL_DEVICE ? 0666 : 0620), 0);
  return 0;
}

int isatty(int fd) {
  struct description *d = description_of(fd);
  if (!d) return 0;
  if (d->kind == STORE_FILE || d->kind == NULL_DEVICE) {
    errno = ENOTTY;
    return 0;
  }
  return 1;
}

int fsync(int fd) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  return d->kind == STORE_FILE ? nk_file_sync(d->file) : 0;
}

int fdatasync(int fd) {
  return fsync(fd);
}

int ftruncate(int fd, off_t length) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  if (d->kind != STORE_FILE || (d->flags & O_ACCMODE) == O_RDONLY) {
    errno = d->kind != STORE_FILE ? EINVAL : EBADF;
    return -1;
  }
  return nk_file_truncate(d->file, length);
}

int truncate(const char *name, off_t length) {
  struct nk_file *file = nk_file_open(name, 0);
  if (!file) return -1;
  int result = nk_file_truncate(file, length);
  int stored = nk_file_release(file);
  return result != 0 ? result : stored;
}

static int duplicate(int fd, int lowest) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  int copy = free_descriptor(lowest);
  if (copy < 0) return -1;
  ++d->references;
  table[copy] = d;
  return copy;
}

int dup(int fd) {
  return duplicate(fd, 0);
}

int dup2(int fd, int target) {
  if (!description_of(fd)) return -1;
  if (target < 0 || target >= kMaxDescriptors) {
    errno = EBADF;
    return -1;
  }
  if (target == fd) return fd;
  if (target < table_size && table[target]) close(target);
  return duplicate(fd, target) == target ? target : -1;
}

int fcntl(int fd, int command, ...) {
  struct description *d = description_of(fd);
  if (!d) return -1;
  va_list arguments;
  va_start(arguments, command);
  int value = command == F_DUPFD || command == F_SETFL || command == F_SETFD
                  ? va_arg(arguments, int)
                  : 0;
  va_end(arguments);
  switch (command) {
    case F_DUPFD:
      if (value < 0) break;
      return duplicate(fd, value);
    case F_GETFD:
    case F_SETFD:
      return 0;  /* nothing is ever executed, so close-on-exec changes nothing */
    case F_GETFL:
      return d->flags;
    case F_SETFL:
      d->flags = (d->flags & ~O_APPEND) | (value & O_APPEND);
      return 0;
  }
  errno = EINVAL;
  return -1;
}
