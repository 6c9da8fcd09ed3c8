// Looking names up beneath the store's descriptor. The kernel's openat2 with RESOLVE_BENEATH
// finds the folder of a name in one call and refuses anything that would step outside;
// whatever it refuses or cannot do (links with absolute targets, links that leave and come
// back, a kernel without openat2) is walked one component at a time: each component is
// opened without following links relative to the folder before it, and a link's target is
// followed by hand, so ".." only ever returns to a folder the walk itself opened.

#include "sim/services/store_lookup.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "sim/services/store_temporaries.h"

namespace nk::sim {
namespace {

constexpr size_t kMaxName = 4095;      // the system's path limit, less the NUL
constexpr size_t kMaxComponent = 255;  // the system's limit for one name in a folder
constexpr int kMaxLinks = 40;          // the kernel's own limit for one lookup

constexpr const char* kLeadsOutside = "a symbolic link in it leads outside the file store";

std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (size_t start = 0;;) {
    size_t end = text.find('/', start);
    pieces.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

StoreLookup::Result refused(std::string why) {
  return {std::nullopt, {StoreLookup::Failure::refused, std::move(why)}};
}
StoreLookup::Result missing() { return {std::nullopt, {StoreLookup::Failure::missing, {}}}; }
StoreLookup::Result failed(std::string why) {
  return {std::nullopt, {StoreLookup::Failure::failed, std::move(why)}};
}
StoreLookup::Result failed_with_errno(const char* doing = "") {
  return failed(doing + std::string(strerror(errno)));
}

std::string read_link(int fd) {
  char target[PATH_MAX];
  ssize_t n = readlinkat(fd, "", target, sizeof target);
  return n > 0 ? std::string(target, size_t(n)) : std::string();
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

Descriptor::~Descriptor() {
  if (fd_ >= 0) close(fd_);
}

bool StoreLookup::open(const std::filesystem::path& canonical_root) {
  root_parts_.clear();
  for (std::string_view part : split(canonical_root.native()))
    if (!part.empty()) root_parts_.emplace_back(part);
  root_ = Descriptor(::open(canonical_root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return root_ && fstat(root_.get(), &root_status_) == 0;
}

std::optional<StoreName> StoreLookup::parse(const char* text, std::string& why) const {
  auto refuse = [&](const char* reason) -> std::optional<StoreName> {
    why = reason;
    return std::nullopt;
  };
  if (!text) return refuse("no name");
  size_t length = strnlen(text, kMaxName + 1);
  if (length == 0) return refuse("the name is empty");
  if (length > kMaxName) return refuse("the name is longer than 4095 bytes");
  auto pieces = split(std::string_view(text, length));
  for (std::string_view piece : pieces)
    if (piece.size() > kMaxComponent) return refuse("a component of the name is longer than 255 bytes");
  if (text[0] == '/') return refuse("an absolute name is outside the file store");
  // The store's own path and the name, as text: "../store/x" is "x" for a store called
  // "store", as a person reading the name would take it.
  std::vector<std::string_view> path(root_parts_.begin(), root_parts_.end());
  for (std::string_view piece : pieces) {
    if (piece == "..") {
      if (!path.empty()) path.pop_back();
    } else if (!piece.empty() && piece != ".") {
      path.push_back(piece);
    }
  }
  size_t depth = root_parts_.size();
  if (path.size() < depth || !std::equal(root_parts_.begin(), root_parts_.end(), path.begin()))
    return refuse("it leads outside the file store");
  std::string_view end = pieces.back();
  if (path.size() == depth || end.empty() || end == "." || end == "..") return refuse("it names a directory");
  if (is_temporary_name(path.back())) return refuse("names that begin with .nkhost- are nkhost's own");
  return StoreName{std::vector<std::string>(path.begin() + long(depth), path.end())};
}

StoreLookup::Result StoreLookup::find(const StoreName& name, Links links, Folders folders) const {
  if (!root_) return failed("the file store's folder cannot be opened");
  if (name.parts.size() == 1) return at(Descriptor(), name, links, folders);
  if (kernel_) {
    std::string folder = name.parts.front();
    for (size_t i = 1; i + 1 < name.parts.size(); ++i) folder += "/" + name.parts[i];
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, root_.get(), folder.c_str(), &how, sizeof how);
    if (fd >= 0) return at(Descriptor(int(fd)), name, links, folders);
    if (errno == ENOSYS || errno == EPERM || errno == E2BIG || errno == EINVAL)
      kernel_ = false;  // no openat2 here (or a filter forbids it): walk from now on
    else if ((errno == ENOENT || errno == ENOTDIR) && folders == Folders::existing)
      return missing();
    // Anything else it refused (a link out, or out and back in, a loop, a race on ".."),
    // the walk decides, and says why.
  }
  return walk(name, links, folders);
}

// The name's last component in the folder the kernel found (the store's own when owned is
// empty); a link there is followed by the walk.
StoreLookup::Result StoreLookup::at(Descriptor owned, const StoreName& name, Links links,
                                    Folders folders) const {
  Place place;
  place.dir = owned ? owned.get() : root_.get();
  place.leaf = name.parts.back();
  if (owned) {
    if (fstat(place.dir, &place.folder) != 0) return failed_with_errno();
  } else {
    place.folder = root_status_;
  }
  struct stat entry;
  if (fstatat(place.dir, place.leaf.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(entry.st_mode) && links == Links::follow) return walk(name, links, folders);
    place.entry = entry;
  } else if (errno != ENOENT) {
    return failed_with_errno();
  }
  place.owned = std::move(owned);
  return {std::move(place), {}};
}

StoreLookup::Result StoreLookup::walk(const StoreName& name, Links links, Folders folders) const {
  struct Folder {
    Descriptor dir;
    struct stat status;
    size_t length;  // of its name and a '/'
  };
  std::vector<Folder> open;  // the folders below the root the walk stands in, outermost first
  size_t above = 0;          // how far above the root a link's target has led, as text
  size_t length = 0;         // of the path from the root, as followed so far
  int links_followed = 0, folders_made = 0;
  std::vector<std::string> pending(name.parts.rbegin(), name.parts.rend());  // next at the back
  size_t pending_length = 0;
  for (const std::string& part : pending) pending_length += part.size() + 1;

  auto current = [&] { return open.empty() ? root_.get() : open.back().dir.get(); };
  auto status = [&] { return open.empty() ? root_status_ : open.back().status; };
  auto place_at = [&](std::string leaf, std::optional<struct stat> entry) -> Result {
    if (above > 0) return refused(kLeadsOutside);
    Place place;
    place.dir = current();
    place.folder = status();
    if (!open.empty()) place.owned = std::move(open.back().dir);
    place.leaf = std::move(leaf);
    place.entry = entry;
    return {std::move(place), {}};
  };
  auto here = [&] { return place_at(".", status()); };  // the name leads to a folder

  while (!pending.empty()) {
    std::string part = std::move(pending.back());
    pending.pop_back();
    pending_length -= part.size() + 1;
    bool last = pending.empty();
    if (part.empty() || part == ".") {
      if (last) return here();
      continue;
    }
    if (part == "..") {
      if (above > 0 || open.empty()) {
        above = std::min(above + 1, root_parts_.size());
      } else {
        length -= open.back().length;
        open.pop_back();
      }
      if (last) return here();
      continue;
    }
    if (above > 0) {
      // Outside, the only way is back down the store's own path, which has no links.
      if (part != root_parts_[root_parts_.size() - above]) return refused(kLeadsOutside);
      --above;
      if (last) return here();
      continue;
    }
    Descriptor next(openat(current(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      if (errno != ENOENT) return failed_with_errno();
      if (last) return place_at(std::move(part), std::nullopt);
      if (folders == Folders::existing) return missing();
      if (++folders_made > kMaxLinks) return failed("cannot make its directory: something keeps removing it");
      if (mkdirat(current(), part.c_str(), 0777) != 0 && errno != EEXIST)
        return failed_with_errno("cannot make its directory: ");
      pending.push_back(std::move(part));  // and look again at whatever is there now
      pending_length += pending.back().size() + 1;
      continue;
    }
    struct stat entry;
    if (fstat(next.get(), &entry) != 0) return failed_with_errno();
    if (S_ISLNK(entry.st_mode) && (!last || links == Links::follow)) {
      if (++links_followed > kMaxLinks) return refused("its symbolic links form a loop");
      std::string target = read_link(next.get());
      if (target.empty()) return last ? place_at(std::move(part), std::nullopt) : missing();
      if (target.front() == '/') {
        open.clear();
        length = 0;
        above = root_parts_.size();
      }
      auto pieces = split(target);
      for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) pending.emplace_back(*piece);
      pending_length += target.size() + 1;
      if (length + pending_length > kMaxName + 1)
        return refused("it is too long once its symbolic links are followed");
      continue;
    }
    if (last) return place_at(std::move(part), entry);
    if (!S_ISDIR(entry.st_mode)) {
      if (folders == Folders::existing) return missing();
      errno = ENOTDIR;
      return failed_with_errno("cannot make its directory: ");
    }
    length += part.size() + 1;
    open.push_back({std::move(next), entry, part.size() + 1});
  }
  return here();  // not reached: a name has at least one part, and its last returns
}

}  // namespace nk::sim
