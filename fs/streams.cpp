// Streams over whole files. The host only looks files up, stores them whole and deletes
// them, so a stream keeps its file's whole content in memory and stores it back whole.
// Three reserved names open the console instead.

#include <errno.h>
#include <nk_console.h>
#include <nk_fs.h>
#include <stdlib.h>
#include <string.h>

#include "fs/stream.h"

NkfsStream* stdin;
NkfsStream* stdout;
NkfsStream* stderr;

namespace {

constexpr uint64_t kFirstCapacity = 256;
// What the host's console_read_line may fill: the line, its NUL, and room for the LF.
constexpr uint64_t kStdinReadCapacity = nk::kStdinLineSize - 2;

bool mode_has(const char* mode, char letter) { return strchr(mode, letter) != nullptr; }

int32_t reserved_kind(const char* name) {
  if (strcmp(name, "__nkfs_stdin") == 0) return nk::kStandardInput;
  if (strcmp(name, "__nkfs_stdout") == 0) return nk::kStandardOutput;
  if (strcmp(name, "__nkfs_stderr") == 0) return nk::kStandardError;
  return nk::kDiskFile;
}

bool name_fits(const char* name) {
  for (int i = 0; i <= nk::kStreamNameMax; ++i)
    if (name[i] == 0) return true;
  return false;
}

NkfsStream* new_stream(int32_t kind, const char* name) {
  auto* stream = static_cast<NkfsStream*>(malloc(sizeof(NkfsStream)));
  if (!stream) {
    nk_errno = ENOMEM;
    return nullptr;
  }
  memset(stream, 0, sizeof *stream);
  stream->kind = kind;
  stream->pushback = -1;
  strcpy(stream->name, name);  // callers give names that fit
  return stream;
}

NkfsStream* open_console(int32_t kind, const char* name) {
  NkfsStream* stream = new_stream(kind, name);
  if (!stream) return nullptr;
  stream->readable = kind == nk::kStandardInput;
  stream->writable = kind != nk::kStandardInput;
  return stream;
}

// Loads the file's content: read-only streams point at the host's copy, writable ones
// take their own. False when the stream cannot be opened (nk_errno set).
bool load_content(NkfsStream* stream, const char* mode) {
  NkFileInfo info{};
  if (!nk_lua_app_stat_file(stream->name, &info)) {
    if (stream->writable) return true;
    nk_errno = ENOENT;
    return false;
  }
  if (mode_has(mode, 'w') || info.size == 0) return true;
  auto* bytes = reinterpret_cast<const uint8_t*>(uintptr_t{info.data_address});
  if (stream->writable) {
    if (!nk_lua_file_reserve(stream, info.size)) return false;
    memcpy(stream->buffer, bytes, info.size);
  } else {
    stream->data = bytes;
  }
  stream->size = info.size;
  return true;
}

NkfsStream* open_file(const char* name, const char* mode) {
  // Refused rather than cut: a cut name would be stored as a different file.
  if (!name_fits(name)) {
    nk_errno = EINVAL;
    return nullptr;
  }
  NkfsStream* stream = new_stream(nk::kDiskFile, name);
  if (!stream) return nullptr;
  stream->readable = mode_has(mode, 'r') || mode_has(mode, '+') || mode_has(mode, 'a');
  stream->writable = mode_has(mode, 'w') || mode_has(mode, 'a') || mode_has(mode, '+');
  stream->append = mode_has(mode, 'a');
  if (!load_content(stream, mode)) {
    free(stream->buffer);
    free(stream);
    return nullptr;
  }
  if (stream->append) stream->position = stream->size;
  return stream;
}

void set_error(NkfsStream* stream, int number) {
  nk_errno = number;
  stream->error = 1;
}

// Next byte of standard input: whole console lines, each with an LF added.
int stdin_getc(NkfsStream* stream) {
  if (stream->line_position >= stream->line_length) {
    if (!nk_lua_readline(stream->line, kStdinReadCapacity, "", false)) {
      stream->eof = 1;
      return -1;
    }
    // A host that left no NUL within the capacity still gets a bounded line.
    auto* end = static_cast<const char*>(memchr(stream->line, 0, kStdinReadCapacity));
    uint64_t length = end ? uint64_t(end - stream->line) : kStdinReadCapacity - 1;
    stream->line[length] = '\n';
    stream->line[length + 1] = 0;
    stream->line_length = length + 1;
    stream->line_position = 0;
  }
  return static_cast<uint8_t>(stream->line[stream->line_position++]);
}

// Copies up to `total` bytes of a file stream to `destination`; returns how many. Equal to
// reading them one by one with nkfs_getc, eof included.
uint64_t read_bytes(NkfsStream* stream, uint8_t* destination, uint64_t total) {
  uint64_t done = 0;
  if (total > 0 && stream->pushback != -1) {
    destination[done++] = static_cast<uint8_t>(stream->pushback);
    stream->pushback = -1;
  }
  uint64_t available = stream->position < stream->size ? stream->size - stream->position : 0;
  uint64_t take = total - done < available ? total - done : available;
  memcpy(destination + done, stream->data + stream->position, take);
  stream->position += take;
  done += take;
  if (done < total) stream->eof = 1;
  return done;
}

}  // namespace

bool nk_lua_file_reserve(NkfsStream* stream, uint64_t required) {
  if (!stream) return false;
  if (stream->capacity >= required) return true;
  uint64_t capacity = stream->capacity ? stream->capacity : kFirstCapacity;
  while (capacity < required) {
    // Beyond 2^63 doubling cannot reach the requirement.
    if (capacity > UINT64_MAX / 2) {
      set_error(stream, ENOMEM);
      return false;
    }
    capacity *= 2;
  }
  void* block = realloc(stream->buffer, capacity);
  if (!block) {
    set_error(stream, ENOMEM);
    return false;
  }
  stream->buffer = static_cast<uint8_t*>(block);
  stream->data = stream->buffer;
  stream->capacity = capacity;
  return true;
}

NkfsStream* nkfs_fopen(const char* name, const char* mode) {
  if (!name || !mode) {
    nk_errno = EINVAL;
    return nullptr;
  }
  int32_t kind = reserved_kind(name);
  return kind == nk::kDiskFile ? open_file(name, mode) : open_console(kind, name);
}

NkfsStream* nkfs_freopen(const char* name, const char* mode, NkfsStream* old) {
  if (old) nkfs_fclose(old);
  return nkfs_fopen(name, mode);
}

int nkfs_fclose(NkfsStream* stream) {
  if (!stream) return 0;
  int result = nkfs_fflush(stream);
  free(stream->buffer);
  free(stream);
  return result;
}

int nkfs_getc(NkfsStream* stream) {
  if (!stream || stream->readable != 1) return -1;
  if (stream->pushback != -1) {
    int byte = stream->pushback;
    stream->pushback = -1;
    return byte;
  }
  if (stream->kind == nk::kStandardInput) return stdin_getc(stream);
  if (stream->position < stream->size) return stream->data[stream->position++];
  stream->eof = 1;
  return -1;
}

size_t nkfs_fread(void* destination, size_t size, size_t count, NkfsStream* stream) {
  if (!count || !size || !destination || !stream || stream->readable != 1) return 0;
  uint64_t total;
  // No buffer can hold more than 2^64 bytes: the arguments are wrong.
  if (__builtin_mul_overflow(size, count, &total)) {
    set_error(stream, EINVAL);
    return 0;
  }
  auto* bytes = static_cast<uint8_t*>(destination);
  if (stream->kind != nk::kStandardInput) return read_bytes(stream, bytes, total) / size;
  for (uint64_t done = 0; done < total; ++done) {
    int byte = nkfs_getc(stream);
    if (byte < 0) return done / size;
    bytes[done] = static_cast<uint8_t>(byte);
  }
  return count;
}

size_t nkfs_fwrite(const void* source, size_t size, size_t count, NkfsStream* stream) {
  if (!count || !size || !source || !stream || stream->writable != 1) return 0;
  uint64_t total;
  if (__builtin_mul_overflow(size, count, &total)) {
    set_error(stream, EINVAL);
    return 0;
  }
  if (stream->kind != nk::kDiskFile) {
    nk_lua_write(static_cast<const char*>(source), total);
    stream->position += total;
    return count;
  }
  if (stream->append) stream->position = stream->size;
  uint64_t end;
  if (__builtin_add_overflow(stream->position, total, &end)) {
    set_error(stream, ENOMEM);
    return 0;
  }
  if (!nk_lua_file_reserve(stream, end)) return 0;
  if (stream->position > stream->size)
    memset(stream->buffer + stream->size, 0, stream->position - stream->size);
  memcpy(stream->buffer + stream->position, source, total);
  stream->position = end;
  if (end > stream->size) stream->size = end;
  stream->dirty = 1;
  stream->eof = 0;
  return count;
}

int nkfs_fseek(NkfsStream* stream, int64_t offset, int origin) {
  if (!stream) {
    nk_errno = EINVAL;
    return -1;
  }
  uint64_t base = 0;
  int64_t target;
  bool valid = stream->kind == nk::kDiskFile && origin >= 0 && origin <= 2;
  if (valid) base = origin == 1 ? stream->position : origin == 2 ? stream->size : 0;
  // A target that does not fit is as invalid as a negative one.
  if (!valid || __builtin_add_overflow(base, offset, &target) || target < 0) {
    set_error(stream, EINVAL);
    return -1;
  }
  stream->position = uint64_t(target);
  stream->eof = stream->position >= stream->size;
  stream->pushback = -1;
  return 0;
}

int64_t nkfs_ftell(NkfsStream* stream) {
  if (!stream) {
    nk_errno = EINVAL;
    return -1;
  }
  return int64_t(stream->position);
}

int nkfs_fflush(NkfsStream* stream) {
  if (!stream || stream->kind != nk::kDiskFile || stream->dirty != 1) return 0;
  // The host's sizes are 32 bits: a larger content cannot be stored, not even in part.
  if (stream->size > UINT32_MAX ||
      !nk_lua_app_write_file(stream->name, stream->data, uint32_t(stream->size))) {
    set_error(stream, EIO);
    return -1;
  }
  stream->dirty = 0;
  return 0;
}

int nkfs_feof(NkfsStream* stream) { return stream ? stream->eof : 0; }

int nkfs_ferror(NkfsStream* stream) { return stream ? stream->error : 0; }

void nkfs_clearerr(NkfsStream* stream) {
  if (!stream) return;
  stream->eof = 0;
  stream->error = 0;
  stream->pushback = -1;
}

int nkfs_ungetc(int byte, NkfsStream* stream) {
  if (byte == -1 || !stream) return -1;
  stream->pushback = byte & 0xFF;
  stream->eof = 0;
  return stream->pushback;
}
