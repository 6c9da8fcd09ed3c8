/* The library's stdio.h plus the C stream interface that Lua's io library, loadfile and
   print use, over the library's nkfs_* streams. FILE is the library's stream record;
   stdin, stdout and stderr are the library's variables, opened by NorrikLua at start. */
#ifndef NORRIKLUA_STDIO_H
#define NORRIKLUA_STDIO_H
#include_next <stdio.h>
#include <nk_fs.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef NkfsStream FILE;

#define EOF (-1)
#define BUFSIZ 1024
#define L_tmpnam 32
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2
#define _IOFBF 0
#define _IOLBF 1
#define _IONBF 2

/* fopen keeps the C contract whatever the streams do underneath: "w" creates or
   truncates at once, "r" and "r+" need the file, "a" creates it; a name the store
   refuses fails here. Failures return null with errno set. */
FILE *fopen(const char *name, const char *mode);
FILE *freopen(const char *name, const char *mode, FILE *stream);
FILE *tmpfile(void); /* removed from the store when closed */
char *tmpnam(char *buffer);
int fclose(FILE *stream);
size_t fread(void *dst, size_t size, size_t count, FILE *stream);
size_t fwrite(const void *src, size_t size, size_t count, FILE *stream);
int getc(FILE *stream);
int ungetc(int c, FILE *stream);
char *fgets(char *buffer, int size, FILE *stream);
int fputs(const char *text, FILE *stream);
int fflush(FILE *stream); /* null: every open stream */
int fseek(FILE *stream, long offset, int origin);
long ftell(FILE *stream);
int feof(FILE *stream);
int ferror(FILE *stream);
void clearerr(FILE *stream);
int setvbuf(FILE *stream, char *buffer, int mode, size_t size); /* streams hold whole files */
int fprintf(FILE *stream, const char *format, ...);
int vfprintf(FILE *stream, const char *format, va_list args);
int remove(const char *name);
int rename(const char *old_name, const char *new_name);

#ifdef __cplusplus
}
#endif
#endif
