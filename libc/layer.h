/* What the modules of the platform layer give each other. The layer puts the POSIX-style
   calls newlib is built on (open, read, write, ...) over the library: the console, the
   host's file store through nkfs_*, the library's heap. */
#ifndef NK_LIBC_LAYER_H
#define NK_LIBC_LAYER_H

#include <stddef.h>
#include <sys/types.h>

/* Console descriptors (console.c). */
ssize_t nk_console_read(void *buffer, size_t count);
ssize_t nk_console_write(const void *bytes, size_t count);
/* Hands a last line that has no line end yet to the host, at the program's end. */
void nk_console_end(void);

/* Files of the store, held in memory while open (store_files.c). A file is shared by
   every descriptor open on its name and reaches the store when it is synced or closed. */
struct nk_file;
/* Opens name as open(2) would with flags (O_CREAT, O_EXCL, O_TRUNC; the access mode is
   the caller's affair). Null with errno set when it cannot. */
struct nk_file *nk_file_open(const char *name, int flags);
/* A file with no name that is never stored (tmpfile). */
struct nk_file *nk_file_anonymous(void);
/* Drops one opener; the last one frees the file. Stores it first when it changed. */
int nk_file_release(struct nk_file *file);
ssize_t nk_file_read(struct nk_file *file, off_t offset, void *buffer, size_t count);
ssize_t nk_file_write(struct nk_file *file, off_t offset, const void *bytes, size_t count);
off_t nk_file_size(const struct nk_file *file);
int nk_file_truncate(struct nk_file *file, off_t length);
/* Hands the file's content to the store when it changed: 0, or -1 with EIO. */
int nk_file_sync(struct nk_file *file);

/* What stat and fstat report: a time of the platform's constant clock. */
struct stat;
void nk_fill_stat(struct stat *status, mode_t mode, off_t size);

/* Descriptors (descriptors.c). Whether name is /dev/null, which the layer provides itself
   (the store has no devices). */
int nk_names_null_device(const char *name);
/* A new descriptor on a file of no name (tmpfile). */
int nk_open_anonymous(void);
/* Closes every descriptor, storing what changed (at the program's end; failures are lost). */
void nk_close_all(void);

/* Points the program's thread-local variables at their one copy (thread_locals.c), before
   any of its code runs. */
void nk_bind_thread_locals(void);

/* Where errno of the program comes from after a call into the file layer of the library:
   its nk_errno, or the given fallback when the library set nothing. */
void nk_set_errno_from_library(int fallback);

#endif
