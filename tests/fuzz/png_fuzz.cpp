// The PNG service on any bytes a file of the store may hold: an image of the size the file
// declares, whole and in the program's memory, or a refusal with a reason; never a crash,
// a leak, a block of host memory left behind, or a request to libpng's allocator beyond
// its limit. Each input is decoded as it is and again with its chunks' checksums mended,
// so that damage reaches the decompressor and the filters instead of stopping at the first
// checksum.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "sim/services/memory.h"
#include "sim/services/png.h"
#include "support/png_maker.h"

using namespace nk::sim;
using nk::fuzz::require;

namespace {

HostMemory& memory() {
  static HostMemory memory;
  return memory;
}

void decode(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer; an empty file reads the same as /dev/null.
  FILE* file = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : fopen("/dev/null", "rb");
  require(file != nullptr, "cannot open the input as a stream");
  ImageRecord record{};
  std::string why;
  LibpngRequests requests;
  bool ok = decode_png(file, memory(), record, why, &requests);
  fclose(file);
  require(requests.largest <= kMaxLibpngBlock, "libpng asked for a block beyond the stated limit");
  if (!ok) {
    require(!why.empty(), "a refusal without a reason");
  } else {
    require(record.width >= 1 && record.height >= 1 && record.width <= 65536 && record.height <= 65536,
            "an image of a size outside the stated limits");
    require(uint64_t(record.size) == uint64_t(record.width) * record.height * 4,
            "the record's size is not width * height * 4");
    require(record.pixels + record.size <= uint64_t(1) << 32, "pixels above 4 GiB");
    // Every byte is read, so that the sanitizers see the whole block.
    auto* pixels = reinterpret_cast<const uint8_t*>(record.pixels);
    unsigned sum = 0;
    for (uint32_t i = 0; i < record.size; ++i) sum += pixels[i];
    asm volatile("" : : "r"(sum));
    memory().service_free(reinterpret_cast<void*>(record.pixels));
  }
  require(memory().counters().live_blocks == 0, "a decode left a block of host memory behind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decode(data, size);
  std::vector<uint8_t> mended(data, data + size);
  nk::test::fix_png_crcs(mended);
  if (!std::equal(mended.begin(), mended.end(), data)) decode(mended.data(), mended.size());
  return 0;
}
