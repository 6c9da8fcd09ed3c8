/* Names and folders. A program's names are relative to the store, its one folder and
   working folder; the store shows no symbolic links and cannot list a folder. So realpath
   resolves "." and ".." by the text alone and checks that the result exists, and opendir
   always fails: an empty listing would be a wrong answer, not an absent one. */
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

/* Appends the canonical form of name's components to out (at most PATH_MAX bytes with its
   NUL): 0, or -1 with errno set when a ".." leads above the store's root (which names
   nothing a program can open) or the result is too long. An absolute name keeps its
   leading slash; there, as POSIX has it, ".." of the root is the root. */
static int canonical(const char *name, char *out) {
  size_t length = 0;
  int absolute = name[0] == '/';
  if (absolute) out[length++] = '/';
  const size_t root = length;
  for (const char *part = name; *part;) {
    size_t size = strcspn(part, "/");
    if (size == 2 && part[0] == '.' && part[1] == '.') {
      if (length == root && !absolute) {
        errno = ENOENT;
        return -1;
      }
      while (length > root && out[length - 1] != '/') --length;
      if (length > root) --length;  /* the slash before the dropped component */
    } else if (size > 0 && !(size == 1 && part[0] == '.')) {
      int slash = length > root;
      if (length + slash + size >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
      }
      if (slash) out[length++] = '/';
      memcpy(out + length, part, size);
      length += size;
    }
    part += size;
    part += strspn(part, "/");
  }
  if (length == 0) out[length++] = '.';  /* the store itself */
  out[length] = '\0';
  return 0;
}

char *realpath(const char *name, char *resolved) {
  if (!name) {
    errno = EINVAL;
    return NULL;
  }
  if (!*name) {
    errno = ENOENT;
    return NULL;
  }
  char text[PATH_MAX];
  struct stat status;
  if (canonical(name, text) != 0 || stat(text, &status) != 0) return NULL;
  if (name[strlen(name) - 1] == '/' && !S_ISDIR(status.st_mode)) {
    errno = ENOTDIR;  /* "file/" */
    return NULL;
  }
  if (resolved) return strcpy(resolved, text);
  char *copy = strdup(text);
  if (!copy) errno = ENOMEM;
  return copy;
}

/* Why a folder cannot be opened: a file is not one; the store itself exists but cannot be
   listed; anything else is missing as far as stat can tell (a folder inside the store
   looks like nothing there). */
static int folder_error(const char *name) {
  struct stat status;
  if (stat(name, &status) != 0) return errno;
  return S_ISDIR(status.st_mode) ? ENOSYS : ENOTDIR;
}

DIR *opendir(const char *name) {
  errno = folder_error(name);
  return NULL;
}

DIR *fdopendir(int fd) {
  struct stat status;
  if (fstat(fd, &status) == 0) errno = ENOTDIR;
  return NULL;
}

/* No DIR is ever handed out, so whatever a program passes here is not one. */
struct dirent *readdir(DIR *folder) {
  (void)folder;
  errno = EBADF;
  return NULL;
}

int readdir_r(DIR *folder, struct dirent *entry, struct dirent **result) {
  (void)folder, (void)entry;
  *result = NULL;
  return EBADF;
}

int closedir(DIR *folder) {
  (void)folder;
  errno = EBADF;
  return -1;
}

void rewinddir(DIR *folder) { (void)folder; }
void seekdir(DIR *folder, long position) { (void)folder, (void)position; }

long telldir(DIR *folder) {
  (void)folder;
  errno = EBADF;
  return -1;
}

int dirfd(DIR *folder) {
  (void)folder;
  errno = EBADF;
  return -1;
}

int scandir(const char *name, struct dirent ***entries,
            int (*select)(const struct dirent *),
            int (*compare)(const struct dirent **, const struct dirent **)) {
  (void)entries, (void)select, (void)compare;
  errno = folder_error(name);
  return -1;
}

int alphasort(const struct dirent **a, const struct dirent **b) {
  return strcoll((*a)->d_name, (*b)->d_name);
}
