// The three whole-file services of the host, the file layer's only way to its files.
// Names and sizes pass through unchanged; a missing service answers 0, which every
// caller takes as a missing file or a failed store.

#include "fs/stream.h"
#include "host/program_api.h"

int32_t nk_lua_app_stat_file(const char* name, NkFileInfo* info) {
  return nk::call_host_or<int32_t(const char*, NkFileInfo*)>(0, nk::HostEntry::file_stat, name,
                                                             info);
}

int32_t nk_lua_app_write_file(const char* name, const void* data, uint32_t size) {
  return nk::call_host_or<int32_t(const char*, const void*, uint32_t)>(
      0, nk::HostEntry::file_write, name, data, size);
}

int32_t nk_lua_app_delete_file(const char* name) {
  return nk::call_host_or<int32_t(const char*)>(0, nk::HostEntry::file_delete, name);
}
