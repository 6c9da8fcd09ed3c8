// Mach-O files come from wherever a program was built or downloaded. Any bytes give a
// loaded image or a LoadError naming the problem; never a crash, and no other exception
// (which nkhost would report as its own internal error). Each input is also read as
// `nkhost info` and the symbolizer read it. A library is loaded on its own; a program is
// bound against the real library, whose path scripts/fuzz passes in NK_FUZZ_LIBRARY.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "sim/base/byte_reader.h"
#include "sim/loader/macho_file.h"
#include "sim/loader/macho_format.h"
#include "sim/loader/macho_loader.h"
#include "sim/loader/macho_summary.h"
#include "sim/loader/symbol_table.h"

using namespace nk::sim;
using nk::fuzz::finding;
using nk::fuzz::require;

namespace {

// Where a lazy import's helper would bind: never called, only stored.
constexpr uint64_t kStubBinder = 0x5000;

const LoadedImage* library() {
  static std::unique_ptr<LoadedImage> image = [] {
    std::unique_ptr<LoadedImage> loaded;
    const char* path = getenv("NK_FUZZ_LIBRARY");
    if (!path) {
      printf("NK_FUZZ_LIBRARY is not set: programs are loaded without the library\n");
      return loaded;
    }
    try {
      loaded = load_mach_image(read_image_file(path), {path, "OrvaneWindow.dylib", macho::kFileDylib, nullptr, kStubBinder});
    } catch (const LoadError& problem) {
      finding(std::string("the library does not load: ") + problem.what());
    }
    return loaded;
  }();
  return image.get();
}

// What `nkhost info FILE --symbols` and `nkhost symbolize` make of the file.
void describe(std::span<const uint8_t> bytes) {
  try {
    require(!summarize_mach_file(bytes).empty(), "an empty summary");
    MachFile file = parse_mach_file(bytes);
    read_symbols(bytes, file);
    SymbolTable table(bytes, file);
    for (const auto& symbol : table.symbols()) {
      require(table.symbol_at(symbol.address) != nullptr || symbol.size == 0, "a symbol that cannot be found");
      require(symbol.name != nullptr, "a symbol without a name");
    }
  } catch (const Malformed&) {
  }
}

void load(std::shared_ptr<const ImageBytes> bytes) {
  uint32_t filetype = 0;
  if (bytes->bytes().size() >= 16) std::memcpy(&filetype, bytes->bytes().data() + 12, 4);
  bool program = filetype == macho::kFileExecute;
  LoadRequest request{"fuzz", "fuzz", program ? macho::kFileExecute : macho::kFileDylib,
                      program ? library() : nullptr, kStubBinder};
  try {
    auto image = load_mach_image(bytes, request);
    require(image->base() + image->size() <= uint64_t(1) << 32, "an image mapped above 4 GiB");
    for (uint64_t function : image->initializers())
      require(image->in_code(function), "an initialiser outside the image's code");
    if (auto entry = image->entry_point()) require(image->in_code(*entry), "an entry point outside code");
    for (const auto& e : image->exports()) image->describe(e.address);
    image->describe(image->base() + image->size() / 2);
  } catch (const LoadError& problem) {
    require(std::strncmp(problem.what(), "fuzz", 4) == 0, "a load error that does not name the file");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  library();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<const ImageBytes>(std::vector<uint8_t>(data, data + size));
  describe(bytes->bytes());
  load(bytes);
  return 0;
}
