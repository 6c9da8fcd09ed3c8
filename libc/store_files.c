/* Files of the host's store while a program has them open. The store only keeps whole
   files (nkfs_read_entire_file, nkfs_write_entire_file), so an open file is its whole
   content in memory, shared by every descriptor open on the same name, and goes back
   to the store whole when it is synced or closed. Writes only change memory, which
   keeps writing a large file in small pieces linear in its size. */
#include <errno.h>
#include <fcntl.h>
#include <nk_fs.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "libc/layer.h"

struct nk_file {
  char *name;            /* null for a file with no name, which is never stored */
  unsigned char *bytes;
  size_t size;
  size_t capacity;
  int openers;
  int changed;           /* since it was last stored */
  struct nk_file *next;
};

/* The host's file record gives a file's size in 32 bits. */
static const uint64_t kLargestFile = UINT32_MAX;

static struct nk_file *open_files;

void nk_set_errno_from_library(int fallback) {
  errno = nk_errno != 0 ? nk_errno : fallback;
}

static struct nk_file *find(const char *name) {
  for (struct nk_file *file = open_files; file; file = file->next)
    if (file->name && strcmp(file->name, name) == 0) return file;
  return NULL;
}

/* Whether the store holds a file of that name, and its size: 1, 0, or -1 with errno set
   (no memory). The host's copy is looked at in place, not copied. */
static int stored_size(const char *name, off_t *size) {
  nk_errno = 0;
  NkfsStream *stream = nkfs_fopen(name, "r");
  if (!stream) {
    if (nk_errno == ENOENT) return 0;
    nk_set_errno_from_library(EIO);
    return -1;
  }
  nkfs_fseek(stream, 0, SEEK_END);
  *size = (off_t)nkfs_ftell(stream);
  nkfs_fclose(stream);
  return 1;
}

static int exists(const char *name) {
  off_t size;
  return stored_size(name, &size);
}

static struct nk_file *new_file(char *name, unsigned char *bytes, size_t size) {
  struct nk_file *file = calloc(1, sizeof *file);
  if (!file) {
    free(name);
    free(bytes);
    errno = ENOMEM;
    return NULL;
  }
  file->name = name;
  file->bytes = bytes;
  file->size = file->capacity = size;
  file->openers = 1;
  file->next = open_files;
  open_files = file;
  return file;
}

/* Stores an empty file under name at once: what O_CREAT and O_TRUNC promise at open. */
static int store_empty(const char *name) {
  if (nkfs_write_entire_file(name, "", 0)) return 0;
  errno = EACCES;  /* the store refused the name, or could not write */
  return -1;
}

static int exclusive(int flags) { return (flags & O_CREAT) && (flags & O_EXCL); }

/* The file as open(2) finds it: O_TRUNC needs only to know whether there is one. */
static struct nk_file *load(const char *name, int flags) {
  void *data = NULL;
  uint64_t size = 0;
  int found;
  off_t old_size = 0;
  if (!(flags & O_TRUNC) && nkfs_read_entire_file(name, &data, &size)) {
    found = 1;
  } else {
    found = stored_size(name, &old_size);
    if (found < 0) return NULL;
    if (found && !(flags & O_TRUNC)) {
      errno = ENOMEM;  /* there, but its copy did not fit */
      return NULL;
    }
  }
  if (found && exclusive(flags)) {
    free(data);
    errno = EEXIST;
    return NULL;
  }
  if (!found && !(flags & O_CREAT)) {
    errno = ENOENT;
    return NULL;
  }
  if ((!found || old_size > 0) && store_empty(name) != 0) return NULL;
  char *copy = strdup(name);
  if (!copy) {
    free(data);
    errno = ENOMEM;
    return NULL;
  }
  return new_file(copy, data, size);
}

struct nk_file *nk_file_open(const char *name, int flags) {
  if (!name || !*name) {
    errno = ENOENT;
    return NULL;
  }
  struct nk_file *file = find(name);
  if (!file) return load(name, flags);
  if (exclusive(flags)) {
    errno = EEXIST;
    return NULL;
  }
  if ((flags & O_TRUNC) && file->size > 0) {
    if (store_empty(name) != 0) return NULL;
    file->size = 0;
    file->changed = 0;
  }
  ++file->openers;
  return file;
}

struct nk_file *nk_file_anonymous(void) {
  return new_file(NULL, NULL, 0);
}

int nk_file_sync(struct nk_file *file) {
  if (!file->name || !file->changed) return 0;
  if (!nkfs_write_entire_file(file->name, file->bytes, file->size)) {
    errno = EIO;
    return -1;
  }
  file->changed = 0;
  return 0;
}

int nk_file_release(struct nk_file *file) {
  int result = nk_file_sync(file);
  if (--file->openers > 0) return result;
  struct nk_file **link = &open_files;
  while (*link != file) link = &(*link)->next;
  *link = file->next;
  free(file->name);
  free(file->bytes);
  free(file);
  return result;
}

ssize_t nk_file_read(struct nk_file *file, off_t offset, void *buffer, size_t count) {
  if ((uint64_t)offset >= file->size) return 0;
  size_t available = file->size - (size_t)offset;
  if (count > available) count = available;
  memcpy(buffer, file->bytes + offset, count);
  return (ssize_t)count;
}

/* Room for at least required bytes: doubling keeps the copies of a growing file linear. */
static int reserve(struct nk_file *file, size_t required) {
  if (required <= file->capacity) return 0;
  size_t capacity = file->capacity < 4096 ? 4096 : file->capacity;
  while (capacity < required) capacity = capacity > SIZE_MAX / 2 ? required : capacity * 2;
  unsigned char *bytes = realloc(file->bytes, capacity);
  if (!bytes) {
    errno = ENOMEM;
    return -1;
  }
  file->bytes = bytes;
  file->capacity = capacity;
  return 0;
}

/* Zeros from the end of the content up to end; the content then ends there. */
static int extend(struct nk_file *file, size_t end) {
  if (end <= file->size) return 0;
  if (reserve(file, end) != 0) return -1;
  memset(file->bytes + file->size, 0, end - file->size);
  file->size = end;
  return 0;
}

ssize_t nk_file_write(struct nk_file *file, off_t offset, const void *bytes, size_t count) {
  if (count == 0) return 0;
  if ((uint64_t)offset > kLargestFile || count > kLargestFile - (uint64_t)offset) {
    errno = EFBIG;
    return -1;
  }
  size_t end = (size_t)offset + count;
  if (extend(file, (size_t)offset) != 0 || reserve(file, end) != 0) return -1;
  memcpy(file->bytes + offset, bytes, count);
  if (end > file->size) file->size = end;
  file->changed = 1;
  return (ssize_t)count;
}

off_t nk_file_size(const struct nk_file *file) {
  return (off_t)file->size;
}

int nk_file_truncate(struct nk_file *file, off_t length) {
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  if ((uint64_t)length > kLargestFile) {
    errno = EFBIG;
    return -1;
  }
  if ((size_t)length < file->size)
    file->size = (size_t)length;
  else if (extend(file, (size_t)length) != 0)
    return -1;
  file->changed = 1;
  return 0;
}

/* ---- Calls by name ------------------------------------------------------------------ */

int unlink(const char *name) {
  if (!name || !*name) {
    errno = ENOENT;
    return -1;
  }
  int found = exists(name);
  if (found <= 0) {
    if (found == 0) errno = ENOENT;
    return -1;
  }
  if (nkfs_remove(name) != 0) {
    nk_set_errno_from_library(EIO);
    return -1;
  }
  /* An open file stays usable, as a file with no name that is never stored. */
  struct nk_file *file = find(name);
  if (file) {
    free(file->name);
    file->name = NULL;
  }
  return 0;
}

int rename(const char *old_name, const char *new_name) {
  if (!old_name || !new_name || !*old_name || !*new_name) {
    errno = ENOENT;
    return -1;
  }
  struct nk_file *moving = find(old_name);
  if (moving && nk_file_sync(moving) != 0) return -1;
  if (strcmp(old_name, new_name) == 0) {
    int found = exists(old_name);
    if (found == 0) errno = ENOENT;
    return found > 0 ? 0 : -1;
  }
  char *name = moving ? strdup(new_name) : NULL;
  if (moving && !name) {
    errno = ENOMEM;
    return -1;
  }
  nk_errno = 0;
  if (nkfs_rename(old_name, new_name) != 0) {
    nk_set_errno_from_library(EIO);
    free(name);
    return -1;
  }
  struct nk_file *replaced = find(new_name);
  if (replaced) {
    free(replaced->name);
    replaced->name = NULL;
  }
  if (moving) {
    free(moving->name);
    moving->name = name;
  }
  return 0;
}

static int size_by_name(const char *name, off_t *size) {
  if (!name || !*name) {
    errno = ENOENT;
    return -1;
  }
  struct nk_file *file = find(name);
  if (file) {
    *size = (off_t)file->size;
    return 0;
  }
  int found = stored_size(name, size);
  if (found == 0) errno = ENOENT;
  return found > 0 ? 0 : -1;
}

/* The program's current folder, the store itself, which always exists. */
static int names_current_folder(const char *name) {
  return name && (strcmp(name, ".") == 0 || strcmp(name, "./") == 0);
}

/* The store holds plain files only: anything else under a name (a directory included)
   looks the same as nothing there, but for the store itself. */
int stat(const char *name, struct stat *status) {
  if (nk_names_null_device(name)) {
    nk_fill_stat(status, S_IFCHR | 0666, 0);
    return 0;
  }
  if (names_current_folder(name)) {
    nk_fill_stat(status, S_IFDIR | 0755, 0);
    return 0;
  }
  off_t size;
  if (size_by_name(name, &size) != 0) return -1;
  nk_fill_stat(status, S_IFREG | 0644, size);
  return 0;
}

int lstat(const char *name, struct stat *status) {
  return stat(name, status);
}

int access(const char *name, int mode) {
  off_t size;
  if (names_current_folder(name)) return 0;
  if (nk_names_null_device(name)) size = 0;
  else if (size_by_name(name, &size) != 0) return -1;
  if (mode & X_OK) {
    errno = EACCES;
    return -1;
  }
  return 0;
}
