// Font requests come from programs: any name (a file of the store, a system font, or
// neither), any pixel size a float can hold, any bytes as UTF-8 text. A request gives a
// font and pictures of the text in its colour, or a refusal; never a crash or a block of
// host memory left behind.
//
// An input is fields separated by NUL bytes: the pixel size as text (strtof), the font's
// name (empty: the default font), then up to four texts to render; a text that starts
// with '@' resizes the font instead.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "sim/services/files.h"
#include "sim/services/fonts.h"
#include "sim/services/image_record.h"
#include "sim/services/memory.h"

using namespace nk::sim;
using nk::fuzz::require;
namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxRenders = 4;
constexpr uint8_t kRed = 200, kGreen = 100, kBlue = 50;
// Opacities a program may pass, in range and out of it.
constexpr int64_t kAlphas[] = {255, 128, 0, 300, -5};

// A store with a real font, a damaged one and one that is not a font at all, beside the
// system's fonts.
struct Host {
  nk::fuzz::ScratchFolder scratch{"fonts"};
  HostMemory memory;
  FileStore files{memory};
  FontService fonts{files, memory};

  Host() {
    fs::create_directories(scratch.path() / "fonts");
    const fs::path system = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::error_code ignored;
    fs::copy_file(system, scratch.path() / "fonts/title.ttf", ignored);
    std::ifstream whole(system, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::ofstream(scratch.path() / "fonts/cut.ttf", std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    std::ofstream(scratch.path() / "notes.txt") << "not a font\n";
    files.set_root(scratch.path());
  }
};

std::vector<std::string> fields(const uint8_t* data, size_t size) {
  std::vector<std::string> out;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty() && out.size() < 2 + kMaxRenders) {
    size_t end = std::min(input.find('\0'), input.size());
    out.emplace_back(input.substr(0, end));
    input.remove_prefix(std::min(end + 1, input.size()));
  }
  return out;
}

void check_picture(HostMemory& memory, const ImageRecord& record, int64_t alpha) {
  require(record.width >= 1 && record.height >= 1, "a picture without pixels");
  require(uint64_t(record.size) == uint64_t(record.width) * record.height * 4,
          "the record's size is not width * height * 4");
  require(record.size <= kMaxImageBytes && record.width <= FontService::kMaxWidth,
          "a picture larger than the stated limits");
  require(record.pixels + record.size <= uint64_t(1) << 32, "pixels above 4 GiB");
  auto* pixels = reinterpret_cast<const uint8_t*>(record.pixels);
  auto opacity = static_cast<uint8_t>(std::clamp<int64_t>(alpha, 0, 255));
  for (uint32_t at = 0; at < record.size; at += 4) {
    require(pixels[at] == kRed && pixels[at + 1] == kGreen && pixels[at + 2] == kBlue,
            "a pixel not in the text's colour");
    require(pixels[at + 3] <= opacity, "a pixel more opaque than asked");
  }
  memory.service_free(reinterpret_cast<void*>(record.pixels));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Host host;
  std::vector<std::string> parts = fields(data, size);
  if (parts.empty()) return 0;
  float pixel_size = std::strtof(parts[0].c_str(), nullptr);
  const char* name = parts.size() > 1 && !parts[1].empty() ? parts[1].c_str() : nullptr;
  uint64_t font = host.fonts.load(name, pixel_size);
  for (size_t i = 2; i < parts.size(); ++i) {
    const std::string& text = parts[i];
    if (text.starts_with('@')) {
      host.fonts.resize(font, std::strtof(text.c_str() + 1, nullptr));
      continue;
    }
    int64_t alpha = kAlphas[i % std::size(kAlphas)];
    ImageRecord record{};
    if (host.fonts.render(font, text.c_str(), kRed, kGreen, kBlue, alpha, &record))
      check_picture(host.memory, record, alpha);
  }
  host.fonts.free(font);
  require(host.fonts.open_fonts() == 0, "a freed font is still open");
  require(host.memory.counters().live_blocks == 0, "a request left a block of host memory behind");
  return 0;
}
