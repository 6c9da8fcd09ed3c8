#pragma once
// Loads a Mach-O image: maps it below 4 GiB, applies its fix-ups, binds its imports and
// sets its protections.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/loader/image_bytes.h"
#include "sim/loader/loaded_image.h"

namespace nk::sim {

struct LoadRequest {
  std::string display;  // how errors name the file (the path as given)
  std::string name;     // the image's name (the file name)
  uint32_t filetype = 0;  // the Mach-O file type this load expects
  const LoadedImage* library = nullptr;  // where the image's dylib imports bind
  uint64_t stub_binder = 0;  // what dyld_stub_binder binds to
};

// Throws LoadError("<display>: <problem>").
std::unique_ptr<LoadedImage> load_mach_image(std::shared_ptr<const ImageBytes> bytes,
                                             const LoadRequest& request);

}  // namespace nk::sim
