#include "sim/loader/macho_loader.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/base/byte_reader.h"
#include "sim/base/hex_text.h"
#include "sim/base/printable.h"
#include "sim/base/valgrind_hooks.h"
#include "sim/loader/export_trie.h"
#include "sim/loader/macho_fixups.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

using namespace macho;

constexpr uint64_t kPage = 4096;

std::string_view c_name(std::string_view mach_name) {
  return mach_name.starts_with('_') ? mach_name.substr(1) : mach_name;
}

std::string with_article(std::string_view noun) {
  return (noun.find_first_of("aeiou") == 0 ? "an " : "a ") + std::string(noun);
}

class Loader {
 public:
  Loader(std::shared_ptr<const ImageBytes> bytes, const LoadRequest& request)
      : bytes_(std::move(bytes)), file_bytes_(bytes_->bytes()), request_(request) {}

  std::unique_ptr<LoadedImage> load() {
    file_ = parse_mach_file(file_bytes_);
    if (file_.filetype != request_.filetype)
      throw Malformed("is " + with_article(filetype_name(file_.filetype)) + ", not " +
                      with_article(filetype_name(request_.filetype)));
    check_dylibs();
    Mapping memory;
    try {
      memory = map_below_4g(file_.vm_span);
    } catch (const std::runtime_error&) {
      throw Malformed("no room below 4 GiB for its " + std::to_string(file_.vm_span >> 20) +
                      " MiB");
    }
    base_ = memory.data();
    for (const auto& segment : file_.segments)
      if (segment.mapped && segment.filesize) place(segment);
    slide_ = memory.address() - file_.min_vmaddr;
    read_exports();

    MappedImage mapped{file_, base_, slide_};
    apply_rebases(mapped, file_.rebase.in(file_bytes_));
    auto resolve = [this](int64_t ordinal, std::string_view symbol, bool weak_import) {
      return this->resolve(ordinal, symbol, weak_import);
    };
    apply_binds(mapped, file_.bind.in(file_bytes_), false, resolve);
    apply_binds(mapped, file_.lazy_bind.in(file_bytes_), true, resolve);
    protect();
    valgrind_discard_translations(memory.data(), memory.size());
    auto image = std::make_unique<LoadedImage>(request_.name, bytes_, std::move(file_),
                                               std::move(memory), std::move(exports_));
    for (uint64_t initializer : image->initializers())
      if (!image->in_code(initializer))
        throw Malformed("initialiser " + hex_text(initializer - image->slide()) + " is not in code");
    return image;
  }

 private:
  // Puts the segment's bytes at its place. Its whole pages come straight from the file
  // where it is open and the offsets allow (private: written pages become the image's
  // own); the rest, and every segment of bytes held in memory, is copied.
  void place(const MachSegment& segment) {
    uint8_t* at = base_ + (segment.vmaddr - file_.min_vmaddr);
    uint64_t from_file = 0;
    if (bytes_->fd() >= 0 && segment.fileoff % kPage == 0 &&
        (segment.vmaddr - file_.min_vmaddr) % kPage == 0)
      from_file = segment.filesize / kPage * kPage;
    if (from_file) {
      int prot = PROT_READ | PROT_WRITE | ((segment.initprot & kProtExecute) ? PROT_EXEC : 0);
      if (mmap(at, from_file, prot, MAP_PRIVATE | MAP_FIXED, bytes_->fd(),
               static_cast<off_t>(segment.fileoff)) == MAP_FAILED) {
        // A file system that forbids running its files, say: copy instead, into fresh
        // memory, as a failed MAP_FIXED may have taken what was there.
        if (mmap(at, from_file, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                 -1, 0) == MAP_FAILED)
          throw Malformed(std::string("cannot map segment ") + segment.name + ": " + std::strerror(errno));
        from_file = 0;
      }
    }
    std::memcpy(at + from_file, file_bytes_.data() + segment.fileoff + from_file,
                segment.filesize - from_file);
  }

  // Every library the image names must be the one that is loaded (weak ones may be absent).
  void check_dylibs() {
    for (const auto& dylib : file_.dylibs) {
      if (dylib.weak) continue;
      if (!request_.library)
        throw Malformed("needs " + dylib.name + ", but no library is loaded");
      if (dylib.name != request_.library->file().install_name)
        throw Malformed("needs " + dylib.name + ", which is not the loaded library (" +
                        request_.library->file().install_name + ")");
    }
  }

  void read_exports() {
    uint64_t header = file_.header_vmaddr + slide_;
    for (auto& entry : read_export_trie(file_.exports.in(file_bytes_))) {
      uint64_t kind = entry.flags & kExportKindMask;
      // Re-exports, resolvers and thread-local variables need machinery nkhost does not
      // have; such names simply are not found.
      if (entry.flags & (kExportReexport | kExportStubAndResolver)) continue;
      if (kind == kExportKindAbsolute) {
        exports_.push_back({entry.value, std::move(entry.name)});
        continue;
      }
      if (kind != kExportKindRegular) continue;
      uint64_t address = header + entry.value;
      if (entry.value >= file_.vm_span || address - (file_.min_vmaddr + slide_) >= file_.vm_span)
        throw Malformed("export " + entry.name + " points outside the image");
      exports_.push_back({address, std::move(entry.name)});
    }
    own_index_.reserve(exports_.size());
    for (const auto& e : exports_) own_index_.emplace(e.name, e.address);
  }

  std::optional<uint64_t> own_export(std::string_view symbol) const {
    auto it = own_index_.find(symbol);
    if (it == own_index_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<uint64_t> library_export(std::string_view symbol) const {
    if (!request_.library) return std::nullopt;
    return request_.library->find_mach_export(symbol);
  }

  uint64_t resolve(int64_t ordinal, std::string_view symbol, bool weak_import) {
    std::optional<uint64_t> address;
    std::string from;
    if (ordinal >= 1) {
      if (static_cast<uint64_t>(ordinal) > file_.dylibs.size())
        throw Malformed("a bind names dylib " + std::to_string(ordinal) + ", which does not exist");
      const auto& dylib = file_.dylibs[ordinal - 1];
      from = dylib.name;
      if (request_.library && dylib.name == request_.library->file().install_name)
        address = library_export(symbol);
    } else if (ordinal == kOrdinalFlatLookup) {
      // Lazy binding's helper; imported with -U and never called, because we bind eagerly.
      if (symbol == "dyld_stub_binder") return request_.stub_binder;
      from = "any loaded image";
      address = own_export(symbol);
      if (!address) address = library_export(symbol);
    } else if (ordinal == kOrdinalWeakLookup) {
      from = "any loaded image";
      address = own_export(symbol);
      if (!address) address = library_export(symbol);
    } else if (ordinal == kOrdinalSelf ||
               (ordinal == kOrdinalMainExecutable && file_.filetype == kFileExecute)) {
      from = "the image itself";
      address = own_export(symbol);
    } else {
      from = "the main program";
    }
    if (address) return *address;
    if (weak_import) return 0;
    throw LoadError(request_.display + ": undefined symbol " + printable(c_name(symbol)) +
                    " (expected from " + from + ")");
  }

  void protect() {
    for (const auto& segment : file_.segments) {
      if (!segment.mapped) continue;
      int prot = ((segment.initprot & kProtRead) ? PROT_READ : 0) |
                 ((segment.initprot & kProtWrite) ? PROT_WRITE : 0) |
                 ((segment.initprot & kProtExecute) ? PROT_EXEC : 0);
      uint64_t length = (segment.vmsize + kPage - 1) / kPage * kPage;
      if (mprotect(base_ + (segment.vmaddr - file_.min_vmaddr), length, prot) != 0)
        throw Malformed(std::string("cannot protect segment ") + segment.name + ": " +
                        std::strerror(errno));
    }
  }

  std::shared_ptr<const ImageBytes> bytes_;
  std::span<const uint8_t> file_bytes_;
  const LoadRequest& request_;
  MachFile file_;
  uint8_t* base_ = nullptr;
  uint64_t slide_ = 0;
  std::vector<LoadedImage::Export> exports_;
  std::unordered_map<std::string_view, uint64_t> own_index_;
};

}  // namespace

std::unique_ptr<LoadedImage> load_mach_image(std::shared_ptr<const ImageBytes> bytes,
                                             const LoadRequest& request) {
  try {
    return Loader(std::move(bytes), request).load();
  } catch (const Malformed& problem) {
    throw LoadError(request.display + ": " + problem.what());
  }
}

}  // namespace nk::sim
