#pragma once
// Names of the file store looked up beneath a descriptor of its folder. Nothing here ever
// hands a path text to the system to be looked up again later: a name becomes a descriptor
// of the folder that holds its file and the file's name in that folder, and every
// operation works relative to that descriptor. A folder swapped for a link while a name
// is looked up therefore cannot lead anywhere the lookup did not check.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nk::sim {

// A descriptor of our own, closed on destruction.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  ~Descriptor();
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// A name as the program gave it, checked and reduced to its components: no ".", no "..",
// no empty parts.
struct StoreName {
  std::vector<std::string> parts;
};

// Where a name leads: the entry `leaf` of the folder `dir` ("." when the name leads to a
// folder itself), with what the entry was when it was looked up, if it exists.
struct Place {
  Descriptor owned;  // empty when dir is the store's own descriptor
  int dir = -1;
  std::string leaf;
  struct stat folder {};  // the folder's own status (device and inode identify it)
  std::optional<struct stat> entry;
};

class StoreLookup {
 public:
  enum class Links { follow, keep_last };
  enum class Folders { existing, create };
  // A lookup that found no place says why: the name is refused, a folder on its way is
  // missing (or is no folder), or the system failed.
  struct Failure {
    enum Kind { refused, missing, failed } kind;
    std::string why;
  };
  struct Result {
    std::optional<Place> place;
    Failure failure{Failure::failed, {}};
  };

  StoreLookup() = default;
  StoreLookup(const StoreLookup&) = delete;
  StoreLookup& operator=(const StoreLookup&) = delete;

  // Takes the store's folder, by a path given once; false (with errno) when it cannot be
  // opened. The canonical path is kept to judge links whose target is absolute.
  bool open(const std::filesystem::path& canonical_root);
  int root() const { return root_.get(); }
  const struct stat& root_status() const { return root_status_; }

  // The program's name, checked as text: nullopt with the reason when it is refused. ".."
  // is taken as text, as by a person reading the name; links are followed later, by what
  // they are on disk.
  std::optional<StoreName> parse(const char* text, std::string& why) const;

  Result find(const StoreName& name, Links links, Folders folders) const;

  // The kernel's contained lookup (openat2) where it has one; false walks every name one
  // component at a time, as on a kernel without it.
  void set_kernel_lookup(bool enabled) { kernel_ = enabled; }
  bool kernel_lookup() const { return kernel_; }

 private:
  Result walk(const StoreName& name, Links links, Folders folders) const;
  Result at(Descriptor owned, const StoreName& name, Links links, Folders folders) const;

  Descriptor root_;
  struct stat root_status_ {};
  std::vector<std::string> root_parts_;  // the canonical path's components, from "/"
  mutable bool kernel_ = true;           // cleared for good when the kernel lacks openat2
};

}  // namespace nk::sim
