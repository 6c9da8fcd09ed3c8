#pragma once
// The images loaded in this process with their symbol tables, for the tools that name code
// addresses while the program runs: fault reports, the profiler, the perf map. Lookups take
// no locks and allocate nothing, so signal handlers may use them.

#include <cstdint>
#include <string>

#include "sim/base/fd_writer.h"
#include "sim/loader/symbol_table.h"

namespace nk::sim {

class LoadedImage;

struct KnownImage {
  const LoadedImage* image;
  std::string name;
  uint64_t base, end, slide;  // runtime range; runtime address = file address + slide
  SymbolTable symbols;
  bool in_code(uint64_t address) const noexcept;
};

// The machine registers each image once it is mapped, before its initialisers run.
void register_image(const LoadedImage* image);
void unregister_image(const LoadedImage* image);

const KnownImage* image_at(uint64_t address) noexcept;
// Whether the address is in the code of a loaded image.
bool in_guest_code(uint64_t address) noexcept;

template <class F>
void for_each_image(F&& visit);

// How a code address reads in reports: "draw_sprite+0x1c" (or "__stubs+0x8" where no
// symbol covers it). A return address is looked up one byte back, so that a call that ends
// its function is still named after the caller.
void write_code_name(FdWriter& out, const KnownImage& image, uint64_t address, bool return_address);
void write_file_code_name(FdWriter& out, const SymbolTable& symbols, uint64_t file_address,
                          bool return_address);
// A backtrace line: "#3 0x100000f3c draw_sprite+0x1c (game)", with the file's own address.
void write_frame(FdWriter& out, size_t index, uint64_t address, bool return_address);

namespace detail {
constexpr size_t kMaxImages = 64;
extern KnownImage* g_known[kMaxImages];
}  // namespace detail

template <class F>
void for_each_image(F&& visit) {
  for (KnownImage* image : detail::g_known)
    if (image) visit(*image);
}

}  // namespace nk::sim
