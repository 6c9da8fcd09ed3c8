#pragma once
// The rebase and bind opcode streams of LC_DYLD_INFO: they say which pointers of a mapped
// image move with it and which point to other images' symbols.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "sim/loader/macho_file.h"

namespace nk::sim {

struct MappedImage {
  const MachFile& file;
  uint8_t* base;  // where file.min_vmaddr landed
  uint64_t slide;  // loaded address minus the address the file was linked for
};

// The address a symbol binds to; throws LoadError or Malformed when it cannot be bound.
using SymbolResolver =
    std::function<uint64_t(int64_t ordinal, std::string_view symbol, bool weak_import)>;

// Both throw Malformed for opcodes past their stream, unknown opcodes or addresses outside
// the image's segments.
void apply_rebases(const MappedImage& image, std::span<const uint8_t> stream);
// Lazy streams are sequences of entries each ended by DONE; they are bound at once.
void apply_binds(const MappedImage& image, std::span<const uint8_t> stream, bool lazy,
                 const SymbolResolver& resolve);

}  // namespace nk::sim
