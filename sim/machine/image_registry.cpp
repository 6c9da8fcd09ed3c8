#include "sim/machine/image_registry.h"

#include "sim/loader/loaded_image.h"

namespace nk::sim {

namespace detail {
KnownImage* g_known[kMaxImages] = {};
}  // namespace detail

using detail::g_known;

bool KnownImage::in_code(uint64_t address) const noexcept {
  return address >= base && address < end && symbols.section_at(address - slide);
}

void register_image(const LoadedImage* image) {
  auto known = new KnownImage{image, image->name(), image->base(), image->base() + image->size(),
                              image->slide(), SymbolTable(image->bytes(), image->file())};
  for (auto& slot : g_known)
    if (!slot) {
      slot = known;
      return;
    }
  delete known;  // more images than a report can name; they run unnamed
}

void unregister_image(const LoadedImage* image) {
  for (auto& slot : g_known)
    if (slot && slot->image == image) {
      KnownImage* gone = slot;
      slot = nullptr;
      delete gone;
    }
}

const KnownImage* image_at(uint64_t address) noexcept {
  for (const KnownImage* image : g_known)
    if (image && address >= image->base && address < image->end) return image;
  return nullptr;
}

bool in_guest_code(uint64_t address) noexcept {
  const KnownImage* image = image_at(address);
  return image && image->in_code(address);
}

void write_file_code_name(FdWriter& out, const SymbolTable& symbols, uint64_t file_address,
                          bool return_address) {
  uint64_t probe = return_address && file_address ? file_address - 1 : file_address;
  if (const auto* symbol = symbols.symbol_at(probe)) {
    out << symbol->name << "+";
    out.hex(file_address - symbol->address);
  } else if (const auto* section = symbols.section_at(probe)) {
    out << section->name << "+";
    out.hex(file_address - section->start);
  } else {
    out.hex(file_address);
  }
}

void write_code_name(FdWriter& out, const KnownImage& image, uint64_t address, bool return_address) {
  write_file_code_name(out, image.symbols, address - image.slide, return_address);
}

void write_frame(FdWriter& out, size_t index, uint64_t address, bool return_address) {
  out << "  #";
  out.decimal(index) << " ";
  const KnownImage* image = image_at(return_address ? address - 1 : address);
  if (!image) {
    out.hex(address) << " (not in a loaded image)\n";
    return;
  }
  out.hex(address - image->slide) << " ";
  write_code_name(out, *image, address, return_address);
  out << " (" << image->name << ")\n";
}

}  // namespace nk::sim
