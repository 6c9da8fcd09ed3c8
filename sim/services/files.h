#pragma once
// The host's file service.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/services/store_lookup.h"

namespace nk::sim {

class HostMemory;

// A regular file of the store, open for reading; closed on destruction.
class OpenFile {
 public:
  OpenFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  OpenFile(OpenFile&& other) noexcept : fd_(other.release()), size_(other.size_) {}
  OpenFile& operator=(OpenFile&&) = delete;
  ~OpenFile();
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
  uint64_t size_;
};

// The file store: a directory on disk. Names are paths relative to it, with '/' between
// subdirectories, and cannot reach outside it, even while something else on the machine
// swaps its folders for links: every name is looked up beneath a descriptor of the store,
// and every operation is done relative to the descriptors the lookup found.
//
// file_stat hands out a copy of the file's bytes in host memory, and the library's read-only
// streams read that copy in place for as long as they are open, without telling the host
// when they close. So a copy is never changed or released while a stream may read it:
// rewriting or deleting the file leaves it as it was. Identical contents of a name share one
// copy. The copies kept may take up to kKeptBytes (by default); past that, a copy whose address no block
// of the program's heap holds (which is where streams keep it) is released, and when that
// is not enough file_stat refuses with a message.
//
// The host has no rename: the library renames by storing the bytes file_stat handed out
// under the new name and deleting the old one. When the new name leads to the very file the
// bytes came from (an alias such as "./f", a link, a second hard link), that store changes
// nothing and the delete that completes it is skipped, so the file stays.
class FileStore {
 public:
  static constexpr uint64_t kKeptBytes = uint64_t(256) << 20;

  void set_root(const std::filesystem::path& directory);
  const std::filesystem::path& root() const;

  explicit FileStore(HostMemory& memory);
  ~FileStore();
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;
  // The file services as the library calls them; info is the 12-byte file record.
  int32_t stat(const char* name, void* info);
  int32_t write(const char* name, const void* data, uint32_t size);
  int32_t remove(const char* name);

  // For services that read files of the store themselves (PNG, fonts): the file opened
  // without blocking, or nullopt after a message that names the service (none for a missing
  // file unless report_missing).
  std::optional<OpenFile> open_for_reading(const char* name, const char* service,
                                          bool report_missing = true);

  uint64_t kept_bytes() const { return kept_bytes_; }
  void set_kept_limit(uint64_t bytes) { kept_limit_ = bytes; }
  // Tests: runs after a new content is written and has its temporary name, before it
  // replaces the old one.
  void set_before_replace(std::function<void()> hook) { before_replace_ = std::move(hook); }
  // Tests: false looks every name up one component at a time, as on a kernel without
  // openat2; kernel_lookup() tells which is in use.
  void set_kernel_lookup(bool enabled) { lookup_.set_kernel_lookup(enabled); }
  bool kernel_lookup() const { return lookup_.kernel_lookup(); }

 private:
  struct Copy {
    void* block;
    uint32_t size;
  };
  // A file, by device and inode; none when not set. (Plain fields rather than optionals:
  // every byte is written, which keeps memory checkers quiet about the comparisons.)
  struct FileId {
    bool set = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool is(const struct stat& info) const { return set && info.st_dev == device && info.st_ino == inode; }
  };
  // What the last call handed out, if it was a file_stat: the copy and the file it came from.
  struct Handed {
    const void* block = nullptr;
    uint32_t size = 0;
    FileId file;
  };
  struct Previous {
    Handed handed;
    FileId stored_onto_itself;
  };
  struct Attempt;
  Previous begin_call();
  std::optional<StoreName> parse(const char* name, const char* service) const;
  std::optional<Place> find(const StoreName& name, const char* text, const char* service,
                            StoreLookup::Links links, StoreLookup::Folders folders,
                            bool report_missing) const;
  std::optional<OpenFile> open_regular(Place& place, const char* name, const char* service,
                                       bool report_missing) const;
  const void* keep_copy(const std::string& key, OpenFile& file, const char* name);
  bool make_room(uint64_t size);
  bool store(const Place& place, const void* data, uint32_t size, const char* name);
  Attempt replace(const Place& place, int temporary_dir, const void* data, uint32_t size) const;

  HostMemory& memory_;
  std::filesystem::path root_;
  StoreLookup lookup_;
  bool swept_ = false;  // leftovers of dead processes removed since the store was opened
  std::unordered_map<std::string, std::vector<Copy>> copies_;  // by folder and name, oldest first
  uint64_t kept_bytes_ = 0;
  uint64_t kept_limit_ = kKeptBytes;
  Handed handed_;
  FileId stored_onto_itself_;  // by the last call, a file_write
  std::function<void()> before_replace_;
};

}  // namespace nk::sim
