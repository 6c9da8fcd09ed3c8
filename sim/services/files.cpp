// The file services over a directory on disk. A name is a path relative to the store's
// root and can never lead outside it: not by being absolute, not by "..", not through a
// symbolic link. Only regular files are files: a FIFO, device or socket is refused before
// it is opened, so nothing here can block.

#include "sim/services/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "sim/base/printable.h"
#include "sim/base/valgrind_hooks.h"
#include "sim/services/memory.h"

namespace nk::sim {
namespace {

namespace fs = std::filesystem;

// NkFileInfo: the record file_stat fills.
struct FileInfo {
  uint32_t data_address;
  uint32_t size;
  uint32_t reserved;
};

constexpr size_t kMaxName = 4095;      // the system's path limit, less the NUL
constexpr size_t kMaxComponent = 255;  // the system's limit for one name in a directory

bool inside(const fs::path& path, const fs::path& root) {
  auto [r, p] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return r == root.end();
}

void report(const char* service, const char* name, const std::string& what) {
  fprintf(stderr, "nkhost: %s(%s): %s\n", service, quoted(name).c_str(), what.c_str());
}

std::string not_a_file(mode_t mode) {
  const char* kind = S_ISDIR(mode)                    ? "a directory"
                     : S_ISFIFO(mode)                 ? "a FIFO"
                     : S_ISSOCK(mode)                 ? "a socket"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                      : "something other than a regular file";
  return std::string("it is ") + kind + ", not a file";
}

std::string component_too_long(std::string_view name) {
  for (size_t start = 0; start <= name.size();) {
    size_t end = std::min(name.find('/', start), name.size());
    if (end - start > kMaxComponent) return "a component of the name is longer than 255 bytes";
    start = end + 1;
  }
  return {};
}

// The file's first size bytes, when it still has exactly that many.
std::string read_exactly(int fd, void* into, uint64_t size) {
  for (uint64_t done = 0; done < size;) {
    ssize_t n = pread(fd, static_cast<char*>(into) + done, std::min<uint64_t>(size - done, 1 << 30), done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return strerror(errno);
    if (n == 0) return "it became shorter while it was read";
    done += static_cast<uint64_t>(n);
  }
  char extra;
  if (pread(fd, &extra, 1, size) > 0) return "it grew while it was read";
  return {};
}

bool write_all(int fd, const void* data, size_t size) {
  auto* at = static_cast<const char*>(data);
  while (size > 0) {
    // write(2) reads the guest's bytes itself: an unreadable buffer gives EFAULT, not a crash.
    ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A hidden name beside the target for a new content that was written without one.
std::string name_unnamed(int fd, const fs::path& directory) {
  static unsigned counter = 0;
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".nkhost-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    std::string temp = (directory / name).string();
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return temp;
    if (errno != EEXIST) break;
  }
  return {};
}

}  // namespace

OpenFile::~OpenFile() {
  if (fd_ >= 0) close(fd_);
}

FileStore::FileStore(HostMemory& memory) : memory_(memory) { set_root(fs::current_path()); }

void FileStore::set_root(const fs::path& directory) {
  std::error_code error;
  fs::path canonical = fs::canonical(directory, error);
  root_ = error ? fs::absolute(directory).lexically_normal() : canonical;
}

FileStore::~FileStore() {
  for (const auto& [path, copies] : copies_)
    for (const Copy& copy : copies) memory_.release(copy.block);
}

const fs::path& FileStore::root() const { return root_; }

std::optional<fs::path> FileStore::resolve(const char* name, const char* service) const {
  auto refuse = [&](const std::string& why) -> std::optional<fs::path> {
    report(service, name, "name refused: " + why);
    return std::nullopt;
  };
  if (!name) return refuse("no name");
  size_t length = strnlen(name, kMaxName + 1);
  if (length == 0) return refuse("the name is empty");
  if (length > kMaxName) return refuse("the name is longer than 4095 bytes");
  std::string_view text(name, length);
  if (auto why = component_too_long(text); !why.empty()) return refuse(why);
  fs::path relative(text);
  if (relative.is_absolute()) return refuse("an absolute name is outside the file store");
  fs::path path = (root_ / relative).lexically_normal();
  if (!inside(path, root_)) return refuse("it leads outside the file store");
  if (path == root_ || !path.has_filename()) return refuse("it names a directory");
  std::error_code error;
  fs::path real = fs::weakly_canonical(path, error);
  if (error == std::errc::too_many_symbolic_link_levels)
    return refuse("its symbolic links form a loop");
  if (error == std::errc::filename_too_long)
    return refuse("it is too long once its symbolic links are followed");
  if (error) return refuse(error.message());
  if (!inside(real, root_)) return refuse("a symbolic link in it leads outside the file store");
  return real;
}

std::optional<OpenFile> FileStore::open_regular(const fs::path& path, const char* name,
                                                const char* service, bool report_missing) const {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    bool missing = errno == ENOENT || errno == ENOTDIR;
    if (!missing || report_missing) report(service, name, missing ? "no such file in the store" : strerror(errno));
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    report(service, name, not_a_file(info.st_mode));
    return std::nullopt;
  }
  // Non-blocking, in case something else took the file's place since.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    report(service, name, strerror(errno));
    return std::nullopt;
  }
  OpenFile file(fd, 0);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    report(service, name, not_a_file(info.st_mode));
    return std::nullopt;
  }
  if (uint64_t(info.st_size) > std::numeric_limits<uint32_t>::max()) {
    report(service, name, "it is 4 GiB or larger, more than the file record's 32-bit size can describe");
    return std::nullopt;
  }
  return OpenFile(file.release(), static_cast<uint64_t>(info.st_size));
}

std::optional<OpenFile> FileStore::open_for_reading(const char* name, const char* service,
                                                    bool report_missing) {
  auto path = resolve(name, service);
  if (!path) return std::nullopt;
  return open_regular(*path, name, service, report_missing);
}

bool FileStore::make_room(uint64_t size) {
  if (kept_bytes_ + size <= kept_limit_) return true;
  struct Kept {
    uintptr_t start, end;
    bool referenced;
  };
  std::vector<Kept> kept;
  for (const auto& [path, copies] : copies_)
    for (const Copy& copy : copies) {
      auto start = reinterpret_cast<uintptr_t>(copy.block);
      kept.push_back({start, start + std::max<uint32_t>(copy.size, 1), false});
    }
  std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.start < b.start; });
  memory_.for_each_program_block([&](const uint8_t* block, uint64_t bytes) {
    for (uint64_t at = 0; at + 8 <= bytes; at += 8) {
      uint64_t word;
      std::memcpy(&word, block + at, 8);
      valgrind_defined(&word, sizeof word);  // a word never written is a value like any other
      auto it = std::upper_bound(kept.begin(), kept.end(), word,
                                 [](uint64_t value, const Kept& k) { return value < k.start; });
      if (it != kept.begin() && word < std::prev(it)->end) std::prev(it)->referenced = true;
    }
  });
  auto referenced = [&](const Copy& copy) {
    auto start = reinterpret_cast<uintptr_t>(copy.block);
    auto it = std::lower_bound(kept.begin(), kept.end(), start,
                               [](const Kept& k, uintptr_t value) { return k.start < value; });
    return it->referenced;
  };
  for (auto entry = copies_.begin(); entry != copies_.end();) {
    auto& copies = entry->second;
    std::erase_if(copies, [&](const Copy& copy) {
      if (referenced(copy)) return false;
      memory_.release(copy.block);
      kept_bytes_ -= copy.size;
      return true;
    });
    entry = copies.empty() ? copies_.erase(entry) : std::next(entry);
  }
  return kept_bytes_ + size <= kept_limit_;
}

const void* FileStore::keep_copy(const std::string& path, OpenFile& file, const char* name) {
  auto size = static_cast<uint32_t>(file.size());
  if (!make_room(size)) {
    report("file_stat", name,
           "the contents kept for open streams already take " + std::to_string(kept_bytes_ >> 20) +
               " MiB; no room for " + std::to_string(size) + " bytes more");
    return nullptr;
  }
  void* block = memory_.allocate(size);
  if (!block) {
    report("file_stat", name, "no host memory for its " + std::to_string(size) + " bytes");
    return nullptr;
  }
  if (auto why = read_exactly(file.fd(), block, size); !why.empty()) {
    memory_.release(block);
    report("file_stat", name, why);
    return nullptr;
  }
  // Reading an unchanged file again and again costs no memory.
  auto& copies = copies_[path];
  for (const Copy& copy : copies)
    if (copy.size == size && std::memcmp(copy.block, block, size) == 0) {
      memory_.release(block);
      return copy.block;
    }
  copies.push_back({block, size});
  kept_bytes_ += size;
  return block;
}

int32_t FileStore::stat(const char* name, void* info) {
  auto path = resolve(name, "file_stat");
  if (!path || !info) return 0;
  auto file = open_regular(*path, name, "file_stat", false);
  if (!file) return 0;
  const void* data = keep_copy(path->string(), *file, name);
  if (!data) return 0;
  FileInfo record{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)), static_cast<uint32_t>(file->size()), 0};
  std::memcpy(info, &record, sizeof record);
  return 1;
}

// The new content is written to a file beside the old one that has no name yet, so that a
// crash or a full disk leaves the old content and nothing else; then it gets a hidden name
// and is renamed over the old one, which replaces it in one step.
bool FileStore::store(const fs::path& path, const void* data, uint32_t size, const char* name) {
  auto fail = [&](const std::string& why) {
    report("file_write", name, "not stored: " + why);
    return false;
  };
  struct stat existing;
  bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return fail(not_a_file(existing.st_mode));
  fs::path directory = path.parent_path();
  std::error_code error;
  fs::create_directories(directory, error);
  if (error) return fail("cannot make its directory: " + error.message());

  std::string temp;  // the new content's name, once it has one
  int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {  // a file system without unnamed files
    temp = (directory / ".nkhost-XXXXXX").string();
    fd = mkstemp(temp.data());
    if (fd < 0) return fail(strerror(errno));
  }
  std::string why;
  if (fchmod(fd, exists ? existing.st_mode & 07777 : 0644) != 0 || !write_all(fd, data, size) ||
      fsync(fd) != 0)
    why = strerror(errno);
  if (why.empty() && before_replace_) before_replace_();
  if (why.empty() && temp.empty()) {
    temp = name_unnamed(fd, directory);
    if (temp.empty()) why = std::string("cannot name the new content: ") + strerror(errno);
  }
  if (close(fd) != 0 && why.empty()) why = strerror(errno);
  if (why.empty() && rename(temp.c_str(), path.c_str()) != 0) why = strerror(errno);
  if (why.empty()) return true;
  if (!temp.empty()) unlink(temp.c_str());
  return fail(why);
}

int32_t FileStore::write(const char* name, const void* data, uint32_t size) {
  auto path = resolve(name, "file_write");
  if (!path) return 0;
  if (!data && size) {
    report("file_write", name, "no data for " + std::to_string(size) + " bytes");
    return 0;
  }
  return store(*path, data, size, name) ? 1 : 0;
}

int32_t FileStore::remove(const char* name) {
  auto path = resolve(name, "file_delete");
  if (!path) return 0;
  struct stat info;
  if (lstat(path->c_str(), &info) != 0) return 0;  // missing: the library says so itself
  if (!S_ISREG(info.st_mode)) {
    report("file_delete", name, not_a_file(info.st_mode) + "; not deleted");
    return 0;
  }
  if (unlink(path->c_str()) != 0) {
    report("file_delete", name, strerror(errno));
    return 0;
  }
  return 1;
}

}  // namespace nk::sim
