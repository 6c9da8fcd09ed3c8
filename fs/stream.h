#pragma once
// The stream record and the host's file-lookup record. The layout is fixed (plain C
// types only), so tests on the build machine can read a stream's fields as well.

#include <stdint.h>

// What the host's file_stat fills: where the file's bytes are and how many.
struct NkFileInfo {
  uint32_t data_address;
  uint32_t size;
  uint32_t reserved;
};

namespace nk {

constexpr int kStreamNameMax = 240;
constexpr int kStdinLineSize = 512;

enum StreamKind : int32_t { kDiskFile = 0, kStandardInput = 1, kStandardOutput = 2, kStandardError = 3 };

}  // namespace nk

struct NkfsStream {
  int32_t kind;
  char name[nk::kStreamNameMax + 1];
  // Where reads come from: null, the host's own copy (read-only streams), or buffer.
  const uint8_t* data;
  uint8_t* buffer;
  uint64_t size;
  uint64_t capacity;
  uint64_t position;  // standard output and error: bytes written so far
  int32_t pushback;   // -1: none
  uint8_t readable;
  uint8_t writable;
  uint8_t append;
  uint8_t dirty;
  uint8_t eof;
  uint8_t error;
  char line[nk::kStdinLineSize];  // standard input: the current console line
  uint64_t line_length;
  uint64_t line_position;
};

// The file layer's only way to the host; each answers 0 when the host lacks the service.
extern "C" {
int32_t nk_lua_app_stat_file(const char* name, NkFileInfo* info);
int32_t nk_lua_app_write_file(const char* name, const void* data, uint32_t size);
int32_t nk_lua_app_delete_file(const char* name);
bool nk_lua_file_reserve(NkfsStream* stream, uint64_t required);
}
