// Temporary files of the store. Their names carry the writer's PID, and the writer holds a
// lock on the file from before it has a name until it has been renamed into place; the
// kernel drops the lock when the writer dies, however it dies.

#include "sim/services/store_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>

namespace nk::sim {
namespace {

constexpr std::string_view kPrefix = ".nkhost-";

// The PID of a name ".nkhost-PID-N", or 0 for any other name.
pid_t writer_of(std::string_view name) {
  if (!name.starts_with(kPrefix)) return 0;
  name.remove_prefix(kPrefix.size());
  long pid = 0;
  auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || pid <= 0 || pid > INT_MAX || end == name.data() + name.size() || *end != '-')
    return 0;
  std::string_view counter(end + 1, size_t(name.data() + name.size() - end - 1));
  if (counter.empty() || counter.find_first_not_of("0123456789") != std::string_view::npos) return 0;
  return pid_t(pid);
}

bool gone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

// Nobody holds the file's lock (a file system without locks has none to hold).
bool unclaimed(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool is_temporary_name(std::string_view name) { return name.starts_with(kPrefix); }

std::string temporary_name() {
  static unsigned counter = 0;
  return std::string(kPrefix) + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// Without lock support in the file system, the PID alone decides.
void claim_temporary(int fd) { flock(fd, LOCK_EX | LOCK_NB); }

size_t remove_leftovers(int dir) {
  int listing = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
  if (!entries) {
    if (listing >= 0) close(listing);
    return 0;
  }
  size_t removed = 0;
  while (dirent* entry = readdir(entries)) {
    pid_t pid = writer_of(entry->d_name);
    if (pid == 0 || !gone(pid)) continue;
    int fd = openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened, named;
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && unclaimed(fd) &&
        fstatat(dir, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(opened, named) &&
        unlinkat(dir, entry->d_name, 0) == 0)
      ++removed;
    close(fd);
  }
  closedir(entries);
  return removed;
}

}  // namespace nk::sim
