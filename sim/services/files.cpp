// The file services over a directory on disk. A name is a path relative to the store's
// root and can never lead outside it: not by being absolute, not by "..", not through a
// symbolic link.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "sim/machine/machine.h"

namespace nk::sim {
namespace {

namespace fs = std::filesystem;

// NkFileInfo: the record file_stat fills.
struct FileInfo {
  uint32_t data_address;
  uint32_t size;
  uint32_t reserved;
};

// Names longer than this are not file names but garbage.
constexpr size_t kMaxName = 4096;

bool inside(const fs::path& path, const fs::path& root) {
  auto [r, p] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return r == root.end();
}

// The whole contents of a regular file; nullopt when there is none.
std::optional<std::vector<uint8_t>> read_whole(const fs::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info;
  std::optional<std::vector<uint8_t>> bytes;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.emplace();
    char chunk[65536];
    for (;;) {
      ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        bytes.reset();
        break;
      }
      if (n == 0) break;
      bytes->insert(bytes->end(), chunk, chunk + n);
    }
  }
  close(fd);
  return bytes;
}

bool write_all(int fd, const void* data, size_t size) {
  auto* at = static_cast<const char*>(data);
  while (size > 0) {
    // write(2) reads the guest's bytes itself: an unreadable buffer gives EFAULT, not a crash.
    ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

FileStore::FileStore(HostMemory& memory) : memory_(memory) { set_root(fs::current_path()); }

void FileStore::set_root(const fs::path& directory) {
  std::error_code error;
  fs::path canonical = fs::canonical(directory, error);
  root_ = error ? fs::absolute(directory).lexically_normal() : canonical;
}

const fs::path& FileStore::root() const { return root_; }

std::optional<fs::path> FileStore::resolve(const char* name) const {
  auto refuse = [&](const char* why) -> std::optional<fs::path> {
    fprintf(stderr, "nkhost: file name \"%.200s\" refused: %s\n", name ? name : "(null)", why);
    return std::nullopt;
  };
  if (!name) return refuse("no name");
  size_t length = strnlen(name, kMaxName + 1);
  if (length == 0) return refuse("empty name");
  if (length > kMaxName) return refuse("name too long");
  fs::path relative(std::string(name, length));
  if (relative.is_absolute()) return refuse("absolute paths are outside the file store");
  fs::path path = (root_ / relative).lexically_normal();
  if (!inside(path, root_)) return refuse("it leads outside the file store");
  if (path == root_ || !path.has_filename()) return refuse("it names a directory");
  std::error_code error;
  fs::path real = fs::weakly_canonical(path, error);
  if (error || !inside(real, root_)) return refuse("a link in it leads outside the file store");
  return real;
}

int32_t FileStore::stat(const char* name, void* info) {
  auto path = resolve(name);
  if (!path || !info) return 0;
  auto bytes = read_whole(*path);
  if (!bytes) return 0;
  if (bytes->size() > std::numeric_limits<uint32_t>::max()) {
    fprintf(stderr, "nkhost: file \"%s\" is too large (4 GiB or more)\n", name);
    return 0;
  }
  auto size = static_cast<uint32_t>(bytes->size());
  // Unchanged contents keep their address, so reading a file again and again costs no memory.
  auto& copies = handed_out_[path->string()];
  const void* data = nullptr;
  for (const auto& [block, block_size] : copies)
    if (block_size == size && std::memcmp(block, bytes->data(), size) == 0) data = block;
  if (!data) {
    void* block = memory_.allocate(size);
    if (!block) return 0;
    std::memcpy(block, bytes->data(), size);
    copies.emplace_back(block, size);
    data = block;
  }
  FileInfo record{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)), size, 0};
  std::memcpy(info, &record, sizeof record);
  return 1;
}

int32_t FileStore::write(const char* name, const void* data, uint32_t size) {
  auto path = resolve(name);
  if (!path || (!data && size)) return 0;
  // Write beside the target and rename over it: the old contents survive any failure.
  std::string temp = path->string() + ".nkhost-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return 0;
  struct stat existing;
  bool ok = fchmod(fd, ::stat(path->c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644) == 0;
  ok = ok && write_all(fd, data, size);
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path->c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok ? 1 : 0;
}

int32_t FileStore::remove(const char* name) {
  auto path = resolve(name);
  if (!path) return 0;
  struct stat info;
  if (lstat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return unlink(path->c_str()) == 0 ? 1 : 0;
}

}  // namespace nk::sim
