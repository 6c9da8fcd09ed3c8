#pragma once
// The host's PNG service: libpng decodes any PNG (every colour type and bit depth,
// interlaced or not) to 8-bit RGBA in a block below 4 GiB that the program releases with
// memory_free.

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/services/image_record.h"

namespace nk::sim {

class FileStore;
class HostMemory;

// libpng never gets a block larger than this from nkhost.
constexpr uint64_t kMaxLibpngBlock = 8 << 20;

// What libpng asked of the allocator during one decode.
struct LibpngRequests {
  uint64_t largest = 0;  // the largest single request, granted or not
};

// Decodes the PNG in file into record (pixels owned by the program). On failure nothing is
// left allocated and why says what was wrong.
bool decode_png(FILE* file, HostMemory& memory, ImageRecord& record, std::string& why,
                LibpngRequests* requests = nullptr);

// png_decode_file: the named file of the store into the 24-byte record; 0 and a message on
// stderr when there is no image.
int32_t png_decode_file(FileStore& files, HostMemory& memory, const char* name, void* record);

}  // namespace nk::sim
