#pragma once
// The host's font service: FreeType renders UTF-8 text with a font from the file store or
// one of the system's fonts (Debian's DejaVu fonts by default). The arguments' meaning is
// the one include/nk_host_fonts.h documents for programs.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace nk::sim {

class FileStore;
class HostMemory;

class FontService {
 public:
  // Pixel sizes outside 1..kMaxSize are refused; wider text than kMaxWidth is not rendered.
  static constexpr float kMaxSize = 1024;
  static constexpr uint32_t kMaxWidth = 1 << 15;

  FontService(FileStore& files, HostMemory& memory);
  ~FontService();
  FontService(const FontService&) = delete;
  FontService& operator=(const FontService&) = delete;

  // The services as the library calls them: name is the pointer-sized argument of font_load
  // (null: the default sans-serif face), record the 24-byte image record.
  uint64_t load(const char* name, float size);
  void resize(uint64_t handle, float size);
  int32_t render(uint64_t handle, const char* text, int32_t red, int32_t green, int32_t blue,
                 int64_t alpha, void* record);
  void free(uint64_t handle);

  size_t open_fonts() const { return fonts_.size(); }

 private:
  struct Font {
    FT_FaceRec_* face;
    std::vector<uint8_t> bytes;  // a font from the store: FreeType reads it in place
  };
  FT_FaceRec_* open_face(const char* name, std::vector<uint8_t>& bytes);
  std::optional<std::filesystem::path> system_font(const char* name);
  Font* find(uint64_t handle, const char* service);

  FileStore& files_;
  HostMemory& memory_;
  FT_LibraryRec_* library_ = nullptr;
  std::map<uint64_t, Font> fonts_;
  uint64_t next_handle_ = 1;
  std::vector<std::filesystem::path> system_fonts_;  // found on first use
};

}  // namespace nk::sim
