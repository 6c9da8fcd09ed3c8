// The file services over a directory on disk. A name is a path relative to the store's
// root and can never lead outside it: not by being absolute, not by "..", not through a
// symbolic link, not while another process swaps its folders. Only regular files are files:
// a FIFO, device or socket is refused before it is opened, so nothing here can block.

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
#include "sim/services/store_temporaries.h"

namespace nk::sim {
namespace {

namespace fs = std::filesystem;

// NkFileInfo: the record file_stat fills.
struct FileInfo {
  uint32_t data_address;
  uint32_t size;
  uint32_t reserved;
};

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

// Gives the unnamed file behind fd a temporary name in dir.
std::string name_unnamed(int fd, int dir) {
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = temporary_name();
    if (linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    if (errno != EEXIST) break;
  }
  return {};
}

// A new named temporary file in dir, for file systems without unnamed files.
int create_named(int dir, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = temporary_name();
    int fd = openat(dir, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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
  lookup_.open(root_);
  swept_ = false;
}

FileStore::~FileStore() {
  for (const auto& [key, copies] : copies_)
    for (const Copy& copy : copies) memory_.release(copy.block);
}

const fs::path& FileStore::root() const { return root_; }

// Every service call starts here and takes what the call before it left. The first call
// after the store was opened clears out the temporary files of nkhost processes that are
// gone.
FileStore::Previous FileStore::begin_call() {
  if (!swept_ && lookup_.root() >= 0) remove_leftovers(lookup_.root());
  swept_ = true;
  return {std::exchange(handed_, {}), std::exchange(stored_onto_itself_, {})};
}

std::optional<StoreName> FileStore::parse(const char* name, const char* service) const {
  std::string why;
  auto parsed = lookup_.parse(name, why);
  if (!parsed) report(service, name, "name refused: " + why);
  return parsed;
}

std::optional<Place> FileStore::find(const StoreName& name, const char* text, const char* service,
                                     StoreLookup::Links links, StoreLookup::Folders folders,
                                     bool report_missing) const {
  auto found = lookup_.find(name, links, folders);
  if (found.place) return std::move(found.place);
  const auto& failure = found.failure;
  if (failure.kind == StoreLookup::Failure::refused)
    report(service, text, "name refused: " + failure.why);
  else if (failure.kind == StoreLookup::Failure::failed)
    report(service, text, (folders == StoreLookup::Folders::create ? "not stored: " : "") + failure.why);
  else if (report_missing)
    report(service, text, "no such file in the store");
  return std::nullopt;
}

std::optional<OpenFile> FileStore::open_regular(Place& place, const char* name, const char* service,
                                                bool report_missing) const {
  if (!place.entry) {
    if (report_missing) report(service, name, "no such file in the store");
    return std::nullopt;
  }
  if (!S_ISREG(place.entry->st_mode)) {
    report(service, name, not_a_file(place.entry->st_mode));
    return std::nullopt;
  }
  // Non-blocking and not through a link, in case something else took the file's place since.
  int fd = openat(place.dir, place.leaf.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) {
    report(service, name, strerror(errno));
    return std::nullopt;
  }
  OpenFile file(fd, 0);
  struct stat info;
  if (fstat(fd, &info) != 0) {
    report(service, name, strerror(errno));
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    report(service, name, not_a_file(info.st_mode));
    return std::nullopt;
  }
  if (uint64_t(info.st_size) > std::numeric_limits<uint32_t>::max()) {
    report(service, name, "it is 4 GiB or larger, more than the file record's 32-bit size can describe");
    return std::nullopt;
  }
  place.entry = info;
  return OpenFile(file.release(), static_cast<uint64_t>(info.st_size));
}

std::optional<OpenFile> FileStore::open_for_reading(const char* name, const char* service,
                                                    bool report_missing) {
  begin_call();
  auto parsed = parse(name, service);
  if (!parsed) return std::nullopt;
  auto place = find(*parsed, name, service, StoreLookup::Links::follow, StoreLookup::Folders::existing,
                    report_missing);
  if (!place) return std::nullopt;
  return open_regular(*place, name, service, report_missing);
}

bool FileStore::make_room(uint64_t size) {
  if (kept_bytes_ + size <= kept_limit_) return true;
  struct Kept {
    uintptr_t start, end;
    bool referenced;
  };
  std::vector<Kept> kept;
  for (const auto& [key, copies] : copies_)
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

const void* FileStore::keep_copy(const std::string& key, OpenFile& file, const char* name) {
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
  auto& copies = copies_[key];
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
  begin_call();
  auto parsed = parse(name, "file_stat");
  if (!parsed || !info) return 0;
  auto place = find(*parsed, name, "file_stat", StoreLookup::Links::follow, StoreLookup::Folders::existing, false);
  if (!place) return 0;
  auto file = open_regular(*place, name, "file_stat", false);
  if (!file) return 0;
  std::string key = std::to_string(place->folder.st_dev) + ":" + std::to_string(place->folder.st_ino) + "/" + place->leaf;
  const void* data = keep_copy(key, *file, name);
  if (!data) return 0;
  auto size = static_cast<uint32_t>(file->size());
  FileInfo record{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)), size, 0};
  std::memcpy(info, &record, sizeof record);
  handed_ = Handed{data, size, {true, place->entry->st_dev, place->entry->st_ino}};
  return 1;
}

struct FileStore::Attempt {
  int error = 0;  // errno of what failed; 0 when the new content replaced the old
  std::string why;
};

// The new content is written to a file that has no name yet, beside the old one, so that a
// crash or a full disk leaves the old content and nothing else. Then it gets a temporary
// name in temporary_dir and is renamed over the old one, which replaces it in one step.
// On a file system without unnamed files it has the temporary name from the start.
FileStore::Attempt FileStore::replace(const Place& place, int temporary_dir, const void* data,
                                      uint32_t size) const {
  std::string temp;  // the new content's name in temporary_dir, once it has one
  Descriptor fd(openat(place.dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  bool unnamed = bool(fd);
  if (!unnamed) fd = Descriptor(create_named(temporary_dir, temp));
  if (!fd) return {errno, strerror(errno)};
  claim_temporary(fd.get());
  auto fail = [&](std::string why) {
    int error = errno;
    if (!temp.empty()) unlinkat(temporary_dir, temp.c_str(), 0);
    return Attempt{error, std::move(why)};
  };
  mode_t mode = place.entry ? place.entry->st_mode & 07777 : 0644;
  if (fchmod(fd.get(), mode) != 0 || !write_all(fd.get(), data, size) || fsync(fd.get()) != 0)
    return fail(strerror(errno));
  if (unnamed) {
    temp = name_unnamed(fd.get(), temporary_dir);
    if (temp.empty()) return fail(std::string("cannot name the new content: ") + strerror(errno));
  }
  if (before_replace_) before_replace_();
  if (renameat(temporary_dir, temp.c_str(), place.dir, place.leaf.c_str()) != 0) return fail(strerror(errno));
  return {};
}

// Temporary names live in the store's own folder, where the next nkhost to open the store
// looks for leftovers; a folder on another file system (or where the store's own folder is
// not writable) keeps its own.
bool FileStore::store(const Place& place, const void* data, uint32_t size, const char* name) {
  if (place.entry && !S_ISREG(place.entry->st_mode)) {
    report("file_write", name, "not stored: " + not_a_file(place.entry->st_mode));
    return false;
  }
  bool apart = place.folder.st_dev != lookup_.root_status().st_dev;
  int temporary_dir = apart ? place.dir : lookup_.root();
  Attempt attempt = replace(place, temporary_dir, data, size);
  int error = attempt.error;
  if (temporary_dir != place.dir && (error == EXDEV || error == EACCES || error == EPERM || error == EROFS))
    attempt = replace(place, place.dir, data, size);
  if (attempt.why.empty()) return true;
  report("file_write", name, "not stored: " + attempt.why);
  return false;
}

int32_t FileStore::write(const char* name, const void* data, uint32_t size) {
  auto handed = begin_call().handed;
  auto parsed = parse(name, "file_write");
  if (!parsed) return 0;
  if (!data && size) {
    report("file_write", name, "no data for " + std::to_string(size) + " bytes");
    return 0;
  }
  auto place = find(*parsed, name, "file_write", StoreLookup::Links::follow, StoreLookup::Folders::create, true);
  if (!place) return 0;
  // The bytes file_stat just handed out, stored onto the file they came from: the first half
  // of a rename between two names of one file.
  if (place->entry && handed.file.is(*place->entry) && handed.block == data && handed.size == size) {
    stored_onto_itself_ = handed.file;
    return 1;
  }
  return store(*place, data, size, name) ? 1 : 0;
}

// A name whose last component is a link is removed as a link: the file it leads to stays.
int32_t FileStore::remove(const char* name) {
  auto onto_itself = begin_call().stored_onto_itself;
  auto parsed = parse(name, "file_delete");
  if (!parsed) return 0;
  using Links = StoreLookup::Links;
  auto place = find(*parsed, name, "file_delete", Links::keep_last, StoreLookup::Folders::existing, false);
  if (!place || !place->entry) return 0;  // missing: the library says so itself
  struct stat target = *place->entry;
  if (S_ISLNK(target.st_mode)) {
    auto followed = find(*parsed, name, "file_delete", Links::follow, StoreLookup::Folders::existing, false);
    if (!followed || !followed->entry) return 0;
    target = *followed->entry;
  }
  if (!S_ISREG(target.st_mode)) {
    report("file_delete", name, not_a_file(target.st_mode) + "; not deleted");
    return 0;
  }
  // The second half of a rename between two names of one file: the file stays.
  if (onto_itself.is(target)) return 1;
  if (unlinkat(place->dir, place->leaf.c_str(), 0) != 0) {
    report("file_delete", name, strerror(errno));
    return 0;
  }
  return 1;
}

}  // namespace nk::sim
