// Whole-file operations: a file read into one block, stored from one, deleted, renamed.
// The host has no rename, so renaming is a copy followed by a delete.

#include <errno.h>
#include <nk_fs.h>
#include <stdlib.h>
#include <string.h>

#include "fs/stream.h"

namespace {

const uint8_t* host_bytes(const NkFileInfo& info) {
  return reinterpret_cast<const uint8_t*>(uintptr_t{info.data_address});
}

}  // namespace

bool nkfs_read_entire_file(const char* name, void** data, uint64_t* size) {
  if (!name || !data || !size) return false;
  NkFileInfo info{};
  if (!nk_lua_app_stat_file(name, &info)) return false;
  // An empty file still gets a block, so that success always hands over something to free.
  void* block = malloc(info.size ? info.size : 1);
  if (!block) return false;
  memcpy(block, host_bytes(info), info.size);
  *data = block;
  *size = info.size;
  return true;
}

bool nkfs_write_entire_file(const char* name, const void* data, uint64_t size) {
  if (!name || (size && !data)) return false;
  // The host's sizes are 32 bits: storing the low 32 bits would write a different file.
  if (size > UINT32_MAX) return false;
  return nk_lua_app_write_file(name, data, uint32_t(size)) != 0;
}

int nkfs_remove(const char* name) {
  if (!name) {
    nk_errno = EINVAL;
    return -1;
  }
  if (nk_lua_app_delete_file(name)) return 0;
  nk_errno = EIO;
  return -1;
}

int nkfs_rename(const char* old_name, const char* new_name) {
  if (!old_name || !new_name) {
    nk_errno = EINVAL;
    return -1;
  }
  NkFileInfo info{};
  if (!nk_lua_app_stat_file(old_name, &info)) {
    nk_errno = ENOENT;
    return -1;
  }
  // Copying a file onto itself and deleting the old name would delete the file.
  if (strcmp(old_name, new_name) == 0) return 0;
  if (!nk_lua_app_write_file(new_name, host_bytes(info), info.size) ||
      !nk_lua_app_delete_file(old_name)) {
    nk_errno = EIO;
    return -1;
  }
  return 0;
}

int nkfs_mount_image(const void*, size_t) { return 0; }

void nkfs_unmount() {}

bool nkfs_is_mounted() { return true; }

int nkfs_register_virtual_file(const char*, const void*, size_t) { return 0; }

void nkfs_clear_virtual_files() {}

const void* nkfs_image_data() { return nullptr; }

size_t nkfs_image_size() { return 0; }

int nkfs_export_image(const char*) { return 0; }
