// C streams for Lua over the library's nkfs_* streams. The library's streams hold whole
// files and reach the host only when flushed; this layer adds what Lua scripts rely on
// from C's fopen (creation and truncation at open, "r+" needing the file, the direction
// a mode allows) and keeps the list of open streams so that exit can store them.

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <nk_console.h>

#include "norriklua_port.h"

namespace {

// What C's mode says about a stream, which the library's mode letters do not all keep,
// and the pushed-back byte: the library's clearerr drops it, C's keeps it (Lua clears
// the indicators before every read, right after read("n") pushed its lookahead back).
struct OpenStream {
  FILE* stream;
  bool readable, writable, failed, temporary;
  int pushback;   // EOF: none
  char name[48];  // temporary files only: removed at close
};

OpenStream* gOpen = nullptr;
size_t gOpenCount = 0, gOpenCapacity = 0;

OpenStream* find(FILE* stream) {
  for (size_t i = 0; i < gOpenCount; ++i)
    if (gOpen[i].stream == stream) return &gOpen[i];
  return nullptr;
}

bool remember(FILE* stream, bool readable, bool writable) {
  if (gOpenCount == gOpenCapacity) {
    size_t capacity = gOpenCapacity ? gOpenCapacity * 2 : 16;
    void* grown = realloc(gOpen, capacity * sizeof(OpenStream));
    if (!grown) return false;
    gOpen = static_cast<OpenStream*>(grown);
    gOpenCapacity = capacity;
  }
  gOpen[gOpenCount++] = OpenStream{stream, readable, writable, false, false, EOF, {}};
  return true;
}

// The entry of a stream this layer did not open (the console streams), made on first need.
OpenStream* adopt(FILE* stream) {
  OpenStream* entry = find(stream);
  if (!entry && stream && remember(stream, true, true)) entry = &gOpen[gOpenCount - 1];
  return entry;
}

int take_pushback(FILE* stream) {
  OpenStream* entry = find(stream);
  if (!entry || entry->pushback == EOF) return EOF;
  int c = entry->pushback;
  entry->pushback = EOF;
  return c;
}

void forget(FILE* stream) {
  OpenStream* entry = find(stream);
  if (entry) *entry = gOpen[--gOpenCount];
}

bool exists(const char* name) {
  FILE* probe = nkfs_fopen(name, "r");  // read-only: looks the file up, copies nothing
  if (!probe) return false;
  nkfs_fclose(probe);
  return true;
}

// Lua checks the mode before it opens: [rwa]+?b?
bool parse_mode(const char* mode, char* kind, bool* plus) {
  if (!mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
  *kind = mode[0];
  *plus = strchr(mode, '+') != nullptr;
  return true;
}

bool readable(FILE* stream) {
  OpenStream* entry = find(stream);
  return !entry || entry->readable;
}

// A read or write in a direction the mode does not allow fails like C's: the error
// indicator is set and errno says the descriptor is bad.
bool refuse(FILE* stream) {
  OpenStream* entry = find(stream);
  if (entry) entry->failed = true;
  errno = EBADF;
  return false;
}

}  // namespace

extern "C" {

FILE* fopen(const char* name, const char* mode) {
  char kind;
  bool plus;
  if (!name || !parse_mode(mode, &kind, &plus)) {
    errno = EINVAL;
    return nullptr;
  }
  if (kind == 'r' && plus && !exists(name)) {
    errno = ENOENT;
    return nullptr;
  }
  // "w" empties the file now and "a" creates it, so a refused name fails at open.
  if ((kind == 'w' || (kind == 'a' && !exists(name))) && !nkfs_write_entire_file(name, nullptr, 0)) {
    errno = EACCES;
    return nullptr;
  }
  const char library_mode[3] = {kind, plus ? '+' : '\0', '\0'};
  FILE* stream = nkfs_fopen(name, library_mode);
  if (!stream) return nullptr;  // errno set by the file layer
  if (!remember(stream, kind == 'r' || plus, kind != 'r' || plus)) {
    nkfs_fclose(stream);
    errno = ENOMEM;
    return nullptr;
  }
  return stream;
}

FILE* freopen(const char* name, const char* mode, FILE* stream) {
  if (stream) fclose(stream);
  return fopen(name, mode);
}

char* tmpnam(char* buffer) {
  static char own[L_tmpnam];
  static unsigned counter = 0;
  char* out = buffer ? buffer : own;
  do nklua_snprintf(out, L_tmpnam, "lua_tmp_%u", counter++);
  while (exists(out));
  return out;
}

FILE* tmpfile(void) {
  char name[L_tmpnam];
  FILE* stream = fopen(tmpnam(name), "w+");
  if (stream) {
    OpenStream* entry = find(stream);
    entry->temporary = true;
    memcpy(entry->name, name, sizeof name);
  }
  return stream;
}

int fclose(FILE* stream) {
  OpenStream* entry = find(stream);
  char temporary[sizeof entry->name] = {};
  if (entry && entry->temporary) memcpy(temporary, entry->name, sizeof temporary);
  forget(stream);
  int result = nkfs_fclose(stream);
  if (result != 0) errno = EIO;
  if (temporary[0]) nkfs_remove(temporary);
  return result == 0 ? 0 : EOF;
}

size_t fread(void* dst, size_t size, size_t count, FILE* stream) {
  if (!readable(stream)) return refuse(stream), 0;
  if (size == 0 || count == 0) return 0;
  int c = take_pushback(stream);
  if (c == EOF) return nkfs_fread(dst, size, count, stream);
  // The pushed-back byte starts the first item; the rest comes from the stream.
  unsigned char* bytes = static_cast<unsigned char*>(dst);
  bytes[0] = static_cast<unsigned char>(c);
  size_t total = size * count, got = 1;
  while (got < total) {
    int next = nkfs_getc(stream);
    if (next == EOF) break;
    bytes[got++] = static_cast<unsigned char>(next);
  }
  return got / size;
}

size_t fwrite(const void* src, size_t size, size_t count, FILE* stream) {
  OpenStream* entry = find(stream);
  if (entry && !entry->writable) return refuse(stream), 0;
  size_t done = nkfs_fwrite(src, size, count, stream);
  if (done < count && size) errno = ENOMEM;
  return done;
}

int getc(FILE* stream) {
  if (!readable(stream)) return refuse(stream), EOF;
  int c = take_pushback(stream);
  return c != EOF ? c : nkfs_getc(stream);
}

int ungetc(int c, FILE* stream) {
  OpenStream* entry = adopt(stream);
  if (c == EOF || !entry) return EOF;
  entry->pushback = c & 0xFF;
  return entry->pushback;
}

char* fgets(char* buffer, int size, FILE* stream) {
  if (size <= 0) return nullptr;
  int n = 0;
  while (n < size - 1) {
    int c = getc(stream);
    if (c == EOF) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (n == 0) return nullptr;
  buffer[n] = '\0';
  return buffer;
}

int fputs(const char* text, FILE* stream) {
  size_t n = strlen(text);
  return fwrite(text, 1, n, stream) == n ? 0 : EOF;
}

int fflush(FILE* stream) {
  if (stream) {
    if (nkfs_fflush(stream) == 0) return 0;
    errno = EIO;
    return EOF;
  }
  int result = 0;
  for (size_t i = 0; i < gOpenCount; ++i)
    if (nkfs_fflush(gOpen[i].stream) != 0) result = EOF;
  return result;
}

int fseek(FILE* stream, long offset, int origin) {
  OpenStream* entry = find(stream);
  if (entry && entry->pushback != EOF) {
    entry->pushback = EOF;
    if (origin == SEEK_CUR) --offset;  // relative to the byte given back, as C counts
  }
  if (nkfs_fseek(stream, offset, origin) == 0) return 0;
  errno = nk_errno;
  return -1;
}

long ftell(FILE* stream) {
  OpenStream* entry = find(stream);
  long position = static_cast<long>(nkfs_ftell(stream));
  return entry && entry->pushback != EOF && position > 0 ? position - 1 : position;
}

int feof(FILE* stream) {
  OpenStream* entry = find(stream);
  return (!entry || entry->pushback == EOF) && nkfs_feof(stream);
}

int ferror(FILE* stream) {
  OpenStream* entry = find(stream);
  return nkfs_ferror(stream) || (entry && entry->failed);
}

void clearerr(FILE* stream) {
  OpenStream* entry = find(stream);
  if (entry) entry->failed = false;
  nkfs_clearerr(stream);
}

int setvbuf(FILE*, char*, int mode, size_t) { return mode >= _IOFBF && mode <= _IONBF ? 0 : -1; }

int vfprintf(FILE* stream, const char* format, va_list args) {
  char local[512];
  va_list again;
  va_copy(again, args);
  int n = nklua_vsnprintf(local, sizeof local, format, args);
  char* text = local;
  if (n >= static_cast<int>(sizeof local)) {
    text = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
    if (!text) {
      va_end(again);
      errno = ENOMEM;
      return -1;
    }
    nklua_vsnprintf(text, static_cast<size_t>(n) + 1, format, again);
  }
  va_end(again);
  size_t written = n > 0 ? fwrite(text, 1, static_cast<size_t>(n), stream) : 0;
  if (text != local) free(text);
  return written == static_cast<size_t>(n) ? n : -1;
}

int fprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vfprintf(stream, format, args);
  va_end(args);
  return n;
}

int remove(const char* name) {
  if (!exists(name)) {
    errno = ENOENT;
    return -1;
  }
  return nkfs_remove(name);  // errno set on failure
}

int rename(const char* old_name, const char* new_name) { return nkfs_rename(old_name, new_name); }

void nklua_write_error(const char* format, const char* argument) {
  char text[512];
  int n = nklua_snprintf(text, sizeof text, format, argument);
  if (n > 0) nk_lua_write(text, n < static_cast<int>(sizeof text) ? static_cast<size_t>(n) : sizeof text - 1);
}

// Stores every open file; used by exit, which C programs expect to flush their streams.
void nklua_store_open_files(void) { fflush(nullptr); }

}  // extern "C"
