#ifndef ORVANE_NK_FS_H
#define ORVANE_NK_FS_H
/* The file layer: stdio-style streams over whole files that the host keeps.

   A stream holds its file's whole content in memory. Opening reads it at once; reads and
   writes work on memory; a stream that was written is stored back whole when it is
   flushed or closed (and only then). A read-only stream reads the host's copy in place.

   Modes are read by the letters they contain, in any order: 'r', '+' or 'a' make a
   stream readable; 'w', 'a' or '+' writable; 'a' makes every write go to the end; 'w'
   starts empty; 'b' and anything else are ignored. "r" needs the file to exist; "w",
   "a" and "r+" create it on their first store. Names are at most 240 characters and go
   to the host unchanged.

   Three reserved names open the console instead of a file: "__nkfs_stdin" (whole
   console lines, each ending in LF), "__nkfs_stdout" and "__nkfs_stderr" (both write
   into the console's pending line). The mode is not examined for them. The variables
   stdin, stdout and stderr start null: a program that wants them opens these names and
   stores the streams there. With the C library those three names are <stdio.h>'s, so
   this header does not declare the variables then.

   Failures return null, 0, -1 or false and set nk_errno (<errno.h>): ENOENT a missing
   file opened for reading, EIO a store or delete the host refused, ENOMEM no memory,
   EINVAL a bad argument. Whole-file functions leave nk_errno alone. */
#include <stdbool.h> /* __extension__ below: bool (_Bool) also in C89 */
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

typedef struct NkfsStream NkfsStream;

#ifdef __has_include
#if __has_include(<newlib.h>)
#define ORVANE_NK_FS_WITH_C_LIBRARY 1
#endif
#endif
#ifndef ORVANE_NK_FS_WITH_C_LIBRARY
extern NkfsStream *stdin;
extern NkfsStream *stdout;
extern NkfsStream *stderr;
#endif

extern int nk_errno; /* also in the library's <errno.h> */

NkfsStream *nkfs_fopen(const char *name, const char *mode);
/* Closes old (when not null; its store result is lost) and opens name. */
NkfsStream *nkfs_freopen(const char *name, const char *mode, NkfsStream *old);
/* Stores what was written and frees the stream, even when the store fails (-1). */
int nkfs_fclose(NkfsStream *stream);
/* Whole items read; the bytes of a last, incomplete item are stored too. */
size_t nkfs_fread(void *destination, size_t size, size_t count, NkfsStream *stream);
int nkfs_getc(NkfsStream *stream); /* 0..255, or -1 at the end (eof set) */
/* Writing past the end fills the gap with zero bytes. */
size_t nkfs_fwrite(const void *source, size_t size, size_t count, NkfsStream *stream);
/* origin: 0 start, 1 current position, 2 end. Console streams cannot seek. */
int nkfs_fseek(NkfsStream *stream, int64_t offset, int origin);
/* The position; for stdout and stderr the bytes written so far. */
int64_t nkfs_ftell(NkfsStream *stream);
/* Stores the content when it changed; console streams have nothing to store. */
int nkfs_fflush(NkfsStream *stream);
int nkfs_feof(NkfsStream *stream);
int nkfs_ferror(NkfsStream *stream);
void nkfs_clearerr(NkfsStream *stream); /* also drops a pushed-back byte */
/* One byte of pushback; the next read returns it. -1 pushes nothing. */
int nkfs_ungetc(int byte, NkfsStream *stream);

/* The whole file in a new malloc block (at least 1 byte, no NUL added) that the caller
   frees. The out values are untouched on failure. */
__extension__ bool nkfs_read_entire_file(const char *name, void **data, uint64_t *size);
/* Creates or replaces the file (4 GiB or more cannot be stored). */
__extension__ bool nkfs_write_entire_file(const char *name, const void *data, uint64_t size);
int nkfs_remove(const char *name); /* 0, or -1 with EIO (a missing file included) */
/* A copy under the new name, then a delete of the old one; an existing file under the
   new name is replaced. Renaming a file to its own name leaves it in place and
   succeeds. */
int nkfs_rename(const char *old_name, const char *new_name);

/* Every file lives with the host: there are no disk images or virtual files. These keep
   no state and return fixed values, so that programs written against them run. */
int nkfs_mount_image(const void *image, size_t size); /* 0 */
void nkfs_unmount(void);
__extension__ bool nkfs_is_mounted(void); /* true */
int nkfs_register_virtual_file(const char *name, const void *data, size_t size); /* 0 */
void nkfs_clear_virtual_files(void);
const void *nkfs_image_data(void); /* null */
size_t nkfs_image_size(void);      /* 0 */
int nkfs_export_image(const char *name); /* 0 */

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
