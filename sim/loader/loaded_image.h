#pragma once
// An image the loader has mapped, fixed up and protected: its exports, its symbol table
// and its initialisers.

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/base/address_space.h"
#include "sim/loader/image.h"
#include "sim/loader/image_bytes.h"
#include "sim/loader/macho_file.h"

namespace nk::sim {

class LoadedImage final : public Image {
 public:
  struct Export {
    uint64_t address;
    std::string name;  // the Mach-O name, with its leading underscore
  };

  LoadedImage(std::string name, std::shared_ptr<const ImageBytes> bytes,
              MachFile file, Mapping mapping, std::vector<Export> exports);
  ~LoadedImage() override;

  const std::string& name() const override { return name_; }
  uint64_t base() const override { return mapping_.address(); }
  uint64_t size() const override { return mapping_.size(); }
  std::optional<uint64_t> find_export(std::string_view name) const override;
  std::optional<uint64_t> find_symbol(std::string_view name) const override;
  std::optional<uint64_t> entry_point() const override;
  std::string describe(uint64_t address) const override;

  // describe() for signal handlers: no allocation, writes at most capacity bytes with NUL.
  void describe_into(uint64_t address, char* out, size_t capacity) const noexcept;
  // An export by its Mach-O name ("_strlen").
  std::optional<uint64_t> find_mach_export(std::string_view mach_name) const;

  const MachFile& file() const { return file_; }
  std::span<const uint8_t> bytes() const { return bytes_->bytes(); }  // the file as read
  uint64_t slide() const { return base() - file_.min_vmaddr; }
  const std::vector<Export>& exports() const { return exports_; }  // sorted by address
  // Whether the address lies in a segment mapped executable.
  bool in_code(uint64_t address) const;
  // The __mod_init_func pointers, in order, as fixed up.
  std::vector<uint64_t> initializers() const;
  // Where those pointers are in the loaded image, in the same order.
  std::vector<uint64_t> initializer_slots() const;

 private:
  std::string name_;
  std::shared_ptr<const ImageBytes> bytes_;
  MachFile file_;
  Mapping mapping_;
  std::vector<Export> exports_;
  std::unordered_map<std::string_view, uint64_t> export_index_;
  mutable std::optional<std::unordered_map<std::string, uint64_t>> symbols_;
};

}  // namespace nk::sim
